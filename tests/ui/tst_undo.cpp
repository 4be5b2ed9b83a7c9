// SPDX-License-Identifier: GPL-3.0-or-later
#include "../import/StatementFiles.h"
#include "../reliability/WindowDriver.h"
#include "Cp932.h"
#include "Database.h"
#include "ImportWindow.h"
#include "UndoWindow.h"

#include <QFile>
#include <QKeySequence>
#include <QMenuBar>
#include <QTest>

using namespace Drive;

// Every write action of every window is taken back from the main menu's "元に戻す" and done
// again by taking back that from F_undo; the ledger (row ids included) is as before each time.
class TestUndo : public QObject
{
    Q_OBJECT

    struct Case
    {
        const char *opener;
        QString window;
        QString description;
        std::function<void(TaskWindow *)> act;
    };

    static void clickRow(TaskWindow *w, const char *grid, const QString &name, int nameCol, int buttonCol,
        const std::function<void(Grid *, int)> &edit = {})
    {
        Grid *g = child<Grid>(w, grid);
        const int r = gridRowOf(*g, name, nameCol);
        QVERIFY2(r > 0, qPrintable(name));
        if (edit)
            edit(g, r);
        g->clickButton(buttonCol, r);
    }

    // Imports two lines of a statement into 銀行 through F_import.
    static void importStatement(TaskWindow *w)
    {
        auto *importer = qobject_cast<ImportWindow *>(w);
        const QString path
            = StatementFiles::writeFile(QFile::decodeName(qgetenv("VELMO_TEST_DIR")) + "/s.csv",
                StatementFiles::bytes(StatementFiles::yucho(
                    {"20030915,1,,300,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,99700,", "20030916,2,2000,,振込,ｷﾕｳﾖ,101700,"})));
        importer->setFilePicker([path](const QString &, const QString &) { return path; });
        importer->setListPicker([](const QString &, const QStringList &) { return std::optional<int>(0); });
        child<QPushButton>(w, "cmd_file")->click();
        child<QComboBox>(w, "cb_hokan")->setEditText("銀行");
        Grid *g = child<Grid>(w, "SP");
        for (int r = 1; r <= 2; ++r)
            g->setText(ImportWindow::ColItem, r,
                QString::number(
                    g->choiceEntries(ImportWindow::ColItem, r).indexOf(r == 1 ? "食費" : "給料")));
        child<QPushButton>(w, "cmd_ok")->click();
    }

