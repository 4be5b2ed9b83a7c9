// SPDX-License-Identifier: GPL-3.0-or-later
#include "LedgerGenerator.h"

#include "DemoLedger.h"
#include "LedgerFile.h"
#include "SeededFill.h"

#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

namespace LedgerGenerator {

namespace {

using SeededFill::exec;
using SeededFill::Inserter;
using SeededFill::Rng;
using SeededFill::yyyymmdd;

enum class Kind { Cash, Bank };

struct PlaceDef
{
    const char16_t *name;
    const char16_t *keeper;
    const char16_t *memo;
    Kind kind;
};

const std::array<PlaceDef, 20> places = {{
    {u"財布", u"父", u"日々の支払い", Kind::Cash},
    {u"母の財布", u"母", u"", Kind::Cash},
    {u"小銭入れ", u"父", u"", Kind::Cash},
    {u"普通預金Ａ銀行", u"父", u"給与振込口座", Kind::Bank},
    {u"普通預金Ｂ銀行", u"母", u"引落口座", Kind::Bank},
    {u"定期預金", u"父", u"", Kind::Bank},
    {u"郵便貯金", u"母", u"", Kind::Bank},
    {u"積立預金", u"母", u"毎月積立", Kind::Bank},
    {u"事業用口座", u"店長", u"売上入金・仕入支払", Kind::Bank},
    {u"レジ", u"店長", u"", Kind::Cash},
    {u"店舗金庫", u"店長", u"", Kind::Cash},
    {u"金庫", u"父", u"自宅", Kind::Cash},
    {u"貯金箱", u"子", u"", Kind::Cash},
    {u"電子マネー", u"母", u"", Kind::Cash},
    {u"交通系ＩＣ", u"父", u"", Kind::Cash},
    {u"子供口座", u"母", u"", Kind::Bank},
    {u"証券口座", u"父", u"", Kind::Bank},
    {u"外貨預金", u"父", u"", Kind::Bank},
    {u"へそくり", u"母", u"", Kind::Cash},
    {u"予備費封筒", u"母", u"冠婚葬祭用", Kind::Cash},
}};

const std::array<const char16_t *, 18> categories
    = {u"給与", u"事業収入", u"雑収入", u"食費", u"日用品費", u"住居費", u"水道光熱費", u"通信費", u"交通費",
        u"医療費", u"教育費", u"娯楽費", u"衣服費", u"交際費", u"保険料", u"税金", u"仕入", u"雑費"};

struct ItemDef
{
    const char16_t *name;
    qint32 base; // a typical amount in yen
    const char16_t *category;
    int place; // index into places
    double weight; // how often it is posted, relative to the others
};

// 33 kinds of income; each is registered up to three times ("給料", "給料・その２", ...).
const std::array<ItemDef, 33> incomeDefs = {{
    {u"給料", 260000, u"給与", 3, 1.0},
    {u"賞与", 450000, u"給与", 3, 0.17},
    {u"売上(現金)", 9000, u"事業収入", 9, 14.0},
    {u"売上(カード)", 12000, u"事業収入", 8, 9.0},
    {u"売上(振込)", 40000, u"事業収入", 8, 2.0},
    {u"家賃収入", 60000, u"雑収入", 4, 0.5},
    {u"受取利息", 300, u"雑収入", 5, 0.3},
    {u"配当金", 8000, u"雑収入", 16, 0.2},
    {u"年金", 120000, u"給与", 6, 0.3},
    {u"児童手当", 15000, u"雑収入", 15, 0.3},
    {u"税金還付", 20000, u"雑収入", 3, 0.1},
    {u"保険金", 50000, u"雑収入", 4, 0.05},
    {u"謝礼", 10000, u"雑収入", 0, 0.3},
    {u"お祝い", 20000, u"雑収入", 19, 0.1},
    {u"お年玉", 5000, u"雑収入", 12, 0.1},
    {u"ポイント還元", 500, u"雑収入", 13, 1.0},
    {u"売却代金", 8000, u"雑収入", 0, 0.2},
    {u"副業収入", 30000, u"事業収入", 4, 0.4},
    {u"原稿料", 25000, u"事業収入", 3, 0.2},
    {u"講師料", 20000, u"事業収入", 3, 0.2},
    {u"手当", 10000, u"給与", 3, 0.3},
    {u"立替金精算", 3000, u"雑収入", 0, 0.5},
    {u"仕送り", 50000, u"雑収入", 15, 0.2},
    {u"臨時収入", 10000, u"雑収入", 11, 0.2},
    {u"返金", 2000, u"雑収入", 1, 0.4},
    {u"雑収入", 1000, u"雑収入", 2, 0.6},
    {u"補助金", 30000, u"雑収入", 4, 0.05},
    {u"給付金", 50000, u"雑収入", 4, 0.05},
    {u"報奨金", 15000, u"給与", 3, 0.1},
    {u"懸賞金", 3000, u"雑収入", 1, 0.05},
    {u"キャッシュバック", 1000, u"雑収入", 13, 0.5},
    {u"小遣い", 5000, u"雑収入", 18, 0.3},
    {u"外貨利息", 500, u"雑収入", 17, 0.2},
}};

// The automatic debits, drawn from bank accounts.
const std::array<ItemDef, 10> debitDefs = {{
    {u"電気代", 8000, u"自動", 4, 1.0},
    {u"ガス代", 5000, u"自動", 4, 1.0},
    {u"水道代", 4500, u"自動", 4, 1.0},
    {u"電話代", 2500, u"自動", 4, 1.0},
    {u"携帯電話代", 7000, u"自動", 3, 1.0},
    {u"インターネット代", 5000, u"自動", 3, 1.0},
    {u"家賃", 85000, u"自動", 3, 1.0},
    {u"生命保険料", 15000, u"自動", 4, 1.0},
    {u"自動車保険料", 6000, u"自動", 3, 1.0},
    {u"新聞代", 4000, u"自動", 4, 1.0},
}};

// 30 kinds of expense; registered up to three times, 89 items in all.
const std::array<ItemDef, 30> expenseDefs = {{
    {u"食料品", 3000, u"食費", 0, 30.0},
    {u"外食", 1500, u"食費", 0, 10.0},
    {u"日用品", 1000, u"日用品費", 1, 10.0},
    {u"衣服", 5000, u"衣服費", 1, 3.0},
    {u"美容院", 4000, u"日用品費", 1, 1.0},
    {u"医療費", 3000, u"医療費", 0, 2.0},
    {u"薬代", 1200, u"医療費", 1, 2.0},
    {u"電車賃", 400, u"交通費", 14, 8.0},
    {u"ガソリン代", 5000, u"交通費", 0, 3.0},
    {u"駐車場代", 800, u"交通費", 2, 3.0},
    {u"書籍", 1500, u"娯楽費", 0, 3.0},
    {u"文具", 500, u"日用品費", 2, 3.0},
    {u"娯楽", 3000, u"娯楽費", 0, 3.0},
    {u"旅行", 40000, u"娯楽費", 3, 0.5},
    {u"交際費", 5000, u"交際費", 0, 3.0},
    {u"冠婚葬祭", 20000, u"交際費", 19, 0.3},
    {u"学費", 30000, u"教育費", 4, 0.5},
    {u"習い事", 6000, u"教育費", 1, 1.0},
    {u"家具", 20000, u"住居費", 3, 0.3},
    {u"家電", 30000, u"住居費", 3, 0.3},
    {u"修理代", 8000, u"住居費", 11, 0.5},
    {u"固定資産税", 40000, u"税金", 3, 0.2},
    {u"会費", 3000, u"雑費", 4, 0.5},
    {u"寄付", 2000, u"雑費", 0, 0.3},
    {u"仕入", 25000, u"仕入", 8, 15.0},
    {u"消耗品", 2000, u"仕入", 10, 5.0},
    {u"雑費", 800, u"雑費", 2, 5.0},
    {u"小遣い", 10000, u"雑費", 0, 1.0},
    {u"おやつ", 300, u"食費", 12, 3.0},
    {u"喫茶", 500, u"食費", 13, 5.0},
}};

const std::vector<QString> incomeMemos = {{}, {}, {}, {}, QStringLiteral("振込"), QStringLiteral("現金"),
    QStringLiteral("手渡し"), QStringLiteral("月分"), QStringLiteral("臨時"), QStringLiteral("源泉徴収後")};
const std::vector<QString> expenseMemos = {{}, {}, {}, {}, {}, QStringLiteral("現金"),
    QStringLiteral("カード払い"), QStringLiteral("スーパー"), QStringLiteral("コンビニ"),
    QStringLiteral("ネット通販"), QStringLiteral("まとめ買い"), QStringLiteral("特売"),
    QStringLiteral("割り勘"), QStringLiteral("ポイント使用"), QStringLiteral("店長's おすすめ")};
const std::vector<QString> transferMemos
    = {{}, QStringLiteral("ATM引出"), QStringLiteral("資金移動"), QStringLiteral("口座振替")};
const std::vector<QString> stocktakeReasons = {QStringLiteral("現金実査差異"), QStringLiteral("端数調整"),
    QStringLiteral("記帳漏れ"), QStringLiteral("月末棚卸"), QStringLiteral("利息計上")};

const QString autoDebitMemo = QStringLiteral("自動引落処理");

struct Item
{
    QString name;
    QString category;
    int place;
    qint32 base;
    double weight;
};

QString variantName(const char16_t *base, int round)
{
    static const std::array<const char16_t *, 3> suffix = {u"", u"・その２", u"・その３"};
    return QString::fromUtf16(base) + QString::fromUtf16(suffix[round]);
}

// Registers each kind once, then a second and a third time, until `count` items exist;
// later variants are posted less often. The last `unused` items are never posted.
template <size_t N> std::vector<Item> makeItems(const std::array<ItemDef, N> &defs, int count, int unused)
{
    std::vector<Item> items;
    for (int round = 0; static_cast<int>(items.size()) < count; ++round) {
        for (const ItemDef &d : defs) {
            if (static_cast<int>(items.size()) == count)
                break;
            items.push_back({variantName(d.name, round), QString::fromUtf16(d.category), d.place, d.base,
                d.weight / (1 + 2 * round)});
        }
    }
    for (int i = count - unused; i < count; ++i)
        items[i].weight = 0;
    return items;
}

std::vector<Item> incomeItems()
{
    return makeItems(incomeDefs, 99, 2);
}

std::vector<Item> expenseItems()
{
    std::vector<Item> items = makeItems(debitDefs, 10, 0);
    for (Item &i : makeItems(expenseDefs, 89, 1))
        items.push_back(std::move(i));
    return items;
}

// Picks an index with probability proportional to its weight.
class WeightedPick
{
public:
    WeightedPick(const std::vector<Item> &items, size_t first, size_t last)
        : m_first(first)
    {
        double sum = 0;
        for (size_t i = first; i < last; ++i) {
            sum += items[i].weight;
            m_cumulative.push_back(sum);
        }
    }
    size_t operator()(Rng &rng) const
    {
        const double x = rng.unit() * m_cumulative.back();
        const auto it = std::upper_bound(m_cumulative.begin(), m_cumulative.end(), x);
        return m_first + std::min<size_t>(it - m_cumulative.begin(), m_cumulative.size() - 1);
    }
    // The mean of the base amounts under these weights.
    double meanBase(const std::vector<Item> &items) const
    {
        double s = 0, prev = 0;
        for (size_t i = 0; i < m_cumulative.size(); ++i) {
            s += (m_cumulative[i] - prev) * items[m_first + i].base;
            prev = m_cumulative[i];
        }
        return s / m_cumulative.back();
    }

private:
    size_t m_first;
    std::vector<double> m_cumulative;
};

QDate fromYyyymmdd(int n)
{
    return QDate(n / 10000, n / 100 % 100, n % 100);
}

class Generator
{
public:
    Generator(QSqlDatabase &db, quint64 seed)
        : m_rng(seed)
        , m_income(incomeItems())
        , m_expense(expenseItems())
        , m_pickIncome(m_income, 0, m_income.size())
        , m_pickDebit(m_expense, 0, 10)
        , m_pickExpense(m_expense, 10, m_expense.size())
        , m_places(QStringList())
        , m_balance(places.size(), 0)
        , m_moves(db)
    {
        for (const PlaceDef &p : places)
            m_places << QString::fromUtf16(p.name);
        // Expenses are scaled so that, over the years, about as much goes out as comes in
        // (a little less: households save), with feedback on the money held in total.
        const double in = IncomeShare * m_pickIncome.meanBase(m_income);
        const double out
            = ExpenseShare * m_pickExpense.meanBase(m_expense) + DebitShare * m_pickDebit.meanBase(m_expense);
        m_expenseScale = 0.97 * in / out;
    }

