// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppContext.h"
#include "AppFolder.h"
#include "AppStyle.h"
#include "DemoLedger.h"
#include "InstanceLock.h"
#include "MainMenu.h"
#include "QtDialogs.h"
#include "SessionBackup.h"
#include "SignalQuit.h"
#include "Tasks.h"
#include "YenFont.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <optional>

namespace {

int finish(const AppFolder::Options &options)
{
    std::fputs(qPrintable(options.output), options.exitCode == 0 ? stdout : stderr);
    return options.exitCode;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication::setApplicationName(QStringLiteral("velmo"));
    QApplication::setApplicationVersion(QStringLiteral(VELMO_VERSION));

    // --help and --version are answered before the windowing system is reached, so that they
    // work without a display. Anything else, Qt's own options included, waits for QApplication.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    // The program's folder before there is a QCoreApplication to ask: the running executable.
    const QString earlyProgramDir = QFileInfo::exists(QStringLiteral("/proc/self/exe"))
        ? QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2)
        : QFileInfo(rawArguments.value(0)).absolutePath();
    if (const AppFolder::Options early = AppFolder::parse(
            rawArguments, {}, AppFolder::guideFile(earlyProgramDir + QStringLiteral("/" VELMO_TEMPLATE_DIR)));
        early.exit && early.exitCode == 0)
        return finish(early);

    QApplication app(argc, argv);
    Q_INIT_RESOURCE(assets);
    // Stopped from the terminal or by the end of the desktop session, the program still ends
    // as it ends itself: the backup at the end is taken and a demo folder is removed.
    SignalQuit::install({SIGINT, SIGTERM, SIGHUP});
    QGuiApplication::setDesktopFileName(QStringLiteral(VELMO_APP_ID));

    const AppFolder::Options options
        = AppFolder::parse(QApplication::arguments(), qEnvironmentVariable("VELMO_DIR"));
    if (options.exit)
        return finish(options);
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString userDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString templateDir = programDir + QStringLiteral("/" VELMO_TEMPLATE_DIR);
    QString warning;
    // --demo: a household's ledger dated to today in a new temporary folder, removed at the end;
    // the user's own folders are not even looked at.
    std::optional<QTemporaryDir> demoDir;
    if (options.demo) {
        demoDir.emplace(QDir(QDir::tempPath()).filePath(QStringLiteral("velmo-demo-XXXXXX")));
        QString error = demoDir->errorString();
        if (!demoDir->isValid()
            || !DemoLedger::layOut(demoDir->path(), QDate::currentDate(),
                QDir(templateDir).filePath(QStringLiteral("yazirusi.gif")), &error)) {
            std::fprintf(stderr, "velmo: cannot lay out the demo household: %s\n", qPrintable(error));
            return 1;
        }
        std::fprintf(
            stderr, "velmo: demo household in %s (removed at the end)\n", qPrintable(demoDir->path()));
    }
    const QString appDir = options.demo
        ? demoDir->path()
        : AppFolder::locate(options.dir, programDir, userDir, templateDir, &warning);

    QApplication::setStyle(new AppStyle);
    YenFont::install();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/velmo.png")));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));

    // Standard buttons and the file dialog speak Japanese.
    QTranslator qtbase;
    if (qtbase.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtbase);

    QtDialogs dialogs;
    Clock clock;
    const AppContext context {appDir, &dialogs, &clock};

    InstanceLock lock(appDir);
    if (!lock.acquire(dialogs))
        return 1;

    SessionBackup backup(context);
    const SessionBackup::Check check = backup.checkLedger();
    // A per-user folder whose ledger was lost gets the template's only once its backups were
    // offered and declined, or none of them is usable.
    if (!options.demo && options.dir.isEmpty() && appDir == userDir
        && (check == SessionBackup::Check::Declined || check == SessionBackup::Check::NoBackup))
        AppFolder::layOut(userDir, templateDir, &warning);
    if (!warning.isEmpty())
        std::fprintf(stderr, "velmo: %s\n", qPrintable(warning));
    backup.upgradeLedger();
    MainMenu menu(context);
    menu.setGuide(AppFolder::guideFile(templateDir));
    registerTasks(menu);
    menu.load();
    menu.show();
    backup.startInBackground();
    const int rc = app.exec();
    menu.hide();
    backup.atExit();
    return rc;
}
