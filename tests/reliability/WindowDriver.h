// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Opens the real task windows from the real main menu and drives their controls the way a
// user would, for the reliability tests.

#include "Grid.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>

namespace Drive {

// Every task window that reads the ledger, with the menu button or menu entry that opens it.
struct Window
{
    const char *name;
    const char *opener;
};
inline const std::vector<Window> &ledgerWindows()
{
    static const std::vector<Window> all = {{"F_nyuukin", "cmd_nyuukin"}, {"F_syukkin", "cmd_syukkin"},
        {"F_zidou", "cmd_zidou"}, {"F_idou", "cmd_idou"}, {"F_tanaorosi", "cmd_tanaorosi"},
        {"F_list_S", "cmd_list"}, {"F_rireki_S", "cmd_rireki"}, {"F_all_S", "cmd_all"}, {"F_csv", "csv"},
        {"F_nyuM", "syu"}, {"F_syuM", "si"}, {"F_kubunM", "nyu"}, {"F_hokanM", "ho"}};
    return all;
}

// The main menu of the program on an application directory, as main() builds it.
class Menu
{
public:
    explicit Menu(const AppContext &context)
        : menu(context)
    {
        registerTasks(menu);
        menu.setQuit([] {});
        menu.setFileViewer([](const QString &) { return true; });
        menu.show();
        menu.load();
    }

    // Opens a window as its menu button or entry does (log line, show, load); nullptr when
    // nothing opened.
    TaskWindow *open(const char *opener)
    {
        if (auto *b = menu.findChild<QPushButton *>(QString::fromLatin1(opener)))
            b->click();
        else if (auto *a = menu.findChild<QAction *>(QString::fromLatin1(opener)))
            a->trigger();
        QCoreApplication::processEvents();
        return menu.openTask();
    }

