// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Dialogs.h"

// The real message boxes and file picker: no icon, titled "ヴェルモラ".
class QtDialogs : public Dialogs
{
public:
    void info(const QString &text) override;
    bool ask(const QString &text) override;
    std::optional<QString> saveFileName(
        const QString &filter, const QString &folder, const QString &proposedName) override;
    std::optional<QString> openFileName(const QString &filter, const QString &folder) override;
    std::optional<QString> folderName(const QString &folder) override;
};
