// SPDX-License-Identifier: GPL-3.0-or-later
#include "Grid.h"
#include "StocktakeWindow.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

class TestStocktake : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        StocktakeWindow *window = nullptr;

        explicit Fixture(
            const QString &places = QStringLiteral("('A', 1000, '父', '現金'), ('B', 2500, '母', '')"))
        {
            if (!places.isEmpty())
                dir.exec(QStringLiteral("INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ")
                    + places);
            window = new StocktakeWindow(dir.context(dialogs, clock));
            window->show();
            window->load();
        }
        ~Fixture() { delete window; }

        template <typename T> T *get(const char *name) const { return ::child<T>(window, name); }
        void fill(const QString &place, const QString &money, const QString &reason)
        {
            get<QComboBox>("cb_hokan")->setEditText(place);
            get<QLineEdit>("txt_money")->setText(money);
            get<QLineEdit>("txt_riyuu")->setText(reason);
        }
        void press()
        {
            QPushButton *b = get<QPushButton>("cmd_henkou");
            QVERIFY(b->isEnabled());
            b->click();
        }
        QStringList grid() const { return gridRows(*get<Grid>("SP"), 1, 4); }
        QString total() const { return get<QLabel>("lbl_goukei")->text(); }
        QString kekka() const { return get<QPlainTextEdit>("txt_kekka")->toPlainText(); }
        QStringList history() const { return dir.rows(QStringLiteral("SELECT * FROM Ktanaorosi_T")); }
    };

