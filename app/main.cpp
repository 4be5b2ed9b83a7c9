#include "AppContext.h"
#include "MainMenu.h"
#include "QtDialogs.h"
#include "SessionBackup.h"
#include "Tasks.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QProxyStyle>
#include <QTranslator>

namespace {

// Fusion, without the icons it would put on the buttons of message boxes: every box of
// the program is a plain text with OK or Yes/No.
class VelmoStyle : public QProxyStyle
{
public:
    VelmoStyle()
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(assets);
    QApplication::setApplicationName(QStringLiteral("velmo"));
    QApplication::setApplicationVersion(QStringLiteral(VELMO_VERSION));
    QApplication::setStyle(new VelmoStyle);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/velmo.png")));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));

    // Standard buttons and the file dialog speak Japanese.
    QTranslator qtbase;
    if (qtbase.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtbase);

    QtDialogs dialogs;
    Clock clock;
    const AppContext context {QCoreApplication::applicationDirPath(), &dialogs, &clock};

    SessionBackup backup(context);
    backup.checkLedger();
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
