// SPDX-License-Identifier: GPL-3.0-or-later
#include "../../packaging/GuideAnchor.h"
#include "../reliability/FirstMonth.h"
#include "../reliability/WindowDriver.h"

#include <QAction>
#include <QCryptographicHash>
#include <QMenu>
#include <QMenuBar>

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

// A menu entry's or button's caption as the guide writes it: without its accelerator "(&X)"
// and its "...".
QString plainCaption(QString caption)
{
    static const QRegularExpression accelerator(QStringLiteral("\\(&.\\)|\\.\\.\\.$"));
    return caption.remove(accelerator).remove(u'&');
}

// The entries of the main menu that do something at once instead of opening a window.
bool actsAtOnce(const QString &name)
{
    static const QStringList names {"logdel", "En", "undo", "guide"};
    return names.contains(name);
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

    // Every window the main menu opens, by a button or an entry, is named in the guide by its
    // caption, and the picture of a window (named after the window) is described by that
    // caption; so are the windows other windows open.
    void windowsAreNamedByTheirCaptions()
    {
        const QString guide = readText(guidePath);
        TempAppDir dir;
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2026, 12, 8);
        Drive::Menu m(dir.context(dialogs, clock));

        QStringList openers;
        for (const QPushButton *b : m.menu.findChildren<QPushButton *>())
            if (b->objectName() != u"cmd_end")
                openers << b->objectName();
        for (const QAction *a : m.menu.menuBar()->findChildren<QAction *>())
            if (!a->objectName().isEmpty() && !a->isSeparator() && !a->menu() && !actsAtOnce(a->objectName()))
                openers << a->objectName();
        QStringList missing;
        QList<QPair<QString, QString>> windows {{QStringLiteral("F_syusei"), QStringLiteral("明細の修正")},
            {QStringLiteral("F_preset"), QStringLiteral("取込形式の登録")}};
        for (const QString &opener : std::as_const(openers)) {
            TaskWindow *task = m.open(opener.toLatin1().constData());
            if (!task) {
                missing << opener + QStringLiteral(": opens no window");
                continue;
            }
            windows.append({task->objectName(), task->windowTitle()});
            task->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QVERIFY(windows.size() > 20);
        for (const auto &[name, caption] : std::as_const(windows)) {
            if (!guide.contains(u'「' + caption + u'」'))
                missing << QStringLiteral("%1: 「%2」 not in the guide").arg(name, caption);
            static const QRegularExpression picture(
                QStringLiteral(R"(!\[([^\]]*)\]\(\.\./images/([A-Za-z_]+)[-.])"));
            bool pictured = false;
            for (const auto &p : picture.globalMatch(guide)) {
                if (p.captured(2) != name)
                    continue;
                pictured = true;
                if (!p.captured(1).startsWith(caption))
                    missing << QStringLiteral("%1: picture described as %2").arg(name, p.captured(1));
            }
            if (!pictured)
                missing << QStringLiteral("%1: no picture").arg(name);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));
    }

    // The guide's table of the main menu names every button and every menu entry.
    void menuTableNamesEveryEntry()
    {
        const QString guide = readText(guidePath);
        const qsizetype start = guide.indexOf(QStringLiteral("| 場所 | ボタン・メニュー | 開く画面 |"));
        QVERIFY(start > 0);
        const QString table = guide.mid(start, guide.indexOf(QStringLiteral("\n\n"), start) - start);
        TempAppDir dir;
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2026, 12, 8);
        Drive::Menu m(dir.context(dialogs, clock));
        QStringList captions, missing;
        for (const QPushButton *b : m.menu.findChildren<QPushButton *>())
            captions << b->text();
        for (const QAction *a : m.menu.menuBar()->actions())
            captions << a->text() + QStringLiteral("（メニュー）");
        for (const QMenu *menu : m.menu.menuBar()->findChildren<QMenu *>())
            for (const QAction *a : menu->actions())
                if (!a->isSeparator())
                    captions << a->text();
        for (const QString &c : std::as_const(captions)) {
            const QString plain = plainCaption(QString(c).remove(QStringLiteral("（メニュー）")));
            if (!table.contains(plain))
                missing << plain;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));
    }

    // Every picture in the images folder is shown by the guide or the README, and no two are
    // the same picture: each shows its own state.
    void everyPictureIsUsedAndItsOwn()
    {
        const QString text = readText(guidePath) + readText(QStringLiteral(VELMO_SOURCE_DIR "/README.md"));
        const QDir images(QStringLiteral(VELMO_SOURCE_DIR "/docs/images"));
        QHash<QByteArray, QString> seen;
        QStringList problems;
        for (const QString &file : images.entryList({"*.png"}, QDir::Files)) {
            if (!text.contains(QStringLiteral("images/") + file + u')'))
                problems << file + QStringLiteral(": not shown");
            QFile f(images.filePath(file));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray hash = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
            if (seen.contains(hash))
                problems << file + QStringLiteral(": the same as ") + seen.value(hash);
            seen.insert(hash, file);
        }
        QVERIFY(seen.size() > 30);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }

    // Each chapter a household looks for is there, with the pictures of its windows.
    void chapterHasItsPictures_data()
    {
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QStringList>("pictures");
        QTest::newRow("first month") << "## はじめての1か月"
                                     << QStringList {"main-help.png", "F_hokanM.png", "F_card.png",
                                            "F_kubunM.png", "F_syuM.png", "F_tanaorosi-first.png",
                                            "F_tanaorosi-card.png", "F_import-card.png", "F_import-first.png",
                                            "F_import-first-done.png", "F_rule.png", "F_yosan.png",
                                            "F_mitosi.png", "F_import-match.png", "F_rireki_S-first.png"};
        QTest::newRow("five minutes a month") << "## 毎月5分" << QStringList {};
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

    // The first month walked on a new ledger as the guide tells it: what was counted or owed
    // stays through the imports of the days before, the bank's first statement sets its
    // balance, the card's payment after its day is matched and the rule learnt fills the cash
    // drawn; and the figures the text quotes are the ones the program shows.
    void firstMonthAsTheGuideTellsIt()
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2026, 12, 8);
        const FirstMonth::Result r = FirstMonth::walk(
            dir.context(dialogs, clock), clock, dialogs.shown, [](QWidget *, const QString &) {});
        QVERIFY2(r.problems.isEmpty(), qPrintable(r.problems.join(u'\n')));
        const auto at = [&](const char *step, const char *place) {
            return r.balances.value(QString::fromLatin1(step)).value(QString::fromUtf8(place));
        };
        for (const char *place : {"財布", "貯金箱", "郵便貯金", "クレジットカード"})
            for (const char *step : {"card", "bank"})
                QVERIFY2(at(step, place) == at("counted", place), place);
        // The question before the bank's first import, as the text quotes it.
        const QString fresh = QStringLiteral(
            "銀行にはまだ記録がありません。\r\n残高を明細の2026/11/02時点の残高 \\480000から始めますか？");
        QVERIFY(r.messages.contains(fresh));
        QCOMPARE(
            at("bank", "銀行"), 480000 - 30000 - 18740 + 271000 - 30000 - 6547 - 7747 - 40000 - 3600 - 4200);
        QCOMPARE(r.december,
            QStringList({"口座振替 ｸﾚｼﾞﾂﾄｶｰﾄﾞ|→ クレジットカード|照合", "カード ATM|→ 財布|新規"}));
        QCOMPARE(at("paid", "クレジットカード"), 0);
        QCOMPARE(at("paid", "財布"), at("counted", "財布") + 20000);

        const QString guide = readText(guidePath);
        const QString text = section(guide, QStringLiteral("## はじめての1か月"));
        const auto yen = [](qint64 v) { return FirstMonth::grouped(v) + QStringLiteral("円"); };
        const qint64 owed = -at("counted", "クレジットカード");
        QStringList quoted {yen(at("counted", "財布")), yen(at("counted", "貯金箱")),
            yen(at("counted", "郵便貯金")), QString::number(-owed), yen(owed), yen(at("paid", "財布")),
            yen(at("closed", "財布")), yen(at("paid", "財布") - at("closed", "財布")),
            QStringLiteral("例では 0円")};
        for (const QString &figure : std::as_const(quoted))
            QVERIFY2(text.contains(figure), qPrintable(figure));
        QVERIFY2(guide.contains(u'「' + r.bill + u'」'), qPrintable(r.bill));
        QVERIFY(text.contains(u'「' + QString(fresh).remove(QStringLiteral("\r\n")) + u'」'));
    }

    // The questions a household asks, each answered under its own heading.
    void frequentQuestions_data()
    {
        QTest::addColumn<QString>("question");
        for (const char *q :
            {"給料を記録するには", "残高が合わないとき", "間違えて入力したとき", "銀行の明細を取り込むには",
                "カードの明細を取り込むには", "財布の残高が足りないと言われたとき", "前の状態に戻したいとき",
                "どのパソコンで使えますか", "ほかの家計簿ソフトから移るには", "2人で1つの家計簿をつけるには",
                "新しいパソコンに移るとき・パソコンをなくしたとき", "パスワードは掛けられますか",
                "レシートのない現金の支出は", "電子マネーやコード決済は",
                "携帯電話の料金をカードで払っているときは", "項目名のあとに「代」が付くのはなぜ"})
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
            anchors.insert(guideAnchor(m.captured(2)));
            if (m.capturedLength(1) == 2 && m.captured(2) != u"目次")
                chapters << guideAnchor(m.captured(2));
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