    void writeMasters(QSqlDatabase &db)
    {
        Inserter h(
            db, QStringLiteral("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES (?,?,?,?)"));
        for (const PlaceDef &p : places)
            h.row({QString::fromUtf16(p.name), 0, QString::fromUtf16(p.keeper), QString::fromUtf16(p.memo)});
        Inserter k(db, QStringLiteral("INSERT INTO Kubun_T (K_index,K_memo) VALUES (?,?)"));
        for (const char16_t *c : categories)
            k.row({QString::fromUtf16(c), QString()});
        Inserter n(
            db, QStringLiteral("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES (?,?,?,?)"));
        for (const Item &i : m_income)
            n.row({i.name, i.category, m_places[i.place], QString()});
        Inserter s(
            db, QStringLiteral("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES (?,?,?,?)"));
        for (const Item &i : m_expense)
            s.row({i.name, i.category, m_places[i.place],
                i.category == u"自動" ? QStringLiteral("口座振替") : QString()});
    }

    void writeHistory(qint64 postings)
    {
        // The places are registered with balance 0; the first counting sets what they hold.
        const int opening = yyyymmdd(fromYyyymmdd(FirstDate).addDays(-1));
        for (int p = 0; p < static_cast<int>(places.size()); ++p) {
            const qint64 amount = places[p].kind == Kind::Bank ? 300'000 + m_rng.below(2'700'000)
                                                               : 5'000 + m_rng.below(45'000);
            stocktake(p, amount, opening, QStringLiteral("開始残高"));
        }

