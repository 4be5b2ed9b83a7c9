// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The statements of the demo household's bank and card as their sites write them, and the
// user's guide's first month walked on a new ledger through the real windows: for the pictures
// of the guide and for the test that holds the guide's figures to the program's.

#include "Cp932.h"
#include "Database.h"
#include "ImportWindow.h"
#include "WindowDriver.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>
#include <initializer_list>
#include <vector>

namespace FirstMonth {

// Writes `lines` as a statement file (Shift_JIS, CR LF); false when it cannot.
inline bool writeLines(const QString &path, const QStringList &lines)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly)
        && f.write(Cp932::encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))) >= 0;
}

inline QString grouped(qint64 amount)
{
    return QLocale(QLocale::English).toString(amount);
}

// A line of a bank's statement: its day, the kind and text the bank writes, and the amount
// (negative: paid out).
struct BankRow
{
    int date;
    const char *kind, *text;
    qint32 amount;
};

// Writes a bank's statement of `rows` at `path`, its balances following on from `opening`;
// the balance after its last line, nullopt when the file cannot be written.
inline std::optional<qint64> writeBankStatement(
    const QString &path, qint64 opening, std::initializer_list<BankRow> rows)
{
    qint64 balance = opening;
    QStringList lines {
        QStringLiteral("\"日付\",\"摘要\",\"摘要内容\",\"支払い金額\",\"預かり金額\",\"差引残高\"")};
    for (const BankRow &r : rows) {
        balance += r.amount;
        lines << QStringLiteral("\"%1/%2/%3\",\"%4\",\"%5\",\"%6\",\"%7\",\"%8\"")
                     .arg(r.date / 10000)
                     .arg(r.date / 100 % 100)
                     .arg(r.date % 100)
                     .arg(QString::fromUtf8(r.kind), QString::fromUtf8(r.text))
                     .arg(r.amount < 0 ? grouped(-r.amount) : QString())
                     .arg(r.amount > 0 ? QString::number(r.amount) : QString())
                     .arg(balance);
    }
    if (!writeLines(path, lines))
        return std::nullopt;
    return balance;
}

// The card's statement of November in `folder` as its issuer writes it: the payment date and
// total before the heading, the purchases, one of them cancelled. Its path; empty when it
// cannot be written.
inline QString writeCardStatement(const QString &folder)
{
    struct Row
    {
        const char *date, *shop;
        int amount;
        bool cancelled;
    };
    const Row rows[] = {{"2026/11/02", "スーパーマルエツ", 6480, false},
        {"2026/11/05", "ドラッグストア", 2150, false}, {"2026/11/08", "レストラン　ＸＹＺ", 5600, false},
        {"2026/11/08", "シネマ　サンシャイン", 3800, false}, {"2026/11/12", "スーパーマルエツ", 4320, false},
        {"2026/11/14", "ドラッグストア", 980, true}, {"2026/11/15", "スーパーマルエツ", 3110, false}};
    int total = 0;
    QStringList lines {QStringLiteral("\"\",\"\",\"今回のお支払日\",\"2026/12/10\""), QString(),
        QStringLiteral("\"【ご利用明細】\""),
        QStringLiteral("\"ご利用者\",\"カテゴリ\",\"ご利用日\",\"ご利用先など\","
                       "\"ご利用金額(￥)\",\"支払区分\",\"今回回数\",\"訂正サイン\","
                       "\"お支払い金額(￥)\",\"国内／海外\",\"摘要\",\"備考\"")};
    for (const Row &r : rows) {
        total += r.cancelled ? 0 : r.amount;
        lines << QStringLiteral("\"本人\",\"ショッピング\",\" %1\",\"%2\",\"%3\",\"1回払い\",\"\",\"%4\","
                                "\"%5\",\"国内\",\"\",\"\"")
                     .arg(QString::fromUtf8(r.date), QString::fromUtf8(r.shop), grouped(r.amount),
                         r.cancelled ? QStringLiteral("取消") : QString(),
                         r.cancelled ? QString() : grouped(r.amount));
    }
    lines[1] = QStringLiteral("\"\",\"\",\"今回のお支払金額合計(￥)\",\"%1\"").arg(grouped(total));
    const QString path = QDir(folder).filePath(QStringLiteral("card_202611.csv"));
    return writeLines(path, lines) ? path : QString();
}

