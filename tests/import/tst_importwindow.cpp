// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChangeWindow.h"
#include "Cp932.h"
#include "Grid.h"
#include "ImportWindow.h"
#include "ItemMaster.h"
#include "ItemVocabulary.h"
#include "LedgerCheck.h"
#include "MainMenu.h"
#include "PresetEditor.h"
#include "RuleWindow.h"
#include "SearchWindow.h"
#include "StatementFiles.h"
#include "StorageMaster.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace StatementFiles;

// F_import through its controls: a file chosen, its lines and states, the import and its undo.
class TestImportWindow : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2024, 12, 8);
        ImportWindow *window = nullptr;
        std::optional<int> pickBatch = 0;

        Fixture()
        {
            dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES "
                     "('財布',0,'',''),('ゆうちょ',100000,'','')");
            dir.exec("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES "
                     "('給与','ゆうちょ',100000,20241001,'')");
            dir.exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('生活','')");
            dir.exec("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES "
                     "('給与','生活','ゆうちょ','')");
            dir.exec(
                "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活','ゆうちょ',''),"
                "('雑費','生活','ゆうちょ','')");
            window = new ImportWindow(dir.context(dialogs, clock));
            window->setListPicker([this](const QString &, const QStringList &) { return pickBatch; });
            window->setEditorRunner([](PresetEditor &) { return false; });
            window->load();
            window->show();
        }
        ~Fixture() { delete window; }

        template <typename T> T *get(const char *name) const { return ::child<T>(window, name); }
        Grid *grid() const { return get<Grid>("SP"); }
        QString write(const QString &name, const QByteArray &bytes) const
        {
            return writeFile(dir.path() + "/" + name, bytes);
        }
        QStringList rows() const
        {
            QStringList out;
            Grid *g = grid();
            for (int r = 1; r <= g->maxRows(); ++r) {
                QStringList cells {window->isChecked(r) ? ImportWindow::checkedMark() : QString()};
                for (int c = ImportWindow::ColDate; c <= ImportWindow::ColState; ++c)
                    cells << (c == ImportWindow::ColItem && !g->text(c, r).isEmpty()
                            ? g->choiceEntries(c, r).value(g->text(c, r).toInt())
                            : g->text(c, r));
                out << cells.join(u'|');
            }
            return out;
        }
        void setItem(int row, const QString &item) const
        {
            grid()->setText(ImportWindow::ColItem, row,
                QString::number(grid()->choiceEntries(ImportWindow::ColItem, row).indexOf(item)));
        }
        void press(const char *name) const
        {
            QPushButton *b = get<QPushButton>(name);
            QVERIFY(b && b->isEnabled());
            b->click();
        }
        qint64 balance(const QString &place = QStringLiteral("ゆうちょ")) const { return dir.balance(place); }
        QString kekka() const { return get<QPlainTextEdit>("txt_kekka")->toPlainText(); }
        // Opens a file into the window with the place chosen, every line's item set.
        void open(
            const QString &name, const QByteArray &file, const QString &place = QStringLiteral("ゆうちょ"))
        {
            window->openFile(write(name, file));
            get<QComboBox>("cb_hokan")->setEditText(place);
            for (int r = 1; r <= grid()->maxRows(); ++r)
                if (grid()->text(ImportWindow::ColState, r) != u"取込済")
                    setItem(r, grid()->text(ImportWindow::ColOut, r).isEmpty() ? "給与" : "食費");
        }
    };

    // Another task window on the same ledger, driven by its object names.
    template <typename Window, typename... Args> std::unique_ptr<Window> other(Fixture &f, Args &&...args)
    {
        auto w = std::make_unique<Window>(f.dir.context(f.dialogs, f.clock), std::forward<Args>(args)...);
        w->load();
        w->show();
        return w;
    }

    static QByteArray november()
    {
        return bytes(yucho(
            {"20241102,000000001,,1200,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,98800,", "20241103,000000002,50000,,振込,ｷﾕｳﾖ,148800,",
                "20241104,000000003,,800,ｶｰﾄﾞ,ﾊﾟﾝﾔ,148000,", "これは明細ではない行,"}));
    }

