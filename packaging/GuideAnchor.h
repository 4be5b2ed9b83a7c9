// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRegularExpression>
#include <QString>

// The anchor of a heading of the user's guide, as links within the guide name it: lower case,
// spaces as hyphens, punctuation (brackets, 「」, ・) dropped, letters of every script kept.
inline QString guideAnchor(QString heading)
{
    static const QRegularExpression punctuation(QStringLiteral("[^\\p{L}\\p{N}\\p{M} _-]"));
    return heading.toLower().remove(punctuation).replace(u' ', u'-');
}