    // Closes the open window with its "閉じる"; true when the menu is usable again.
    bool close()
    {
        TaskWindow *w = menu.openTask();
        if (!w)
            return menu.isEnabled();
        w->findChild<QPushButton *>(QStringLiteral("cmd_end"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        return !menu.openTask() && menu.isEnabled();
    }

    MainMenu menu;
};

using ::child;

// Posts an amount (and memo) in the row of an item of a posting window.
inline void post(TaskWindow *w, const QString &item, const QString &amount, const QString &memo = QString())
{
    Grid *g = child<Grid>(w, "SP");
    const int r = gridRowOf(*g, item);
    if (r == 0)
        qFatal("no item %s", qPrintable(item));
    g->setText(3, r, amount);
    if (g->maxCols() == 7)
        g->setText(6, r, memo);
    g->clickButton(g->maxCols(), r);
}

inline void setCombo(QComboBox *c, const QString &text)
{
    const int i = c->findText(text);
    if (i >= 0)
        c->setCurrentIndex(i);
    else
        c->setEditText(text);
}

inline void transfer(TaskWindow *w, const QString &from, const QString &to, const QString &amount,
    const QString &day, const QString &memo = QString())
{
    setCombo(child<QComboBox>(w, "cb_moto"), from);
    setCombo(child<QComboBox>(w, "cb_saki"), to);
    child<QLineEdit>(w, "txt_money")->setText(amount);
    child<QLineEdit>(w, "txt_day")->setText(day);
    child<QLineEdit>(w, "txt_memo")->setText(memo);
    child<QPushButton>(w, "cmd_ok")->click();
}

inline void stocktake(TaskWindow *w, const QString &place, const QString &amount, const QString &reason)
{
    setCombo(child<QComboBox>(w, "cb_hokan"), place);
    child<QLineEdit>(w, "txt_money")->setText(amount);
    child<QLineEdit>(w, "txt_riyuu")->setText(reason);
    child<QPushButton>(w, "cmd_henkou")->click();
}

inline QString result(TaskWindow *w)
{
    return child<QPlainTextEdit>(w, "txt_kekka")->toPlainText();
}

// Exports one output kind of F_csv (0..8) for a year, answering the save dialog with path.
inline void exportCsv(TaskWindow *w, ScriptedDialogs &dialogs, int kind, const QString &path, int year = 2003)
{
    child<QComboBox>(w, "CB")->setCurrentIndex(kind);
    child<QLineEdit>(w, "txt_Y1")->setText(QString::number(year));
    child<QLineEdit>(w, "txt_Y2")->setText(QString::number(year));
    child<QComboBox>(w, "CBM1")->setCurrentIndex(0);
    child<QComboBox>(w, "CBM2")->setCurrentIndex(11);
    dialogs.files.push_back(path);
    child<QPushButton>(w, "cmd_syuturyoku")->click();
}

// A small ledger: three places, categories, items of each kind (one automatic debit) and a
// few postings of 2003.
inline void seed(const TempAppDir &dir)
{
    dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('財布',5000,'本人',''),"
             "('銀行',100000,'本人','普通'),('金庫',0,'家族','')");
    dir.exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('給与',''),('生活費','')");
    dir.exec("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給料','給与','銀行','')");
    dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活費','財布',''),"
             "('電気','自動','銀行','')");
    dir.exec("INSERT INTO N VALUES ('給料','銀行',100000,20030825,'8月分')");
    dir.exec("INSERT INTO S VALUES ('食費','財布',800,20030910,'')");
}

// One writing action of every window that writes, with valid inputs on the seeded ledger.
struct WriteAction
{
    const char *window;
    const char *opener;
    std::function<void(TaskWindow *)> act;
};
inline std::vector<WriteAction> writeActions()
{
    return {
        {"F_nyuukin", "cmd_nyuukin", [](TaskWindow *w) { post(w, "給料", "500"); }},
        {"F_syukkin", "cmd_syukkin", [](TaskWindow *w) { post(w, "食費", "100"); }},
        {"F_zidou", "cmd_zidou", [](TaskWindow *w) { post(w, "電気", "100"); }},
        {"F_idou", "cmd_idou", [](TaskWindow *w) { transfer(w, "銀行", "財布", "100", "20030917"); }},
        {"F_tanaorosi", "cmd_tanaorosi", [](TaskWindow *w) { stocktake(w, "財布", "10", "数え直し"); }},
        {"F_hokanM", "ho",
            [](TaskWindow *w) {
                Grid *g = child<Grid>(w, "SP1");
                g->setText(1, 1, "新規");
                g->setText(2, 1, "私");
                g->clickButton(4, 1);
            }},
        {"F_hokanM rename", "ho",
            [](TaskWindow *w) {
                setCombo(child<QComboBox>(w, "cb_hokan"), "金庫");
                child<QLineEdit>(w, "txt_hokan2")->setText("金庫2");
                child<QPushButton>(w, "cmd_henkou")->click();
            }},
        {"F_card", "card",
            [](TaskWindow *w) {
                // 金庫 becomes a card paid from 銀行 (places by position in the list).
                Grid *g = child<Grid>(w, "SP");
                const int r = g->maxRows();
                for (const auto &[col, text] :
                    {std::pair {1, "2"}, {2, "15"}, {3, "10"}, {4, "1"}, {5, "100000"}})
                    g->setText(col, r, QString::fromUtf8(text));
                g->clickButton(6, r);
            }},
        {"F_kubunM", "nyu",
            [](TaskWindow *w) {
                Grid *g = child<Grid>(w, "SP1");
                g->setText(1, 1, "新区分");
                g->clickButton(3, 1);
            }},
        {"F_nyuM", "syu",
            [](TaskWindow *w) {
                Grid *g = child<Grid>(w, "SP1");
                g->setText(1, 1, "賞与");
                g->setText(2, 1, "0");
                g->setText(3, 1, "0");
                g->clickButton(5, 1);
            }},
        {"F_syuM", "si",
            [](TaskWindow *w) {
                Grid *g = child<Grid>(w, "SP1");
                g->setText(1, 1, "日用品");
                g->setText(2, 1, "0");
                g->setText(3, 1, "0");
                g->clickButton(5, 1);
            }},
    };
}

// Runs every write action on a ledger that cannot be written; one line per action:
// "<window>|load:<messages of the load>|act:<messages of the action>|open:<still open>".
inline QStringList runWriteActions(const AppContext &context, ScriptedDialogs &dialogs)
{
    QStringList out;
    Menu m(context);
    for (const WriteAction &a : writeActions()) {
        dialogs.clear();
        TaskWindow *w = m.open(a.opener);
        if (!w) {
            out << QString::fromUtf8(a.window) + QStringLiteral("|did not open");
            continue;
        }
        const QStringList onLoad = dialogs.infos;
        dialogs.clear();
        a.act(w);
        QCoreApplication::processEvents();
        const bool open = m.menu.openTask() == w && w->isVisible();
        out << QStringLiteral("%1|load:%2|act:%3|open:%4")
                   .arg(QString::fromUtf8(a.window), onLoad.join(u';'), dialogs.infos.join(u';'))
                   .arg(open && m.close() ? "yes" : "no");
    }
    return out;
}

} // namespace Drive
