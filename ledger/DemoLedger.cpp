// SPDX-License-Identifier: GPL-3.0-or-later
#include "DemoLedger.h"

#include "BankCalendar.h"
#include "LedgerFile.h"
#include "Migrations.h"
#include "SeededFill.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

namespace DemoLedger {

namespace {

using SeededFill::exec;
using SeededFill::Inserter;
using SeededFill::Rng;
using SeededFill::yyyymmdd;

const QString autoDebitMemo = QStringLiteral("自動引落処理");

// The household. Each part of the ledger is one method of write(): a new part (another
// storage place kind, plans of the future) is one more method and one more line there.
class Household
{
public:
    Household(const QSqlDatabase &db, const QDate &lastDay, quint64 seed)
        : m_db(db)
        , m_rng(seed ^ static_cast<quint64>(yyyymmdd(lastDay)))
        , m_last(lastDay)
        , m_first(lastDay.addYears(-2).addDays(1))
        , m_moves(db)
    { }

    void write()
    {
        masters();
        history();
        balances();
        budgets();
        card();
        schedules();
    }

    Counts counts() const
    {
        return {m_moves.income.rows(), m_moves.expense.rows(), m_moves.debit.rows(), m_moves.transfer.rows(),
            m_moves.stocktake.rows(), m_budgetRows};
    }

private:
    enum Place { Wallet, Bank, Postal, Piggy, Card };
    struct DemoPlace
    {
        const char16_t *name, *keeper, *memo;
        qint64 opening;
    };
    static constexpr std::array<DemoPlace, 5> places = {{
        {u"財布", u"本人", u"ふだんの買い物", 23'480},
        {u"銀行", u"本人", u"給料の振込と引落", 486'200},
        {u"郵便貯金", u"家族", u"毎月の積立", 1'250'000},
        {u"貯金箱", u"子ども", u"おつりの500円玉", 6'500},
        {u"クレジットカード", u"本人", u"15日締め 翌月10日に銀行から引落", 0},
    }};
    // The card's settings: closing on the 15th, paid from the bank on the 10th of the next
    // month (the next bank business day when the 10th is closed).
    static constexpr int CardClosing = 15, CardPayment = 10, CardLimit = 300'000;
    static constexpr std::array<std::array<const char16_t *, 2>, 6> categories = {{
        {u"給与", u"給料と賞与"},
        {u"臨時収入", u""},
        {u"食費", u""},
        {u"生活費", u"日用品など"},
        {u"交通費", u""},
        {u"娯楽費", u""},
    }};
    struct DemoItem
    {
        const char16_t *name, *category;
        Place place;
        const char16_t *memo;
    };
    static constexpr std::array<DemoItem, 3> incomeItems = {{
        {u"給料", u"給与", Bank, u"毎月25日"},
        {u"賞与", u"給与", Bank, u"6月と12月"},
        {u"お小遣い", u"臨時収入", Wallet, u""},
    }};
    // Expense items are named as the program speaks of them: it writes "代" after the name
    // ("食料品代", "電気代"), so no name ends in 代 or 費 itself.
    enum Expense { Food, Dining, Daily, Fares, Fun, Power, Gas };
    static constexpr std::array<DemoItem, 7> expenseItems = {{
        {u"食料品", u"食費", Wallet, u""},
        {u"外食", u"食費", Wallet, u""},
        {u"日用品", u"生活費", Wallet, u""},
        {u"電車・バス", u"交通費", Wallet, u""},
        {u"娯楽", u"娯楽費", Wallet, u""},
        {u"電気", u"自動", Bank, u"口座振替"},
        {u"ガス", u"自動", Bank, u"口座振替"},
    }};

    static QString text(const char16_t *s) { return QString::fromUtf16(s); }
    static QString place(int p) { return text(places[p].name); }

    qint64 between(qint64 low, qint64 high) { return low + static_cast<qint64>(m_rng.below(high - low + 1)); }

    void masters()
    {
        Inserter h(
            m_db, QStringLiteral("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES (?,?,?,?)"));
        for (const DemoPlace &p : places)
            h.row({text(p.name), 0, text(p.keeper), text(p.memo)});
        Inserter k(m_db, QStringLiteral("INSERT INTO Kubun_T (K_index,K_memo) VALUES (?,?)"));
        for (const auto &c : categories)
            k.row({text(c[0]), text(c[1])});
        Inserter n(
            m_db, QStringLiteral("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES (?,?,?,?)"));
        for (const DemoItem &i : incomeItems)
            n.row({text(i.name), text(i.category), place(i.place), text(i.memo)});
        Inserter s(
            m_db, QStringLiteral("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES (?,?,?,?)"));
        for (const DemoItem &i : expenseItems)
            s.row({text(i.name), text(i.category), place(i.place), text(i.memo)});
    }

    void history()
    {
        // The places are registered with balance 0; counting them the day before sets what
        // the household had when it started keeping the ledger.
        const int opening = yyyymmdd(m_first.addDays(-1));
        for (int p = 0; p < static_cast<int>(places.size()); ++p)
            stocktake(p, places[p].opening, opening, QStringLiteral("記帳開始時の残高"));
        for (QDate d = m_first; d <= m_last; d = d.addDays(1))
            day(d);
    }

    void balances()
    {
        Inserter q(m_db, QStringLiteral("UPDATE Hokan_T SET H_money = ? WHERE H_index = ?"));
        for (int p = 0; p < static_cast<int>(places.size()); ++p)
            q.row({m_balance[p], place(p)});
    }

    // The expense budget by category for the last day's year and the year before: what the
    // household meant to spend each month, food carried over from month to month.
    void budgets()
    {
        Inserter year(
            m_db, QStringLiteral("INSERT INTO X_budget_year (XY_year,XY_side,XY_by) VALUES (?,'S','K')"));
        Inserter row(m_db,
            QStringLiteral(
                "INSERT INTO X_budget_row (XZ_year,XZ_side,XZ_name,XZ_order,XZ_carry,XZ_m01,XZ_m02,"
                "XZ_m03,XZ_m04,XZ_m05,XZ_m06,XZ_m07,XZ_m08,XZ_m09,XZ_m10,XZ_m11,XZ_m12) "
                "VALUES (?,'S',?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        struct Line
        {
            const char16_t *category;
            bool carry;
            std::array<int, 12> months;
        };
        const std::array<Line, 5> lines = {{
            {u"食費", true,
                {42000, 40000, 42000, 42000, 45000, 42000, 42000, 48000, 42000, 42000, 42000, 52000}},
            {u"生活費", false, {5000, 5000, 5000, 5000, 5000, 5000, 5000, 5000, 5000, 5000, 5000, 5000}},
            {u"交通費", false, {6000, 6000, 6000, 6000, 6000, 6000, 6000, 6000, 6000, 6000, 6000, 6000}},
            {u"娯楽費", false, {8000, 8000, 10000, 8000, 12000, 8000, 10000, 15000, 8000, 8000, 8000, 12000}},
            {u"自動", false,
                {20000, 20000, 17000, 13000, 12000, 12000, 14000, 14000, 13000, 12000, 15000, 19000}},
        }};
        for (const int y : {m_last.year() - 1, m_last.year()}) {
            year.row({y});
            for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
                QVariantList values {y, text(lines[i].category), i, lines[i].carry ? 1 : 0};
                for (int m : lines[i].months)
                    values << m;
                row.row(values);
                ++m_budgetRows;
            }
        }
    }

    // The card's settings and the schedules of the salary, the bonus and the two debits, as the
    // card settings and the balance-ahead window would write them.
    void card()
    {
        Inserter(m_db,
            QStringLiteral("INSERT INTO X_card (XC_place,XC_closing,XC_payment,XC_pay_from,XC_limit) "
                           "VALUES (?,?,?,?,?)"))
            .row({place(Card), CardClosing, CardPayment, place(Bank), CardLimit});
    }

    void schedules()
    {
        Inserter q(m_db,
            QStringLiteral("INSERT INTO X_schedule (XS_side,XS_item,XS_day,XS_months,XS_shift,XS_amount,"
                           "XS_fixed) VALUES (?,?,?,?,?,?,NULL)"));
        const int everyMonth = 0xfff, juneAndDecember = (1 << 5) | (1 << 11);
        q.row({QStringLiteral("N"), text(incomeItems[0].name), SalaryDay, everyMonth, QStringLiteral("P"),
            QStringLiteral("L")});
        q.row({QStringLiteral("N"), text(incomeItems[1].name), BonusDay, juneAndDecember, QStringLiteral("P"),
            QStringLiteral("Y")});
        for (const Expense e : {Power, Gas})
            q.row({QStringLiteral("S"), text(expenseItems[e].name), DebitDay, everyMonth, QStringLiteral("N"),
                QStringLiteral("Y")});
    }

    static constexpr int SalaryDay = 25, BonusDay = 10, DebitDay = 27;

    // The day of the month `day` moved to a bank business day, forwards (debits) or backwards
    // (salaries), as the bank moves it. A move may cross a month's end (2/27 on a Saturday is
    // paid on 3/1), so the months on either side are asked too.
    static bool isMovedDay(const QDate &d, int day, bool forwards)
    {
        for (const int months : {-1, 0, 1}) {
            const QDate month = QDate(d.year(), d.month(), 1).addMonths(months);
            const QDate scheduled(month.year(), month.month(), std::min(day, month.daysInMonth()));
            if (d
                == (forwards ? BankCalendar::nextBusinessDay(scheduled)
                             : BankCalendar::previousBusinessDay(scheduled)))
                return true;
        }
        return false;
    }

    // The last year's outings and amusements are paid by card: the bank pays, on the payment
    // day, what the card owed at the closing day before it.
    bool byCard(const QDate &d) const { return d > m_last.addYears(-1); }

    void cardDay(const QDate &d, int n)
    {
        if (m_cardBilled > 0 && isMovedDay(d, CardPayment, true)) {
            transfer(Bank, Card, m_cardBilled, n, QStringLiteral("カードの支払い"));
            m_cardBilled = 0;
        }
    }

    void day(const QDate &d)
    {
        const int n = yyyymmdd(d);
        const QString month = QString::number(d.month());
        cardDay(d, n);
        if (isMovedDay(d, SalaryDay, false))
            income(0, 268'000 + 1'000 * between(0, 12), n, month + QStringLiteral("月分"));
        if ((d.month() == 6 || d.month() == 12) && isMovedDay(d, BonusDay, false)) {
            income(
                1, 10'000 * between(41, 52), n, d.month() == 6 ? QStringLiteral("夏") : QStringLiteral("冬"));
            transfer(Bank, Postal, 200'000, n, QStringLiteral("賞与から貯金"));
        }
        if (m_rng.chance(0.012))
            income(2, 1'000 * between(3, 10), n, m_rng.pick(giftMemos));
        if (d.day() == 26)
            transfer(Bank, Postal, 30'000, n, QStringLiteral("毎月の積立"));
        if (isMovedDay(d, DebitDay, true)) {
            // Heating in winter, cooling in summer.
            const int m = d.month();
            const qint64 power = (m <= 2 || m == 12) ? 11'000 : (m >= 7 && m <= 9) ? 9'500 : 6'500;
            const qint64 gas = (m <= 3 || m >= 11) ? 7'200 : (m >= 6 && m <= 9) ? 3'300 : 4'800;
            debit(Power, power + between(-900, 900), n);
            debit(Gas, gas + between(-600, 600), n);
        }

        if (m_rng.chance(0.55))
            expense(Food, between(680, 5'200), n, m_rng.pick(foodMemos));
        if (m_rng.chance(d.dayOfWeek() >= 6 ? 0.35 : 0.08))
            expense(Dining, 10 * between(85, 480), n, m_rng.pick(diningMemos), byCard(d));
        if (m_rng.chance(0.12))
            expense(Daily, between(198, 2'600), n, m_rng.pick(dailyMemos));
        if (m_rng.chance(d.dayOfWeek() <= 5 ? 0.2 : 0.1))
            expense(Fares, 10 * between(17, 98), n, m_rng.pick(travelMemos));
        if (m_rng.chance(0.06))
            expense(Fun, 100 * between(10, 65), n, m_rng.pick(funMemos), byCard(d));
        if (m_rng.chance(0.025))
            transfer(Wallet, Piggy, 500, n, QStringLiteral("おつりを貯金"));
        // What the bank holds beyond two months' needs goes to savings at the month's end.
        if (d.addDays(1).month() != d.month() && m_balance[Bank] > 600'000)
            transfer(Bank, Postal, (m_balance[Bank] - 500'000) / 10'000 * 10'000, n,
                QStringLiteral("残りを貯金へ"));

        // The wallet is counted at the end of June and December; the piggy bank once a year.
        if (d.addDays(1).month() != d.month() && (d.month() == 6 || d.month() == 12)) {
            const qint64 counted = std::max<qint64>(0, m_balance[Wallet] - between(0, 900));
            stocktake(Wallet, counted, n, QStringLiteral("財布の中を数え直した"));
        }
        if (d.month() == 3 && d.day() == 31)
            stocktake(
                Piggy, m_balance[Piggy] + 100 * between(1, 9), n, QStringLiteral("貯金箱を開けて数えた"));
        // At the end of the closing day, what was bought since the last one becomes the bill.
        if (d.day() == CardClosing) {
            m_cardBilled += m_cardUnbilled;
            m_cardUnbilled = 0;
        }
    }

    void income(int item, qint64 amount, int day, const QString &memo)
    {
        const Place p = incomeItems[item].place;
        m_balance[p] += amount;
        m_moves.income.row({text(incomeItems[item].name), place(p), static_cast<qint32>(amount), day, memo});
    }

    void expense(Expense item, qint64 amount, int day, const QString &memo, bool card = false)
    {
        if (card) {
            m_balance[Card] -= amount;
            m_cardUnbilled += amount;
            m_moves.expense.row(
                {text(expenseItems[item].name), place(Card), static_cast<qint32>(amount), day, memo});
            return;
        }
        const Place p = expenseItems[item].place;
        if (p == Wallet && m_balance[Wallet] < amount + 5'000)
            transfer(Bank, Wallet, 10'000 * between(3, 5), day, QStringLiteral("ATMで引出"));
        m_balance[p] -= amount;
        m_moves.expense.row(
            {text(expenseItems[item].name), place(p), static_cast<qint32>(amount), day, memo});
    }

    void debit(Expense item, qint64 amount, int day)
    {
        const Place p = expenseItems[item].place;
        m_balance[p] -= amount;
        const QString name = text(expenseItems[item].name);
        m_moves.debit.row({name, place(p), static_cast<qint32>(amount), day});
        m_moves.expense.row({name, place(p), static_cast<qint32>(amount), day, autoDebitMemo});
    }

    void transfer(Place from, Place to, qint64 amount, int day, const QString &memo)
    {
        m_balance[from] -= amount;
        m_balance[to] += amount;
        m_moves.transfer.row({place(from), place(to), static_cast<qint32>(amount), day, memo});
    }

    void stocktake(int p, qint64 counted, int day, const QString &reason)
    {
        m_moves.stocktake.row(
            {place(p), static_cast<qint32>(m_balance[p]), static_cast<qint32>(counted), reason, day});
        m_balance[p] = counted;
    }

    const std::vector<QString> foodMemos = {{}, {}, QStringLiteral("スーパー"), QStringLiteral("スーパー"),
        QStringLiteral("八百屋"), QStringLiteral("コンビニ"), QStringLiteral("まとめ買い"),
        QStringLiteral("特売"), QStringLiteral("パン屋"), QStringLiteral("お米 5kg")};
    const std::vector<QString> diningMemos = {{}, QStringLiteral("ランチ"), QStringLiteral("家族で外食"),
        QStringLiteral("ラーメン"), QStringLiteral("回転寿司"), QStringLiteral("喫茶店")};
    const std::vector<QString> dailyMemos = {{}, QStringLiteral("ドラッグストア"), QStringLiteral("洗剤"),
        QStringLiteral("ティッシュ"), QStringLiteral("100円ショップ")};
    const std::vector<QString> travelMemos
        = {{}, QStringLiteral("電車"), QStringLiteral("バス"), QStringLiteral("駐車場")};
    const std::vector<QString> funMemos = {{}, QStringLiteral("映画"), QStringLiteral("本"),
        QStringLiteral("動物園"), QStringLiteral("カラオケ"), QStringLiteral("ゲーム")};
    const std::vector<QString> giftMemos
        = {QStringLiteral("実家から"), QStringLiteral("お祝い"), QStringLiteral("ポイント交換")};

    QSqlDatabase m_db;
    Rng m_rng;
    QDate m_last, m_first;
    std::array<qint64, places.size()> m_balance = {};
    qint64 m_cardUnbilled = 0, m_cardBilled = 0; // bought since the last closing; owed at it
    SeededFill::Movements m_moves;
    qint64 m_budgetRows = 0;
};

void fail(QString *errorText, const QString &why)
{
    if (errorText)
        *errorText = why;
}

} // namespace

bool create(const QString &path, const QDate &lastDay, quint64 seed, QString *errorText, Counts *counts)
{
    if (!lastDay.isValid()) {
        fail(errorText, QStringLiteral("invalid date"));
        return false;
    }
    if (!LedgerFile::create(path, errorText))
        return false;
    QString error;
    try {
        Migrations::migrate(path);
    } catch (const std::exception &e) {
        error = QString::fromUtf8(e.what());
    }
    const QString name = QStringLiteral("demo-") + QUuid::createUuid().toString();
    if (error.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        try {
            if (!db.open())
                throw std::runtime_error(db.lastError().text().toStdString());
            exec(db, QStringLiteral("BEGIN IMMEDIATE"));
            try {
                Household h(db, lastDay, seed);
                h.write();
                if (counts)
                    *counts = h.counts();
            } catch (...) {
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                throw;
            }
            exec(db, QStringLiteral("COMMIT"));
        } catch (const std::exception &e) {
            error = QString::fromUtf8(e.what());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (error.isEmpty())
        return true;
    QFile::remove(path);
    fail(errorText, error);
    return false;
}

bool layOut(const QString &folder, const QDate &lastDay, const QString &arrowGif, QString *errorText)
{
    const QDir dir(folder);
    if (!QDir().mkpath(folder)) {
        fail(errorText, QStringLiteral("cannot create %1").arg(folder));
        return false;
    }
    if (!create(dir.filePath(QStringLiteral("velmo.mdb")), lastDay, 1, errorText))
        return false;
    QFile log(dir.filePath(QStringLiteral("AP.log")));
    if (!log.exists() && !log.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        fail(errorText, QStringLiteral("cannot create %1: %2").arg(log.fileName(), log.errorString()));
        return false;
    }
    const QString arrow = dir.filePath(QStringLiteral("yazirusi.gif"));
    if (QFileInfo::exists(arrowGif) && !QFileInfo::exists(arrow) && !QFile::copy(arrowGif, arrow)) {
        fail(errorText, QStringLiteral("cannot copy %1 to %2").arg(arrowGif, arrow));
        return false;
    }
    return true;
}

} // namespace DemoLedger
