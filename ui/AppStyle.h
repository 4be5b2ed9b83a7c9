// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProxyStyle>

// Fusion, without the icons it would put on the buttons of message boxes: every box of
// the program is a plain text with OK or Yes/No.
class AppStyle : public QProxyStyle
{
public:
    AppStyle()
        : QProxyStyle(QStringLiteral("Fusion"))
    { }
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