    static std::vector<Case> cases()
    {
        std::vector<Case> list;
        for (const WriteAction &a : writeActions()) {
            static const QHash<QString, QString> descriptions {
                {"F_nyuukin", "銀行へ給料 \\500を入金"},
                {"F_syukkin", "財布から食費代 \\100を出金"},
                {"F_zidou", "銀行より電気代 \\100を自動引落"},
                {"F_idou", "銀行から財布へ \\100を移動"},
                {"F_tanaorosi", "財布の金額を \\10に変更"},
                {"F_hokanM", "保管場所「新規」を登録"},
                {"F_hokanM rename", "保管場所「金庫」を「金庫2」に変更"},
                {"F_card", "カード「金庫」を登録"},
                {"F_kubunM", "入出金区分「新区分」を登録"},
                {"F_nyuM", "収入名「賞与」を登録"},
                {"F_syuM", "支出名「日用品」を登録"},
            };
            const QString name = QString::fromUtf8(a.window);
            list.push_back({a.opener, name.section(u' ', 0, 0), descriptions.value(name), a.act});
        }
        list.push_back({"ho", "F_hokanM", "保管場所「銀行」を更新", [](TaskWindow *w) {
                            clickRow(
                                w, "SP2", "銀行", 2, 6, [](Grid *g, int r) { g->setText(5, r, "定期"); });
                        }});
        list.push_back({"ho", "F_hokanM", "保管場所「金庫」を削除",
            [](TaskWindow *w) { clickRow(w, "SP2", "金庫", 2, 7); }});
        // A rename through the postings and the items of the place.
        list.push_back({"ho", "F_hokanM", "保管場所「財布」を「ｻｲﾌ」に変更", [](TaskWindow *w) {
                            setCombo(child<QComboBox>(w, "cb_hokan"), "財布");
                            child<QLineEdit>(w, "txt_hokan2")->setText("ｻｲﾌ");
                            child<QPushButton>(w, "cmd_henkou")->click();
                        }});
        list.push_back({"nyu", "F_kubunM", "入出金区分「生活費」を更新", [](TaskWindow *w) {
                            clickRow(
                                w, "SP2", "生活費", 1, 3, [](Grid *g, int r) { g->setText(2, r, "毎月"); });
                        }});
        list.push_back({"nyu", "F_kubunM", "入出金区分「生活費」を「暮らし」に変更", [](TaskWindow *w) {
                            clickRow(
                                w, "SP2", "生活費", 1, 3, [](Grid *g, int r) { g->setText(1, r, "暮らし"); });
                        }});
        list.push_back({"nyu", "F_kubunM", "入出金区分「予備」を削除",
            [](TaskWindow *w) { clickRow(w, "SP2", "予備", 1, 4); }});
        list.push_back({"syu", "F_nyuM", "収入名「給料」を更新", [](TaskWindow *w) {
                            clickRow(
                                w, "SP2", "給料", 1, 5, [](Grid *g, int r) { g->setText(4, r, "月末"); });
                        }});
        list.push_back({"syu", "F_nyuM", "収入名「給料」を「月給」に変更", [](TaskWindow *w) {
                            clickRow(
                                w, "SP2", "給料", 1, 5, [](Grid *g, int r) { g->setText(1, r, "月給"); });
                        }});
        list.push_back({"si", "F_syuM", "支出名「食費」を削除",
            [](TaskWindow *w) { clickRow(w, "SP2", "食費", 1, 6); }});
        list.push_back({"si", "F_syuM", "支出名「食費」を「外食」に変更", [](TaskWindow *w) {
                            clickRow(
                                w, "SP2", "食費", 1, 5, [](Grid *g, int r) { g->setText(1, r, "外食"); });
                        }});
        list.push_back({"import", "F_import", "明細2件を銀行に取込", &importStatement});
        return list;
    }