private slots:
    void loadShowsPlacesAndTotal()
    {
        Fixture f;
        QCOMPARE(f.window->windowTitle(), QStringLiteral("金額棚卸処理画面"));
        Grid *g = f.get<Grid>("SP");
        QCOMPARE(QStringList({g->heading(1), g->heading(2), g->heading(3), g->heading(4)}),
            (QStringList {QStringLiteral("保管場所"), QStringLiteral("金額"), QStringLiteral("管理者"),
                QStringLiteral("備考")}));
        QCOMPARE(f.grid(), (QStringList {QStringLiteral("A|1000|父|現金"), QStringLiteral("B|2500|母|")}));
        QCOMPARE(f.total(), QStringLiteral("\\3,500"));
        QComboBox *cb = f.get<QComboBox>("cb_hokan");
        QCOMPARE(cb->count(), 2);
        QCOMPARE(cb->currentText(), QString());
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void correctionFromTheWorkedExample()
    {
        Fixture f;
        StatementRecorder rec;
        f.fill(QStringLiteral("A"), QStringLiteral("800"), QStringLiteral("数え直し"));
        f.press();
        QCOMPARE(
            f.dialogs.asked, QStringList {QStringLiteral("Aの金額を \\800に変更します。  よろしいですか？")});
        QCOMPARE(f.dialogs.infos, QStringList());
        QCOMPARE(f.kekka(), QStringLiteral("Aの金額を \\800に変更しました\n処理完了"));
        QCOMPARE(f.history(), QStringList {QStringLiteral("A|1000|800|数え直し|20030917")});
        QCOMPARE(f.grid(), (QStringList {QStringLiteral("A|800|父|現金"), QStringLiteral("B|2500|母|")}));
        QCOMPARE(f.total(), QStringLiteral("\\3,300"));
        QCOMPARE(f.get<QComboBox>("cb_hokan")->currentText(), QString());
        QCOMPARE(f.get<QComboBox>("cb_hokan")->count(), 2);
        QCOMPARE(f.get<QLineEdit>("txt_money")->text(), QString());
        QCOMPARE(f.get<QLineEdit>("txt_riyuu")->text(), QString());
        QVERIFY(f.get<QPushButton>("cmd_henkou")->isEnabled());
        QCOMPARE(rec.statements.mid(0, 2),
            (QStringList {QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index = 'A')"),
                QStringLiteral("UPDATE Hokan_T SET H_money = '800' WHERE H_index = 'A'")}));
        QVERIFY(rec.statements.value(2).startsWith(QStringLiteral("INSERT INTO Ktanaorosi_T")));
        // The reload comes after the commit, on a connection of its own.
        QCOMPARE(rec.statements.mid(3),
            (QStringList {
                QStringLiteral("SELECT * FROM Hokan_T"), QStringLiteral("SELECT H_index FROM Hokan_T")}));
    }

    // A card's count is what it owes, below zero; any other place refuses a minus and keeps
    // its balance.
    void aMinusIsForCardsOnly_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("money");
        QTest::addColumn<QString>("balance");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("card owes") << "C"
                                   << "-25000"
                                   << "-25000" << QString();
        QTest::newRow("card paid off") << "C"
                                       << "0"
                                       << "0" << QString();
        QTest::newRow("ordinary place") << "A"
                                        << "-25000"
                                        << "1000"
                                        << "数値を入力して下さい";
        QTest::newRow("minus alone") << "C"
                                     << "-"
                                     << "-15000"
                                     << "数値を入力して下さい";
    }
    void aMinusIsForCardsOnly()
    {
        QFETCH(QString, place);
        QFETCH(QString, money);
        QFETCH(QString, balance);
        QFETCH(QString, refusal);
        Fixture f(QStringLiteral("('A', 1000, '', ''), ('C', -15000, '', '')"));
        f.dir.exec(QStringLiteral("INSERT INTO X_card (XC_place,XC_closing,XC_payment,XC_pay_from,XC_limit) "
                                  "VALUES ('C',15,27,'A',300000)"));
        f.fill(place, money, QStringLiteral("明細"));
        QVERIFY(f.dialogs.infos.isEmpty()); // typing the minus is no fault in itself
        f.press();
        QCOMPARE(f.dialogs.infos, refusal.isEmpty() ? QStringList() : QStringList {refusal});
        QCOMPARE(f.dir.scalar(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = '%1'").arg(place))
                     .toString(),
            balance);
        QCOMPARE(f.history().size(), refusal.isEmpty() ? 1 : 0);
    }

    void refusalsInOrder()
    {
        Fixture f;
        struct Case
        {
            QString place, money, reason, message;
        };
        const QList<Case> cases {
            {QString(), QString(), QString(), QStringLiteral("保管場所を選択して下さい")},
            {QStringLiteral("A"), QString(), QString(), QStringLiteral("実金額を入力して下さい")},
            {QStringLiteral("A"), QStringLiteral("5"), QString(),
                QStringLiteral("金額変更理由を入力して下さい")},
            {QStringLiteral("A"), QStringLiteral("21474836470"), QStringLiteral("r"),
                QStringLiteral("数値を入力して下さい")},
        };
        for (const Case &c : cases) {
            f.fill(c.place, c.money, c.reason);
            f.dialogs.clear();
            f.press();
            QCOMPARE(f.dialogs.shown, QStringList {c.message});
        }
        // A letter left in the box: warned while typing, refused again at execution.
        f.fill(QStringLiteral("A"), QStringLiteral("8x"), QStringLiteral("r"));
        QVERIFY(!f.get<QPushButton>("cmd_henkou")->isEnabled());
        f.dialogs.clear();
        f.get<QPushButton>("cmd_henkou")->click(); // a disabled button ignores the click
        QVERIFY(f.dialogs.shown.isEmpty());
        // No on the confirmation.
        f.fill(QStringLiteral("A"), QStringLiteral("5"), QStringLiteral("r"));
        f.dialogs.answers = {false};
        f.press();
        QCOMPARE(f.dialogs.asked.size(), 1);
        QCOMPARE(f.get<QLineEdit>("txt_money")->text(), QStringLiteral("5"));
        QVERIFY(f.history().isEmpty());
        QCOMPARE(f.dir.rows(QStringLiteral("SELECT H_money FROM Hokan_T")),
            (QStringList {QStringLiteral("1000"), QStringLiteral("2500")}));
    }

    void nameIsTakenAsShown()
    {
        // A trailing blank is part of the name: no such place, nothing written, inputs kept.
        Fixture f;
        f.fill(QStringLiteral("A "), QStringLiteral("0"), QStringLiteral("r"));
        f.press();
        QCOMPARE(f.dialogs.infos, QStringList {QStringLiteral("DB接続失敗")});
        QCOMPARE(f.kekka(), QString());
        QVERIFY(f.history().isEmpty());
        QCOMPARE(f.get<QComboBox>("cb_hokan")->currentText(), QStringLiteral("A "));
        QCOMPARE(f.get<QLineEdit>("txt_money")->text(), QStringLiteral("0"));
    }

    void zeroAndUnchangedAmountsAreRecorded()
    {
        Fixture f;
        f.fill(QStringLiteral("B"), QStringLiteral("0"), QStringLiteral("空"));
        f.press();
        f.fill(QStringLiteral("A"), QStringLiteral("1000"), QStringLiteral("確認"));
        f.press();
        QCOMPARE(f.history(),
            (QStringList {
                QStringLiteral("B|2500|0|空|20030917"), QStringLiteral("A|1000|1000|確認|20030917")}));
        QCOMPARE(f.total(), QStringLiteral("\\1,000"));
    }

    void failedHistoryRowKeepsTheBalance()
    {
        Fixture f;
        StatementRecorder rec;
        rec.failOn = QStringLiteral("INSERT INTO Ktanaorosi_T");
        f.fill(QStringLiteral("A"), QStringLiteral("800"), QStringLiteral("r"));
        f.press();
        QCOMPARE(f.dialogs.infos, QStringList {QStringLiteral("DB接続失敗")});
        QCOMPARE(f.kekka(), QString());
        QCOMPARE(
            f.dir.scalar(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = 'A'")).toInt(), 1000);
        QVERIFY(f.history().isEmpty());
        QCOMPARE(f.get<QLineEdit>("txt_money")->text(), QStringLiteral("800"));
    }

    void totalBeyond32BitsAndBelowZero()
    {
        Fixture big(
            QStringLiteral("('A', 2147483647, '', ''), ('B', 2147483647, '', ''), ('C', NULL, 'x', NULL)"));
        QCOMPARE(big.total(), QStringLiteral("\\4,294,967,294"));
        QCOMPARE(big.grid().value(2), QStringLiteral("C||x|"));

        Fixture negative(QStringLiteral("('A', -2000, '', ''), ('B', 500, '', '')"));
        QCOMPARE(negative.total(), QStringLiteral("\\-1,500"));
    }

    void noPlaces()
    {
        Fixture f(QString {});
        QCOMPARE(f.get<Grid>("SP")->maxRows(), 0);
        QCOMPARE(f.total(), QStringLiteral("\\0"));
    }
};

QTEST_MAIN(TestStocktake)
#include "tst_stocktake.moc"
