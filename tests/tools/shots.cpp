// SPDX-License-Identifier: GPL-3.0-or-later
// velmo-shots <application directory> <folder for the pictures>
//
// Opens every window of the program through the real main menu, puts it in a state worth
// showing (a posting made, a search run, a tab chosen) and saves a PNG of it: the pictures of
// the user's guide. Run it in a real X server with the Japanese fonts (scripts/screenshot).
// Questions are answered Yes; one of them is shown as the real box and pictured as well.
#include "AppStyle.h"
#include "Backup.h"
#include "BudgetWindow.h"
#include "Cp932.h"
#include "Database.h"
#include "FirstMonth.h"
#include "ForecastWindow.h"
#include "Grid.h"
#include "ImportLedger.h"
#include "ImportWindow.h"
#include "MoveInWindow.h"
#include "PresetEditor.h"
#include "QtDialogs.h"
#include "RuleWindow.h"
#include "SearchWindow.h"
#include "WindowDriver.h"
#include "YenFont.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

namespace {

QString g_outDir;
int g_failures = 0;

void save(QWidget *w, const QString &name)
{
    QTest::qWait(150);
    const QString path = QDir(g_outDir).filePath(name + QStringLiteral(".png"));
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "velmo-shots: could not save %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// Answers every question Yes and confirms every notice, remembering the texts; when asked to,
// shows the next question as the real box, pictures it and answers it.
class ShotDialogs : public Dialogs
{
public:
    void info(const QString &text) override { shown << text; }
    bool ask(const QString &text) override
    {
        shown << text;
        if (pictureNext.isEmpty())
            return true;
        const QString name = std::exchange(pictureNext, QString());
        const auto answer = std::exchange(pictureAnswer, true) ? QMessageBox::Yes : QMessageBox::No;
        QTimer::singleShot(300, [name, answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) {
                std::fprintf(stderr, "velmo-shots: no message box\n");
                ++g_failures;
                return;
            }
            save(box, name);
            box->done(answer);
        });
        return m_real.ask(text);
    }
    std::optional<QString> saveFileName(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> openFileName(const QString &, const QString &) override
    {
        return std::exchange(openNext, std::nullopt);
    }

    QStringList shown;
    QString pictureNext;
    bool pictureAnswer = true; // the pictured question's answer
    std::optional<QString> openNext; // the file the next open-file dialog chooses

private:
    QtDialogs m_real;
};

// The bank account's statement over the last weeks as the bank writes it: the salary, the
// debits, the cash drawn and the savings moved, all typed by hand already, and the debit-card
// purchases nobody typed. Its balances follow on from the ledger's at its first day.
QString writeStatement(const AppContext &context)
{
    Database db(context.dbPath());
    const qint64 opening = ImportLedger::balanceAtStartOf(db, QStringLiteral("銀行"), 20261115).value_or(0);
    const QString path = QDir(context.appDir).filePath(QStringLiteral("meisai_202612.csv"));
    if (!FirstMonth::writeBankStatement(path, opening,
            {{20261115, "カード", "ATM", -50000}, {20261118, "デビット", "ｱﾏｿﾞﾝ", -3280},
                {20261121, "デビット", "ﾄﾞﾗﾂｸﾞｽﾄｱ", -1960}, {20261125, "振込", "ｷﾕｳﾖ", 271000},
                {20261126, "振替", "ﾕｳﾁﾖ", -30000}, {20261127, "口座振替", "ﾃﾞﾝｷﾘﾖｳｷﾝ", -6547},
                {20261127, "口座振替", "ｶﾞｽﾘﾖｳｷﾝ", -7747}, {20261129, "カード", "ATM", -40000},
                {20261130, "振替", "ﾕｳﾁﾖ", -140000}, {20261203, "デビット", "ｼﾈﾏ", -3600},
                {20261205, "デビット", "ﾚｽﾄﾗﾝ", -4200}, {20261207, "デビット", "ｽｰﾊﾟｰ", -5830}})) {
        std::fprintf(stderr, "velmo-shots: cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
    return path;
}

// The main menu with its help menu open, from the screen: the menu is a window of its own.
void saveWithHelpOpen(QWidget *mainMenu, const QString &name)
{
    QMenuBar *bar = mainMenu->findChild<QMenuBar *>();
    QAction *help = bar->actions().constLast();
    bar->setActiveAction(help);
    QTest::qWait(300);
    const QRect shown = mainMenu->frameGeometry().united(help->menu()->geometry());
    const QString path = QDir(g_outDir).filePath(name + QStringLiteral(".png"));
    if (QGuiApplication::primaryScreen()
            ->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height())
            .save(path))
        std::printf("%s\n", qPrintable(path));
    else
        ++g_failures;
    help->menu()->close();
}

// A dark desktop theme's colours (as Adwaita-dark gives them): light text on dark fields.
QPalette darkPalette()
{
    QPalette p;
    const QColor window(53, 53, 53), base(36, 36, 36), text(238, 238, 236);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, window);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, window);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::Highlight, QColor(53, 132, 228));
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Light, QColor(80, 80, 80));
        p.setColor(group, QPalette::Midlight, QColor(66, 66, 66));
        p.setColor(group, QPalette::Mid, QColor(45, 45, 45));
        p.setColor(group, QPalette::Dark, QColor(30, 30, 30));
        p.setColor(group, QPalette::Shadow, Qt::black);
    }
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(140, 140, 140));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(140, 140, 140));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(140, 140, 140));
    p.setColor(QPalette::Disabled, QPalette::Window, window);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Button, window);
    return p;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(assets);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: velmo-shots <application directory> <folder for the pictures>\n");
        return 2;
    }
    g_outDir = args[2];
    QDir().mkpath(g_outDir);

    QApplication::setStyle(new AppStyle);
    YenFont::install();
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QTranslator qtbase;
    if (qtbase.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtbase);

    // The day the demo ledger of the pictures ends, so that they are the same at every run.
    const FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(9, 30)));
    ShotDialogs dialogs;
    const AppContext context {args[1], &dialogs, &clock};
    Drive::Menu m(context);
    m.menu.move(0, 0);
    save(&m.menu, QStringLiteral("main"));

    // Opens a window from its menu button or entry, lets `act` prepare it, pictures it, closes it.
    const auto shoot
        = [&](const char *opener, const QString &name, const std::function<void(TaskWindow *)> &act) {
              TaskWindow *w = m.open(opener);
              if (!w) {
                  std::fprintf(stderr, "velmo-shots: %s opened no window\n", opener);
                  ++g_failures;
                  return;
              }
              w->move(0, 0);
              QTest::qWait(100);
              act(w);
              QCoreApplication::processEvents();
              save(w, name);
              // The About window closes with its OK; every other one with its 閉じる.
              if (auto *ok = w->findChild<QPushButton *>(QStringLiteral("cmdOK"));
                  ok && !w->findChild<QPushButton *>(QStringLiteral("cmd_end")))
                  ok->click();
              if (!m.close()) {
                  std::fprintf(stderr, "velmo-shots: %s did not close\n", opener);
                  ++g_failures;
              }
          };
    const auto nothing = [](TaskWindow *) {};
    using Drive::child;
    using FirstMonth::openWithItems;

    // The backups the restore window lists, at fixed times: last night's at the end of the
    // program, then two taken between the postings below, so that their counts differ.
    const auto backupAt = [&](const QDate &day, const QTime &time) {
        const Backup::Result r = Backup::take(context.dbPath(), QDateTime(day, time), true);
        if (r.outcome != Backup::Outcome::Taken) {
            std::fprintf(stderr, "velmo-shots: no backup: %s\n", qPrintable(r.error));
            ++g_failures;
        }
    };
    backupAt(QDate(2026, 12, 7), QTime(21, 12, 40));

    shoot("ho", QStringLiteral("F_hokanM"), nothing);
    shoot("nyu", QStringLiteral("F_kubunM"), nothing);
    shoot("syu", QStringLiteral("F_nyuM"), nothing);
    shoot("si", QStringLiteral("F_syuM"), nothing);

    shoot("cmd_nyuukin", QStringLiteral("F_nyuukin"), [](TaskWindow *w) {
        Drive::post(w, QStringLiteral("お小遣い"), QStringLiteral("5000"), QStringLiteral("実家から"));
    });
    shoot("cmd_syukkin", QStringLiteral("F_syukkin"), [&](TaskWindow *w) {
        dialogs.pictureNext = QStringLiteral("message");
        Drive::post(w, QStringLiteral("食料品"), QStringLiteral("2480"), QStringLiteral("スーパー"));
    });
    backupAt(QDate(2026, 12, 8), QTime(9, 34, 12));
    shoot("cmd_zidou", QStringLiteral("F_zidou"),
        [](TaskWindow *w) { Drive::post(w, QStringLiteral("電気"), QStringLiteral("10800")); });
    shoot("cmd_idou", QStringLiteral("F_idou"), [](TaskWindow *w) {
        Drive::transfer(w, QStringLiteral("銀行"), QStringLiteral("財布"), QStringLiteral("30000"),
            QStringLiteral("20261208"), QStringLiteral("ATMで引出"));
    });
    shoot("cmd_tanaorosi", QStringLiteral("F_tanaorosi"), [](TaskWindow *w) {
        Drive::stocktake(w, QStringLiteral("貯金箱"), QStringLiteral("16300"), QStringLiteral("数え直した"));
    });

    backupAt(QDate(2026, 12, 8), QTime(9, 41, 5));

    shoot("cmd_all", QStringLiteral("F_all_S"), nothing);
    const auto detail = [&](int tab) {
        return [tab](TaskWindow *w) {
            Drive::setCombo(child<QComboBox>(w, "cb_list"), QStringLiteral("食料品"));
            child<QRadioButton>(w, "Ohitotuki")->setChecked(true);
            child<QPushButton>(w, "cmd_kensaku")->click();
            child<QTabWidget>(w, "TAB")->setCurrentIndex(tab);
        };
    };
    shoot("cmd_list", QStringLiteral("F_list_S"), detail(0));
    shoot("cmd_list", QStringLiteral("F_list_S-graph"), detail(1));
    shoot("cmd_rireki", QStringLiteral("F_rireki_S"), nothing);
    shoot("cmd_rireki", QStringLiteral("F_rireki_S-transfers"),
        [](TaskWindow *w) { child<QTabWidget>(w, "TAB")->setCurrentIndex(1); });
    // The search on a word, and the change window of its newest hit.
    const auto searchFood = [](TaskWindow *w) {
        child<QLineEdit>(w, "txt_word")->setText(QStringLiteral("食"));
        qobject_cast<SearchWindow *>(w)->refresh();
    };
    shoot("cmd_meisai", QStringLiteral("F_kensaku"), searchFood);
    shoot("cmd_meisai", QStringLiteral("F_kensaku-change"), [&](TaskWindow *w) {
        searchFood(w);
        child<Grid>(w, "SP")->clickButton(8, 1);
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->objectName() == u"F_syusei" && top->isVisible()) {
                top->move(0, 0);
                save(top, QStringLiteral("F_syusei"));
                // Its memo changed: the search then shows the record as it is now.
                child<QLineEdit>(top, "txt_memo")->setText(QStringLiteral("スーパー（特売）"));
                child<QPushButton>(top, "cmd_ok")->click();
                top->close();
            }
    });
    shoot("cmd_bunrui", QStringLiteral("F_bunrui_S"), [](TaskWindow *w) {
        // Last year's expenses by category: a whole year, every month filled.
        child<QRadioButton>(w, "O_syu")->click();
        child<QRadioButton>(w, "O_kubun")->click();
        child<QScrollBar>(w, "SC")->setValue(2025);
    });
    shoot("cmd_yosan", QStringLiteral("F_yosan"), [](TaskWindow *w) {
        // This year's expenses planned from last year's, one row's January budget cut so that
        // it is over, with its carry-over switched on.
        child<QRadioButton>(w, "O_syukkin")->click();
        child<QRadioButton>(w, "O_kubun")->click();
        auto *budget = qobject_cast<BudgetWindow *>(w);
        budget->createFromPreviousYear();
        auto *grid = child<Grid>(w, "SP");
        grid->setText(3, 1, QStringLiteral("1000"));
        grid->clickButton(16, 1);
        budget->save();
    });
    shoot("cmd_bunrui", QStringLiteral("F_bunrui_S-budget"), [](TaskWindow *w) {
        // This year's expenses by category beside the plan just saved.
        child<QRadioButton>(w, "O_syu")->click();
        child<QRadioButton>(w, "O_kubun")->click();
        QScrollBar *across = child<Grid>(w, "SP")->horizontalScrollBar();
        across->setValue(across->maximum());
    });
    shoot("csv", QStringLiteral("F_csv"), [](TaskWindow *w) {
        // This year's expenses, January to December, ready to be written.
        child<QComboBox>(w, "CB")->setCurrentIndex(1);
        child<QComboBox>(w, "CBM1")->setCurrentIndex(0);
    });
    // The statement read (the lines typed by hand to be checked, the card purchases new with
    // their items chosen), the user preset editor on it, and the statement after its import.
    const QString statement = writeStatement(context);
    const auto openStatement = [&](TaskWindow *w) {
        openWithItems(w, QStringLiteral("銀行"), statement,
            {{QStringLiteral("ｱﾏｿﾞﾝ"), QStringLiteral("日用品")},
                {QStringLiteral("ﾄﾞﾗﾂｸﾞ"), QStringLiteral("日用品")},
                {QStringLiteral("ｼﾈﾏ"), QStringLiteral("娯楽")},
                {QStringLiteral("ﾚｽﾄﾗﾝ"), QStringLiteral("外食")},
                {QStringLiteral("ｽｰﾊﾟｰ"), QStringLiteral("食料品")}});
    };
    // Before a file is chosen: the line that says what to do first.
    shoot("import", QStringLiteral("F_import-empty"), nothing);
    shoot("import", QStringLiteral("F_import"), [&](TaskWindow *w) {
        openStatement(w);
        qobject_cast<ImportWindow *>(w)->setEditorRunner([](PresetEditor &editor) {
            // Filled in for the statement: its heading on the first line, each role's column.
            editor.findChild<QLineEdit *>(QStringLiteral("txt_name"))
                ->setText(QStringLiteral("わが家の銀行"));
            child<QComboBox>(&editor, "cb_heading")->setCurrentIndex(0);
            for (const auto &[role, column] : {std::pair {"cb_date", 1}, std::pair {"cb_text", 3},
                     std::pair {"cb_out", 4}, std::pair {"cb_in", 5}, std::pair {"cb_balance", 6}})
                child<QComboBox>(&editor, role)->setCurrentIndex(column);
            editor.show();
            editor.move(0, 0);
            save(&editor, QStringLiteral("F_preset"));
            return false;
        });
        child<QPushButton>(w, "cmd_preset")->click();
    });
    shoot("import", QStringLiteral("F_import-done"), [&](TaskWindow *w) {
        openStatement(w);
        // A line still without its item stays out of this import.
        auto *import = qobject_cast<ImportWindow *>(w);
        auto *grid = child<Grid>(w, "SP");
        for (int r = 1; r <= grid->maxRows(); ++r)
            if (import->isChecked(r) && grid->text(ImportWindow::ColItem, r).isEmpty())
                grid->clickButton(ImportWindow::ColCheck, r);
        child<QPushButton>(w, "cmd_ok")->click();
    });
    // The rules the bank's import learnt, every line given its item (the debits among them), and
    // a rule being written ahead in the last row.
    shoot("rule", QStringLiteral("F_rule"), [&](TaskWindow *w) {
        ImportWindow import(context);
        import.load();
        openWithItems(&import, QStringLiteral("銀行"), statement,
            {{QStringLiteral("ATM"), QStringLiteral("→ 財布")},
                {QStringLiteral("ｱﾏｿﾞﾝ"), QStringLiteral("日用品")},
                {QStringLiteral("ﾄﾞﾗﾂｸﾞ"), QStringLiteral("日用品")},
                {QStringLiteral("ｷﾕｳﾖ"), QStringLiteral("給料")},
                {QStringLiteral("ﾃﾞﾝｷ"), QStringLiteral("電気")},
                {QStringLiteral("ｶﾞｽ"), QStringLiteral("ガス")},
                {QStringLiteral("ﾕｳﾁﾖ"), QStringLiteral("→ 郵便貯金")},
                {QStringLiteral("ｼﾈﾏ"), QStringLiteral("娯楽")},
                {QStringLiteral("ﾚｽﾄﾗﾝ"), QStringLiteral("外食")},
                {QStringLiteral("ｽｰﾊﾟｰ"), QStringLiteral("食料品")}});
        child<QPushButton>(&import, "cmd_ok")->click();
        auto *rules = qobject_cast<RuleWindow *>(w);
        rules->load();
        rules->setPlace(QStringLiteral("銀行"));
        auto *g = child<Grid>(w, "SP");
        const int last = g->maxRows();
        g->setText(RuleWindow::ColPattern, last, QStringLiteral("ＡＭＡＺＯＮ"));
        g->setText(RuleWindow::ColItem, last,
            QString::number(
                g->choiceEntries(RuleWindow::ColItem, last).indexOf(QStringLiteral("支出：日用品"))));
    });
    // The history after the import: the batch, ready to be taken back.
    shoot("history", QStringLiteral("F_undo"), nothing);
    // Two months of the cloud service's history export read for moving in: the places,
    // categories and items it would create, its lines (one left out of the totals, a transfer
    // between two accounts) and a line it cannot read.
    shoot("iten", QStringLiteral("F_iten"), [&](TaskWindow *w) {
        const QString path = QDir(g_outDir).filePath(QStringLiteral("収入・支出詳細_2026-11.csv"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(Cp932::encode(QStringLiteral(
                "\"計算対象\",\"日付\",\"内容\",\"金額（円）\",\"保有金融機関\",\"大項目\",\"中項目\","
                "\"メモ\","
                "\"振替\",\"ID\"\r\n"
                "\"1\",\"2026/11/"
                "25\",\"給与\",\"280000\",\"みずほ銀行\",\"収入\",\"給与\",\"\",\"0\",\"m6\"\r\n"
                "\"1\",\"2026/11/"
                "20\",\"ATM引出\",\"-20000\",\"みずほ銀行\",\"未分類\",\"未分類\",\"\",\"1\",\"m5\"\r\n"
                "\"1\",\"2026/11/"
                "20\",\"ATM引出\",\"20000\",\"財布\",\"未分類\",\"未分類\",\"\",\"1\",\"m4\"\r\n"
                "\"1\",\"2026/11/"
                "12\",\"スーパー\",\"-3480\",\"財布\",\"食費\",\"食料品\",\"\",\"0\",\"m3\"\r\n"
                "\"0\",\"2026/11/08\",\"立替\",\"-1200\",\"財布\",\"交際費\",\"飲み会\",\"\",\"0\",\"m2\"\r\n"
                "\"1\",\"2026/11/"
                "03\",\"電気料金\",\"-8120\",\"楽天カード\",\"水道・光熱費\",\"電気代\",\"\",\"0\",\"m1\"\r\n"
                "\"1\",\"2026/11/"
                "31\",\"家賃\",\"-85000\",\"みずほ銀行\",\"住宅\",\"家賃\",\"\",\"0\",\"m0\"\r\n")));
        f.close();
        qobject_cast<MoveInWindow *>(w)->openFiles({path});
    });
    // A second backup folder on a USB stick that holds a copy of the newest backup; the
    // question before a restore from that copy, answered No, over the restore window.
    const QString usb = QDir::temp().filePath(QStringLiteral("USBメモリ/家計簿のバックアップ"));
    QDir(usb).removeRecursively();
    QDir().mkpath(usb);
    Backup::setSecondFolder(context.dbPath(), usb);
    Backup::copyTo(Backup::list(context.dbPath()).first().path, usb, clock.now());
    shoot("bkset", QStringLiteral("F_bkset"), nothing);
    shoot("restore", QStringLiteral("F_restore"), [&](TaskWindow *w) {
        dialogs.openNext = Backup::listFolder(usb).first().path;
        dialogs.pictureNext = QStringLiteral("F_restore-file");
        dialogs.pictureAnswer = false;
        child<QPushButton>(w, "cmd_file")->click();
    });
    shoot("VER", QStringLiteral("F_ver"), nothing);
    shoot("log", QStringLiteral("F_log"), nothing);

    // Under a dark desktop theme: the main menu, a posting window with an amount typed into its
    // yellow cell, and a graph.
    QApplication::setPalette(darkPalette());
    save(&m.menu, QStringLiteral("dark-main"));
    shoot("cmd_syukkin", QStringLiteral("dark-F_syukkin"), [](TaskWindow *w) {
        Grid *g = child<Grid>(w, "SP");
        g->setText(3, gridRowOf(*g, QStringLiteral("外食")), QStringLiteral("1280"));
        const int r = gridRowOf(*g, QStringLiteral("食料品"));
        g->setCurrentIndex(g->model()->index(r - 1, 2));
        g->edit(g->currentIndex());
        if (auto *editor = g->viewport()->findChild<QLineEdit *>())
            editor->setText(QStringLiteral("2480"));
    });
    shoot("cmd_all", QStringLiteral("dark-F_all_S"), nothing);
    shoot("cmd_bunrui", QStringLiteral("dark-F_bunrui_S"), [](TaskWindow *w) {
        child<QRadioButton>(w, "O_syu")->click();
        child<QRadioButton>(w, "O_kubun")->click();
    });
    QApplication::setPalette(QApplication::style()->standardPalette());

    // The demo household's credit card, and its statement read into the import window with the
    // items chosen.
    shoot("card", QStringLiteral("F_card"), nothing);
    const QString cardStatement = FirstMonth::writeCardStatement(context.appDir);
    shoot("import", QStringLiteral("F_import-card"), [&](TaskWindow *w) {
        openWithItems(w, QStringLiteral("クレジットカード"), cardStatement,
            {{QStringLiteral("スーパー"), QStringLiteral("食料品")},
                {QStringLiteral("ドラッグ"), QStringLiteral("日用品")},
                {QStringLiteral("レストラン"), QStringLiteral("外食")},
                {QStringLiteral("シネマ"), QStringLiteral("娯楽")}});
    });
    // Last, so that the pictures before show no schedules and no history of them. The schedules
    // are entered in the second tab: the debits, the salary and the bonus, and the transit pass
    // bought with cash in June and December, a little more than the wallet holds.
    shoot("cmd_mitosi", QStringLiteral("F_mitosi-yotei"), [](TaskWindow *w) {
        auto *forecast = qobject_cast<ForecastWindow *>(w);
        auto *grid = child<Grid>(w, "SP2");
        qint64 wallet = 0;
        if (const Forecast::Place *p = forecast->result().place(QStringLiteral("財布")))
            wallet = p->balance;
        const auto plan = [&](const QString &item, const QString &day, const QString &months, int shift,
                              int rule, const QString &fixed) {
            for (int r = 1; r <= grid->maxRows(); ++r)
                if (grid->text(ForecastWindow::ColItem, r) == item) {
                    const QStringList cells {
                        day, months, QString::number(shift), QString::number(rule), fixed};
                    for (int i = 0; i < cells.size(); ++i)
                        grid->setText(ForecastWindow::ColDay + i, r, cells[i]);
                    forecast->saveSchedule(r);
                    return;
                }
            std::fprintf(stderr, "velmo-shots: no item %s to schedule\n", qPrintable(item));
            ++g_failures;
        };
        plan(QStringLiteral("電気"), QStringLiteral("27"), QStringLiteral("毎月"), 0, 0, QString());
        plan(QStringLiteral("ガス"), QStringLiteral("27"), QStringLiteral("毎月"), 0, 1, QString());
        plan(QStringLiteral("給料"), QStringLiteral("25"), QStringLiteral("毎月"), 1, 0, QString());
        plan(QStringLiteral("賞与"), QStringLiteral("10"), QStringLiteral("6,12"), 1, 1, QString());
        plan(QStringLiteral("電車・バス"), QStringLiteral("15"), QStringLiteral("6,12"), 0, 2,
            QString::number((wallet / 1000 + 6) * 1000));
        child<QTabWidget>(w, "TAB")->setCurrentIndex(1);
    });
    shoot("cmd_mitosi", QStringLiteral("F_mitosi"), nothing);
    shoot("cmd_mitosi", QStringLiteral("F_mitosi-graph"),
        [](TaskWindow *w) { Drive::setCombo(child<QComboBox>(w, "cb_hokan"), QStringLiteral("財布")); });
    // Back in the main menu, the line under its heading warns of the shortfall.
    save(&m.menu, QStringLiteral("main-mitosi"));
    for (const QString &text : dialogs.shown)
        std::printf("  message: %s\n", qPrintable(text));

    // The guide's first month on a new ledger: its own pictures, and what it saw for the text.
    TempAppDir fresh;
    FixedClock walkClock(clock.now());
    const FirstMonth::Result walked = FirstMonth::walk(
        fresh.context(dialogs, walkClock), walkClock, dialogs.shown, [](QWidget *w, const QString &name) {
            if (name == u"main-help")
                saveWithHelpOpen(w, name);
            else
                save(w, name);
        });
    for (const QString &problem : walked.problems) {
        std::fprintf(stderr, "velmo-shots: first month: %s\n", qPrintable(problem));
        ++g_failures;
    }
    std::printf("first month: %s\n", qPrintable(walked.bill));
    for (const QString &line : walked.november + walked.december)
        std::printf("  line %s\n", qPrintable(line));
    for (const QString &text : walked.messages)
        std::printf("  message: %s\n", qPrintable(text));
    for (auto step = walked.balances.cbegin(); step != walked.balances.cend(); ++step)
        for (auto place = step->cbegin(); place != step->cend(); ++place)
            std::printf("  %s %s %lld\n", qPrintable(step.key()), qPrintable(place.key()),
                static_cast<long long>(place.value()));
    return g_failures == 0 ? 0 : 1;
}
