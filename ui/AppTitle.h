// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The program's title, shown in window captions and as the title of every message box.
inline QString appTitle()
{
    return QStringLiteral("ヴェルモラ");
}
