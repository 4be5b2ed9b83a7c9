// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "TransferWindow.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

class TestTransfer : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        TransferWindow *window = nullptr;

        explicit Fixture(bool removeArrow = false)
        {
            dir.exec(QStringLiteral(
                "INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES "
                "('財布', 10000, '父', ''), ('銀行', 500, '母', 'メモ'), ('金庫', 0, '', '')"));
            if (removeArrow)
                QFile::remove(QDir(dir.path()).filePath(QStringLiteral("yazirusi.gif")));
            window = new TransferWindow(dir.context(dialogs, clock));
            window->show();
            window->load();
        }
        ~Fixture() { delete window; }

        template <typename T> T *get(const char *name) const { return ::child<T>(window, name); }
        // The remarks box is left untouched unless a remark is given.
        void fill(const QString &moto, const QString &saki, const QString &money, const QString &memo = {})
        {
            get<QComboBox>("cb_moto")->setEditText(moto);
            get<QComboBox>("cb_saki")->setEditText(saki);
            get<QLineEdit>("txt_money")->setText(money);
            if (!memo.isEmpty())
                get<QLineEdit>("txt_memo")->setText(memo);
        }
        void press()
        {
            QPushButton *ok = get<QPushButton>("cmd_ok");
            QVERIFY(ok->isEnabled());
            ok->click();
        }
        QStringList result() const { return get<QPlainTextEdit>("txt_kekka")->toPlainText().split(u'\n'); }
        QStringList balances() const
        {
            return dir.rows(QStringLiteral("SELECT H_index, H_money FROM Hokan_T ORDER BY H_no"));
        }
        int historyRows() const
        {
            return dir.scalar(QStringLiteral("SELECT count(*) FROM Idourireki_T")).toInt();
        }
    };

