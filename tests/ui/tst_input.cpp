// SPDX-License-Identifier: GPL-3.0-or-later
#include "Csv.h"
#include "CsvExport.h"
#include "Grid.h"
#include "ItemDetail.h"
#include "MainMenu.h"
#include "PostingWindow.h"
#include "QtDialogs.h"
#include "StocktakeWindow.h"
#include "StorageMaster.h"
#include "Tasks.h"
#include "TestSupport.h"
#include "TransferWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

const QString Places = QStringLiteral("INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES "
                                      "('AB', 5000, '', ''), ('A', 1000, '', ''), ('B', 0, '', ''), "
                                      "('銀行口座', 0, '', ''), ('銀行', 0, '', '')");

// Plays a key held down on a real keyboard: `repeats` auto-repeated press/release pairs
// 33 ms apart after the first press, each sent to whatever has the focus then (the open box,
// or the task window, which is re-activated whenever no box is open, as a window manager
// does when a box closes). When the repeats are over, every box still open or opened later
// is turned down and its text kept in `boxes`.
class HeldKey : public QObject
{
public:
    HeldKey(QWidget *window, int key, int repeats)
        : m_window(window)
        , m_key(key)
        , m_left(repeats)
    {
        connect(&m_timer, &QTimer::timeout, this, &HeldKey::tick);
        m_timer.start(33);
    }

    // Set to answer the box open after the repeats with a fresh press of the key instead.
    bool freshPressAfterwards = false;
    QStringList boxes;

    bool finished() const { return m_idleTicks > 5; }

private:
    void tick()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal); box && box != m_lastBox) {
            m_lastBox = box;
            boxes << box->text();
        }
        if (m_left > 0) {
            --m_left;
            if (!modal && m_window)
                m_window->activateWindow();
            QWidget *target = modal ? modal->focusWidget() : m_window ? m_window->focusWidget() : nullptr;
            send(target ? target : modal, true);
            return;
        }
        if (!modal) {
            ++m_idleTicks;
            return;
        }
        m_idleTicks = 0;
        if (freshPressAfterwards) {
            freshPressAfterwards = false;
            send(modal->focusWidget(), false);
        } else {
            static_cast<QDialog *>(modal)->reject();
        }
    }

    void send(QWidget *target, bool autoRepeat)
    {
        if (!target)
            return;
        // Posted, so that a box the key opens runs its loop outside this timer's slot (a
        // timer does not fire again while its slot is still running).
        const QString text = m_key == Qt::Key_Space ? QStringLiteral(" ") : QStringLiteral("\r");
        for (const QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease})
            QCoreApplication::postEvent(target, new QKeyEvent(t, m_key, Qt::NoModifier, text, autoRepeat));
    }

    QPointer<QWidget> m_window;
    int m_key;
    int m_left;
    int m_idleTicks = 0;
    QPointer<QMessageBox> m_lastBox;
    QTimer m_timer;
};

// Turns down every box that opens until destroyed, keeping the texts.
class BoxCloser : public QObject
{
public:
    BoxCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes << box->text();
                box->reject();
            }
        });
        m_timer.start(20);
    }
    QStringList boxes;

private:
    QTimer m_timer;
};

void activate(QWidget *w)
{
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
}

// Types into a combo's box as a keyboard does, or commits it as an input method does.
void type(QComboBox *combo, const QString &text, bool inputMethod)
{
    combo->setFocus();
    combo->lineEdit()->clear();
    if (inputMethod) {
        QInputMethodEvent e;
        e.setCommitString(text);
        QApplication::sendEvent(combo->lineEdit(), &e);
    } else {
        QTest::keyClicks(combo->lineEdit(), text);
    }
}

QStringList entries(const QComboBox *combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

} // namespace

class TestInput : public QObject
{
    Q_OBJECT

    TempAppDir dir;
    ScriptedDialogs scripted;
    QtDialogs real;
    FixedClock clock = clockAt(2003, 9, 17);

    void seed()
    {
        dir.exec(QStringLiteral("DELETE FROM Hokan_T"));
        dir.exec(QStringLiteral("DELETE FROM Nyuukin_T"));
        dir.exec(QStringLiteral("DELETE FROM N"));
        dir.exec(Places);
        dir.exec(QStringLiteral("INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES "
                                "('給料', '給与', '銀行口座', ''), ('給', '給与', '銀行口座', '')"));
    }
    int places() const { return dir.scalar(QStringLiteral("SELECT count(*) FROM Hokan_T")).toInt(); }

private slots:
    void init() { seed(); }

    void aHeldEnterOnADeleteButtonDeletesNothing()
    {
        StorageMaster w(dir.context(real, clock));
        w.load();
        activate(&w);
        auto *grid = w.findChild<Grid *>(QStringLiteral("SP2"));
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(1, 6)); // 削除 of row 2
        HeldKey held(&w, Qt::Key_Return, 20);
        QTest::keyClick(grid, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(held.finished(), 5000);
        QCOMPARE(held.boxes, QStringList {QStringLiteral("削除します　よろしいですか？")});
        QCOMPARE(places(), 5);
    }

