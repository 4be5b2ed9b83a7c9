#include "../reliability/WindowDriver.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

namespace {

QString readText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return QString::fromUtf8(f.readAll());
}

const QString guidePath = QStringLiteral(VELMO_SOURCE_DIR "/docs/ja/README.md");

} // namespace

// The user's guide must stay true to the program: its pictures exist, and the window names it
// quotes are the captions the windows have.
class TestGuide : public QObject
{
    Q_OBJECT

private slots:
    void everyLinkedPictureExists_data()
    {
        QTest::addColumn<QString>("document");
        QTest::newRow("guide") << guidePath;
        QTest::newRow("README") << QStringLiteral(VELMO_SOURCE_DIR "/README.md");
    }
    void everyLinkedPictureExists()
    {
        QFETCH(QString, document);
        const QString text = readText(document);
        static const QRegularExpression image(QStringLiteral(R"(!\[[^\]]*\]\(([^)]+)\))"));
        int pictures = 0;
        for (const auto &m : image.globalMatch(text)) {
            const QString target = QFileInfo(document).dir().filePath(m.captured(1));
            QVERIFY2(QFileInfo(target).isFile(), qPrintable(m.captured(1)));
            ++pictures;
        }
        QVERIFY(pictures > 0);
    }

    // Every window is named in the guide by its caption, and the picture of a window (named
    // after the window) is described by that caption.
    void windowsAreNamedByTheirCaptions()
    {
        const QString guide = readText(guidePath);
        TempAppDir dir;
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2026, 12, 8);
        Drive::Menu m(dir.context(dialogs, clock));

        std::vector<Drive::Window> windows = Drive::ledgerWindows();
        windows.push_back({"F_bunrui_S", "cmd_bunrui"});
        windows.push_back({"F_restore", "restore"});
        windows.push_back({"F_kensaku", "cmd_meisai"});
        windows.push_back({"F_undo", "history"});
        windows.push_back({"F_yosan", "cmd_yosan"});
        windows.push_back({"F_ver", "VER"});
        QStringList missing;
        for (const Drive::Window &w : windows) {
            TaskWindow *task = m.open(w.opener);
            QVERIFY2(task, w.name);
            QCOMPARE(task->objectName(), QString::fromLatin1(w.name));
            const QString caption = task->windowTitle();
            task->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

            if (!guide.contains(u'「' + caption + u'」'))
                missing << QStringLiteral("%1: 「%2」 not in the guide").arg(w.name, caption);
            static const QRegularExpression picture(
                QStringLiteral(R"(!\[([^\]]*)\]\(\.\./images/([A-Za-z_]+)[-.])"));
            bool pictured = false;
            for (const auto &p : picture.globalMatch(guide)) {
                if (p.captured(2) != QLatin1String(w.name))
                    continue;
                pictured = true;
                if (!p.captured(1).startsWith(caption))
                    missing << QStringLiteral("%1: picture described as %2").arg(w.name, p.captured(1));
            }
            if (!pictured)
                missing << QStringLiteral("%1: no picture").arg(w.name);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));
    }
};

QTEST_MAIN(TestGuide)
#include "tst_guide.moc"
