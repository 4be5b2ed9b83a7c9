#include "AppContext.h"
#include "AppFolder.h"
#include "AppStyle.h"
#include "MainMenu.h"
#include "QtDialogs.h"
#include "SessionBackup.h"
#include "Tasks.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>
#include <cstdio>

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
    if (const AppFolder::Options early = AppFolder::parse(rawArguments, {});
        early.exit && early.exitCode == 0)
        return finish(early);

    QApplication app(argc, argv);
    Q_INIT_RESOURCE(assets);
    QGuiApplication::setDesktopFileName(QStringLiteral(VELMO_APP_ID));

    const AppFolder::Options options
        = AppFolder::parse(QApplication::arguments(), qEnvironmentVariable("VELMO_DIR"));
    if (options.exit)
        return finish(options);
    const QString programDir = QCoreApplication::applicationDirPath();
    QString warning;
    const QString appDir = AppFolder::locate(options.dir, programDir,
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
        programDir + QStringLiteral("/" VELMO_TEMPLATE_DIR), &warning);
    if (!warning.isEmpty())
        std::fprintf(stderr, "velmo: %s\n", qPrintable(warning));

    QApplication::setStyle(new AppStyle);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/velmo.png")));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));

    // Standard buttons and the file dialog speak Japanese.
    QTranslator qtbase;
    if (qtbase.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtbase);

    QtDialogs dialogs;
    Clock clock;
    const AppContext context {appDir, &dialogs, &clock};

    SessionBackup backup(context);
    backup.checkLedger();
    backup.upgradeLedger();
    MainMenu menu(context);
    registerTasks(menu);
    menu.load();
    menu.show();
    backup.startInBackground();
    const int rc = app.exec();
    menu.hide();
    backup.atExit();
    return rc;
}