// Opens the statement at `path` for `place` in the import window and chooses, for each line
// whose text holds one of the keys, that key's item.
inline void openWithItems(
    TaskWindow *w, const QString &place, const QString &path, const QList<QPair<QString, QString>> &items)
{
    Drive::setCombo(child<QComboBox>(w, "cb_hokan"), place);
    qobject_cast<ImportWindow *>(w)->openFile(path);
    auto *grid = child<Grid>(w, "SP");
    for (int r = 1; r <= grid->maxRows(); ++r)
        for (const auto &[text, item] : items)
            if (const qsizetype i = grid->choiceEntries(ImportWindow::ColItem, r).indexOf(item);
                i >= 0 && grid->text(ImportWindow::ColText, r).contains(text))
                grid->setText(ImportWindow::ColItem, r, QString::number(i));
}

// What the walk saw.
struct Result
{
    QStringList problems; // what went wrong in the walk itself
    // Each place's balance after each step: "masters", "counted", "card", "bank", "paid",
    // "closed".
    QMap<QString, QMap<QString, qint64>> balances;
    QString bill; // the bill line the card's statement shows
    // The lines of the bank's two statements before their import: "text|item|state".
    QStringList november, december;
    QStringList messages; // every message shown, in order
};

// Pictures a window under a name: the new ledger's main menu ("main-help"), its stocktakes
// ("F_tanaorosi-first", "F_tanaorosi-card"), its first bank statement before and after the
// import ("F_import-first", "F_import-first-done"), the match ("F_import-match") and the counts'
// history ("F_rireki_S-first").
using Picture = std::function<void(QWidget *, const QString &)>;

