// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

// Colours that mark amounts (blue for income and a surplus) stay readable on the background
// they are drawn on: pure blue on a light field, a light blue on a dark desktop's field.
namespace Contrast {

inline bool isDark(const QColor &background)
{
    return background.lightnessF() < 0.5;
}

inline QColor incomeBlue(const QColor &background)
{
    return isDark(background) ? QColor(120, 170, 255) : QColor(0, 0, 255);
}

} // namespace Contrast
