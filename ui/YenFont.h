// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QString>

// The program's texts write "\" (U+005C) before amounts, the way Japanese fonts on other
// desktops draw the yen sign. A one-glyph font of the program's own draws U+005C as ¥; put
// first in a font's families it shows every such "\" as ¥ while every other character falls
// through to the desktop's font. The texts themselves keep U+005C.
namespace YenFont {

QString family();

// The font with the yen font first among its families (once).
QFont withYen(const QFont &font);

// Loads the yen font and puts it first in the application font and in every per-class font
// the platform set (message boxes, menus, item views...). False when the font cannot be
// loaded: the texts then show the desktop font's own U+005C.
bool install();

} // namespace YenFont
