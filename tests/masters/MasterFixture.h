// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Grid.h"
#include "TestSupport.h"

#include <QStringList>
#include <QWidget>
#include <memory>

// One master window on a fresh temporary ledger, with scripted dialogs.
template <typename Window> struct MasterFixture
{
    TempAppDir dir;
    ScriptedDialogs dialogs;
    FixedClock clock = clockAt(2003, 9, 17);
    std::unique_ptr<Window> window;

    // Puts rows into the ledger before the window opens.
    void seed(const QStringList &statements)
    {
        for (const QString &s : statements)
            dir.exec(s);
    }

    template <typename... Args> Window &open(Args &&...args)
    {
        window = std::make_unique<Window>(dir.context(dialogs, clock), std::forward<Args>(args)...);
        window->show();
        window->load();
        return *window;
    }

    Grid *grid(const char *name) const
    {
        return window->template findChild<Grid *>(QString::fromLatin1(name));
    }

    // The statements that follow the first one starting with `first`.
    static QStringList from(const QStringList &statements, const QString &first)
    {
        for (int i = 0; i < statements.size(); ++i) {
            if (statements[i].startsWith(first))
                return statements.mid(i);
        }
        return {};
    }
};
