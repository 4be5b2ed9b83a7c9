// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

#include <QString>
#include <functional>
#include <optional>

class QLabel;

// Where the platform's system-information program is, if anywhere.
using SystemInfoLocator = std::function<std::optional<QString>()>;
// Starts a program without waiting for it; false when it could not be started.
using ProgramStarter = std::function<bool(const QString &program)>;
// Reads one string value under HKEY_LOCAL_MACHINE; nullopt when the key or value is missing.
using RegistryReader = std::function<std::optional<QString>(const QString &key, const QString &value)>;

namespace SystemInfo {

// The Windows lookup: the tool's full path from the registry, or its folder from the
// registry plus MSINFO32.EXE when that file exists.
std::optional<QString> locateInRegistry(
    const RegistryReader &read, const std::function<bool(const QString &)> &fileExists);

// Elsewhere: the first of a fixed list of system-information programs found in the
// given folders.
std::optional<QString> locateInFolders(const QStringList &folders);
QStringList candidatePrograms();

// The lookup for this platform (the registry on Windows, PATH elsewhere).
std::optional<QString> locate();
bool startDetached(const QString &program);

} // namespace SystemInfo

// F_ver: the program's title and version, and a button that starts the platform's
// system-information program.
class AboutWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit AboutWindow(const AppContext &context, SystemInfoLocator locate = SystemInfo::locate,
        ProgramStarter start = SystemInfo::startDetached, QWidget *parent = nullptr);

    void load() override;

    static QString versionText();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void startSystemInfo();

    SystemInfoLocator m_locate;
    ProgramStarter m_start;
    QLabel *m_title = nullptr;
    QLabel *m_version = nullptr;
};
