// SPDX-License-Identifier: GPL-3.0-or-later
// Bad input through the real windows, opened from the real main menu: every input gets a
// clear message or a correct result, never a crash, and no row changes that should not.
//
// Text that code page 932 cannot hold (an emoji) is kept exactly in the ledger, which holds
// any text; only the CSV files, which are code page 932 by their layout, write each such
// character as one "?". The log never carries typed text: its events are the program's own.

#include "Cp932.h"
#include "Database.h"
#include "WindowDriver.h"

#include <QApplication>
#include <QFile>
#include <QInputMethodEvent>
#include <QTest>
#include <memory>

namespace {

const QString Digits = QStringLiteral("数値を入力して下さい");
const QString DbFailed = QStringLiteral("DB接続失敗");

QString dateMessage(const char *label)
{
    return QString::fromUtf8(label) + QStringLiteral("に正しい値(日付)を入力して下さい\r\n(例:20030917)");
}

// Names, remarks and reasons that once broke programs like this one.
QList<QPair<QString, QString>> awkwardTexts()
{
    return {
        {"single quote", "O'Brien"},
        {"quotes only", "''"},
        {"double quote", "\"引用\""},
        {"comma", "a,b,c"},
        {"line break", "一行目\r\n二行目"},
        {"injection", "'); DELETE FROM Hokan_T; --"},
        {"emoji", "🐷貯金"},
        {"10000 characters", QString(10000, QChar(0x3042))},
        {"backslash and percent", "\\100%_*"},
    };
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        std::unique_ptr<Drive::Menu> menu;

        Fixture()
        {
            Drive::seed(dir);
            dir.exec(
                "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('利息','給与','金庫','')");
            menu = std::make_unique<Drive::Menu>(dir.context(dialogs, clock));
        }
        TaskWindow *open(const char *opener)
        {
            dialogs.clear();
            TaskWindow *w = menu->open(opener);
            if (!w || !dialogs.infos.isEmpty())
                qFatal("%s did not open cleanly", opener);
            return w;
        }
        qint64 balance(const QString &place) const { return dir.balance(place); }
        QStringList rows() const { return ledgerDump(dir.dbPath()); }
        void checkConsistent() const
        {
            // The seeded balances are no replay of the seeded history; only the engine's check.
            QCOMPARE(dir.scalar("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
        }
    };

private slots:
    void postingAmounts_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("message"); // empty: posted
        QTest::addColumn<qint64>("bank"); // the bank's balance afterwards
        QTest::newRow("full-width digits") << "１２３" << Digits << 100000LL;
        QTest::newRow("plus sign") << "+500" << Digits << 100000LL;
        QTest::newRow("leading blank") << " 500" << Digits << 100000LL;
        QTest::newRow("trailing blank") << "500 " << Digits << 100000LL;
        QTest::newRow("inner blank") << "5 00" << Digits << 100000LL;
        QTest::newRow("ideographic blank") << "500　" << Digits << 100000LL;
        QTest::newRow("decimal point") << "500.5" << Digits << 100000LL;
        QTest::newRow("grouped") << "1,000" << Digits << 100000LL;
        QTest::newRow("eleven digits") << "12345678901" << Digits << 100000LL;
        QTest::newRow("just over 32 bits") << "2147483648" << Digits << 100000LL;
        QTest::newRow("minus only") << "-" << Digits << 100000LL;
        QTest::newRow("blank") << " " << Digits << 100000LL;
        QTest::newRow("empty") << ""
                               << "金額を入力して下さい" << 100000LL;
        QTest::newRow("zero") << "0"
                              << "金額を入力して下さい" << 100000LL;
        // The largest amount fits, but not on top of the balance: refused before a write.
        QTest::newRow("largest over the balance") << "2147483647" << DbFailed << 100000LL;
        QTest::newRow("negative lowers") << "-500"
                                         << "" << 99500LL;
        QTest::newRow("leading zeros") << "000500"
                                       << "" << 100500LL;
    }
    void postingAmounts()
    {
        QFETCH(QString, amount);
        QFETCH(QString, message);
        QFETCH(qint64, bank);
        Fixture f;
        const QStringList before = f.rows();
        TaskWindow *w = f.open("cmd_nyuukin");
        Drive::post(w, "給料", amount, "メモ");
        if (message.isEmpty()) {
            QCOMPARE(f.dialogs.infos, QStringList());
            QVERIFY(Drive::result(w).endsWith(u"処理完了"));
            QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM N").toInt(), 2);
        } else {
            QCOMPARE(f.dialogs.infos, QStringList {message});
            QVERIFY(Drive::result(w).isEmpty());
            QCOMPARE(f.rows(), before);
        }
        QCOMPARE(f.balance("銀行"), bank);
        QVERIFY(f.menu->close());
    }

    void largestAmountIsExact()
    {
        Fixture f;
        TaskWindow *w = f.open("cmd_nyuukin");
        Drive::post(w, "利息", "2147483647");
        QCOMPARE(f.dialogs.infos, QStringList());
        QCOMPARE(f.balance("金庫"), 2147483647LL);
        QCOMPARE(f.dir.scalar("SELECT N_money FROM N WHERE N_index = '利息'").toLongLong(), 2147483647LL);
        // One yen more does not fit: nothing is written.
        const QStringList before = f.rows();
        Drive::post(w, "利息", "1");
        QCOMPARE(f.dialogs.infos, QStringList {DbFailed});
        QCOMPARE(f.rows(), before);
        QVERIFY(f.menu->close());
    }

    void postingDates_data()
    {
        QTest::addColumn<QString>("day");
        QTest::addColumn<QStringList>("messages");
        const QString wrongDay = QStringLiteral("処理日が正しくありません");
        QTest::newRow("seven digits") << "2003091" << QStringList {dateMessage("処理日付")};
        QTest::newRow("nine digits") << "200309170" << QStringList {dateMessage("処理日付")};
        QTest::newRow("empty") << "" << QStringList {dateMessage("処理日付")};
        QTest::newRow("full-width digits") << "２００３０９１７" << QStringList {Digits, wrongDay};
        QTest::newRow("with slashes") << "2003/09/17" << QStringList {Digits, wrongDay};
        QTest::newRow("signed") << "-2003091" << QStringList {Digits, wrongDay};
        QTest::newRow("blank inside") << "2003 917" << QStringList {Digits, wrongDay};
    }
    void postingDates()
    {
        QFETCH(QString, day);
        QFETCH(QStringList, messages);
        Fixture f;
        const QStringList before = f.rows();
        for (const char *opener : {"cmd_nyuukin", "cmd_syukkin", "cmd_zidou"}) {
            TaskWindow *w = f.open(opener);
            Drive::child<QLineEdit>(w, "txt_day")->setText(day);
            Drive::post(w,
                QString::fromUtf8(qstrcmp(opener, "cmd_nyuukin") == 0 ? "給料"
                        : qstrcmp(opener, "cmd_syukkin") == 0         ? "食費"
                                                                      : "電気"),
                "100");
            QCOMPARE(f.dialogs.infos, messages);
            QVERIFY(f.menu->close());
        }
        QCOMPARE(f.rows(), before);
    }

    // Remarks, reasons and names are stored exactly as the box holds them, and touch no
    // other row.
    void awkwardRemarks()
    {
        for (const auto &[label, text] : awkwardTexts()) {
            Fixture f;
            TaskWindow *w = f.open("cmd_nyuukin");
            Drive::post(w, "給料", "100", text);
            QVERIFY2(f.dialogs.infos.isEmpty(), qPrintable(label));
            QCOMPARE(f.dir.scalar("SELECT N_memo FROM N WHERE N_money = 100").toString(), text);
            QVERIFY(f.menu->close());

            w = f.open("cmd_idou");
            Drive::transfer(w, "銀行", "財布", "300", "20030917", text);
            QVERIFY2(f.dialogs.infos.isEmpty(), qPrintable(label));
            QCOMPARE(f.dir.scalar("SELECT I_memo FROM Idourireki_T").toString(),
                Drive::child<QLineEdit>(w, "txt_memo")->text());
            QVERIFY(f.menu->close());

            w = f.open("cmd_tanaorosi");
            Drive::stocktake(w, "金庫", "7", text);
            QVERIFY2(f.dialogs.infos.isEmpty(), qPrintable(label));
            QCOMPARE(f.dir.scalar("SELECT K_riyuu FROM Ktanaorosi_T").toString(), text);
            QVERIFY(f.menu->close());

            QCOMPARE(f.dir.rows("SELECT H_index, H_money FROM Hokan_T ORDER BY H_no"),
                QStringList({"財布|5300", "銀行|99800", "金庫|7"}));
            QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM N").toInt(), 2);
            f.checkConsistent();
        }
    }

    // A storage place, an item and a category named awkwardly work everywhere: registered,
    // posted to, moved to, counted, renamed, and listed.
    void awkwardNames()
    {
        for (const auto &[label, name] : awkwardTexts()) {
            Fixture f;
            TaskWindow *w = f.open("ho");
            Grid *sp1 = Drive::child<Grid>(w, "SP1");
            sp1->setText(1, 1, name);
            sp1->setText(2, 1, name);
            sp1->setText(3, 1, name);
            sp1->clickButton(4, 1);
            QVERIFY2(f.dialogs.infos == QStringList {"登録完了しました"}, qPrintable(label));
            QVERIFY(gridRowOf(*Drive::child<Grid>(w, "SP2"), name, 2) > 0);
            QVERIFY(f.menu->close());
            QCOMPARE(
                f.dir.rows("SELECT H_index || '|' || H_name || '|' || H_memo FROM Hokan_T WHERE H_no = 4"),
                QStringList {name + u'|' + name + u'|' + name});

            w = f.open("nyu");
            sp1 = Drive::child<Grid>(w, "SP1");
            sp1->setText(1, 1, name);
            sp1->clickButton(3, 1);
            QVERIFY2(f.dialogs.infos == QStringList {"登録完了しました"},
                qPrintable(label + f.dialogs.infos.join(u';')));
            QVERIFY(f.menu->close());

            // An income item of that name and category on that place.
            w = f.open("syu");
            sp1 = Drive::child<Grid>(w, "SP1");
            sp1->setText(1, 1, name);
            sp1->setText(2, 1, QString::number(sp1->choiceEntries(2, 1).indexOf(name)));
            sp1->setText(3, 1, QString::number(sp1->choiceEntries(3, 1).indexOf(name)));
            sp1->clickButton(5, 1);
            QVERIFY2(f.dialogs.infos.size() == 1 && f.dialogs.infos.first().contains(u"登録"),
                qPrintable(label + f.dialogs.infos.join(u';')));
            QVERIFY(f.menu->close());
            QCOMPARE(f.dir.rows("SELECT N_kubun || '|' || N_hokan FROM Nyuukin_T WHERE N_index = '"
                         + Database::escape(name) + "'"),
                QStringList {name + u'|' + name});

            w = f.open("cmd_nyuukin");
            Drive::post(w, name, "1000");
            QVERIFY2(f.dialogs.infos.isEmpty(), qPrintable(label));
            QVERIFY(f.menu->close());
            w = f.open("cmd_idou");
            Drive::transfer(w, name, "財布", "400", "20030918");
            QVERIFY2(f.dialogs.infos.isEmpty(), qPrintable(label));
            QVERIFY(f.menu->close());
            w = f.open("cmd_tanaorosi");
            Drive::stocktake(w, name, "550", "数え直し");
            QVERIFY2(f.dialogs.infos.isEmpty(), qPrintable(label));
            QVERIFY(f.menu->close());
            QCOMPARE(f.balance(name), 550LL);
            QCOMPARE(f.balance("財布"), 5400LL);

            w = f.open("cmd_list");
            Drive::setCombo(Drive::child<QComboBox>(w, "cb_list"), name);
            Drive::child<QPushButton>(w, "cmd_kensaku")->click();
            QVERIFY2(f.dialogs.infos.isEmpty(), qPrintable(label));
            QCOMPARE(Drive::child<Grid>(w, "SP")->maxRows(), 1);
            QVERIFY(f.menu->close());

            // Renamed away and back: every table follows, nothing else moves.
            const std::vector<std::pair<QString, QString>> renames {{name, "改名"}, {"改名", name}};
            for (const auto &[from, to] : renames) {
                w = f.open("ho");
                Drive::setCombo(Drive::child<QComboBox>(w, "cb_hokan"), from);
                Drive::child<QLineEdit>(w, "txt_hokan2")->setText(to);
                Drive::child<QPushButton>(w, "cmd_henkou")->click();
                QVERIFY2(f.dialogs.infos.size() == 1 && f.dialogs.infos.first().endsWith(u"に変更しました"),
                    qPrintable(label + f.dialogs.infos.join(u';')));
                QVERIFY(f.menu->close());
            }
            const QString q = Database::escape(name);
            QCOMPARE(f.dir
                         .scalar("SELECT (SELECT COUNT(*) FROM N WHERE N_hokan = '" + q
                             + "') + (SELECT COUNT(*) FROM Idourireki_T WHERE I_hokanmoto = '" + q
                             + "') + (SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_hokan = '" + q
                             + "') + (SELECT COUNT(*) FROM Nyuukin_T WHERE N_hokan = '" + q + "')")
                         .toInt(),
                4);
            QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Hokan_T").toInt(), 4);
            f.checkConsistent();
        }
    }

    // The decision for text the code page cannot hold: the ledger keeps it; the CSV file
    // writes one "?" per such character and keeps every column in place.
    void textCodePage932CannotHold()
    {
        Fixture f;
        f.dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES "
                   "('🐷貯金',0,'👨‍👩‍👧','絵文字🍣と漢字')");
        TaskWindow *w = f.open("cmd_idou");
        Drive::transfer(w, "財布", "🐷貯金", "1", "20030917", "🎉");
        QVERIFY(f.dialogs.infos.isEmpty());
        QVERIFY(f.menu->close());
        QCOMPARE(f.dir.scalar("SELECT I_hokansaki || I_memo FROM Idourireki_T").toString(),
            QStringLiteral("🐷貯金🎉"));

        const QString places = f.dir.path() + QStringLiteral("/places.csv");
        const QString moves = f.dir.path() + QStringLiteral("/moves.csv");
        w = f.open("csv");
        Drive::exportCsv(w, f.dialogs, 7, places);
        Drive::exportCsv(w, f.dialogs, 3, moves);
        QCOMPARE(f.dialogs.infos, QStringList({places + "に保存しました", moves + "に保存しました"}));
        QVERIFY(f.menu->close());
        QFile p(places), m(moves);
        QVERIFY(p.open(QIODevice::ReadOnly) && m.open(QIODevice::ReadOnly));
        const QList<QByteArray> placeLines = p.readAll().split('\n');
        QCOMPARE(placeLines.value(6), Cp932::encode(QStringLiteral("4,?貯金,1,?????,絵文字?と漢字\r")));
        QCOMPARE(
            m.readAll().split('\n').value(3), Cp932::encode(QStringLiteral("20030917,財布,?貯金,1,?\r")));
    }