    void aHeldEnterOnAPostingButtonPostsOnlyOnAFreshAnswer()
    {
        std::unique_ptr<PostingWindow> w(PostingWindow::newIncome(dir.context(real, clock)));
        w->load();
        activate(w.get());
        auto *grid = w->findChild<Grid *>(QStringLiteral("SP"));
        grid->setText(3, 1, QStringLiteral("700"));
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, grid->maxCols() - 1));
        {
            HeldKey held(w.get(), Qt::Key_Return, 20);
            QTest::keyClick(grid, Qt::Key_Return);
            QTRY_VERIFY_WITH_TIMEOUT(held.finished(), 5000);
            QCOMPARE(held.boxes.size(), 1);
            QVERIFY(held.boxes[0].endsWith(QStringLiteral("よろしいですか？")));
            QCOMPARE(dir.scalar(QStringLiteral("SELECT count(*) FROM N")).toInt(), 0);
        }
        // The same hold, and then a fresh press answers the question: one posting.
        HeldKey held(w.get(), Qt::Key_Return, 20);
        held.freshPressAfterwards = true;
        QTest::keyClick(grid, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(held.finished(), 5000);
        QCOMPARE(dir.rows(QStringLiteral("SELECT N_index, N_money FROM N")), QStringList {"給料|700"});
        QCOMPARE(dir.scalar(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = '銀行口座'")).toInt(),
            700);
    }

    void aHeldSpaceOnAnOrdinaryButtonActsOnce()
    {
        TransferWindow w(dir.context(real, clock));
        w.load();
        activate(&w);
        w.findChild<QComboBox *>(QStringLiteral("cb_moto"))->setEditText(QStringLiteral("AB"));
        w.findChild<QComboBox *>(QStringLiteral("cb_saki"))->setEditText(QStringLiteral("B"));
        w.findChild<QLineEdit *>(QStringLiteral("txt_money"))->setText(QStringLiteral("100"));
        auto *ok = w.findChild<QPushButton *>(QStringLiteral("cmd_ok"));
        ok->setFocus();
        HeldKey held(&w, Qt::Key_Space, 20);
        QTest::keyPress(ok, Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(held.finished(), 5000);
        QTest::keyRelease(ok, Qt::Key_Space); // the button acts on the release: one question
        QTRY_COMPARE(held.boxes.size(), 1);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(dir.scalar(QStringLiteral("SELECT count(*) FROM Idourireki_T")).toInt(), 0);
    }

    // Every editable name box of the program, each with a name that begins an earlier
    // entry, typed in another letter case, and through an input method, then Enter.
    void typedNamesStayAsTyped_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("combo");
        for (const char *w : {"F_idou", "F_tanaorosi", "F_hokanM", "F_list_S", "F_csv"}) {
            const QStringList combos = QString::fromLatin1(w) == "F_idou" ? QStringList {"cb_moto", "cb_saki"}
                : QString::fromLatin1(w) == "F_list_S"                    ? QStringList {"cb_list"}
                : QString::fromLatin1(w) == "F_csv"                       ? QStringList {"CB"}
                                                                          : QStringList {"cb_hokan"};
            for (const QString &c : combos)
                QTest::addRow("%s %s", w, qPrintable(c)) << QString::fromLatin1(w) << c;
        }
    }
    void typedNamesStayAsTyped()
    {
        QFETCH(QString, window);
        QFETCH(QString, combo);
        const AppContext c = dir.context(scripted, clock);
        std::unique_ptr<TaskWindow> w;
        if (window == "F_idou")
            w = std::make_unique<TransferWindow>(c);
        else if (window == "F_tanaorosi")
            w = std::make_unique<StocktakeWindow>(c);
        else if (window == "F_hokanM")
            w = std::make_unique<StorageMaster>(c);
        else if (window == "F_list_S")
            w = std::make_unique<ItemDetail>(c);
        else
            w = std::make_unique<CsvExport>(c);
        w->load();
        activate(w.get());
        auto *cb = w->findChild<QComboBox *>(combo);
        QVERIFY(cb);
        const QStringList before = entries(cb);
        QVERIFY(before.size() >= 2);
        // A name that is the first letters of an entry listed before the whole name.
        const QString first = before.constFirst();
        const QStringList typed
            = {first.left(1), first.left(1).toLower(), QStringLiteral("銀行"), QStringLiteral("XYZ")};
        for (const bool inputMethod : {false, true}) {
            for (const QString &t : typed) {
                if (!inputMethod && !QtPrivate::isAscii(t))
                    continue; // the keyboard types only what it has keys for
                type(cb, t, inputMethod);
                QCOMPARE(cb->currentText(), t);
                QTest::keyClick(cb->lineEdit(), Qt::Key_Return);
                QCOMPARE(cb->currentText(), t);
                QCOMPARE(entries(cb), before);
            }
        }
        if (window == "F_tanaorosi" || window == "F_hokanM") {
            w->load(); // these two fill their list again after every action
            QCOMPARE(entries(cb), before);
        }
    }

    void aTypedPlaceMovesMoneyFromThatPlace()
    {
        TransferWindow w(dir.context(scripted, clock));
        w.load();
        activate(&w);
        type(w.findChild<QComboBox *>(QStringLiteral("cb_moto")), QStringLiteral("A"), false);
        type(w.findChild<QComboBox *>(QStringLiteral("cb_saki")), QStringLiteral("銀行"), true);
        w.findChild<QLineEdit *>(QStringLiteral("txt_money"))->setText(QStringLiteral("100"));
        w.findChild<QPushButton *>(QStringLiteral("cmd_ok"))->click();
        QCOMPARE(dir.rows(QStringLiteral("SELECT H_index, H_money FROM Hokan_T ORDER BY H_no")),
            QStringList({"AB|5000", "A|900", "B|0", "銀行口座|0", "銀行|100"}));
    }

    // An amount cell with 500 in it, "-" typed over it, and the row's button: the cell's
    // text is what the button acts on, and "-" is no number.
    void theButtonActsOnWhatTheCellShows_data()
    {
        QTest::addColumn<bool>("byMouse");
        QTest::newRow("clickButton") << false;
        QTest::newRow("mouse") << true;
    }
    void theButtonActsOnWhatTheCellShows()
    {
        QFETCH(bool, byMouse);
        scripted.clear();
        std::unique_ptr<PostingWindow> w(PostingWindow::newIncome(dir.context(scripted, clock)));
        w->load();
        activate(w.get());
        auto *grid = w->findChild<Grid *>(QStringLiteral("SP"));
        grid->setText(3, 1, QStringLiteral("500"));
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 2));
        QTest::keyClick(grid, Qt::Key_Return); // opens the editor
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Minus);
        QCOMPARE(editor->text(), QStringLiteral("-"));
        const int button = grid->maxCols();
        if (byMouse) {
            const QRect r = grid->visualRect(grid->model()->index(0, button - 1));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
        } else {
            grid->clickButton(button, 1);
        }
        QCOMPARE(scripted.infos, QStringList {QStringLiteral("数値を入力して下さい")});
        QCOMPARE(dir.scalar(QStringLiteral("SELECT count(*) FROM N")).toInt(), 0);
    }

    // No ledger: the opening of the yearly window says so once, with the real boxes and the
    // activations they cause.
    void aFailedOpeningShowsOneMessage()
    {
        TempAppDir empty(false);
        MainMenu menu(empty.context(real, clock));
        registerTasks(menu);
        menu.setQuit([] {});
        menu.load();
        activate(&menu);
        BoxCloser closer;
        menu.findChild<QPushButton *>(QStringLiteral("cmd_all"))->click();
        // The box, then the activation of the window it leaves behind (a reading on activation
        // would show its box before that returns), then whatever the activation queued.
        QTRY_VERIFY(!closer.boxes.isEmpty());
        QWidget *after = menu.openTask() ? static_cast<QWidget *>(menu.openTask()) : &menu;
        QVERIFY(QTest::qWaitForWindowActive(after));
        deliverPostedEvents();
        QCOMPARE(closer.boxes, QStringList {QStringLiteral("DB接続失敗")});
        if (TaskWindow *t = menu.openTask())
            t->close();
    }

    // A task window opened from a button, or from a menu entry, gives the focus back to that
    // button (or to the one that last had it) when it closes.
    void closingATaskGivesTheFocusBack()
    {
        MainMenu menu(dir.context(scripted, clock));
        registerTasks(menu);
        menu.setQuit([] {});
        menu.load();
        activate(&menu);
        auto *list = menu.findChild<QPushButton *>(QStringLiteral("cmd_rireki"));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(menu.openTask());
        QVERIFY(menu.openTask()->isVisible());
        menu.openTask()->close();
        QCOMPARE(menu.focusWidget(), list);

        auto *idou = menu.findChild<QPushButton *>(QStringLiteral("cmd_idou"));
        idou->setFocus();
        menu.findChild<QAction *>(QStringLiteral("ho"))->trigger();
        QVERIFY(menu.openTask());
        menu.openTask()->close();
        QCOMPARE(menu.focusWidget(), idou);
    }

    // An existing file at the chosen path is replaced without a question, whether or not
    // the typed name carries the extension.
    void theSaveDialogNeverAsksToReplace()
    {
        QFile existing(dir.path() + QStringLiteral("/abc.csv"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        bool confirming = true;
        QStringList boxes;
        QTimer::singleShot(100, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            confirming = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
                ->setText(QStringLiteral("abc.csv"));
            QTimer::singleShot(100, this, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    boxes << box->text();
                    box->reject();
                }
            });
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const std::optional<QString> path
            = real.saveFileName(Csv::filter(), dir.path(), QStringLiteral("収入明細.csv"));
        QVERIFY(!confirming);
        QVERIFY(boxes.isEmpty());
        QVERIFY(path);
        QCOMPARE(QFileInfo(*path).fileName(), QStringLiteral("abc.csv"));
    }
};

QTEST_MAIN(TestInput)
#include "tst_input.moc"
