#include "AppContext.h"
#include "MainMenu.h"
#include "QtDialogs.h"
#include "Tasks.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(assets);
    QApplication::setApplicationName(QStringLiteral("velmo"));
    QApplication::setApplicationVersion(QStringLiteral(VELMO_VERSION));
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/velmo.png")));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));

    // Standard buttons and the file dialog speak Japanese.
    QTranslator qtbase;
    if (qtbase.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtbase);

    QtDialogs dialogs;
    Clock clock;
    const AppContext context {QCoreApplication::applicationDirPath(), &dialogs, &clock};

    MainMenu menu(context);
    registerTasks(menu);
    menu.load();
    menu.show();
    return app.exec();
}