private slots:
    void opensFromTheFileMenu()
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2024, 12, 8);
        MainMenu menu(dir.context(dialogs, clock));
        menu.setQuit([] {});
        registerTasks(menu);
        menu.load();
        menu.show();
        QAction *a = menu.findChild<QAction *>("import");
        QVERIFY(a && a->isEnabled());
        a->trigger();
        QPointer<TaskWindow> w = menu.openTask();
        QVERIFY(w);
        QCOMPARE(w->objectName(), QStringLiteral("F_import"));
        // Empty, it says what to do first.
        auto *hint = w->findChild<QLabel *>("lbl_hint");
        QVERIFY(hint && hint->isVisible());
        QVERIFY(hint->text().contains("ファイル選択"));
        QFile log(dir.logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(Cp932::decode(log.readAll()).section("\r\n", 0, 0).endsWith(",明細取込画面起動"));
        w->findChild<QPushButton *>("cmd_end")->click();
        QTRY_VERIFY(w.isNull());
        QVERIFY(menu.isEnabled());
    }

    // On a wide window the description takes the width beyond the other columns, and the
    // amounts are figures, grouped as figures are (not texts).
    void theDescriptionTakesTheFreeWidth()
    {
        Fixture f;
        f.open("nov.csv", november());
        f.window->resize(1800, 700);
        QCoreApplication::processEvents();
        Grid *g = f.grid();
        int others = 0;
        for (int c = ImportWindow::ColCheck; c <= ImportWindow::ColState; ++c)
            if (c != ImportWindow::ColText)
                others += g->columnWidth(c - 1);
        QVERIFY2(g->columnWidth(ImportWindow::ColText - 1) + others >= g->viewport()->width() - 2,
            qPrintable(QStringLiteral("%1 + %2 < %3")
                           .arg(g->columnWidth(ImportWindow::ColText - 1))
                           .arg(others)
                           .arg(g->viewport()->width())));
        for (const int c : {ImportWindow::ColOut, ImportWindow::ColIn, ImportWindow::ColBalance})
            QCOMPARE(g->cellKind(c, 1), Grid::Kind::Numeric);
    }

    void importsAFileAndKnowsItAgain()
    {
        Fixture f;
        QString asked;
        f.window->setFilePicker([&](const QString &filter, const QString &) {
            asked = filter;
            return std::optional<QString>(f.write("nov.csv", november()));
        });
        f.press("cmd_file");
        QCOMPARE(asked, QStringLiteral("CSV (*.csv *.txt)"));
        QCOMPARE(f.get<QComboBox>("cb_preset")->currentText(), QStringLiteral("ゆうちょ銀行"));
        f.get<QComboBox>("cb_hokan")->setEditText("ゆうちょ");
        QCOMPARE(f.rows(),
            QStringList({"○|20241102|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1200||98800||新規",
                "○|20241103|振込 ｷﾕｳﾖ||50000|148800||新規", "○|20241104|ｶｰﾄﾞ ﾊﾟﾝﾔ|800||148000||新規"}));
        QVERIFY(
            f.get<QPlainTextEdit>("txt_kekka")->toPlainText().startsWith("12行目：列の数が見出しと違います"));
        // A line without an item is named and stops the import.
        f.setItem(1, "食費");
        f.setItem(2, "給与");
        f.press("cmd_ok");
        QCOMPARE(
            f.dialogs.infos.last(), QStringLiteral("11行目（20241104 ｶｰﾄﾞ ﾊﾟﾝﾔ）の項目を選択して下さい"));
        // Unchecked, the third line stays out.
        f.grid()->clickButton(ImportWindow::ColCheck, 3);
        f.dialogs.clear();
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.asked, QStringList({"2件の明細をゆうちょに取り込みます　よろしいですか？"}));
        QCOMPARE(f.dialogs.infos, QStringList({"2件を取り込みました"}));
        QCOMPARE(f.dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='ゆうちょ'").toInt(), 148800);
        QCOMPARE(f.rows().mid(0, 2),
            QStringList({"|20241102|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1200||98800|食費|取込済",
                "|20241103|振込 ｷﾕｳﾖ||50000|148800|給与|取込済"}));
        QCOMPARE(f.rows().at(2), QStringLiteral("○|20241104|ｶｰﾄﾞ ﾊﾟﾝﾔ|800||148000||新規"));

        // The same account's next download: the place is remembered, the old lines known.
        f.get<QComboBox>("cb_hokan")->setEditText("財布");
        f.window->openFile(f.write("dec.csv",
            bytes(yucho({"20241103,000000002,50000,,振込,ｷﾕｳﾖ,148800,",
                "20241105,000000004,,300,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,148500,"}))));
        QCOMPARE(f.get<QComboBox>("cb_hokan")->currentText(), QStringLiteral("ゆうちょ"));
        QCOMPARE(f.rows(),
            QStringList({"|20241103|振込 ｷﾕｳﾖ||50000|148800|給与|取込済",
                "○|20241105|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|300||148500|食費|新規"}));
        const LedgerCheck::Result r = LedgerCheck::check(f.dir.dbPath());
        QVERIFY2(r.ok(), qPrintable(r.problems.join('\n')));
    }

    void offersAStocktakeWhenTheBalancesDiffer()
    {
        Fixture f;
        f.dir.exec("UPDATE Hokan_T SET H_money = 90000 WHERE H_index = 'ゆうちょ'");
        f.dir.exec("UPDATE N SET N_money = 90000");
        f.window->openFile(f.write("nov.csv", november()));
        f.get<QComboBox>("cb_hokan")->setEditText("ゆうちょ");
        for (int r = 1; r <= 3; ++r)
            f.setItem(r, r == 2 ? "給与" : "雑費");
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.asked.first(),
            QStringLiteral(
                "ゆうちょの2024/11/02時点の残高 \\90000が明細の残高 \\100000と違います。\r\n金額棚卸で "
                "\\100000にしてから取り込みますか？"));
        QCOMPARE(f.dir.rows("SELECT K_bmoney,K_amoney,K_riyuu FROM Ktanaorosi_T"),
            QStringList({"90000|100000|明細取込"}));
        QCOMPARE(f.dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='ゆうちょ'").toInt(), 148000);
        QVERIFY(LedgerCheck::check(f.dir.dbPath()).ok());

        // Undo: the stocktake and the lines go, the balance is what it was.
        f.dialogs.clear();
        f.press("cmd_undo");
        QCOMPARE(f.dialogs.asked,
            QStringList({"2024/12/08 09:05:07の取込（3件）を取り消します　よろしいですか？"}));
        QCOMPARE(f.dialogs.infos, QStringList({"取込を取り消しました"}));
        QCOMPARE(f.dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='ゆうちょ'").toInt(), 90000);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Ktanaorosi_T").toInt(), 0);
        QCOMPARE(f.rows().first().section('|', 7), QStringLiteral("新規"));
        QVERIFY(LedgerCheck::check(f.dir.dbPath()).ok());
    }

    // A posting typed after the statement's days changed the balance since: the file agrees
    // with the ledger's history at the start of its first day, so no stocktake is offered.
    void comparesTheBalanceAtTheStartOfTheFirstDay()
    {
        Fixture f;
        f.dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                   "('食費','ゆうちょ',300,20241120,'')");
        f.dir.exec("UPDATE Hokan_T SET H_money = 99700 WHERE H_index = 'ゆうちょ'");
        f.window->openFile(f.write("nov.csv", november()));
        f.get<QComboBox>("cb_hokan")->setEditText("ゆうちょ");
        for (int r = 1; r <= 3; ++r)
            f.setItem(r, r == 2 ? "給与" : "雑費");
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.asked, QStringList({"3件の明細をゆうちょに取り込みます　よろしいですか？"}));
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Ktanaorosi_T").toInt(), 0);
        QCOMPARE(f.dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='ゆうちょ'").toInt(), 147700);
        QVERIFY(LedgerCheck::check(f.dir.dbPath()).ok());
    }

    void overdraftIsNamedAndNothingWritten()
    {
        Fixture f;
        f.dir.exec("UPDATE Hokan_T SET H_money = 1000 WHERE H_index = 'ゆうちょ'");
        f.dialogs.answers = {false, true}; // no stocktake; yes, import
        f.window->openFile(f.write("nov.csv", november()));
        f.get<QComboBox>("cb_hokan")->setEditText("ゆうちょ");
        f.setItem(1, "食費");
        f.grid()->clickButton(ImportWindow::ColCheck, 2);
        f.grid()->clickButton(ImportWindow::ColCheck, 3);
        f.grid()->clickButton(ImportWindow::ColCheck, 1);
        f.dialogs.clear();
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.infos, QStringList({"取り込む明細がありません"}));
        f.grid()->clickButton(ImportWindow::ColCheck, 1);
        f.dialogs.clear();
        f.dialogs.answers = {false, true};
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.infos,
            QStringList({"9行目 20241102 ｶｰﾄﾞ ｺﾝﾋﾞﾆ \\1200\r\nゆうちょに \\1000しかないため引落せません"}));
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM S").toInt(), 0);
        QCOMPARE(f.dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='ゆうちょ'").toInt(), 1000);
    }

    // Overlapping downloads: the ledger is compared with the bank at the point of the statement
    // just before the first line to import, so lines of that day the ledger already holds are
    // not taken for a difference.
    void comparesAtThePointBeforeTheFirstLineToImport_data()
    {
        QTest::addColumn<QString>("held"); // how the ledger holds the day's first line
        QTest::addColumn<QString>("question");
        QTest::addColumn<QStringList>("stocktakes");
        const QString confirm = "1件の明細をゆうちょに取り込みます　よろしいですか？";
        QTest::newRow("imported at noon") << "imported" << confirm << QStringList {};
        QTest::newRow("typed by hand") << "typed" << confirm << QStringList {};
        // Left out of the import, it is a real difference: the bank's figure at the start of
        // the day is offered, and the place still ends at the bank's balance.
        QTest::newRow("not held")
            << "none"
            << "ゆうちょの2024/11/03時点の残高 \\100000が明細の残高 \\98800と違います。\r\n"
               "金額棚卸で \\98800にしてから取り込みますか？"
            << QStringList {"100000|98800|明細取込"};
    }
    void comparesAtThePointBeforeTheFirstLineToImport()
    {
        QFETCH(QString, held);
        QFETCH(QString, question);
        QFETCH(QStringList, stocktakes);
        Fixture f;
        const QString noon = "20241103,000000001,,1200,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,98800,";
        if (held == u"imported") {
            f.open("noon.csv", bytes(yucho({noon})));
            f.press("cmd_ok");
            QCOMPARE(f.dialogs.asked, QStringList({"1件の明細をゆうちょに取り込みます　よろしいですか？"}));
        } else if (held == u"typed") {
            f.dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                       "('食費','ゆうちょ',1200,20241103,'')");
            f.dir.exec("UPDATE Hokan_T SET H_money = 98800 WHERE H_index = 'ゆうちょ'");
        }
        f.open("evening.csv", bytes(yucho({noon, "20241103,000000002,50000,,振込,ｷﾕｳﾖ,148800,"})));
        const QString state = held == u"imported" ? "取込済" : held == u"typed" ? "要確認" : "新規";
        QCOMPARE(f.rows().first().section('|', 7), state);
        if (f.window->isChecked(1))
            f.grid()->clickButton(ImportWindow::ColCheck, 1);
        f.dialogs.clear();
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.asked.first(), question);
        QCOMPARE(f.dialogs.infos, QStringList({"1件を取り込みました"}));
        QCOMPARE(f.balance(), 148800);
        QCOMPARE(f.dir.rows("SELECT K_bmoney,K_amoney,K_riyuu FROM Ktanaorosi_T"), stocktakes);
        const LedgerCheck::Result r = LedgerCheck::check(f.dir.dbPath());
        QVERIFY2(r.ok(), qPrintable(r.problems.join('\n')));
    }

    // The stocktake an import wrote shares its row id with an S row typed later: that row is
    // still a posting typed by hand, and the bill it matches is not offered as new.
    void anImportsStocktakeHidesNoPostingTypedByHand()
    {
        Fixture f;
        f.dir.exec("UPDATE Hokan_T SET H_money = 90000 WHERE H_index = 'ゆうちょ'");
        f.dir.exec("UPDATE N SET N_money = 90000");
        f.open("nov.csv", november());
        f.grid()->clickButton(ImportWindow::ColCheck, 1);
        f.grid()->clickButton(ImportWindow::ColCheck, 3);
        f.press("cmd_ok");
        QCOMPARE(
            f.dir.rows("SELECT rowid,K_bmoney,K_amoney FROM Ktanaorosi_T"), QStringList({"1|90000|98800"}));
        f.dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                   "('食費','ゆうちょ',1200,20241102,'')");
        f.dir.exec("UPDATE Hokan_T SET H_money = H_money - 1200 WHERE H_index = 'ゆうちょ'");
        QCOMPARE(f.dir.scalar("SELECT rowid FROM S").toInt(), 1);
        f.window->openFile(f.write("nov.csv", november()));
        QCOMPARE(f.rows(),
            QStringList({"|20241102|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1200||98800||要確認",
                "|20241103|振込 ｷﾕｳﾖ||50000|148800|給与|取込済", "○|20241104|ｶｰﾄﾞ ﾊﾟﾝﾔ|800||148000||新規"}));
    }

    // A line whose fields do not line up with the heading is listed by its number, never in
    // the grid: "250,000" without quotes would import \250.
    void aRaggedLineIsListedAndNotImported()
    {
        Fixture f;
        f.open("mufg.csv",
            bytes({"日付,摘要,摘要内容,支払い金額,預かり金額,差引残高,メモ,未資金化区分,入払区分",
                "2024/11/1,振込,ﾔﾏﾀﾞ,,250,000,350000,,,入金", "2024/11/2,ｶｰﾄﾞ,A,500,,99500,,,支払"}));
        QCOMPARE(f.get<QComboBox>("cb_preset")->currentText(), QStringLiteral("三菱UFJ銀行"));
        QCOMPARE(f.rows(), QStringList({"○|20241102|ｶｰﾄﾞ A|500||99500|食費|新規"}));
        QCOMPARE(f.kekka(),
            QStringLiteral("2行目：列の数が見出しと違います：2024/11/1,振込,ﾔﾏﾀﾞ,,250,000,350000,,,入金"));
        f.press("cmd_ok");
        QCOMPARE(f.dir.rows("SELECT N_money FROM N"), QStringList({"100000"}));
        QCOMPARE(f.balance(), 99500);
    }

    // Both headings 楽天銀行 has written are recognised, through the window as a user opens them.
    void bothHeadingsOfABankAreRecognised_data()
    {
        QTest::addColumn<QString>("heading");
        QTest::newRow("入出金先内容") << "取引日,入出金(円),取引後残高(円),入出金先内容";
        QTest::newRow("2023: 入出金内容") << "取引日,入出金(円),取引後残高(円),入出金内容";
    }
    void bothHeadingsOfABankAreRecognised()
    {
        QFETCH(QString, heading);
        Fixture f;
        f.window->openFile(f.write("rakuten.csv", bytes({heading, "20241101,-3086,96914,ｶﾞｽ"})));
        QVERIFY(f.dialogs.shown.isEmpty());
        QCOMPARE(f.get<QComboBox>("cb_preset")->currentText(), QStringLiteral("楽天銀行"));
        QCOMPARE(f.rows(), QStringList({"○|20241101|ｶﾞｽ|3086||96914||新規"}));
    }

    // The question about a file no preset reads quotes five lines at most, each cut short.
    void theUnknownFileQuestionQuotesLittle_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("quoted");
        const QString cut = QString(200, u'x') + QChar(0x2026);
        QTest::newRow("16 MB of one line") << QByteArray(16 * 1024 * 1024, 'x') << cut;
        QStringList seven;
        for (int i = 0; i < 7; ++i)
            seven << QString(300, u'x');
        QTest::newRow("seven long lines") << bytes(seven) << QStringList(5, cut).join("\r\n");
        QTest::newRow("short lines as they are") << bytes({"a,b", "c"}) << "a,b\r\nc";
    }
    void theUnknownFileQuestionQuotesLittle()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, quoted);
        Fixture f;
        f.window->openFile(f.write("x.csv", file));
        QCOMPARE(f.dialogs.asked,
            QStringList(
                {"明細の形式がわかりません。先頭の行：\r\n" + quoted + "\r\n\r\n取込形式を登録しますか？"}));
    }

    // A NUL in a description would cut the statements that name it: it never gets that far,
    // and the batch can be taken back.
    void aNulInADescriptionKeepsTheBatchUndoable()
    {
        Fixture f;
        f.open("nul.csv",
            bytes(yucho({QStringLiteral("20241102,000000001,,1200,ｶｰﾄﾞ,ｺﾝ") + QChar(0) + "ﾋﾞﾆ,98800,"})));
        QCOMPARE(f.rows(), QStringList({"○|20241102|ｶｰﾄﾞ ｺﾝ ﾋﾞﾆ|1200||98800|食費|新規"}));
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.infos, QStringList({"1件を取り込みました"}));
        QCOMPARE(f.dir.rows("SELECT S_memo FROM S"), QStringList({"ｶｰﾄﾞ ｺﾝ ﾋﾞﾆ"}));
        QCOMPARE(f.dir.rows("SELECT XR_key FROM X_import_rule"), QStringList({"カード コン ビニ"}));
        f.dialogs.clear();
        f.press("cmd_undo");
        QCOMPARE(f.dialogs.infos, QStringList({"取込を取り消しました"}));
        QCOMPARE(f.balance(), 100000);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM S").toInt(), 0);
    }

    void aPlaceTheLedgerDoesNotHaveIsNamed()
    {
        Fixture f;
        f.open("nov.csv", november(), "金庫");
        f.dialogs.clear();
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.shown, QStringList({"保管場所金庫がありません"}));
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_import_batch").toInt(), 0);
    }

    // A "%1" in a file's path or a place's name is shown as it is.
    void namesWithPercentSignsAreShownAsTheyAre()
    {
        Fixture f;
        f.dir.exec("UPDATE Hokan_T SET H_index = 'A%2' WHERE H_index = '財布'");
        QStringList entries;
        f.window->setListPicker([&](const QString &, const QStringList &e) {
            entries = e;
            return std::optional<int>(0);
        });
        f.window->load();
        const QString path = f.write("明細%1%2.csv", november());
        f.open("明細%1%2.csv", november(), "A%2");
        // The file's name only; its whole path in the tooltip. The hint has done its work.
        QCOMPARE(f.get<QLabel>("lbl_file")->text(), "明細%1%2.csv　（Shift_JIS (cp932)、3件）");
        QCOMPARE(f.get<QLabel>("lbl_file")->toolTip(), QDir::toNativeSeparators(path));
        QVERIFY(f.get<QLabel>("lbl_hint")->isHidden());
        f.press("cmd_ok");
        QCOMPARE(f.balance("A%2"), 148000);
        f.press("cmd_undo");
        QCOMPARE(
            entries, QStringList({"2024/12/08 09:05:07　明細%1%2.csv　ゆうちょ銀行　A%2　3件　\\48,000"}));
        QCOMPARE(f.balance("A%2"), 0);
    }

    // A renamed place or item keeps its imports: the lines stay known, the rules and the place
    // remembered for the account still apply, and the batch can still be taken back.
    void renamesCarryIntoTheImport()
    {
        Fixture f;
        f.open("nov.csv", november());
        f.press("cmd_ok");
        QCOMPARE(f.balance(), 148000);
        auto places = other<StorageMaster>(f);
        places->findChild<QComboBox *>("cb_hokan")->setEditText("ゆうちょ");
        places->findChild<QLineEdit *>("txt_hokan2")->setText("ゆうちょ銀行");
        places->findChild<QPushButton *>("cmd_henkou")->click();
        auto items = other<ItemMaster>(f, ItemVocabulary::expense());
        Grid *sp2 = items->findChild<Grid *>("SP2");
        QCOMPARE(sp2->text(1, 1), QStringLiteral("食費"));
        sp2->setText(1, 1, "食料費");
        sp2->clickButton(5, 1);
        QCOMPARE(f.dialogs.infos.last(), QStringLiteral("食料費に変更しました"));

        f.window->load();
        f.get<QComboBox>("cb_hokan")->setEditText(QString());
        f.window->openFile(f.write("dec.csv",
            bytes(yucho({"20241104,000000003,,800,ｶｰﾄﾞ,ﾊﾟﾝﾔ,148000,",
                "20241105,000000004,,300,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,147700,"}))));
        QCOMPARE(f.get<QComboBox>("cb_hokan")->currentText(), QStringLiteral("ゆうちょ銀行"));
        QCOMPARE(f.rows(),
            QStringList({"|20241104|ｶｰﾄﾞ ﾊﾟﾝﾔ|800||148000|食料費|取込済",
                "○|20241105|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|300||147700|食料費|新規"}));
        // Taking the batch back takes back the later renames with it, as the history does.
        f.dialogs.clear();
        f.press("cmd_undo");
        QVERIFY(f.dialogs.asked.last().contains(QStringLiteral("その後の操作2件も取り消します")));
        QCOMPARE(f.dialogs.infos, QStringList({"取込を取り消しました"}));
        QCOMPARE(f.balance("ゆうちょ"), 100000);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Hokan_T WHERE H_index = 'ゆうちょ銀行'").toInt(), 0);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_import_batch").toInt(), 0);
        QVERIFY(LedgerCheck::check(f.dir.dbPath()).ok());
    }

    // A card's statement into the card, then the bank's statement: the payment line is offered
    // as the transfer to the card, marked as matched, written as the transfer window writes it,
    // and taken back with both balances.
    void aCardBillAndTheBanksPayment()
    {
        Fixture f;
        f.dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('JCB',0,'','')");
        f.window->load();
        const QByteArray jcb = bytes({"\"\",\"\",\"今回のお支払日\",\"2024/12/07\"",
            "\"\",\"\",\"今回のお支払金額合計(￥)\",\"4,000\"", "\"【ご利用明細】\"",
            "\"ご利用者\",\"カテゴリ\",\"ご利用日\",\"ご利用先など\",\"ご利用金額(￥)\",\"支払区分\","
            "\"今回回数\",\"訂正サイン\",\"お支払い金額(￥)\",\"国内／海外\",\"摘要\",\"備考\"",
            "\"本人\",\"ショッピング\",\" 2024/11/01\",\"スーパー\",\"5,000\",\"1回払い\",\"\",\"\","
            "\"5,000\",\"国内\",\"\",\"\"",
            "\"本人\",\"ショッピング\",\" 2024/11/03\",\"スーパー\",\"1,000\",\"1回払い\",\"\","
            "\"取消\",\"\",\"国内\",\"\",\"\""});
        f.window->openFile(f.write("jcb.csv", jcb));
        QCOMPARE(f.get<QComboBox>("cb_preset")->currentText(), QStringLiteral("JCBカード"));
        QCOMPARE(f.kekka(), QStringLiteral("請求：お支払日 2024/12/07　ご請求額 \\4,000"));
        f.get<QComboBox>("cb_hokan")->setEditText("JCB");
        // A refund takes an expense item (it is a negative expense), or a transfer from a place.
        QCOMPARE(f.grid()->choiceEntries(ImportWindow::ColItem, 2),
            QStringList({"食費", "雑費", "← 財布", "← ゆうちょ"}));
        f.setItem(1, "食費");
        f.setItem(2, "食費");
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.infos.last(),
            QStringLiteral("JCBはカードとして登録されていません\r\nカード設定で登録して下さい"));
        f.dir.exec("INSERT INTO X_card VALUES ('JCB', 15, 10, 'ゆうちょ', 100000)");
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.infos.last(), QStringLiteral("2件を取り込みました"));
        QCOMPARE(f.balance("JCB"), -4000);
        QCOMPARE(f.dir.rows("SELECT S_index,S_money FROM S ORDER BY S_date"),
            QStringList({"食費|5000", "食費|-1000"}));

        // 12/7 is a Saturday: the bank pays on Monday 12/9.
        f.window->openFile(
            f.write("dec.csv", bytes(yucho({"20241209,000000009,,4000,自動払込,ｼﾞｴｰｼｰﾋﾞｰ,96000,"}))));
        f.get<QComboBox>("cb_hokan")->setEditText("ゆうちょ");
        QCOMPARE(f.rows(), QStringList({"○|20241209|自動払込 ｼﾞｴｰｼｰﾋﾞｰ|4000||96000|→ JCB|照合"}));
        f.dialogs.clear();
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.infos, QStringList({"1件を取り込みました"}));
        QCOMPARE(f.dir.rows("SELECT I_hokanmoto,I_hokansaki,I_money,I_day,I_memo FROM Idourireki_T"),
            QStringList({"ゆうちょ|JCB|4000|20241209|自動払込 ｼﾞｴｰｼｰﾋﾞｰ"}));
        QCOMPARE(f.balance("JCB"), 0);
        QCOMPARE(f.balance(), 96000);
        QCOMPARE(f.dir.scalar("SELECT SUM(S_money) FROM S").toInt(), 4000);
        QVERIFY(LedgerCheck::check(f.dir.dbPath()).ok());

        f.dialogs.clear();
        f.press("cmd_undo");
        QCOMPARE(f.dialogs.infos, QStringList({"取込を取り消しました"}));
        QCOMPARE(f.balance("JCB"), -4000);
        QCOMPARE(f.balance(), 100000);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Idourireki_T").toInt(), 0);
        QCOMPARE(f.rows().first().section(u'|', 6), QStringLiteral("→ JCB|照合"));
    }

    // A card's statement taken back on its own (the history no longer holds it) after its bill
    // turned the bank's payment, imported before as an expense, into the transfer to the card:
    // the payment is that expense again, and the card ends where it was.
    void takingBackACardsBillGivesTheBanksPaymentBack()
    {
        Fixture f;
        f.dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('JCB',0,'','')");
        f.dir.exec("INSERT INTO X_card VALUES ('JCB', 15, 10, 'ゆうちょ', 100000)");
        f.window->load();
        const QByteArray bank = bytes(yucho({"20241209,000000009,,4000,自動払込,ｼﾞｴｰｼｰﾋﾞｰ,96000,"}));
        f.open("dec.csv", bank);
        f.setItem(1, "雑費");
        f.press("cmd_ok");
        const QByteArray jcb = bytes({"\"\",\"\",\"今回のお支払日\",\"2024/12/07\"",
            "\"\",\"\",\"今回のお支払金額合計(￥)\",\"4,000\"", "\"【ご利用明細】\"",
            "\"ご利用者\",\"カテゴリ\",\"ご利用日\",\"ご利用先など\",\"ご利用金額(￥)\",\"支払区分\","
            "\"今回回数\",\"訂正サイン\",\"お支払い金額(￥)\",\"国内／海外\",\"摘要\",\"備考\"",
            "\"本人\",\"ショッピング\",\" 2024/11/01\",\"スーパー\",\"5,000\",\"1回払い\",\"\",\"\","
            "\"5,000\",\"国内\",\"\",\"\"",
            "\"本人\",\"ショッピング\",\" 2024/11/03\",\"スーパー\",\"1,000\",\"1回払い\",\"\","
            "\"取消\",\"\",\"国内\",\"\",\"\""});
        f.open("jcb.csv", jcb, "JCB");
        f.setItem(2, "食費");
        f.press("cmd_ok");
        QCOMPARE(f.dir.rows("SELECT I_hokanmoto,I_hokansaki,I_money FROM Idourireki_T"),
            QStringList({"ゆうちょ|JCB|4000"}));
        QCOMPARE(f.balance("JCB"), 0);
        QCOMPARE(f.balance(), 96000);

        f.dir.exec("DELETE FROM X_undo_action");
        f.pickBatch = 0; // the newest: the card's
        f.dialogs.clear();
        f.press("cmd_undo");
        QCOMPARE(f.dialogs.infos, QStringList({"取込を取り消しました"}));
        QCOMPARE(f.balance("JCB"), 0);
        QCOMPARE(f.balance(), 96000);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Idourireki_T").toInt(), 0);
        QCOMPARE(f.dir.rows("SELECT S_index,S_hokan,S_money,S_date,S_memo FROM S"),
            QStringList({"雑費|ゆうちょ|4000|20241209|自動払込 ｼﾞｴｰｼｰﾋﾞｰ"}));
        const LedgerCheck::Result r = LedgerCheck::check(f.dir.dbPath());
        QVERIFY2(r.ok(), qPrintable(r.problems.join('\n')));
        // The bank's statement again: its line is the expense it was imported as.
        f.window->openFile(f.write("dec.csv", bank));
        QCOMPARE(f.rows(), QStringList({"|20241209|自動払込 ｼﾞｴｰｼｰﾋﾞｰ|4000||96000|雑費|取込済"}));
        // And the bank's batch goes as well, with the expense.
        f.dialogs.clear();
        f.press("cmd_undo");
        QCOMPARE(f.dialogs.infos, QStringList({"取込を取り消しました"}));
        QCOMPARE(f.balance(), 100000);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM S").toInt(), 0);
    }

    // A posting that came from a statement, deleted in 明細検索 or given another amount in
    // 明細の修正, is offered again by the next download of its line, unticked, with a note;
    // another memo keeps it imported. The import's record changes in the same action.
    void aCorrectedImportedPostingIsSeenAsItNowStands_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("note");
        QTest::newRow("deleted") << "delete"
                                 << "|20241102|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1200||98800|食費|新規"
                                 << "9行目：取込後に削除された明細です（取り込む場合はチェックして下さい）";
        QTest::newRow("amount")
            << "amount"
            << "|20241102|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1200||98800|食費|新規"
            << "9行目：取込後に金額か保管場所を修正した明細です（取り込む場合はチェックして下さい）";
        QTest::newRow("memo") << "memo"
                              << "|20241102|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1200||98800|食費|取込済"
                              << "";
    }
    void aCorrectedImportedPostingIsSeenAsItNowStands()
    {
        QFETCH(QString, how);
        QFETCH(QString, row);
        QFETCH(QString, note);
        Fixture f;
        f.open("nov.csv", november());
        f.press("cmd_ok");
        QCOMPARE(f.balance(), 148000);
        const qint64 rowid = f.dir.scalar("SELECT rowid FROM S WHERE S_memo = 'ｶｰﾄﾞ ｺﾝﾋﾞﾆ'").toLongLong();
        if (how == u"delete") {
            auto search = other<SearchWindow>(f);
            Grid *g = ::child<Grid>(search.get(), "SP");
            int r = 1;
            while (r <= g->maxRows() && g->text(7, r) != u"ｶｰﾄﾞ ｺﾝﾋﾞﾆ")
                ++r;
            QVERIFY(r <= g->maxRows());
            g->clickButton(9, r);
            QCOMPARE(f.balance(), 149200);
        } else {
            auto change = other<ChangeWindow>(f, QStringLiteral("S"), rowid);
            ::child<QLineEdit>(change.get(), how == u"amount" ? "txt_money" : "txt_memo")
                ->setText(how == u"amount" ? QStringLiteral("1500") : QStringLiteral("コンビニ"));
            QVERIFY(change->change());
        }
        f.window->openFile(f.write("nov.csv", november()));
        QCOMPARE(f.rows().first(), row);
        QCOMPARE(f.kekka().contains(note), true);
        QCOMPARE(f.rows().at(1).section(u'|', 7), QStringLiteral("取込済"));
        if (how != u"delete")
            return;
        // Ticked, the line comes back.
        f.grid()->clickButton(ImportWindow::ColCheck, 1);
        f.dialogs.clear();
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.infos, QStringList({"1件を取り込みました"}));
        QCOMPARE(f.balance(), 148000);
        QCOMPARE(f.rows().first().section(u'|', 7), QStringLiteral("取込済"));
        const LedgerCheck::Result r = LedgerCheck::check(f.dir.dbPath());
        QVERIFY2(r.ok(), qPrintable(r.problems.join('\n')));
    }

    // A deleted place leaves nothing behind: a place registered later under its name starts
    // afresh, and no old batch can take money off it. A deleted item's rules go with it.
    void aDeletedPlaceOrItemLeavesNothingBehind()
    {
        Fixture f;
        f.open("nov.csv", november(), "財布");
        f.press("cmd_ok");
        QCOMPARE(f.balance("財布"), 148000);
        auto items = other<ItemMaster>(f, ItemVocabulary::expense());
        items->findChild<Grid *>("SP2")->clickButton(6, 1); // 食費
        QCOMPARE(f.dir.rows("SELECT XR_item FROM X_import_rule"), QStringList({"給与"}));
        auto places = other<StorageMaster>(f);
        Grid *sp2 = places->findChild<Grid *>("SP2");
        QCOMPARE(sp2->text(2, 1), QStringLiteral("財布"));
        sp2->clickButton(7, 1);
        QCOMPARE(f.dialogs.infos.last(), QStringLiteral("財布を削除しました"));
        f.dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('財布',0,'','')");
        for (const char *table : {"X_import_batch", "X_import_line", "X_import_rule", "X_import_place"})
            QCOMPARE(f.dir.scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toInt(), 0);

        f.window->load();
        f.get<QComboBox>("cb_hokan")->setEditText(QString());
        f.window->openFile(f.write("nov.csv", november()));
        QCOMPARE(f.get<QComboBox>("cb_hokan")->currentText(), QString());
        f.get<QComboBox>("cb_hokan")->setEditText("財布");
        // The history the old place left under its name is the new place's now: its postings
        // ask to be checked, but no line counts as imported.
        QCOMPARE(f.rows().first(), QStringLiteral("|20241102|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1200||98800||要確認"));
        f.dialogs.clear();
        f.press("cmd_undo");
        QCOMPARE(f.dialogs.infos, QStringList({"取り消せる取込がありません"}));
        QCOMPARE(f.balance("財布"), 0);
    }

    // An outgoing line's list holds the automatic debits under their heading; the heading is no
    // item, a debit's item is imported as the debit run writes it and learnt.
    void aDebitIsChosenForAnOutgoingLine()
    {
        Fixture f;
        f.dir.exec(
            "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('電気','自動','ゆうちょ','')");
        f.window->load();
        f.open("nov.csv", november());
        QCOMPARE(f.grid()->choiceEntries(ImportWindow::ColItem, 1),
            QStringList({"食費", "雑費", ImportWindow::debitHeading(), "電気", "→ 財布"}));
        QCOMPARE(f.grid()->choiceEntries(ImportWindow::ColItem, 2), QStringList({"給与", "← 財布"}));
        f.setItem(1, ImportWindow::debitHeading());
        f.press("cmd_ok");
        QCOMPARE(
            f.dialogs.infos.last(), QStringLiteral("9行目（20241102 ｶｰﾄﾞ ｺﾝﾋﾞﾆ）の項目を選択して下さい"));
        f.setItem(1, "電気");
        f.setItem(3, "→ 財布");
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.infos.last(), QStringLiteral("3件を取り込みました"));
        QCOMPARE(f.dir.rows("SELECT Z_index,Z_money,Z_beforeday FROM Zidourireki_T"),
            QStringList({"電気|1200|20241102"}));
        QCOMPARE(f.dir.rows("SELECT S_index,S_memo FROM S"), QStringList({"電気|自動引落処理"}));
        QCOMPARE(f.dir.rows("SELECT I_hokansaki,I_money FROM Idourireki_T"), QStringList({"財布|800"}));
        QVERIFY(LedgerCheck::check(f.dir.dbPath()).ok());
        f.window->openFile(f.write("dec.csv", bytes(yucho({"20241215,000000009,,1300,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,146700,"}))));
        QCOMPARE(f.rows().first(), QStringLiteral("○|20241215|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1300||146700|電気|新規"));
    }

    // A place with nothing recorded starts from the statement's balance before its first line.
    void aFirstImportStartsTheBalance()
    {
        Fixture f;
        f.open("nov.csv", november(), "財布");
        f.press("cmd_ok");
        QCOMPARE(f.dialogs.asked.first(),
            QStringLiteral("財布にはまだ記録がありません。\r\n残高を明細の2024/11/02時点の残高 "
                           "\\100000から始めますか？"));
        QCOMPARE(f.dir.rows("SELECT K_bmoney,K_amoney FROM Ktanaorosi_T"), QStringList({"0|100000"}));
        QCOMPARE(f.balance("財布"), 148000);
        QVERIFY(LedgerCheck::check(f.dir.dbPath()).ok());
    }

    // F_rule from cmd_rule: the learnt rules of the place, a rule written ahead that fills the
    // next file's line (and says so), each edit an action of the history.
    void rulesAreShownWrittenAndUsed()
    {
        Fixture f;
        f.open("nov.csv", november());
        f.press("cmd_ok");
        QPointer<TaskWindow> rules = f.window->openRules();
        QCOMPARE(rules->objectName(), QStringLiteral("F_rule"));
        auto *sp = rules->findChild<Grid *>("SP");
        const auto row = [&](int r) {
            QStringList cells;
            for (int c = RuleWindow::ColPattern; c <= RuleWindow::ColUsed; ++c)
                cells << (c == RuleWindow::ColMatch || c == RuleWindow::ColItem
                        ? sp->choiceEntries(c, r).value(sp->text(c, r).toInt(), QStringLiteral("?"))
                        : sp->text(c, r));
            return cells.join(u'|');
        };
        QCOMPARE(sp->maxRows(), 4);
        QCOMPARE(row(1), QStringLiteral("カード コンビニ|一致|支出：食費|2024/12/08 09:05:07"));
        // Written ahead: every card line is 雑費, unless its whole description says otherwise.
        const int last = sp->maxRows();
        sp->setText(RuleWindow::ColPattern, last, "ｶｰﾄﾞ");
        sp->setText(RuleWindow::ColItem, last,
            QString::number(sp->choiceEntries(RuleWindow::ColItem, last).indexOf("支出：雑費")));
        sp->clickButton(RuleWindow::ColSave, last);
        QCOMPARE(f.dialogs.infos.last(), QStringLiteral("登録完了しました"));
        QCOMPARE(f.dir.rows("SELECT XU_window,XU_text FROM X_undo_action ORDER BY XU_no DESC LIMIT 1"),
            QStringList({"取込ルール|取込ルール「ｶｰﾄﾞ」を登録"}));
        // The same text twice is refused.
        sp->setText(RuleWindow::ColPattern, sp->maxRows(), "ｶｰﾄﾞ ");
        sp->setText(RuleWindow::ColItem, sp->maxRows(), "0");
        sp->clickButton(RuleWindow::ColSave, sp->maxRows());
        QCOMPARE(f.dialogs.infos.last(), QStringLiteral("同じパターンのルールがあります"));
        // Changed: the learnt rule of ｶｰﾄﾞ ﾊﾟﾝﾔ gives 雑費 from now on.
        QCOMPARE(row(2).section(u'|', 0, 2), QStringLiteral("カード パンヤ|一致|支出：食費"));
        sp->setText(RuleWindow::ColItem, 2,
            QString::number(sp->choiceEntries(RuleWindow::ColItem, 2).indexOf("支出：雑費")));
        sp->clickButton(RuleWindow::ColSave, 2);
        QCOMPARE(f.dir.rows("SELECT XR_item FROM X_import_rule WHERE XR_key = 'カード パンヤ'"),
            QStringList({"雑費"}));
        rules->close();
        QTRY_VERIFY(rules.isNull());

        f.window->openFile(f.write("dec.csv",
            bytes(yucho({"20241205,000000005,,1200,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,146800,",
                "20241206,000000006,,700,ｶｰﾄﾞ,ﾄﾞﾗｯｸﾞ,146100,"}))));
        QCOMPARE(f.rows().mid(0, 2).join(u'/'),
            QStringLiteral("○|20241205|ｶｰﾄﾞ ｺﾝﾋﾞﾆ|1200||146800|食費|新規/"
                           "○|20241206|ｶｰﾄﾞ ﾄﾞﾗｯｸﾞ|700||146100|雑費|新規"));
        QCOMPARE(f.window->itemTip(2), QStringLiteral("ルール「ｶｰﾄﾞ」（前方一致）から"));
        QCOMPARE(f.window->itemTip(1), QStringLiteral("ルール「カード コンビニ」（一致）から"));
        // Imported as the written rule gives it, the line learns nothing of its own.
        f.press("cmd_ok");
        QCOMPARE(
            f.dir.scalar("SELECT COUNT(*) FROM X_import_rule WHERE XR_key = 'カード ドラッグ'").toInt(), 0);

        // Deleted, the written rule fills nothing.
        rules = f.window->openRules();
        sp = rules->findChild<Grid *>("SP");
        QCOMPARE(row(4), QStringLiteral("ｶｰﾄﾞ|前方一致|支出：雑費|2024/12/08 09:05:07"));
        sp->clickButton(RuleWindow::ColDelete, 4);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_import_pattern").toInt(), 0);
        QCOMPARE(f.dir.rows("SELECT XU_text FROM X_undo_action ORDER BY XU_no DESC LIMIT 1"),
            QStringList({"取込ルール「ｶｰﾄﾞ」を削除"}));
    }

    void filesThatCannotBeReadChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray() << "ファイルが空です";
        QTest::newRow("no statement")
            << bytes({"name,age", "a,1"}) << "明細の形式がわかりません。先頭の行：\r\nname,age\r\na,1";
        QTest::newRow("50 MB") << QByteArray(50 * 1024 * 1024, 'x') << "ファイルが大きすぎます（16MBまで）";
    }
    void filesThatCannotBeReadChangeNothing()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        Fixture f;
        f.window->openFile(f.write("nov.csv", november()));
        const QStringList before = f.rows();
        const QString path = f.write("bad.csv", file);
        f.window->openFile(path);
        // A file no preset reads offers the preset editor (here closed at once).
        QVERIFY((f.dialogs.infos + f.dialogs.asked).last().startsWith(message));
        QCOMPARE(f.rows(), before);
    }
};

QTEST_MAIN(TestImportWindow)
#include "tst_importwindow.moc"
