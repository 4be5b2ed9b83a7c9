// SPDX-License-Identifier: GPL-3.0-or-later
#include "Grid.h"
#include "ImportWindow.h"
#include "LedgerCheck.h"
#include "PresetEditor.h"
#include "StatementFiles.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace StatementFiles;

// F_preset: a layout no preset knows mapped by hand, saved in the ledger and used for the file
// and the next one; the date forms read strictly; every refusal leaves the ledger as it was.
class TestPresetEditor : public QObject
{
    Q_OBJECT

    // The columns chosen for each role: 0-based, -1 for none.
    struct Mapping
    {
        QString name;
        int date = 0, text = -1, out = -1, in = -1, signedAmount = -1, balance = -1, id = -1;
        int dateForm = 0;
        bool newest = false;
    };

    static void fill(PresetEditor &e, const Mapping &m)
    {
        e.findChild<QLineEdit *>("txt_name")->setText(m.name);
        const std::pair<const char *, int> roles[]
            = {{"cb_date", m.date}, {"cb_text", m.text}, {"cb_out", m.out}, {"cb_in", m.in},
                {"cb_signed", m.signedAmount}, {"cb_balance", m.balance}, {"cb_id", m.id}};
        for (const auto &[name, col] : roles)
            e.findChild<QComboBox *>(name)->setCurrentIndex(col + 1);
        e.findChild<QComboBox *>("cb_dateform")->setCurrentIndex(m.dateForm);
        e.findChild<QCheckBox *>("chk_newest")->setChecked(m.newest);
    }

    // The preview as "line|date|text|amount|balance|result".
    static QStringList preview(const PresetEditor &e)
    {
        return gridRows(*child<Grid>(&e, "SP"), PresetEditor::ColLine, PresetEditor::ColResult);
    }

    // A credit union's download no built-in preset knows: two lines before the heading.
    static QStringList unionFile(const QStringList &rows)
    {
        return QStringList {
                   "信用組合　入出金明細", "口座,普通 1234567", "取引日,摘要,お引出し,お預入れ,残高,取引番号"}
        + rows;
    }
    static Mapping unionMapping()
    {
        Mapping m;
        m.name = "みらい信用組合";
        m.text = 1, m.out = 2, m.in = 3, m.balance = 4, m.id = 5, m.dateForm = 1;
        return m;
    }

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2024, 12, 8);
        ImportWindow *window = nullptr;
        std::function<void(PresetEditor &)> edit = [](PresetEditor &) {};
        int editorRuns = 0;

        Fixture()
        {
            dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('組合',100000,'','')");
            dir.exec("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES "
                     "('給与','組合',100000,20241001,'')");
            dir.exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('生活','')");
            dir.exec(
                "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','生活','組合','')");
            dir.exec(
                "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活','組合','')");
            open();
        }
        ~Fixture() { delete window; }
        void open()
        {
            delete window;
            window = new ImportWindow(dir.context(dialogs, clock));
            window->setEditorRunner([this](PresetEditor &e) {
                ++editorRuns;
                edit(e);
                return e.result() == QDialog::Accepted;
            });
            window->load();
            window->show();
        }
        QString write(const QString &name, const QByteArray &bytes) const
        {
            return writeFile(dir.path() + "/" + name, bytes);
        }
        Grid *grid() const { return window->findChild<Grid *>("SP"); }
        QString preset() const { return window->findChild<QComboBox *>("cb_preset")->currentText(); }
        QStringList rows() const
        {
            return gridRows(*grid(),
                {ImportWindow::ColDate, ImportWindow::ColText, ImportWindow::ColOut, ImportWindow::ColIn,
                    ImportWindow::ColState});
        }
    };

    // An editor on its own, with a saver that only counts.
    struct Editor
    {
        ScriptedDialogs dialogs;
        QList<Preset> saved;
        PresetEditor editor;
        Editor(const QStringList &lines, const QList<Preset> &presets = Preset::builtIns())
            : editor(dialogs, lines, presets, QDate(2024, 12, 8))
        {
            editor.setSaver([this](const Preset &p) {
                saved << p;
                return true;
            });
        }
    };

