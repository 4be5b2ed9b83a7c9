// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

// Every message box and file picker of the program goes through this seam, so that
// tests can answer them from a script. Boxes carry no icon and the program's title.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // A notice or refusal with an OK button.
    virtual void info(const QString &text) = 0;
    // A confirmation with Yes and No; true on Yes.
    virtual bool ask(const QString &text) = 0;
    // A save-file dialog; nullopt when the user cancels.
    virtual std::optional<QString> saveFileName(
        const QString &filter, const QString &folder, const QString &proposedName)
        = 0;
    // An open-file dialog for an existing file; nullopt when the user cancels (or where no
    // picker is offered).
    virtual std::optional<QString> openFileName(const QString &filter, const QString &folder)
    {
        Q_UNUSED(filter)
        Q_UNUSED(folder)
        return std::nullopt;
    }
    // A dialog that chooses an existing folder; nullopt when the user cancels.
    virtual std::optional<QString> folderName(const QString &folder)
    {
        Q_UNUSED(folder)
        return std::nullopt;
    }
};
