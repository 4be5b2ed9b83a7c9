// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tasks.h"

#include "AboutWindow.h"
#include "BackupSettingsWindow.h"
#include "BudgetWindow.h"
#include "CardMaster.h"
#include "CategoryMaster.h"
#include "CategoryReport.h"
#include "CsvExport.h"
#include "Forecast.h"
#include "ForecastWindow.h"
#include "History.h"
#include "ImportWindow.h"
#include "ItemDetail.h"
#include "ItemMaster.h"
#include "LogWindow.h"
#include "MainMenu.h"
#include "MoveInWindow.h"
#include "PostingWindow.h"
#include "RestoreWindow.h"
#include "RuleWindow.h"
#include "SearchWindow.h"
#include "StocktakeWindow.h"
#include "StorageMaster.h"
#include "TransferWindow.h"
#include "UndoWindow.h"
#include "YearlyTotals.h"

void registerTasks(MainMenu &menu)
{
    // One line per task window:
    //   menu.setTaskFactory("F_xxx", [](const AppContext &c) { return new XxxWindow(c); });
    menu.setTaskFactory("F_list_S", [](const AppContext &c) { return new ItemDetail(c); });
    menu.setTaskFactory("F_kensaku", [](const AppContext &c) { return new SearchWindow(c); });
    menu.setTaskFactory("F_rireki_S", [](const AppContext &c) { return new History(c); });
    menu.setTaskFactory("F_all_S", [](const AppContext &c) { return new YearlyTotals(c); });
    menu.setTaskFactory("F_bunrui_S", [](const AppContext &c) { return new CategoryReport(c); });
    menu.setTaskFactory("F_yosan", [](const AppContext &c) { return new BudgetWindow(c); });
    menu.setTaskFactory("F_mitosi", [](const AppContext &c) { return new ForecastWindow(c); });
    menu.setTaskFactory("F_csv", [](const AppContext &c) { return new CsvExport(c); });
    menu.setTaskFactory("F_import", [](const AppContext &c) { return new ImportWindow(c); });
    menu.setTaskFactory("F_iten", [](const AppContext &c) { return new MoveInWindow(c); });
    menu.setTaskFactory("F_idou", [](const AppContext &c) { return new TransferWindow(c); });
    menu.setTaskFactory("F_tanaorosi", [](const AppContext &c) { return new StocktakeWindow(c); });
    menu.setTaskFactory("F_hokanM", [](const AppContext &c) { return new StorageMaster(c); });
    menu.setTaskFactory("F_card", [](const AppContext &c) { return new CardMaster(c); });
    menu.setTaskFactory("F_rule", [](const AppContext &c) { return new RuleWindow(c); });
    menu.setTaskFactory("F_kubunM", [](const AppContext &c) { return new CategoryMaster(c); });
    menu.setTaskFactory(
        "F_nyuM", [](const AppContext &c) { return new ItemMaster(c, ItemVocabulary::income()); });
    menu.setTaskFactory(
        "F_syuM", [](const AppContext &c) { return new ItemMaster(c, ItemVocabulary::expense()); });
    menu.setTaskFactory("F_undo", [](const AppContext &c) { return new UndoWindow(c); });
    menu.setTaskFactory("F_restore", [](const AppContext &c) { return new RestoreWindow(c); });
    menu.setTaskFactory("F_bkset", [](const AppContext &c) { return new BackupSettingsWindow(c); });
    menu.setTaskFactory("F_ver", [](const AppContext &c) { return new AboutWindow(c); });
    menu.setTaskFactory("F_log", [](const AppContext &c) { return new LogWindow(c); });
    menu.setTaskFactory("F_nyuukin", &PostingWindow::newIncome);
    menu.setTaskFactory("F_syukkin", &PostingWindow::newExpense);
    menu.setTaskFactory("F_zidou", &PostingWindow::newDebit);
    // The warning before a debit the balance cannot pay.
    menu.setStartCheck(
        [](const AppContext &c) { return Forecast::startWarning(c.dbPath(), c.clock->today()); });
}
