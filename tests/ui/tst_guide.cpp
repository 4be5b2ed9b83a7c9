// SPDX-License-Identifier: GPL-3.0-or-later
#include "../reliability/WindowDriver.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
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

// The text of the section under a heading ("## x" or "### x"), up to the next heading of the
// same or a higher level; empty when there is no such heading.
QString section(const QString &guide, const QString &heading)
{
    const qsizetype level = heading.indexOf(u' ');
    const qsizetype start = guide.indexOf(u'\n' + heading + u'\n');
    if (level <= 0 || start < 0)
        return {};
    static const QRegularExpression nextHeading(QStringLiteral("\n(#+) "));
    qsizetype end = guide.size();
    for (auto it = nextHeading.globalMatch(guide, start + 1); it.hasNext();) {
        const auto m = it.next();
        if (m.capturedLength(1) <= level) {
            end = m.capturedStart();
            break;
        }
    }
    return guide.mid(start, end - start);
}

// The anchor a heading gets: lower case, spaces as hyphens, punctuation (brackets, 「」, ・)
// dropped, letters of every script kept.
QString anchorOf(QString heading)
{
    static const QRegularExpression punctuation(QStringLiteral("[^\\p{L}\\p{N}\\p{M} _-]"));
    return heading.toLower().remove(punctuation).replace(u' ', u'-');
}

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
        windows.push_back({"F_bkset", "bkset"});
        windows.push_back({"F_kensaku", "cmd_meisai"});
        windows.push_back({"F_undo", "history"});
        windows.push_back({"F_yosan", "cmd_yosan"});
        windows.push_back({"F_ver", "VER"});
        windows.push_back({"F_import", "import"});
        windows.push_back({"F_iten", "iten"});
        windows.push_back({"F_log", "log"});
        windows.push_back({"F_card", "card"});
        windows.push_back({"F_rule", "rule"});
        windows.push_back({"F_mitosi", "cmd_mitosi"});
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

    // Each chapter a household looks for is there, with the pictures of its windows.
    void chapterHasItsPictures_data()
    {
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QStringList>("pictures");
        QTest::newRow("statement import")
            << "## 銀行の明細を取り込む"
            << QStringList {"F_import-empty.png", "F_import.png", "F_preset.png", "F_import-done.png"};
        QTest::newRow("states of a line") << "### 「状態」の意味" << QStringList {};
        QTest::newRow("learnt items") << "### 覚えた項目と取込ルール" << QStringList {"F_rule.png"};
        QTest::newRow("offered stocktake") << "### 残高の違いと金額棚卸" << QStringList {};
        QTest::newRow("taking a batch back") << "### 取込を取り消す" << QStringList {};
        QTest::newRow("card statement")
            << "## カードの明細を取り込む" << QStringList {"F_card.png", "F_import-card.png"};
        QTest::newRow("moving in") << "## 他の家計簿から移行" << QStringList {"F_iten.png"};
        QTest::newRow("correcting a mistake")
            << "## まちがいを直す" << QStringList {"F_kensaku.png", "F_syusei.png", "F_undo.png"};
        QTest::newRow("budgets") << "## 予算" << QStringList {"F_yosan.png", "F_bunrui_S-budget.png"};
        QTest::newRow("balance ahead")
            << "## 先の残高" << QStringList {"F_mitosi.png", "F_mitosi-yotei.png", "F_mitosi-graph.png"};
        QTest::newRow("log") << "## 操作ログ" << QStringList {"F_log.png"};
        QTest::newRow("yen sign and dark desktop")
            << "## 画面の表示（円記号と暗い画面）" << QStringList {"dark-F_syukkin.png"};
        QTest::newRow("about") << "## バージョン情報" << QStringList {"F_ver.png"};
        QTest::newRow("second backup folder")
            << "### 別のディスクにもコピーする（「バックアップの設定」画面）" << QStringList {"F_bkset.png"};
        QTest::newRow("restore on a new computer")
            << "### 新しいパソコンで記録を戻す（ファイルから復元）" << QStringList {"F_restore-file.png"};
    }
    void chapterHasItsPictures()
    {
        QFETCH(QString, heading);
        QFETCH(QStringList, pictures);
        const QString text = section(readText(guidePath), heading);
        QVERIFY2(!text.isEmpty(), qPrintable(heading));
        for (const QString &p : pictures)
            QVERIFY2(text.contains(QStringLiteral("(../images/") + p + u')'), qPrintable(p));
    }

    // The questions a household asks, each answered under its own heading.
    void frequentQuestions_data()
    {
        QTest::addColumn<QString>("question");
        for (const char *q : {"給料を記録するには", "残高が合わないとき", "間違えて入力したとき",
                 "銀行の明細を取り込むには", "カードの明細を取り込むには",
                 "財布の残高が足りないと言われたとき", "パソコンを買い替えたとき", "前の状態に戻したいとき"})
            QTest::newRow(q) << QString::fromUtf8(q);
    }
    void frequentQuestions()
    {
        QFETCH(QString, question);
        const QString faq = section(readText(guidePath), QStringLiteral("## よくある質問"));
        const QString answer = section(faq, QStringLiteral("### ") + question).trimmed();
        QVERIFY2(!answer.isEmpty(), qPrintable(question));
        QVERIFY(!answer.endsWith(question));
    }

    // Every link within the guide, the table of contents' included, leads to a heading; every
    // chapter is in the table of contents.
    void linksLeadToHeadings()
    {
        const QString guide = readText(guidePath);
        QSet<QString> anchors;
        QStringList chapters;
        static const QRegularExpression heading(
            QStringLiteral("^(#+) (.+)$"), QRegularExpression::MultilineOption);
        for (const auto &m : heading.globalMatch(guide)) {
            anchors.insert(anchorOf(m.captured(2)));
            if (m.capturedLength(1) == 2 && m.captured(2) != u"目次")
                chapters << anchorOf(m.captured(2));
        }
        static const QRegularExpression link(QStringLiteral(R"(\]\(#([^)]+)\))"));
        QStringList broken, linked;
        for (const auto &m : link.globalMatch(guide)) {
            linked << m.captured(1);
            if (!anchors.contains(m.captured(1)))
                broken << m.captured(1);
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(u'\n')));
        const QString contents = section(guide, QStringLiteral("## 目次"));
        for (const QString &c : std::as_const(chapters))
            QVERIFY2(contents.contains(u'#' + c + u')'), qPrintable(c));
    }

    // The guide speaks of what a household has, not of a developer's machine.
    void noDevelopersPaths()
    {
        const QString guide = readText(guidePath);
        for (const char *path : {"/work/", "/home/", "build/", "/tmp/"})
            QVERIFY2(!guide.contains(QLatin1String(path)), path);
    }
};

QTEST_MAIN(TestGuide)
#include "tst_guide.moc"