private slots:
    void anUnknownLayoutIsMappedImportedAndKnownNextTime()
    {
        Fixture f;
        f.edit = [](PresetEditor &e) {
            // The heading is found among the lines before it.
            QCOMPARE(e.findChild<QComboBox *>("cb_heading")->currentIndex(), 2);
            fill(e, unionMapping());
            QCOMPARE(preview(e),
                QStringList({"4|20241102|ｺﾝﾋﾞﾆ|-1200|98800|", "5|20241103|給与|50000|148800|",
                    "6||20241104,ﾊﾟﾝﾔ,800,,148000,A3|||日付が読めません"}));
            e.findChild<QPushButton *>("cmd_ok")->click();
        };
        const QByteArray nov = bytes(unionFile({"2024/11/02,ｺﾝﾋﾞﾆ,\"1,200\",,98800,A1",
            "2024/11/03,給与,,50000,148800,A2", "20241104,ﾊﾟﾝﾔ,800,,148000,A3"}));
        f.window->openFile(f.write("nov.csv", nov));
        QVERIFY(f.dialogs.asked.first().startsWith("明細の形式がわかりません。先頭の行：\r\n信用組合"));
        QVERIFY(f.dialogs.asked.first().endsWith("取込形式を登録しますか？"));
        QCOMPARE(f.editorRuns, 1);
        QCOMPARE(f.preset(), QStringLiteral("みらい信用組合"));
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_import_preset").toInt(), 1);
        QCOMPARE(f.rows(), QStringList({"20241102|ｺﾝﾋﾞﾆ|1200||新規", "20241103|給与||50000|新規"}));
        f.window->findChild<QComboBox *>("cb_hokan")->setEditText("組合");
        for (int r = 1; r <= 2; ++r)
            f.grid()->setText(ImportWindow::ColItem, r, "0");
        f.dialogs.clear();
        f.window->findChild<QPushButton *>("cmd_ok")->click();
        QCOMPARE(f.dialogs.infos, QStringList({"2件を取り込みました"}));
        QCOMPARE(f.dir.scalar("SELECT H_money FROM Hokan_T").toInt(), 148800);

        // A new window: the saved preset is detected for the next download, its row ids known.
        f.open();
        f.dialogs.clear();
        f.window->openFile(f.write("dec.csv",
            bytes(unionFile({"2024/11/03,給与,,50000,148800,A2", "2024/12/01,ｺﾝﾋﾞﾆ,300,,148500,A4"}))));
        QCOMPARE(f.dialogs.asked, QStringList());
        QCOMPARE(f.editorRuns, 1);
        QCOMPARE(f.preset(), QStringLiteral("みらい信用組合"));
        QCOMPARE(f.rows(), QStringList({"20241103|給与||50000|取込済", "20241201|ｺﾝﾋﾞﾆ|300||新規"}));
        QVERIFY(LedgerCheck::check(f.dir.dbPath()).ok());
    }

    void declinedOrClosedEditorLeavesTheWindowAsItWas()
    {
        Fixture f;
        const QString path = f.write("x.csv", bytes(unionFile({"2024/11/02,ｺﾝﾋﾞﾆ,1200,,98800,A1"})));
        f.dialogs.answers = {false};
        f.window->openFile(path);
        QCOMPARE(f.editorRuns, 0);
        f.window->openFile(path); // yes, then 閉じる
        f.edit = [](PresetEditor &e) { e.findChild<QPushButton *>("cmd_end")->click(); };
        f.window->openFile(path);
        QCOMPARE(f.editorRuns, 2);
        QCOMPARE(f.grid()->maxRows(), 0);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_import_preset").toInt(), 0);
        // cmd_preset needs a file first.
        f.dialogs.clear();
        f.window->findChild<QPushButton *>("cmd_preset")->click();
        QCOMPARE(f.dialogs.infos, QStringList({"ファイルを選択して下さい"}));
    }

    void cmdPresetMapsTheOpenFileAgain()
    {
        // A file a built-in preset reads, mapped by the user with fewer columns: the new preset
        // is selected and the file read with it.
        Fixture f;
        f.window->openFile(f.write("nov.csv", bytes(yucho({"20241102,000000001,,1200,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,98800,"}))));
        QCOMPARE(f.preset(), QStringLiteral("ゆうちょ銀行"));
        f.edit = [](PresetEditor &e) {
            QCOMPARE(e.findChild<QComboBox *>("cb_heading")->currentIndex(), 7);
            Mapping m;
            m.name = "ゆうちょ（詳細２のみ）";
            m.text = 5, m.in = 2, m.out = 3, m.dateForm = 2;
            fill(e, m);
            e.findChild<QPushButton *>("cmd_ok")->click();
        };
        f.window->findChild<QPushButton *>("cmd_preset")->click();
        QCOMPARE(f.preset(), QStringLiteral("ゆうちょ（詳細２のみ）"));
        QCOMPARE(f.rows(), QStringList({"20241102|ｺﾝﾋﾞﾆ|1200||新規"}));
    }

    void signedOrOutAndIn()
    {
        const QStringList lines {"日付,内容,金額,出金,入金", "2024/11/02,ｺﾝﾋﾞﾆ,\"－1,200\",1200,",
            "2024/11/03,給与,50000,,50000", "2024/11/04,両方,0,10,20"};
        Editor signedOne(lines);
        Mapping m;
        m.name = "符号付き";
        m.text = 1, m.signedAmount = 2;
        fill(signedOne.editor, m);
        QCOMPARE(preview(signedOne.editor),
            QStringList({"2|20241102|ｺﾝﾋﾞﾆ|-1200||", "3|20241103|給与|50000||",
                "4||2024/11/04,両方,0,10,20|||金額がありません"}));
        signedOne.editor.findChild<QPushButton *>("cmd_ok")->click();
        QCOMPARE(signedOne.saved.size(), 1);
        QCOMPARE(signedOne.saved.first().signedAmount, QStringLiteral("金額"));
        QCOMPARE(signedOne.editor.result(), int(QDialog::Accepted));

        Editor outIn(lines);
        m.signedAmount = -1, m.out = 3, m.in = 4;
        fill(outIn.editor, m);
        QCOMPARE(preview(outIn.editor).mid(0, 2),
            QStringList({"2|20241102|ｺﾝﾋﾞﾆ|-1200||", "3|20241103|給与|50000||"}));
        QCOMPARE(preview(outIn.editor).at(2).section('|', 5), QStringLiteral("出金と入金の両方があります"));
        // The saved JSON reads back to the same preset.
        outIn.editor.findChild<QPushButton *>("cmd_ok")->click();
        const Preset back = Preset::fromJson(outIn.saved.first().toJson());
        QCOMPARE(back.out, QStringLiteral("出金"));
        QCOMPARE(back.in, QStringLiteral("入金"));
        QCOMPARE(back.headings, QList<QStringList>({{"日付", "内容", "金額", "出金", "入金"}}));
    }

    void dateForms_data()
    {
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("good");
        QTest::addColumn<int>("date");
        QTest::addColumn<QString>("other");
        QTest::newRow("auto") << 0 << "R6.11.2" << 20241102 << "2024年13月1日";
        QTest::newRow("y/m/d") << 1 << "2024/11/2" << 20241102 << "20241102";
        QTest::newRow("yyyymmdd") << 2 << "２０２４１１０２" << 20241102 << "2024/11/02";
        QTest::newRow("era") << 3 << "平成 30 年 07 月 22 日" << 20180722 << "2018/07/22";
        QTest::newRow("m/d") << 4 << "11月2日" << 20241102 << "R6.11.2";
        QTest::newRow("yymmdd") << 5 << "241102" << 20241102 << "20241102";
    }
    void dateForms()
    {
        QFETCH(int, form);
        QFETCH(QString, good);
        QFETCH(int, date);
        QFETCH(QString, other);
        Editor e({"日,摘要,額", good + ",A,-100", other + ",B,-200"});
        Mapping m;
        m.name = "日付";
        m.text = 1, m.signedAmount = 2, m.dateForm = form;
        fill(e.editor, m);
        const QStringList rows = preview(e.editor);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0), QStringLiteral("2|%1|A|-100||").arg(date));
        QCOMPARE(rows.at(1), QStringLiteral("3||%1,B,-200|||日付が読めません").arg(other));
        // The form is kept in the preset's JSON.
        e.editor.findChild<QPushButton *>("cmd_ok")->click();
        const Preset back = Preset::fromJson(e.saved.first().toJson());
        QCOMPARE(int(back.dateForm), form);
        QCOMPARE(
            StatementParser::parse(back, {"日,摘要,額", other + ",B,-200"}, QDate(2024, 12, 8)).bad.size(),
            1);
    }

    // A card whose layout no preset knows: its purchases are positive amounts, read as the
    // card's spending once the editor is told it is a card's file; what is no purchase is listed.
    void aCardsLayoutMappedByHand()
    {
        const QStringList lines {"ｄカード ご利用明細", "ご利用日,ご利用店,ご利用金額,備考",
            "2026/05/02,ローソン／ｉＤ,540,", "山田　太郎　様,,,", "2026/05/04,返品／ｉＤ,-200,",
            "合計,,340,", "お支払日,,2026/06/10,", "以上,,,"};
        Editor e(lines);
        e.editor.findChild<QComboBox *>("cb_heading")->setCurrentIndex(1);
        Mapping m;
        m.name = "dカード";
        m.text = 1, m.signedAmount = 2, m.dateForm = 1;
        fill(e.editor, m);
        QCheckBox *card = e.editor.findChild<QCheckBox *>("chk_card");
        QCOMPARE(preview(e.editor).first(), QStringLiteral("3|20260502|ローソン／ｉＤ|540||"));
        card->setChecked(true);
        QCOMPARE(preview(e.editor),
            QStringList({"3|20260502|ローソン／ｉＤ|-540||", "4||山田　太郎　様,,,|||日付が読めません",
                "5|20260504|返品／ｉＤ|200||", "6||合計,,340,|||日付が読めません",
                "7||お支払日,,2026/06/10,|||日付が読めません", "8||以上,,,|||日付が読めません"}));
        e.editor.findChild<QPushButton *>("cmd_ok")->click();
        QCOMPARE(e.saved.size(), 1);
        const Preset back = Preset::fromJson(e.saved.first().toJson());
        QVERIFY(back.card && back.paymentFromCard);
        QCOMPARE(back.charge, QStringLiteral("ご利用金額"));
        QVERIFY(back.signedAmount.isEmpty());
        // Without the amount column a card's layout is not saved.
        Editor without(lines);
        without.editor.findChild<QComboBox *>("cb_heading")->setCurrentIndex(1);
        m.signedAmount = -1, m.out = 2, m.in = 3;
        fill(without.editor, m);
        without.editor.findChild<QCheckBox *>("chk_card")->setChecked(true);
        without.editor.findChild<QPushButton *>("cmd_ok")->click();
        QCOMPARE(
            without.dialogs.infos, QStringList {"カードの明細は符号付き金額の列（利用額）を選択して下さい"});
        QVERIFY(without.saved.isEmpty());
    }

    void aDateFormNoProgramKnowsIsRefused()
    {
        QString why;
        QVERIFY(Preset::fromJson(R"({"name":"x","headings":[["a","b","c"]],"date":"a","dateForm":"dd.mm",)"
                                 R"("description":"b","signed":"c"})",
            &why)
                    .name.isEmpty());
        QCOMPARE(why, QStringLiteral("日付の形式がわかりません"));
    }

    void refusalsChangeNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<int>>("cols"); // date, text, out, in, signed, balance, id
        QTest::addColumn<QString>("message");
        const QList<int> good {0, 1, 2, 3, -1, 4, -1};
        QTest::newRow("no name") << "　" << good << "形式の名前を入力して下さい";
        QTest::newRow("built-in name")
            << "ゆうちょ銀行" << good << "「ゆうちょ銀行」は組込みの形式の名前です　別の名前を入力して下さい";
        QTest::newRow("no date") << "x" << QList<int> {-1, 1, 2, 3, -1, -1, -1} << "日付の列を選択して下さい";
        QTest::newRow("no text") << "x" << QList<int> {0, -1, 2, 3, -1, -1, -1} << "内容の列を選択して下さい";
        QTest::newRow("no amount") << "x" << QList<int> {0, 1, -1, -1, -1, 4, -1}
                                   << "出金と入金の列、または符号付き金額の列を選択して下さい";
        QTest::newRow("out only") << "x" << QList<int> {0, 1, 2, -1, -1, -1, -1}
                                  << "出金と入金の列、または符号付き金額の列を選択して下さい";
        QTest::newRow("both") << "x" << QList<int> {0, 1, 2, 3, 4, -1, -1}
                              << "出金・入金の列と符号付き金額の列はどちらか一方を選択して下さい";
        QTest::newRow("same column") << "x" << QList<int> {0, 1, 2, 3, -1, 1, -1}
                                     << "2列目を内容と残高の両方に選択しています";
        QTest::newRow("no heading") << "x" << QList<int> {0, 1, 2, 3, -1, -1, 5}
                                    << "6列目（明細番号）には見出しがありません";
        QTest::newRow("twice the heading") << "x" << QList<int> {0, 1, 2, 3, -1, -1, 6}
                                           << "見出し「備考」の列が複数あるため明細番号に使えません";
    }
    void refusalsChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(QList<int>, cols);
        QFETCH(QString, message);
        Editor e({"日付,摘要,出金,入金,残高,,備考,備考", "2024/11/02,A,100,,900,,x,y"});
        Mapping m;
        m.name = name;
        m.date = cols[0], m.text = cols[1], m.out = cols[2], m.in = cols[3], m.signedAmount = cols[4];
        m.balance = cols[5], m.id = cols[6];
        fill(e.editor, m);
        e.editor.findChild<QPushButton *>("cmd_ok")->click();
        QCOMPARE(e.dialogs.infos, QStringList({message}));
        QVERIFY(e.saved.isEmpty());
        QCOMPARE(e.editor.result(), int(QDialog::Rejected));
    }

    void aUserNameInUseIsReplacedOnlyAfterAsking()
    {
        Fixture f;
        f.edit = [](PresetEditor &e) {
            fill(e, unionMapping());
            e.findChild<QPushButton *>("cmd_ok")->click();
        };
        const QString path = f.write("nov.csv",
            bytes(unionFile({"2024/11/02,ｺﾝﾋﾞﾆ,1200,,98800,A1", "2024/11/03,給与,,50000,148800,A2"})));
        f.window->openFile(path);
        const QString json = f.dir.scalar("SELECT XP_json FROM X_import_preset").toString();
        f.edit = [](PresetEditor &e) {
            Mapping m = unionMapping();
            m.id = -1, m.newest = true;
            fill(e, m);
            e.findChild<QPushButton *>("cmd_ok")->click();
        };
        f.dialogs.clear();
        f.dialogs.answers = {false};
        f.window->findChild<QPushButton *>("cmd_preset")->click();
        QCOMPARE(
            f.dialogs.asked, QStringList({"取込形式「みらい信用組合」はすでにあります　置き換えますか？"}));
        QCOMPARE(f.dir.scalar("SELECT XP_json FROM X_import_preset").toString(), json);
        f.dialogs.answers = {true};
        f.window->findChild<QPushButton *>("cmd_preset")->click();
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_import_preset").toInt(), 1);
        const Preset now
            = Preset::fromJson(f.dir.scalar("SELECT XP_json FROM X_import_preset").toString().toUtf8());
        QVERIFY(now.newestFirst);
        QVERIFY(now.id.isEmpty());
        QCOMPARE(f.preset(), QStringLiteral("みらい信用組合"));
    }
};

QTEST_MAIN(TestPresetEditor)
#include "tst_preseteditor.moc"