// The guide's first month on the new ledger of `context`, each step done in its window as the
// text says, with the demo household's names: the masters; the places counted and the card's
// owed amount on 12/8; the card's statement and the bank's since 11/1; then, on 12/14 after
// the card's payment day, the bank's next statement, whose payment of the card's bill is
// matched; and the wallet counted. `clock` is the context's; `shown` the dialogs' messages.
inline Result walk(
    const AppContext &context, FixedClock &clock, const QStringList &shown, const Picture &picture)
{
    Result result;
    clock.set(QDateTime(QDate(2026, 12, 8), QTime(20, 0)));
    const qsizetype firstMessage = shown.size();
    Drive::Menu m(context);
    m.menu.move(0, 0);
    picture(&m.menu, QStringLiteral("main-help"));

    const auto inWindow = [&](const char *opener, const std::function<void(TaskWindow *)> &act,
                              const QString &name = QString()) {
        TaskWindow *w = m.open(opener);
        if (!w) {
            result.problems << QString::fromLatin1(opener) + QStringLiteral(" opened no window");
            return;
        }
        w->move(0, 0);
        act(w);
        QCoreApplication::processEvents();
        if (!name.isEmpty())
            picture(w, name);
        if (!m.close())
            result.problems << QString::fromLatin1(opener) + QStringLiteral(" did not close");
    };
    const auto choose = [&](Grid *g, int col, int row, const char *entry) {
        const qsizetype i = g->choiceEntries(col, row).indexOf(QString::fromUtf8(entry));
        if (i < 0)
            result.problems << QStringLiteral("no choice ") + QString::fromUtf8(entry);
        g->setText(col, row, QString::number(i));
    };
    const auto balances = [&](const char *step) {
        Database db(context.dbPath());
        for (Cursor c = db.query(QStringLiteral("SELECT H_index,H_money FROM Hokan_T")); !c.eof(); c.next())
            result.balances[QString::fromLatin1(step)][c.text(0)] = c.integer(1);
    };
    const auto lines = [](TaskWindow *w) {
        auto *grid = child<Grid>(w, "SP");
        QStringList out;
        for (int r = 1; r <= grid->maxRows(); ++r) {
            bool chosen = false;
            const int item = grid->text(ImportWindow::ColItem, r).toInt(&chosen);
            out << QStringList {grid->text(ImportWindow::ColText, r),
                chosen ? grid->choiceEntries(ImportWindow::ColItem, r).value(item) : QString(),
                grid->text(ImportWindow::ColState, r)}
                       .join(u'|');
        }
        return out;
    };

    inWindow("ho", [](TaskWindow *w) {
        Grid *g = child<Grid>(w, "SP1");
        for (const char *place : {"財布", "銀行", "郵便貯金", "貯金箱", "クレジットカード"}) {
            g->setText(1, 1, QString::fromUtf8(place));
            g->setText(2, 1, QStringLiteral("本人"));
            g->clickButton(4, 1);
        }
    });
    inWindow("card", [&](TaskWindow *w) {
        Grid *g = child<Grid>(w, "SP");
        const int r = g->maxRows();
        choose(g, 1, r, "クレジットカード");
        g->setText(2, r, QStringLiteral("15"));
        g->setText(3, r, QStringLiteral("10"));
        choose(g, 4, r, "銀行");
        g->setText(5, r, QStringLiteral("300000"));
        g->clickButton(6, r);
    });
    inWindow("nyu", [](TaskWindow *w) {
        Grid *g = child<Grid>(w, "SP1");
        for (const char *category : {"給与", "臨時収入", "食費", "生活費", "交通費", "娯楽費"}) {
            g->setText(1, 1, QString::fromUtf8(category));
            g->clickButton(3, 1);
        }
    });
    struct Item
    {
        const char *name, *category, *place;
    };
    const auto items = [&](std::vector<Item> list) {
        return [&, list](TaskWindow *w) {
            Grid *g = child<Grid>(w, "SP1");
            for (const Item &i : list) {
                g->setText(1, 1, QString::fromUtf8(i.name));
                choose(g, 2, 1, i.category);
                choose(g, 3, 1, i.place);
                g->clickButton(5, 1);
            }
        };
    };
    inWindow(
        "syu", items({{"給料", "給与", "銀行"}, {"賞与", "給与", "銀行"}, {"お小遣い", "臨時収入", "財布"}}));
    inWindow("si",
        items({{"食料品", "食費", "財布"}, {"外食", "食費", "財布"}, {"日用品", "生活費", "財布"},
            {"電車・バス", "交通費", "財布"}, {"娯楽", "娯楽費", "財布"}, {"電気", "自動", "銀行"},
            {"ガス", "自動", "銀行"}}));
    balances("masters");

    const auto start = [](TaskWindow *w, const char *place, const char *amount) {
        Drive::stocktake(w, QString::fromUtf8(place), QString::fromUtf8(amount), QStringLiteral("記帳開始"));
    };
    inWindow(
        "cmd_tanaorosi",
        [&](TaskWindow *w) {
            start(w, "財布", "23450");
            start(w, "貯金箱", "16300");
            start(w, "郵便貯金", "7430000");
        },
        QStringLiteral("F_tanaorosi-first"));
    inWindow(
        "cmd_tanaorosi", [&](TaskWindow *w) { start(w, "クレジットカード", "-25460"); },
        QStringLiteral("F_tanaorosi-card"));
    balances("counted");

    const QString cardStatement = writeCardStatement(context.appDir);
    inWindow("import", [&](TaskWindow *w) {
        openWithItems(w, QStringLiteral("クレジットカード"), cardStatement,
            {{QStringLiteral("スーパー"), QStringLiteral("食料品")},
                {QStringLiteral("ドラッグ"), QStringLiteral("日用品")},
                {QStringLiteral("レストラン"), QStringLiteral("外食")},
                {QStringLiteral("シネマ"), QStringLiteral("娯楽")}});
        result.bill = Drive::result(w);
        child<QPushButton>(w, "cmd_ok")->click();
    });
    balances("card");

    const QString november = QDir(context.appDir).filePath(QStringLiteral("nyushukkin_20261208.csv"));
    const std::optional<qint64> closing = writeBankStatement(november, 480000,
        {{20261102, "カード", "ATM", -30000}, {20261110, "口座振替", "ｸﾚｼﾞﾂﾄｶｰﾄﾞ", -18740},
            {20261125, "振込", "ｷﾕｳﾖ", 271000}, {20261126, "振替", "ﾕｳﾁﾖ", -30000},
            {20261127, "口座振替", "ﾃﾞﾝｷﾘﾖｳｷﾝ", -6547}, {20261127, "口座振替", "ｶﾞｽﾘﾖｳｷﾝ", -7747},
            {20261129, "カード", "ATM", -40000}, {20261203, "デビット", "ｼﾈﾏ", -3600},
            {20261205, "デビット", "ﾚｽﾄﾗﾝ", -4200}});
    inWindow(
        "import",
        [&](TaskWindow *w) {
            openWithItems(w, QStringLiteral("銀行"), november,
                {{QStringLiteral("ATM"), QStringLiteral("→ 財布")},
                    {QStringLiteral("ｸﾚｼﾞﾂﾄ"), QStringLiteral("→ クレジットカード")},
                    {QStringLiteral("ｷﾕｳﾖ"), QStringLiteral("給料")},
                    {QStringLiteral("ﾃﾞﾝｷ"), QStringLiteral("電気")},
                    {QStringLiteral("ｶﾞｽ"), QStringLiteral("ガス")},
                    {QStringLiteral("ﾕｳﾁﾖ"), QStringLiteral("→ 郵便貯金")},
                    {QStringLiteral("ｼﾈﾏ"), QStringLiteral("娯楽")},
                    {QStringLiteral("ﾚｽﾄﾗﾝ"), QStringLiteral("外食")}});
            result.november = lines(w);
            picture(w, QStringLiteral("F_import-first"));
            child<QPushButton>(w, "cmd_ok")->click();
        },
        QStringLiteral("F_import-first-done"));
    balances("bank");

    // After the card's payment day, the bank's statement since the last one, its lines left as
    // the import window fills them: the payment by the match, the cash drawn by the rule the
    // first import learnt.
    clock.set(QDateTime(QDate(2026, 12, 14), QTime(20, 0)));
    const QString december = QDir(context.appDir).filePath(QStringLiteral("nyushukkin_20261214.csv"));
    if (!closing
        || !writeBankStatement(december, *closing,
            {{20261210, "口座振替", "ｸﾚｼﾞﾂﾄｶｰﾄﾞ", -25460}, {20261211, "カード", "ATM", -20000}}))
        result.problems << QStringLiteral("no statement written");
    inWindow(
        "import",
        [&](TaskWindow *w) {
            openWithItems(w, QStringLiteral("銀行"), december, {});
            result.december = lines(w);
        },
        QStringLiteral("F_import-match"));
    inWindow("import", [&](TaskWindow *w) {
        openWithItems(w, QStringLiteral("銀行"), december, {});
        child<QPushButton>(w, "cmd_ok")->click();
    });
    balances("paid");

    inWindow("cmd_tanaorosi", [](TaskWindow *w) {
        Drive::stocktake(w, QStringLiteral("財布"), QStringLiteral("41230"), QStringLiteral("数えた"));
    });
    balances("closed");
    inWindow(
        "cmd_rireki", [](TaskWindow *) {}, QStringLiteral("F_rireki_S-first"));
    result.messages = shown.mid(firstMessage);
    return result;
}

} // namespace FirstMonth