private slots:
    void loadFillsBothListsAndToday()
    {
        Fixture f;
        QCOMPARE(f.window->windowTitle(), QStringLiteral("金額移動処理画面"));
        const QStringList names {QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("金庫")};
        for (const char *cb : {"cb_moto", "cb_saki"}) {
            QComboBox *c = f.get<QComboBox>(cb);
            QStringList items;
            for (int i = 0; i < c->count(); ++i)
                items << c->itemText(i);
            QCOMPARE(items, names);
            QCOMPARE(c->currentText(), QString());
        }
        QCOMPARE(f.get<QLineEdit>("txt_day")->text(), QStringLiteral("20030917"));
        QVERIFY(!f.get<QLabel>("img_ya")->pixmap().isNull());
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void missingArrowStillFillsTheLists()
    {
        Fixture f(true);
        QVERIFY(f.get<QLabel>("img_ya")->pixmap().isNull());
        QCOMPARE(f.get<QComboBox>("cb_moto")->count(), 3);
        QCOMPARE(f.get<QComboBox>("cb_saki")->count(), 3);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void transferWholeBalance()
    {
        Fixture f;
        StatementRecorder rec;
        f.fill(QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("10000"),
            QStringLiteral("移し替え"));
        f.press();
        QCOMPARE(f.dialogs.asked, QStringList {QStringLiteral("金額移動処理を実行します　よろしいですか？")});
        QCOMPARE(f.dialogs.infos, QStringList());
        QCOMPARE(f.result(),
            (QStringList {QStringLiteral("財布(移動前 \\10000→移動後 \\0)"),
                QStringLiteral("銀行(移動前 \\500→移動後 \\10500)"), QStringLiteral("移動金額 \\10000"),
                QStringLiteral("処理完了")}));
        QCOMPARE(f.balances(),
            (QStringList {QStringLiteral("財布|0"), QStringLiteral("銀行|10500"), QStringLiteral("金庫|0")}));
        QCOMPARE(f.dir.rows(QStringLiteral("SELECT * FROM Idourireki_T")),
            QStringList {QStringLiteral("財布|銀行|10000|20030917|移し替え")});
        QCOMPARE(f.dir.scalar(QStringLiteral("SELECT typeof(H_money) FROM Hokan_T WHERE H_index = '銀行'")),
            QVariant(QStringLiteral("integer")));
        QCOMPARE(rec.statements.mid(0, 4),
            (QStringList {QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index= '財布')"),
                QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index= '銀行')"),
                QStringLiteral("UPDATE Hokan_T SET H_money = '0' WHERE H_index = '財布'"),
                QStringLiteral("UPDATE Hokan_T SET H_money = '10500' WHERE H_index = '銀行'")}));
        QVERIFY(rec.statements.value(4).startsWith(QStringLiteral("INSERT INTO Idourireki_T")));

        // The inputs stay, so the same transfer can be pressed again; now the source is empty.
        QCOMPARE(f.get<QComboBox>("cb_moto")->currentText(), QStringLiteral("財布"));
        QCOMPARE(f.get<QLineEdit>("txt_money")->text(), QStringLiteral("10000"));
        f.dialogs.clear();
        f.press();
        QCOMPARE(f.dialogs.infos,
            QStringList {QStringLiteral("移動元金額が足りません。\r\n財布( \\0)\r\n処理を中断します")});
        QCOMPARE(f.get<QPlainTextEdit>("txt_kekka")->toPlainText(), QString());
        QCOMPARE(f.historyRows(), 1);
    }

    void namesAreTrimmedAndQuotesAreData()
    {
        Fixture f;
        f.dir.exec(QStringLiteral("INSERT INTO Hokan_T (H_index, H_money) VALUES ('O''Neil', 100)"));
        f.fill(QStringLiteral("  財布　"), QStringLiteral(" O'Neil "), QStringLiteral("40"));
        f.press();
        QCOMPARE(f.result().value(1), QStringLiteral("O'Neil(移動前 \\100→移動後 \\140)"));
        QCOMPARE(f.dir.rows(QStringLiteral("SELECT I_hokanmoto, I_hokansaki, I_money FROM Idourireki_T")),
            QStringList {QStringLiteral("財布|O'Neil|40")});
    }

    void refusalsInOrder()
    {
        Fixture f;
        QPlainTextEdit *kekka = f.get<QPlainTextEdit>("txt_kekka");
        const QStringList before = f.balances();
        struct Case
        {
            QString moto, saki, money, day, message;
        };
        const QString all = QStringLiteral("全ての値が入力されていません");
        const QList<Case> cases {
            {QString(), QString(), QString(), QStringLiteral("2003091"), all},
            {QStringLiteral("財布"), QString(), QStringLiteral("1"), QStringLiteral("2003091"), all},
            {QStringLiteral("財布"), QStringLiteral("銀行"), QString(), QStringLiteral("2003091"), all},
            {QStringLiteral("財布"), QStringLiteral(" 財布 "), QStringLiteral("1"), QStringLiteral("2003091"),
                QStringLiteral("移動元と移動先が同じです")},
            {QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("1"), QStringLiteral("2003091"),
                QStringLiteral("移動日付に正しい値(日付)を入力して下さい\r\n(例:20030917)")},
            {QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("1"), QStringLiteral("200309170"),
                QStringLiteral("移動日付に正しい値(日付)を入力して下さい\r\n(例:20030917)")},
            {QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("10001"),
                QStringLiteral("20030917"),
                QStringLiteral("移動元金額が足りません。\r\n財布( \\10000)\r\n処理を中断します")},
        };
        for (const Case &c : cases) {
            kekka->setPlainText(QStringLiteral("前回の結果"));
            f.fill(c.moto, c.saki, c.money);
            f.get<QLineEdit>("txt_day")->setText(c.day);
            f.dialogs.clear();
            f.press();
            QCOMPARE(f.dialogs.infos, QStringList {c.message});
            // Only the shortfall comes after the confirmation.
            QCOMPARE(f.dialogs.asked.size(), c.money == QStringLiteral("10001") ? 1 : 0);
            QCOMPARE(kekka->toPlainText(), QString());
        }
        // No on the confirmation writes nothing either.
        f.fill(QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("1"));
        f.dialogs.clear();
        f.dialogs.answers = {false};
        f.press();
        QCOMPARE(f.dialogs.asked.size(), 1);
        QCOMPARE(f.balances(), before);
        QCOMPARE(f.historyRows(), 0);
    }

    void buttonFollowsTheBoxChangedLast()
    {
        Fixture f;
        QPushButton *ok = f.get<QPushButton>("cmd_ok");
        f.fill(QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("1a"));
        QCOMPARE(f.dialogs.infos, QStringList {QStringLiteral("数値を入力して下さい")});
        QVERIFY(!ok->isEnabled());
        f.get<QLineEdit>("txt_day")->setText(QStringLiteral("20030918"));
        QVERIFY(ok->isEnabled());

        // The letter is still in the amount box: refused before the confirmation.
        f.dialogs.clear();
        f.press();
        QCOMPARE(f.dialogs.shown, QStringList {QStringLiteral("数値を入力して下さい")});

        // A letter left in the date box while the amount re-enabled the button.
        f.get<QLineEdit>("txt_day")->setText(QStringLiteral("2003091x"));
        QVERIFY(!ok->isEnabled());
        f.get<QLineEdit>("txt_money")->setText(QStringLiteral("5"));
        QVERIFY(ok->isEnabled());
        f.dialogs.clear();
        f.press();
        QCOMPARE(f.dialogs.shown, QStringList {QStringLiteral("数値を入力して下さい")});

        // More digits than 32 bits hold.
        f.get<QLineEdit>("txt_day")->setText(QStringLiteral("20030918"));
        f.get<QLineEdit>("txt_money")->setText(QStringLiteral("2147483648"));
        f.dialogs.clear();
        f.press();
        QCOMPARE(f.dialogs.shown, QStringList {QStringLiteral("数値を入力して下さい")});
        QCOMPARE(f.historyRows(), 0);
    }

    void unknownPlaceChangesNothing()
    {
        Fixture f;
        const QStringList before = f.balances();
        f.fill(QStringLiteral("財布"), QStringLiteral("タンス"), QStringLiteral("100"));
        f.press();
        QCOMPARE(f.dialogs.infos, QStringList {QStringLiteral("DB接続失敗")});
        QCOMPARE(f.get<QPlainTextEdit>("txt_kekka")->toPlainText(), QString());
        QCOMPARE(f.balances(), before);
        QCOMPARE(f.historyRows(), 0);
    }

    void zeroAmountAndEmptyRemarks()
    {
        Fixture f;
        const QStringList before = f.balances();
        f.fill(QStringLiteral("金庫"), QStringLiteral("財布"), QStringLiteral("0"));
        f.press();
        QCOMPARE(f.result().value(2), QStringLiteral("移動金額 \\0"));
        QCOMPARE(f.balances(), before);
        QCOMPARE(f.dir.rows(QStringLiteral("SELECT I_money, I_memo IS NULL, I_memo FROM Idourireki_T")),
            QStringList {QStringLiteral("0|0|")});
    }

    void failureAnywhereLeavesEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("failOn");
        QTest::newRow("between the updates") << QStringLiteral("WHERE H_index = '銀行'");
        QTest::newRow("history row") << QStringLiteral("INSERT INTO Idourireki_T");
    }
    void failureAnywhereLeavesEverythingAsItWas()
    {
        QFETCH(QString, failOn);
        Fixture f;
        const QStringList before = f.balances();
        StatementRecorder rec;
        rec.failOn = failOn;
        f.fill(QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("300"));
        f.press();
        QVERIFY(rec.failOn.isEmpty()); // the failure was injected
        QCOMPARE(f.dialogs.infos, QStringList {QStringLiteral("DB接続失敗")});
        QCOMPARE(f.get<QPlainTextEdit>("txt_kekka")->toPlainText(), QString());
        QCOMPARE(f.balances(), before);
        QCOMPARE(f.historyRows(), 0);
    }

    void overflowOfTheDestinationWritesNothing()
    {
        Fixture f;
        f.dir.exec(QStringLiteral("UPDATE Hokan_T SET H_money = 2147483647 WHERE H_index = '銀行'"));
        const QStringList before = f.balances();
        f.fill(QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("1"));
        f.press();
        QCOMPARE(f.dialogs.infos, QStringList {QStringLiteral("DB接続失敗")});
        QCOMPARE(f.balances(), before);
        QCOMPARE(f.historyRows(), 0);
    }

    void missingLedgerLeavesTheWindowOpenWithEmptyLists()
    {
        TempAppDir dir(false);
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        TransferWindow w(dir.context(dialogs, clock));
        w.show();
        w.load();
        QCOMPARE(dialogs.infos, QStringList {QStringLiteral("DB接続失敗")});
        QCOMPARE(w.findChild<QComboBox *>(QStringLiteral("cb_moto"))->count(), 0);
        QCOMPARE(w.findChild<QLineEdit *>(QStringLiteral("txt_day"))->text(), QStringLiteral("20030917"));
        QVERIFY(w.isVisible());
    }
};

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
