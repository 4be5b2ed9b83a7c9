#include "Cp932.h"
#include "Grid.h"
#include "ImportWindow.h"
#include "LedgerCheck.h"
#include "MainMenu.h"
#include "PresetEditor.h"
#include "StatementFiles.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
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

        template <typename T> T *get(const char *name) const
        {
            return window->findChild<T *>(QString::fromLatin1(name));
        }
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
    };

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
        QFile log(dir.logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(Cp932::decode(log.readAll()).section("\r\n", 0, 0).endsWith(",明細取込画面起動"));
        w->findChild<QPushButton *>("cmd_end")->click();
        QTRY_VERIFY(w.isNull());
        QVERIFY(menu.isEnabled());
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
        QVERIFY(f.get<QPlainTextEdit>("txt_kekka")->toPlainText().startsWith("12行目：日付が読めません"));
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