    // The nine tables and the import's, each row with its row id and values as SQL literals.
    static QStringList ledger(const TempAppDir &dir)
    {
        return ledgerDump(dir.dbPath(),
            ledgerTables()
                + QStringList {"X_import_batch", "X_import_line", "X_import_rule", "X_import_place", "X_card",
                    "X_card_bill"});
    }

private slots:
    // Every window the main menu opens records its actions under its caption, and the history
    // shows that caption: no window is named by its objectName, and no two share one.
    void everyTaskWindowIsShownInTheHistoryByItsCaption()
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        dialogs.defaultAnswer = false;
        const FixedClock clock = clockAt(2003, 9, 17);
        Menu m(dir.context(dialogs, clock));
        QStringList openers;
        for (const QPushButton *b : m.menu.findChildren<QPushButton *>())
            openers << b->objectName();
        for (const QAction *a : m.menu.findChildren<QAction *>())
            openers << a->objectName();
        QHash<QString, QString> windows; // caption: objectName
        QStringList recorded;
        for (const QString &opener : openers) {
            if (opener == u"cmd_end" || opener == u"En" || opener == u"undo" || opener == u"logdel")
                continue;
            TaskWindow *w = m.open(qPrintable(opener));
            if (!w)
                continue;
            const QString caption = w->historyName();
            QVERIFY2(!caption.isEmpty() && !caption.startsWith(u"F_"), qPrintable(w->objectName()));
            QCOMPARE(windows.value(caption, w->objectName()), w->objectName());
            windows.insert(caption, w->objectName());
            {
                Database db(dir.dbPath());
                db.beginAction(caption, opener, clock.now());
                db.execute(
                    QStringLiteral("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('%1','')").arg(opener));
                db.commit();
            }
            recorded.prepend(caption);
            w->close(); // the About window closes with "OK"
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(m.menu.isEnabled());
        }
        QVERIFY2(windows.size() >= 20, qPrintable(windows.values().join(u' ')));
        UndoWindow history(dir.context(dialogs, clock));
        history.load();
        QStringList shown;
        for (int r = 1; r <= child<Grid>(&history, "SP")->maxRows(); ++r)
            shown << child<Grid>(&history, "SP")->text(2, r);
        QCOMPARE(shown, recorded);
    }

    // Entries that earlier versions recorded under a window's objectName show its caption.
    void everyWindowThatWritesIsNamedByItsCaption_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *w : {"F_main", "F_nyuukin", "F_syukkin", "F_zidou", "F_idou", "F_tanaorosi",
                 "F_hokanM", "F_kubunM", "F_nyuM", "F_syuM", "F_card", "F_import", "F_iten", "F_preset",
                 "F_undo", "F_kensaku", "F_syusei", "F_yosan", "F_mitosi"})
            QTest::newRow(w) << QString::fromLatin1(w);
    }
    void everyWindowThatWritesIsNamedByItsCaption()
    {
        QFETCH(QString, window);
        const QString caption = UndoWindow::windowCaption(window);
        QVERIFY2(!caption.startsWith(u"F_"), qPrintable(caption));
    }

    void everyWindowsWriteActionIsTakenBackAndDoneAgain_data()
    {
        QTest::addColumn<int>("index");
        const std::vector<Case> all = cases();
        for (size_t i = 0; i < all.size(); ++i)
            QTest::newRow(qPrintable(all[i].description)) << int(i);
    }

    void everyWindowsWriteActionIsTakenBackAndDoneAgain()
    {
        QFETCH(int, index);
        const Case c = cases().at(size_t(index));
        TempAppDir dir;
        qputenv("VELMO_TEST_DIR", QFile::encodeName(dir.path()));
        seed(dir);
        dir.exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('予備','')");
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        Menu m(dir.context(dialogs, clock));
        const QStringList before = ledger(dir);

        TaskWindow *w = m.open(c.opener);
        QVERIFY(w);
        c.act(w);
        QCoreApplication::processEvents();
        QVERIFY(m.close());
        const QStringList after = ledger(dir);
        QVERIFY2(after != before, qPrintable(dialogs.shown.join(u'/')));
        QCOMPARE(dir.rows("SELECT XU_window, XU_text FROM X_undo_action"),
            QStringList {UndoWindow::windowCaption(c.window) + u'|' + c.description});

        // Ctrl+Z on the main menu, on another day.
        clock.set(QDateTime(QDate(2003, 9, 20), QTime(8, 0, 0)));
        dialogs.clear();
        QAction *undo = m.menu.findChild<QAction *>("undo");
        QVERIFY(undo && undo->isEnabled());
        QCOMPARE(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
        undo->trigger();
        QCOMPARE(dialogs.asked, QStringList {c.description + "を取り消します　よろしいですか？"});
        QCOMPARE(dialogs.infos, QStringList {c.description + "を取り消しました"});
        QCOMPARE(ledger(dir), before);

        // F_undo shows the taking back as the newest action; taking that back does it again.
        dialogs.clear();
        w = m.open("history");
        QVERIFY(w);
        QCOMPARE(w->objectName(), QStringLiteral("F_undo"));
        Grid *g = child<Grid>(w, "SP");
        QCOMPARE(g->maxRows(), 2);
        QCOMPARE(gridTexts(*g).mid(0, 2),
            QStringList({"日時|画面|内容|取消",
                "2003/09/20 08:00:00|メインメニュー|「" + c.description + "」の取消|"}));
        g->clickButton(4, 1);
        QCOMPARE(dialogs.asked, QStringList {"1件の操作を取り消します　よろしいですか？"});
        QCOMPARE(ledger(dir), after);
        QCOMPARE(g->maxRows(), 3);
        QCOMPARE(g->text(2, 1), QStringLiteral("操作の履歴"));
        QVERIFY(m.close());
    }

    void theImportsOwnUndoGoesThroughTheHistory()
    {
        TempAppDir dir;
        qputenv("VELMO_TEST_DIR", QFile::encodeName(dir.path()));
        seed(dir);
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2003, 9, 17);
        Menu m(dir.context(dialogs, clock));
        const QStringList before = ledger(dir);
        importStatement(m.open("import"));
        QVERIFY(m.close());
        post(m.open("cmd_syukkin"), "食費", "100");
        QVERIFY(m.close());

        // Taking the import back takes back the posting after it too, as the history does.
        dialogs.clear();
        TaskWindow *w = m.open("import");
        qobject_cast<ImportWindow *>(w)->setListPicker(
            [](const QString &, const QStringList &) { return std::optional<int>(0); });
        child<QPushButton>(w, "cmd_undo")->click();
        QCOMPARE(dialogs.asked,
            QStringList {
                "2003/09/17 "
                "09:05:07の取込（2件）を取り消します\r\nその後の操作1件も取り消します　よろしいですか？"});
        QCOMPARE(dialogs.infos, QStringList {"取込を取り消しました"});
        QCOMPARE(ledger(dir), before);
        QCOMPARE(dir.scalar("SELECT XU_window || '|' || XU_text FROM X_undo_action ORDER BY XU_no DESC")
                     .toString(),
            QStringLiteral("明細取込|「明細2件を銀行に取込」以降2件の取消"));
        QVERIFY(m.close());

        // A batch the history does not hold (imported before it was kept) goes on its own, and
        // that is an action of the history.
        importStatement(m.open("import"));
        QVERIFY(m.close());
        const QStringList imported = ledger(dir);
        dir.exec("DELETE FROM X_undo_action");
        dialogs.clear();
        w = m.open("import");
        qobject_cast<ImportWindow *>(w)->setListPicker(
            [](const QString &, const QStringList &) { return std::optional<int>(0); });
        child<QPushButton>(w, "cmd_undo")->click();
        QCOMPARE(dialogs.infos, QStringList {"取込を取り消しました"});
        QCOMPARE(dir.scalar("SELECT count(*) FROM X_import_batch").toInt(), 0);
        QVERIFY(m.close());
        dialogs.clear();
        m.menu.findChild<QAction *>("undo")->trigger();
        QCOMPARE(
            dialogs.asked, QStringList {"2003/09/17 09:05:07の取込の取消を取り消します　よろしいですか？"});
        QCOMPARE(ledger(dir), imported);
    }

    void takingBackSeveralFromTheWindowAndRefusals()
    {
        TempAppDir dir;
        seed(dir);
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2003, 9, 17);
        Menu m(dir.context(dialogs, clock));
        const QStringList before = ledger(dir);

        // The edit menu stands between the file and master menus.
        QStringList menus;
        for (QAction *a : m.menu.menuBar()->actions())
            menus << a->menu()->objectName();
        QCOMPARE(menus, QStringList({"file", "edit", "masta", "help"}));

        // Nothing to take back yet; Ctrl+Z on the main menu says so.
        m.menu.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m.menu));
        QTest::keyClick(&m.menu, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(dialogs.infos, QStringList {"取り消せる操作がありません"});

        TaskWindow *w = m.open("cmd_syukkin");
        post(w, "食費", "100");
        post(w, "食費", "200");
        QVERIFY(m.close());
        w = m.open("cmd_idou");
        transfer(w, "銀行", "財布", "1000", "20030917");
        QVERIFY(m.close());
        const QStringList afterAll = ledger(dir);

        // Another program changes the balance the transfer left.
        dir.exec("UPDATE Hokan_T SET H_money = H_money + 1 WHERE H_index = '財布'");
        dialogs.clear();
        w = m.open("history");
        Grid *g = child<Grid>(w, "SP");
        QCOMPARE(g->maxRows(), 3);
        QCOMPARE(g->text(3, 3), QStringLiteral("財布から食費代 \\100を出金"));
        g->clickButton(4, 3);
        QCOMPARE(dialogs.asked, QStringList {"3件の操作を取り消します　よろしいですか？"});
        QCOMPARE(
            dialogs.infos, QStringList {"保管場所「財布」がこの操作の後で変更されているため取り消せません"});
        QCOMPARE(g->maxRows(), 3);
        // Answering no changes nothing either.
        dir.exec("UPDATE Hokan_T SET H_money = H_money - 1 WHERE H_index = '財布'");
        QCOMPARE(ledger(dir), afterAll);
        dialogs.clear();
        dialogs.answers = {false};
        g->clickButton(4, 3);
        QCOMPARE(ledger(dir), afterAll);

        g->clickButton(4, 3);
        QCOMPARE(dialogs.infos, QStringList {"3件の操作を取り消しました"});
        QCOMPARE(ledger(dir), before);
        QCOMPARE(g->text(3, 1), QStringLiteral("「財布から食費代 \\100を出金」以降3件の取消"));
        QVERIFY(m.close());

        QFile log(dir.logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(Cp932::decode(log.readAll()).contains(",操作の履歴画面起動\r\n"));
    }
};

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
