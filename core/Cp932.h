// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Text in the Japanese Windows code page (cp932, "windows-31j"), as the log and the CSV
// files are written. Characters the code page cannot hold (emoji, most non-Japanese
// scripts) are written as "?", the same replacement the platform's own conversion makes.
namespace Cp932 {

QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);
// True when every character of the text has a cp932 form.
bool canEncode(const QString &text);

// Replaces the file at path with bytes, atomically: the new content goes to a temporary
// file beside it, is flushed to disk, and then takes the old file's place. On failure the
// old file is untouched and errorText says why.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *errorText = nullptr);

} // namespace Cp932