        const qint64 firstDay = fromYyyymmdd(FirstDate).toJulianDay();
        const qint64 days = fromYyyymmdd(LastDate).toJulianDay() - firstDay + 1;
        int stocktakesDue = 0;
        int day = 0;
        for (qint64 i = 0; i < postings; ++i) {
            const int today = yyyymmdd(QDate::fromJulianDay(firstDay + i * days / postings));
            if (today != day) {
                // Counting comes after the day's movements, and is the day's last word on a place.
                for (; stocktakesDue > 0; --stocktakesDue)
                    randomStocktake(day);
                day = today;
            }
            if (m_rng.chance(0.015))
                cashWithdrawal(day);
            if (m_rng.chance(0.003))
                ++stocktakesDue;
            const double r = m_rng.unit();
            if (r < IncomeShare)
                income(day);
            else if (r < IncomeShare + DebitShare)
                expense(m_pickDebit(m_rng), day, true);
            else
                expense(m_pickExpense(m_rng), day, false);
        }
        for (; stocktakesDue > 0; --stocktakesDue)
            randomStocktake(day);
    }

    void writeBalances(QSqlDatabase &db)
    {
        QSqlQuery q(db);
        if (!q.prepare(QStringLiteral("UPDATE Hokan_T SET H_money = ? WHERE H_index = ?")))
            throw std::runtime_error(q.lastError().text().toStdString());
        for (size_t p = 0; p < places.size(); ++p) {
            q.bindValue(0, m_balance[p]);
            q.bindValue(1, m_places[p]);
            if (!q.exec())
                throw std::runtime_error(q.lastError().text().toStdString());
        }
    }