    void transferInputs_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("eleven digits") << "銀行"
                                       << "財布"
                                       << "12345678901"
                                       << "20030917" << QStringList {Digits};
        QTest::newRow("just over 32 bits") << "銀行"
                                           << "財布"
                                           << "2147483648"
                                           << "20030917" << QStringList {Digits};
        QTest::newRow("largest, not enough money")
            << "銀行"
            << "財布"
            << "2147483647"
            << "20030917" << QStringList {"移動元金額が足りません。\r\n銀行( \\100000)\r\n処理を中断します"};
        QTest::newRow("seven-digit date") << "銀行"
                                          << "財布"
                                          << "100"
                                          << "2003091" << QStringList {dateMessage("移動日付")};
        QTest::newRow("nine-digit date") << "銀行"
                                         << "財布"
                                         << "100"
                                         << "200309170" << QStringList {dateMessage("移動日付")};
        QTest::newRow("unknown source") << "'); DELETE FROM Hokan_T; --"
                                        << "財布"
                                        << "1"
                                        << "20030917" << QStringList {DbFailed};
        QTest::newRow("unknown destination") << "銀行"
                                             << "銀行'"
                                             << "1"
                                             << "20030917" << QStringList {DbFailed};
        QTest::newRow("destination overflows") << "財布"
                                               << "金庫"
                                               << "1"
                                               << "20030917" << QStringList {DbFailed};
    }
    void transferInputs()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, amount);
        QFETCH(QString, day);
        QFETCH(QStringList, messages);
        Fixture f;
        f.dir.exec("UPDATE Hokan_T SET H_money = 2147483647 WHERE H_index = '金庫'");
        const QStringList before = f.rows();
        TaskWindow *w = f.open("cmd_idou");
        Drive::transfer(w, from, to, amount, day);
        QCOMPARE(f.dialogs.infos, messages);
        QVERIFY(Drive::result(w).isEmpty());
        QCOMPARE(f.rows(), before);
        QVERIFY(f.menu->close());
    }

    // A full-width digit greys "実行"; the date box can enable it again while the amount still
    // holds the digit, and then the press is refused, not posted.
    void transferWithALetterLeftInTheAmount()
    {
        Fixture f;
        const QStringList before = f.rows();
        TaskWindow *w = f.open("cmd_idou");
        auto *ok = Drive::child<QPushButton>(w, "cmd_ok");
        Drive::setCombo(Drive::child<QComboBox>(w, "cb_moto"), "銀行");
        Drive::setCombo(Drive::child<QComboBox>(w, "cb_saki"), "財布");
        // Full-width digits arrive as the input method commits them.
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("１００"));
        QApplication::sendEvent(Drive::child<QLineEdit>(w, "txt_money"), &commit);
        QCOMPARE(Drive::child<QLineEdit>(w, "txt_money")->text(), QStringLiteral("１００"));
        QVERIFY(!ok->isEnabled());
        QVERIFY(!f.dialogs.infos.isEmpty());
        for (const QString &shown : f.dialogs.infos)
            QCOMPARE(shown, Digits);
        f.dialogs.clear();
        auto *day = Drive::child<QLineEdit>(w, "txt_day");
        day->clear();
        QTest::keyClicks(day, QStringLiteral("20030917"));
        QVERIFY(ok->isEnabled());
        ok->click();
        QCOMPARE(f.dialogs.infos, QStringList {Digits});
        QVERIFY(f.dialogs.asked.isEmpty());
        QCOMPARE(f.rows(), before);
        QVERIFY(f.menu->close());
    }

    void stocktakeAmounts_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("message");
        QTest::newRow("full-width digits") << "１０" << Digits;
        QTest::newRow("eleven digits") << "12345678901" << Digits;
        QTest::newRow("just over 32 bits") << "2147483648" << Digits;
        QTest::newRow("signed") << "-5" << Digits;
        QTest::newRow("largest") << "2147483647"
                                 << "";
        QTest::newRow("zero") << "0"
                              << "";
    }
    void stocktakeAmounts()
    {
        QFETCH(QString, amount);
        QFETCH(QString, message);
        Fixture f;
        const QStringList before = f.rows();
        TaskWindow *w = f.open("cmd_tanaorosi");
        Drive::stocktake(w, "財布", amount, "数え直し");
        if (message.isEmpty()) {
            QCOMPARE(f.dialogs.infos, QStringList());
            QCOMPARE(f.balance("財布"), amount.toLongLong());
            QCOMPARE(f.dir.rows("SELECT K_bmoney || '|' || K_amoney FROM Ktanaorosi_T"),
                QStringList {"5000|" + amount});
        } else {
            // Either the digits-only check greyed the button as the text arrived, or the
            // press was refused: one message, no question, nothing written.
            QCOMPARE(f.dialogs.infos, QStringList {message});
            QVERIFY(f.dialogs.asked.isEmpty());
            QCOMPARE(f.rows(), before);
        }
        QVERIFY(f.menu->close());
    }

    void csvYears_data()
    {
        QTest::addColumn<QString>("year");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("enabled");
        const QString range = QStringLiteral("2000年～2100年で設定して下さい");
        QTest::newRow("full-width digits") << "２００３" << QStringList {Digits} << false;
        QTest::newRow("before 2000") << "1999" << QStringList {range} << true;
        QTest::newRow("eleven digits") << "99999999999" << QStringList {range} << true;
        QTest::newRow("empty") << "" << QStringList {range} << true;
    }
    void csvYears()
    {
        QFETCH(QString, year);
        QFETCH(QStringList, messages);
        QFETCH(bool, enabled);
        Fixture f;
        TaskWindow *w = f.open("csv");
        Drive::child<QComboBox>(w, "CB")->setCurrentIndex(0);
        auto *y1 = Drive::child<QLineEdit>(w, "txt_Y1");
        y1->setText(year);
        auto *button = Drive::child<QPushButton>(w, "cmd_syuturyoku");
        QCOMPARE(button->isEnabled(), enabled);
        button->click();
        QCOMPARE(f.dialogs.infos, messages);
        QVERIFY(f.dialogs.saveRequests.empty());
        QVERIFY(f.menu->close());
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