    Summary summary() const
    {
        return {m_moves.income.rows(), m_moves.expense.rows(), m_moves.debit.rows(), m_moves.transfer.rows(),
            m_moves.stocktake.rows()};
    }

private:
    static constexpr double IncomeShare = 0.25;
    static constexpr double DebitShare = 0.03;
    static constexpr double ExpenseShare = 1 - IncomeShare - DebitShare;
    // The money all places hold together hovers around this.
    static constexpr qint64 TargetTotal = 30'000'000;
    // No single balance grows past this; far inside 32 bits.
    static constexpr qint64 BalanceCeiling = 1'000'000'000;

    qint64 total() const
    {
        qint64 t = 0;
        for (qint64 b : m_balance)
            t += b;
        return t;
    }

    qint32 draw(qint32 base, double scale)
    {
        // Regular large amounts (salaries, rent) vary little; small ones a lot.
        const double spread = base >= 50'000 ? 0.9 + 0.2 * m_rng.unit() : 0.4 + 1.2 * m_rng.unit();
        qint64 amount = static_cast<qint64>(base * spread * scale);
        if (amount >= 20'000)
            amount -= amount % 100;
        return static_cast<qint32>(std::clamp<qint64>(amount, 1, 99'999'999));
    }

    int richest(int except) const
    {
        int best = -1;
        for (int p = 0; p < static_cast<int>(m_balance.size()); ++p)
            if (p != except && (best < 0 || m_balance[p] > m_balance[best]))
                best = p;
        return best;
    }

    int poorest(int except) const
    {
        int best = -1;
        for (int p = 0; p < static_cast<int>(m_balance.size()); ++p)
            if (p != except && (best < 0 || m_balance[p] < m_balance[best]))
                best = p;
        return best;
    }

    void transfer(int from, int to, qint64 amount, int day, const QString &memo)
    {
        m_balance[from] -= amount;
        m_balance[to] += amount;
        m_moves.transfer.row({m_places[from], m_places[to], static_cast<qint32>(amount), day, memo});
    }

    void stocktake(int place, qint64 counted, int day, const QString &reason)
    {
        m_moves.stocktake.row({m_places[place], static_cast<qint32>(m_balance[place]),
            static_cast<qint32>(counted), reason, day});
        m_balance[place] = counted;
    }

    void randomStocktake(int day)
    {
        const int p = static_cast<int>(m_rng.below(places.size()));
        const qint64 counted = std::clamp<qint64>(
            m_balance[p] + static_cast<qint64>(m_rng.below(4001)) - 2000, 0, BalanceCeiling);
        stocktake(p, counted, day, m_rng.pick(stocktakeReasons));
    }

    void cashWithdrawal(int day)
    {
        std::vector<int> banks, cash;
        for (int p = 0; p < static_cast<int>(places.size()); ++p)
            (places[p].kind == Kind::Bank ? banks : cash).push_back(p);
        const int from = m_rng.pick(banks);
        const int to = m_rng.pick(cash);
        const qint64 amount
            = std::min<qint64>(10'000 * (1 + m_rng.below(5)), m_balance[from] / 10'000 * 10'000);
        if (amount > 0)
            transfer(from, to, amount, day, m_rng.pick(transferMemos));
    }

    void income(int day)
    {
        const Item &item = m_income[m_pickIncome(m_rng)];
        const qint32 amount = draw(item.base, 1.0);
        if (m_balance[item.place] + amount > BalanceCeiling)
            transfer(
                item.place, poorest(item.place), m_balance[item.place] / 2, day, QStringLiteral("資金移動"));
        m_balance[item.place] += amount;
        m_moves.income.row({item.name, m_places[item.place], amount, day, m_rng.pick(incomeMemos)});
    }

    void expense(size_t index, int day, bool debit)
    {
        const Item &item = m_expense[index];
        const double feedback = std::clamp(static_cast<double>(total()) / TargetTotal, 0.5, 2.0);
        qint64 amount = draw(item.base, m_expenseScale * feedback);
        const int p = item.place;
        if (m_balance[p] < amount) {
            // Short of money: top the place up from the richest one first, as people do.
            const int from = richest(p);
            const qint64 need = amount - m_balance[p];
            qint64 topUp = (need + 10'000 * (1 + m_rng.below(5)) + 9'999) / 10'000 * 10'000;
            topUp = std::min(topUp, m_balance[from]);
            if (topUp > 0)
                transfer(from, p, topUp, day, QStringLiteral("不足補填"));
            amount = std::min(amount, m_balance[p]);
        }
        if (amount <= 0) {
            // Nothing anywhere to pay with: the day brings money in instead.
            income(day);
            return;
        }
        m_balance[p] -= amount;
        const qint32 money = static_cast<qint32>(amount);
        if (debit) {
            m_moves.debit.row({item.name, m_places[p], money, day});
            m_moves.expense.row({item.name, m_places[p], money, day, autoDebitMemo});
        } else {
            m_moves.expense.row({item.name, m_places[p], money, day, m_rng.pick(expenseMemos)});
        }
    }

    Rng m_rng;
    std::vector<Item> m_income;
    std::vector<Item> m_expense;
    WeightedPick m_pickIncome;
    WeightedPick m_pickDebit;
    WeightedPick m_pickExpense;
    QStringList m_places;
    std::vector<qint64> m_balance;
    double m_expenseScale = 1;
    SeededFill::Movements m_moves;
};

// Creates the ledger, then fills it in one transaction; a half-made ledger is removed.
template <typename Fill> bool makeLedger(const QString &path, QString *errorText, Fill fill)
{
    if (!LedgerFile::create(path, errorText))
        return false;
    const QString name = QStringLiteral("genledger-") + QUuid::createUuid().toString();
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        try {
            if (!db.open())
                throw std::runtime_error(db.lastError().text().toStdString());
            // A half-made ledger is thrown away anyway: no journal, no waiting for the disk.
            exec(db, QStringLiteral("PRAGMA journal_mode=OFF"));
            exec(db, QStringLiteral("PRAGMA synchronous=OFF"));
            exec(db, QStringLiteral("PRAGMA cache_size=-65536"));
            exec(db, QStringLiteral("BEGIN"));
            fill(db);
            exec(db, QStringLiteral("COMMIT"));
            exec(db, QStringLiteral("PRAGMA journal_mode=DELETE"));
        } catch (const std::exception &e) {
            error = QString::fromStdString(e.what());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (error.isEmpty())
        return true;
    QFile::remove(path);
    if (errorText)
        *errorText = error;
    return false;
}

} // namespace

bool generate(const QString &path, qint64 postings, quint64 seed, QString *errorText, Summary *summary)
{
    return makeLedger(path, errorText, [&](QSqlDatabase &db) {
        Generator g(db, seed);
        g.writeMasters(db);
        g.writeHistory(postings);
        g.writeBalances(db);
        if (summary)
            *summary = g.summary();
    });
}

bool generateDemo(
    const QString &path, const QDate &lastDay, quint64 seed, QString *errorText, Summary *summary)
{
    DemoLedger::Counts c;
    if (!DemoLedger::create(path, lastDay, seed, errorText, &c))
        return false;
    if (summary)
        *summary = {c.income, c.expense, c.debits, c.transfers, c.stocktakes};
    return true;
}

QStringList storagePlaceNames()
{
    QStringList names;
    for (const PlaceDef &p : places)
        names << QString::fromUtf16(p.name);
    return names;
}

QStringList incomeItemNames()
{
    QStringList names;
    for (const Item &i : incomeItems())
        names << i.name;
    return names;
}

QStringList expenseItemNames()
{
    QStringList names;
    for (const Item &i : expenseItems())
        names << i.name;
    return names;
}

} // namespace LedgerGenerator
