// SPDX-License-Identifier: GPL-3.0-or-later
// The ledger core against a plain model: random sequences of postings, debits, transfers,
// stocktakes (of ordinary places and of a card), imported statement lines (older than a
// stocktake, of its day), a card's bill turning the bank's payment into a transfer, taking an
// import back, corrections, deletions and taking back the last actions run through the core on a real ledger
// and, side by side, on a model written here from the rules alone. After every action each balance and each
// stocktake's balance-before equal the model's, the ledger equals the replay of its history, and an action
// the model refuses is refused and changes nothing.
//
// Among them, in a block of their own, the masters' changes: places and items renamed, deleted
// (a deletion the storage master refuses is refused here too) and registered again; after each,
// no table holds a name that is no longer in use, and the balances and the replay still hold.
//
// VELMO_LEDGER_ACTIONS sets the actions per seed (default 2000),
// VELMO_LEDGER_SEEDS the number of seeds (default 3; `make test-long` runs 20). A failure prints its seed and
// the shortest sequence found that still fails.

#include "ActionHistory.h"
#include "Database.h"
#include "ImportLedger.h"
#include "Ledger.h"
#include "LedgerCheck.h"
#include "MasterChange.h"
#include "PostingChange.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QTest>
#include <random>

namespace {

const QStringList places {QStringLiteral("財布"), QStringLiteral("銀行"), QStringLiteral("カード")};
const QString card = QStringLiteral("カード");
const qint64 cardLimit = 30000;

// One action as drawn; indexes pick among what exists when the action runs, so that a shorter
// sequence stays meaningful.
struct Action
{
    enum Kind {
        Income,
        Expense,
        Debit,
        Transfer,
        Stocktake,
        Change,
        Delete,
        TakeBack,
        Import,
        CardBill,
        UndoImport
    } kind;
    int place = 0, place2 = 0;
    qint32 amount = 0;
    int daysBack = 0; // the movement's date, before today
    int pick = 0; // which row, or how many actions to take back
    int field = 0; // what a change changes
    int advance = 0; // days today moves on afterwards
    // A change of the masters in place of the action above (0: none); see the masters' block.
    int master = 0;
};

QString describe(const Action &a)
{
    static const char *names[] = {"income", "expense", "debit", "transfer", "stocktake", "change", "delete",
        "takeback", "import", "cardbill", "undoimport"};
    static const char *masters[] = {"", "rename place", "delete place", "rename item", "delete item"};
    if (a.master)
        return QStringLiteral("%1 p=%2").arg(QLatin1String(masters[a.master])).arg(a.place);
    return QStringLiteral("%1 p=%2/%3 amount=%4 back=%5 pick=%6 field=%7 adv=%8")
        .arg(QLatin1String(names[a.kind]))
        .arg(a.place)
        .arg(a.place2)
        .arg(a.amount)
        .arg(a.daysBack)
        .arg(a.pick)
        .arg(a.field)
        .arg(a.advance);
}

// Imports: about one action in six becomes a statement's lines, a card's bill or taking a batch
// back; their other fields shape the lines (see Runner::stepImport).
void drawImport(std::mt19937 &rng, Action &a)
{
    const int k = std::uniform_int_distribution<int>(0, 99)(rng);
    if (k >= 16)
        return;
    a.kind = k < 8 ? Action::Import : k < 12 ? Action::CardBill : Action::UndoImport;
    a.pick = std::uniform_int_distribution<int>(0, 1 << 20)(rng);
    a.amount = std::uniform_int_distribution<int>(1, 40)(rng) * 500;
}

std::vector<Action> draw(quint32 seed, int count)
{
    std::mt19937 rng(seed);
    const auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // The masters' changes draw from a stream of their own, so that the other actions stay as
    // they are.
    std::mt19937 masterRng(seed ^ 0x4d415354u);
    const auto masterIn
        = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(masterRng); };
    std::vector<Action> actions;
    for (int i = 0; i < count; ++i) {
        Action a;
        const int k = in(0, 99);
        a.kind = k < 20 ? Action::Income
            : k < 42    ? Action::Expense
            : k < 50    ? Action::Debit
            : k < 64    ? Action::Transfer
            : k < 70    ? Action::Stocktake
            : k < 82    ? Action::Change
            : k < 92    ? Action::Delete
                        : Action::TakeBack;
        a.place = in(0, 2);
        a.place2 = (a.place + in(1, 2)) % 3;
        a.amount = in(1, 40) * 500 - (a.kind == Action::Expense && in(0, 9) == 0 ? 10000 : 0);
        if (a.kind == Action::Stocktake)
            a.amount = a.place == 2 ? -in(0, 50) * 500 : in(0, 40) * 500;
        a.daysBack = in(0, 9) < 7 ? 0 : in(1, 20);
        a.pick = a.kind == Action::TakeBack ? in(1, 3) : in(0, 1 << 20);
        a.field = in(0, 3);
        a.advance = in(0, 3) == 0 ? 1 : 0;
        drawImport(rng, a);
        if (masterIn(0, 11) == 0) {
            a.master = masterIn(1, 4);
            a.place = masterIn(0, a.master >= 3 ? 1 : 2);
        }
        actions.push_back(a);
    }
    return actions;
}

// The plain model: balances of today, stocktakes with their balance-before, movements by row.
struct Model
{
    struct Movement
    {
        QString table; // N, S, Idourireki_T
        qint64 rowid;
        QString place, place2; // place2: a transfer's destination
        qint32 money;
        int date;
        bool debit;
        // A movement an import wrote: its batch, its line's record (X_import_line), whether its
        // amount or place changed since, and the card's batch whose bill turned it into a
        // transfer.
        qint64 batch = 0, line = 0;
        bool changedSince = false;
        qint64 paidBy = 0;
    };
    struct Batch
    {
        qint64 no;
        QString place;
        qint64 lastCount; // the newest stocktake row when it was written
    };
    struct Count
    {
        qint64 rowid;
        QString place;
        int day;
        qint64 before, after;
    };
    QMap<QString, qint64> balance;
    QList<Count> counts;
    QList<Movement> movements;
    QList<Batch> batches;

    // A place deleted: its batches and its lines' records go (its postings stay, no longer an
    // import's), and no bill of it gives a bank's payment back.
    void forgetImportsOf(const QString &place)
    {
        QSet<qint64> gone;
        for (const Batch &b : std::as_const(batches))
            if (b.place == place)
                gone.insert(b.no);
        batches.removeIf([&](const Batch &b) { return gone.contains(b.no); });
        for (Movement &m : movements) {
            if (gone.contains(m.batch)) {
                m.batch = m.line = m.paidBy = 0;
                m.changedSince = false;
            }
            if (gone.contains(m.paidBy))
                m.paidBy = 0;
        }
    }

    // ---- The masters: the place in each of three slots ("" while deleted; the third is a
    // card), the income and the expense item ("" while deleted), the cards' limits and the
    // names deleted, whose postings and histories stay.
    QStringList names = places;
    QStringList items {QStringLiteral("給与"), QStringLiteral("食費")};
    QMap<QString, qint64> limits {{card, cardLimit}};
    QSet<QString> deleted;

    qint64 floorOf(const QString &place) const { return -limits.value(place, 0); }

    void renamePlace(const QString &from, const QString &to)
    {
        for (Batch &b : batches)
            if (b.place == from)
                b.place = to;
        names[names.indexOf(from)] = to;
        balance.insert(to, balance.take(from));
        if (limits.contains(from))
            limits.insert(to, limits.take(from));
        for (Count &c : counts)
            if (c.place == from)
                c.place = to;
        for (Movement &m : movements) {
            if (m.place == from)
                m.place = to;
            if (m.place2 == from)
                m.place2 = to;
        }
    }

    // The first stocktake of the place dated after `date`, by day then row.
    int countOf(const QString &place, int date) const
    {
        int best = -1;
        for (int i = 0; i < counts.size(); ++i) {
            const Count &c = counts[i];
            if (c.place == place && c.day > date
                && (best < 0 || c.day < counts[best].day
                    || (c.day == counts[best].day && c.rowid < counts[best].rowid)))
                best = i;
        }
        return best;
    }

    static QList<std::tuple<QString, qint64, int>> effects(const Movement &m)
    {
        if (m.table == u"N")
            return {{m.place, m.money, m.date}};
        if (m.table == u"S")
            return {{m.place, -qint64(m.money), m.date}};
        return {{m.place, -qint64(m.money), m.date}, {m.place2, m.money, m.date}};
    }

    // Applies signed movements; false (and nothing changed) when a balance of today would go
    // below its floor. Differences reaching one balance or one stocktake are netted first.
    bool apply(const QList<std::tuple<QString, qint64, int>> &moves)
    {
        QMap<std::pair<QString, int>, qint64> net; // (place, count index or -1)
        for (const auto &[place, delta, date] : moves)
            net[{place, countOf(place, date)}] += delta;
        for (auto it = net.begin(); it != net.end(); ++it) {
            // A deleted place's balance cannot take a difference.
            if (it.key().second < 0 && it.value() != 0 && !balance.contains(it.key().first))
                return false;
            if (it.key().second < 0 && it.value() < 0
                && balance[it.key().first] + it.value() < floorOf(it.key().first))
                return false;
        }
        for (auto it = net.begin(); it != net.end(); ++it) {
            if (it.value() == 0)
                continue; // nothing moves (and a deleted place stays deleted)
            if (it.key().second < 0)
                balance[it.key().first] += it.value();
            else
                counts[it.key().second].before += it.value();
        }
        return true;
    }
};

class Runner
{
public:
    explicit Runner(const TempAppDir &dir)
        : m_dir(dir)
    {
        dir.exec(QStringLiteral("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES "
                                "('財布',0,'',''),('銀行',0,'',''),('カード',0,'','')"));
        dir.exec(QStringLiteral("INSERT INTO X_card (XC_place,XC_closing,XC_payment,XC_pay_from,XC_limit) "
                                "VALUES ('カード',15,10,'銀行',%1)")
                     .arg(cardLimit));
        // An automatic debit's item for the import's lines, kept at no place (the masters' block
        // deletes the bank once no item names it).
        dir.exec(QStringLiteral(
            "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('引落','自動','','')"));
        for (const QString &p : places)
            m_model.balance[p] = 0;
        seedMasters();
    }

    // Runs one action on both sides; a text naming the first difference, or empty.
    QString step(const Action &a)
    {
        if (a.master)
            return masterStep(a);
        const QString place = m_model.names[a.place];
        const QString place2 = m_model.names[a.place2];
        // A place deleted is offered by no window until another is registered in its slot.
        const bool placeGone = place.isEmpty() || (a.kind == Action::Transfer && place2.isEmpty());
        if (placeGone && a.kind != Action::Change && a.kind != Action::Delete && a.kind != Action::TakeBack)
            return {};
        const int date = m_today - a.daysBack;
        const qint64 entries = lastEntry();
        const Model before = m_model;
        bool expectDone = true;
        bool done = false;
        Model next = m_model;
        switch (a.kind) {
        case Action::Income:
        case Action::Expense:
        case Action::Debit: {
            const auto kind = a.kind == Action::Income ? Ledger::Kind::Income
                : a.kind == Action::Expense            ? Ledger::Kind::Expense
                                                       : Ledger::Kind::Debit;
            const QString table = a.kind == Action::Income ? QStringLiteral("N") : QStringLiteral("S");
            const QString item = m_model.items[a.kind == Action::Income ? 0 : 1];
            if (item.isEmpty())
                return {};
            const qint64 rowid = act(
                [&](Ledger &l) {
                    done = l.post({kind, item, place, a.amount, date, QString()}).done();
                    return done;
                },
                table);
            Model::Movement m {table, rowid, place, QString(), a.amount, date, a.kind == Action::Debit};
            expectDone = next.apply(Model::effects(m));
            if (expectDone)
                next.movements << m;
            break;
        }
        case Action::Transfer: {
            const qint64 rowid = act(
                [&](Ledger &l) {
                    done = l.transfer({place, place2, a.amount, date, QString()}).done();
                    return done;
                },
                QStringLiteral("Idourireki_T"));
            Model::Movement m {QStringLiteral("Idourireki_T"), rowid, place, place2, a.amount, date, false};
            expectDone = next.apply(Model::effects(m));
            if (expectDone)
                next.movements << m;
            break;
        }
        case Action::Stocktake: {
            // The history keeps days only: a stocktake stands before every movement of its day,
            // so the model counts on a day of its own (the ledger cannot tell a movement typed
            // earlier that day from one typed later).
            m_today += 1;
            const qint64 rowid = act(
                [&](Ledger &l) {
                    done = l.stocktake({place, a.amount, QStringLiteral("数え直し"), m_today}).done();
                    return done;
                },
                QStringLiteral("Ktanaorosi_T"));
            next.counts << Model::Count {rowid, place, m_today, next.balance[place], a.amount};
            next.balance[place] = a.amount;
            m_today += 1;
            break;
        }
        case Action::Change:
        case Action::Delete: {
            if (next.movements.isEmpty())
                return {};
            const int index = a.pick % next.movements.size();
            Model::Movement old = next.movements[index];
            std::optional<Model::Movement> changed;
            if (a.kind == Action::Change) {
                changed = old;
                if (a.field == 0)
                    changed->money = a.amount;
                else if (a.field == 1)
                    changed->date = date;
                else if (a.field == 2 && old.table == u"Idourireki_T" && !place.isEmpty()
                    && place != old.place2)
                    changed->place = place;
                else
                    changed->money = old.money + 500;
                // A change that changes nothing is no change: make it one.
                if (changed->money == old.money && changed->date == old.date && changed->place == old.place)
                    changed->money = old.money + 500;
            }
            QList<std::tuple<QString, qint64, int>> moves;
            for (auto [p, d, day] : Model::effects(old))
                moves.append({p, -d, day});
            if (changed)
                moves += Model::effects(*changed);
            expectDone = next.apply(moves);
            if (expectDone) {
                if (changed && (changed->money != old.money || changed->place != old.place))
                    changed->changedSince = true;
                if (changed)
                    next.movements[index] = *changed;
                else
                    next.movements.removeAt(index);
            }
            act(
                [&](Ledger &) {
                    Database &db = *m_db;
                    const auto row = PostingChange::read(db, old.table, old.rowid);
                    if (!row)
                        return false;
                    std::optional<PostingChange::Values> values;
                    if (changed) {
                        values = row->values;
                        values->money = changed->money;
                        values->date = changed->date;
                        values->place = changed->place;
                    }
                    const PostingChange::Plan plan = PostingChange::plan(db, *row, values);
                    done = plan.refusal.isEmpty();
                    if (done)
                        PostingChange::apply(db, *row, values, plan);
                    return done;
                },
                QString());
            break;
        }
        case Action::TakeBack: {
            const int k = std::min<int>(a.pick, int(m_snapshots.size()));
            if (k == 0)
                return {};
            Database db(m_dir.dbPath());
            const QList<ActionHistory::Entry> recent = ActionHistory::recent(db, k);
            const ActionHistory::Outcome o = ActionHistory::takeBackFrom(
                m_dir.dbPath(), recent.last().no, QStringLiteral("F_undo"), now(), k);
            done = o.done;
            // Taking back is an action of the history as well: it can itself be taken back.
            m_model = m_snapshots[m_snapshots.size() - k];
            m_snapshots.push_back(before);
            return compare(true, done, entries);
        }
        case Action::Import:
        case Action::CardBill:
        case Action::UndoImport:
            return stepImport(a, before, entries);
        }
        const QString diff = compare(expectDone, done, entries);
        if (expectDone && done) {
            m_model = next;
            m_snapshots.push_back(before);
        }
        m_today += a.advance;
        return diff;
    }

private:
    // ---- Imports: a statement's lines, a card's bill, taking a batch back -------------------

    // The lines of an import as drawn: a withdrawal or a deposit of the place; a card's bill
    // has purchases and now and then a refund. A line is dated as a posting is, or on the day of
    // the place's latest stocktake.
    struct Drawn
    {
        qint32 amount;
        int date;
        QString item;
    };

    QList<Drawn> drawLines(const Action &a, const QString &place, bool bill) const
    {
        int date = m_today - a.daysBack;
        if (a.field == 3)
            for (const Model::Count &c : m_model.counts)
                if (c.place == place)
                    date = c.day;
        const bool out = bill || a.pick % 2 == 0;
        QList<Drawn> lines {{out ? -a.amount : a.amount, date,
            !out                           ? m_model.items[0]
                : !bill && a.pick % 4 == 2 ? QStringLiteral("引落")
                                           : m_model.items[1]}};
        if (a.pick % 3 == 0) {
            const bool refund = bill && a.pick % 5 == 0;
            lines << Drawn {
                refund ? 500 : -500 * (1 + a.pick / 7 % 8), date - a.pick / 11 % 5, m_model.items[1]};
        }
        return lines;
    }

    // The bank line a card's bill of `total` paid on `date` turns into the transfer: an imported
    // expense of the bank as written, the only one of that amount and day.
    int paymentOf(const Model &m, qint64 total, int date) const
    {
        int found = -1;
        for (int i = 0; i < m.movements.size(); ++i) {
            const Model::Movement &x = m.movements[i];
            if (x.line != 0 && x.table == u"S" && !x.debit && !x.changedSince && x.place == m.names[1]
                && x.money == total && x.date == date) {
                if (found >= 0)
                    return -2;
                found = i;
            }
        }
        return found;
    }

    // Reads back the rows an action of the import wrote or moved, by the records of its lines.
    void resync(Model &m)
    {
        Database db(m_dir.dbPath());
        for (Model::Movement &x : m.movements) {
            if (x.line == 0)
                continue;
            Cursor c = db.query(
                QStringLiteral("SELECT XL_table, XL_rowid FROM X_import_line WHERE rowid = ?"), {x.line});
            const QString t = c.text(0);
            x.table = t == u"I" ? QStringLiteral("Idourireki_T")
                : t == u"N"     ? QStringLiteral("N")
                                : QStringLiteral("S");
            x.rowid = c.integer64(1);
        }
    }

    QString stepImport(const Action &a, const Model &before, qint64 entries)
    {
        Model next = m_model;
        bool expectDone = true, done = false;
        if (a.kind == Action::UndoImport) {
            if (next.batches.isEmpty())
                return {};
            const int index = a.pick % next.batches.size();
            const Model::Batch b = next.batches[index];
            // A stocktake of the place since fixed the balance the batch led to.
            for (const Model::Count &c : next.counts)
                if (c.place == b.place && c.rowid > b.lastCount)
                    expectDone = false;
            QList<std::tuple<QString, qint64, int>> moves;
            for (const Model::Movement &x : next.movements) {
                if (x.batch == b.no) {
                    if (x.table == u"Idourireki_T" && x.place != b.place)
                        expectDone = false; // a transfer moved off the place is no longer the line
                    for (auto [p, d, day] : Model::effects(x))
                        moves.append({p, -d, day});
                }
                if (x.paidBy == b.no) {
                    if (x.place != next.names[1] || x.place2 != b.place)
                        expectDone = false;
                    moves.append({b.place, -qint64(x.money), x.date});
                }
            }
            if (expectDone)
                expectDone = next.apply(moves);
            act(
                [&](Ledger &) {
                    ImportLedger::Refusal r;
                    done = ImportLedger::undo(*m_db, b.no, r);
                    return done;
                },
                QString());
            if (expectDone && done) {
                ++m_stats.takenBack;
                next.movements.removeIf([&](const Model::Movement &x) { return x.batch == b.no; });
                for (Model::Movement &x : next.movements)
                    if (x.paidBy == b.no) {
                        x.paidBy = 0;
                        x.place2.clear();
                    }
                next.batches.removeAt(index);
                resync(next);
            }
        } else {
            const bool bill = a.kind == Action::CardBill;
            const QString place = next.names[bill ? 2 : a.place];
            const QString card = next.names[2];
            // A place deleted takes no statement, a line no item deleted.
            if (place.isEmpty())
                return {};
            QList<Drawn> lines = drawLines(a, place, bill);
            if (std::any_of(lines.begin(), lines.end(), [](const Drawn &l) { return l.item.isEmpty(); }))
                return {};
            std::optional<ImportLedger::Bill> theBill;
            int paid = -1;
            if (bill) {
                qint64 total = 0;
                for (const Drawn &l : lines)
                    total -= l.amount;
                // Pays the newest bank payment still an expense, when one is alone of its kind;
                // else a bill of an odd amount no bank line pays.
                for (int i = next.movements.size() - 1; i >= 0 && paid < 0; --i) {
                    const Model::Movement &x = next.movements[i];
                    if (x.line != 0 && x.table == u"S" && x.place == next.names[1] && !x.debit
                        && paymentOf(next, x.money, x.date) == i && x.money > 0)
                        paid = i;
                }
                if (paid >= 0) {
                    const Model::Movement &x = next.movements[paid];
                    lines.first().amount -= qint32(x.money - total);
                    if (lines.first().amount >= 0) {
                        lines = {lines.first()};
                        lines.first().amount = -qint32(x.money);
                    }
                    theBill = ImportLedger::Bill {x.date, x.money};
                } else {
                    lines.first().amount -= 250;
                    theBill = ImportLedger::Bill {m_today, total + 250};
                }
            }
            // The lines in date order, each withdrawal checked against what the place holds then.
            QList<Drawn> sorted = lines;
            std::stable_sort(
                sorted.begin(), sorted.end(), [](const Drawn &x, const Drawn &y) { return x.date < y.date; });
            qint64 running = next.balance[place];
            for (const Drawn &l : sorted)
                if (next.countOf(place, l.date) < 0) {
                    if (l.amount < 0 && running + l.amount < next.floorOf(place))
                        expectDone = false;
                    running += l.amount;
                }
            QList<ImportLedger::Line> toImport;
            for (const Drawn &l : lines) {
                StatementLine s;
                s.lineNo = int(toImport.size()) + 1;
                s.date = l.date;
                s.amount = l.amount;
                s.description = QStringLiteral("明細%1").arg(++m_keys);
                s.key = QStringLiteral("k%1").arg(m_keys);
                toImport << ImportLedger::Line {s, l.item};
            }
            std::optional<qint64> no;
            act(
                [&](Ledger &) {
                    ImportLedger::Refusal r;
                    no = ImportLedger::importLines(*m_db,
                        {QStringLiteral("when"), QStringLiteral("f.csv"), QStringLiteral("p"), place,
                            std::nullopt, theBill},
                        toImport, r);
                    done = no.has_value();
                    return done;
                },
                QString());
            if (expectDone && done) {
                qint64 lastCount = 0;
                for (const Model::Count &c : next.counts)
                    lastCount = std::max(lastCount, c.rowid);
                next.batches << Model::Batch {*no, place, lastCount};
                Database db(m_dir.dbPath());
                QList<std::tuple<QString, qint64, int>> moves;
                for (const ImportLedger::Line &l : toImport) {
                    Cursor c = db.query(
                        QStringLiteral("SELECT rowid, XL_table FROM X_import_line WHERE XL_key = ?"),
                        {l.line.key});
                    const bool debit = c.text(1) == u"Z";
                    const bool refund = bill && l.line.amount > 0;
                    Model::Movement m {
                        l.line.amount > 0 && !refund ? QStringLiteral("N") : QStringLiteral("S"), 0, place,
                        QString(), l.line.amount > 0 && !refund ? l.line.amount : -l.line.amount, l.line.date,
                        debit};
                    m.batch = *no;
                    m.line = c.integer64(0);
                    moves += Model::effects(m);
                    next.movements << m;
                }
                if (!next.apply(moves))
                    return QStringLiteral("the model refuses the lines it let through");
                ++m_stats.imports;
                if (paid >= 0) {
                    ++m_stats.payments;
                    Model::Movement &x = next.movements[paid];
                    x.table = QStringLiteral("Idourireki_T");
                    x.place2 = card;
                    x.paidBy = *no;
                    next.apply({{card, x.money, x.date}});
                }
                resync(next);
            }
        }
        const QString diff = compare(expectDone, done, entries);
        if (expectDone && done) {
            m_model = next;
            m_snapshots.push_back(before);
        }
        m_today += a.advance;
        return diff;
    }

    int m_keys = 0;

public:
    // How often the import's actions were done: a model that refused them all would test little.
    struct Stats
    {
        int imports = 0, payments = 0, takenBack = 0;
    };
    Stats m_stats;

private:
    QDateTime now() const
    {
        return QDateTime(QDate(m_today / 10000, m_today / 100 % 100, 1).addDays(m_today % 100), QTime(9, 0));
    }

    // One action of the history on its own connection; the row id it inserted into `table`.
    qint64 act(const std::function<bool(Ledger &)> &work, const QString &table)
    {
        Database db(m_dir.dbPath());
        m_db = &db;
        db.beginAction(QStringLiteral("F_test"), QStringLiteral("test"), now());
        Ledger ledger(db);
        const bool wrote = work(ledger);
        qint64 rowid = 0;
        if (wrote && !table.isEmpty())
            rowid = db.query(QStringLiteral("SELECT MAX(rowid) FROM ") + table, {}).integer64(0);
        db.commit();
        m_db = nullptr;
        return rowid;
    }

    // The newest entry of the history: an action that changed anything at all left one.
    qint64 lastEntry() const
    {
        return m_dir.scalar(QStringLiteral("SELECT COALESCE(MAX(XU_no), 0) FROM X_undo_action")).toLongLong();
    }

    QString compare(bool expectDone, bool done, qint64 entriesBefore)
    {
        if (expectDone != done)
            return done ? QStringLiteral("the ledger did what the model refuses")
                        : QStringLiteral("the ledger refused what the model does");
        if (!done && lastEntry() != entriesBefore)
            return QStringLiteral("a refused action changed the ledger");
        return {};
    }

public:
    // Checks the ledger against the model after the step (the model already updated).
    QString check()
    {
        {
            Database db(m_dir.dbPath());
            if (db.query(QStringLiteral("SELECT COUNT(*) FROM Hokan_T"), {}).integer64(0)
                != m_model.balance.size())
                return QStringLiteral("the ledger has %1 places, the model %2")
                    .arg(db.query(QStringLiteral("SELECT COUNT(*) FROM Hokan_T"), {}).integer64(0))
                    .arg(m_model.balance.size());
            for (Cursor c = db.query(QStringLiteral("SELECT H_index, H_money FROM Hokan_T"), {}); !c.eof();
                 c.next())
                if (c.integer64(1) != m_model.balance.value(c.text(0)))
                    return QStringLiteral("%1: ledger %2, model %3")
                        .arg(c.text(0))
                        .arg(c.integer64(1))
                        .arg(m_model.balance.value(c.text(0)));
            QMap<qint64, qint64> counted;
            for (Cursor c = db.query(QStringLiteral("SELECT rowid, K_bmoney FROM Ktanaorosi_T"), {});
                 !c.eof(); c.next())
                counted.insert(c.integer64(0), c.integer64(1));
            for (const Model::Count &k : m_model.counts)
                if (counted.value(k.rowid, -1) != k.before)
                    return QStringLiteral("stocktake %1 of %2 on %3: before %4, model %5")
                        .arg(k.rowid)
                        .arg(k.place)
                        .arg(k.day)
                        .arg(counted.value(k.rowid, -1))
                        .arg(k.before);
        }
        const LedgerCheck::Result r = LedgerCheck::check(m_dir.dbPath());
        if (!r.ok())
            return QStringLiteral("replay: ") + r.problems.join(QStringLiteral("; "));
        return checkNames();
    }

    // ---- The masters' block -------------------------------------------------------------------
private:
    // Item masters naming the bank (so the storage master refuses to delete it, as it refuses a
    // place a card is paid from) and every side table that holds a name: import rules and
    // patterns (items and transfers), schedules, a budget planned by item and a card's bill.
    void seedMasters()
    {
        for (const char *sql : {
                 "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','給料','銀行','')",
                 "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活','銀行','')",
                 "INSERT INTO X_import_rule VALUES ('銀行','S','ｶｰﾄﾞ','→ カード'),('財布','N','ｷｭｳﾖ','給与'),"
                 "('カード','S','ｽｰﾊﾟｰ','食費')",
                 "INSERT INTO X_import_pattern VALUES ('銀行','S','P','ｶｰﾄﾞ','→ カード'),"
                 "('財布','S','C','ﾏｰｹｯﾄ','食費')",
                 "INSERT INTO X_schedule VALUES "
                 "('N','給与',25,4095,'P','L',0),('S','食費',1,4095,'N','F',3000)",
                 "INSERT INTO X_budget_year VALUES (2024,'N','I'),(2024,'S','I')",
                 "INSERT INTO X_budget_row (XZ_year,XZ_side,XZ_name,XZ_m01) VALUES (2024,'N','給与',100),"
                 "(2024,'S','食費',200)",
                 "INSERT INTO X_card_bill (XCB_place,XCB_payment_date,XCB_total,XCB_batch) VALUES "
                 "('カード',20240210,5000,0)",
             })
            m_dir.exec(QString::fromUtf8(sql));
        m_everNamed = QSet<QString>(places.begin(), places.end());
        for (const QString &i : std::as_const(m_model.items))
            m_everNamed.insert(i);
    }

    QString freshName(const QString &stem)
    {
        const QString name = stem + QString::number(++m_serial);
        m_everNamed.insert(name);
        return name;
    }

    QString masterStep(const Action &a)
    {
        const qint64 entries = lastEntry();
        const Model before = m_model;
        Model next = m_model;
        bool expectDone = true;
        bool done = false;
        const bool item = a.master >= 3;
        QStringList &slot = item ? next.items : next.names;
        const QString name = slot[a.place];
        const QString kind = a.place == 0 ? QStringLiteral("N") : QStringLiteral("S");
        const auto itemRow = [&](const QString &itemName) {
            return MasterChange::Item {itemName,
                a.place == 0 ? QStringLiteral("給料") : QStringLiteral("生活"), next.names[1], QString()};
        };
        if (a.master == 1 || a.master == 3) { // a rename
            if (name.isEmpty())
                return {};
            const QString to = freshName(item ? QStringLiteral("品") : QStringLiteral("場所"));
            act(
                [&](Ledger &) {
                    done = (item ? MasterChange::renameItem(*m_db, kind, name, itemRow(to))
                                 : MasterChange::renamePlace(*m_db, name, to))
                               .isEmpty();
                    return done;
                },
                QString());
            if (item)
                slot[a.place] = to;
            else
                next.renamePlace(name, to);
        } else if (name.isEmpty()) { // a slot emptied by a deletion: another name registered
            const bool isCard = !item && a.place == 2;
            // Items are kept at the bank and cards paid from it: none while it is gone.
            if ((item || isCard) && next.names[1].isEmpty())
                return {};
            const QString fresh = freshName(item ? QStringLiteral("品") : QStringLiteral("場所"));
            act(
                [&](Ledger &) {
                    if (item)
                        MasterChange::registerItem(*m_db, kind, itemRow(fresh));
                    else
                        MasterChange::registerPlace(*m_db, fresh, QStringLiteral("父"), QString());
                    if (isCard)
                        MasterChange::saveCard(*m_db, {fresh, 15, 10, next.names[1], cardLimit}, true);
                    done = true;
                    return done;
                },
                QString());
            slot[a.place] = fresh;
            if (!item)
                next.balance.insert(fresh, 0);
            if (isCard)
                next.limits.insert(fresh, cardLimit);
        } else { // a deletion, refused for the bank while an item names it or a card is paid from it
            const bool bankInUse = next.items != QStringList {QString(), QString()} || !next.limits.isEmpty();
            expectDone = item || a.place != 1 || !bankInUse;
            act(
                [&](Ledger &) {
                    done = true;
                    if (item)
                        MasterChange::deleteItem(*m_db, kind, name);
                    else
                        done = MasterChange::deletePlace(*m_db, name).isEmpty();
                    return done;
                },
                QString());
            slot[a.place].clear();
            next.deleted.insert(name);
            if (!item)
                next.forgetImportsOf(name);
            next.balance.remove(name);
            next.limits.remove(name);
        }
        const QString diff = compare(expectDone, done, entries);
        if (expectDone && done) {
            m_model = next;
            m_snapshots.push_back(before);
        }
        return diff;
    }

    // No table holds a name no longer in use (renamed away, or never kept after a take-back); no
    // side table keeps a deleted name but the import's lines and the postings' histories.
    QString checkNames()
    {
        static const char *const everyColumn[][2]
            = {{"Hokan_T", "H_index"}, {"N", "N_hokan"}, {"N", "N_index"}, {"S", "S_hokan"}, {"S", "S_index"},
                {"Nyuukin_T", "N_index"}, {"Nyuukin_T", "N_hokan"}, {"Syukkin_T", "S_index"},
                {"Syukkin_T", "S_hokan"}, {"Idourireki_T", "I_hokanmoto"}, {"Idourireki_T", "I_hokansaki"},
                {"Zidourireki_T", "Z_index"}, {"Zidourireki_T", "Z_hokan"}, {"Ktanaorosi_T", "K_hokan"}};
        static const char *const sideColumns[][2]
            = {{"X_card", "XC_place"}, {"X_card", "XC_pay_from"}, {"X_card_bill", "XCB_place"},
                {"X_import_rule", "XR_hokan"}, {"X_import_rule", "XR_item"}, {"X_import_pattern", "XQ_hokan"},
                {"X_import_pattern", "XQ_item"}, {"X_schedule", "XS_item"}, {"X_budget_row", "XZ_name"}};
        // Each column's distinct values, a transfer ("→ 銀行") read as the place it names.
        Database db(m_dir.dbPath());
        const auto misnamed = [&](const char *table, const char *column, bool deletedToo) -> QString {
            for (Cursor c = db.query(QStringLiteral("SELECT DISTINCT %1 FROM %2")
                                         .arg(QLatin1String(column), QLatin1String(table)),
                     {});
                 !c.eof(); c.next()) {
                QString name = c.text(0);
                if (name.startsWith(QStringLiteral("→ ")) || name.startsWith(QStringLiteral("← ")))
                    name = name.mid(2);
                const bool inUse = m_model.names.contains(name) || m_model.items.contains(name);
                const bool deleted = m_model.deleted.contains(name);
                if (m_everNamed.contains(name) && !inUse && (deletedToo || !deleted))
                    return QStringLiteral("%1.%2 still holds %3%4")
                        .arg(QLatin1String(table), QLatin1String(column), name,
                            deleted ? QStringLiteral(" (deleted)") : QString());
            }
            return {};
        };
        for (const auto &c : everyColumn)
            if (const QString why = misnamed(c[0], c[1], false); !why.isEmpty())
                return why;
        for (const auto &c : sideColumns)
            if (const QString why = misnamed(c[0], c[1], true); !why.isEmpty())
                return why;
        return {};
    }

    QSet<QString> m_everNamed;
    int m_serial = 0;

private:
    const TempAppDir &m_dir;
    Model m_model;
    std::vector<Model> m_snapshots;
    Database *m_db = nullptr;
    int m_today = 20240101;
};

// Runs the actions on a fresh ledger; the index of the first failing action and why, or -1.
std::pair<int, QString> run(const std::vector<Action> &actions, Runner::Stats *stats = nullptr)
{
    TempAppDir dir;
    Runner runner(dir);
    for (size_t i = 0; i < actions.size(); ++i) {
        QString why = runner.step(actions[i]);
        if (why.isEmpty())
            why = runner.check();
        if (!why.isEmpty())
            return {int(i), why};
    }
    if (stats)
        *stats = runner.m_stats;
    return {-1, QString()};
}

// The shortest sequence found by dropping actions one at a time that still fails.
std::vector<Action> shrink(std::vector<Action> actions)
{
    for (size_t chunk = actions.size() / 2; chunk >= 1; chunk /= 2) {
        for (size_t i = 0; i + chunk <= actions.size();) {
            std::vector<Action> shorter = actions;
            shorter.erase(shorter.begin() + i, shorter.begin() + i + chunk);
            if (run(shorter).first >= 0)
                actions = std::move(shorter);
            else
                i += chunk;
        }
        if (chunk == 1)
            break;
    }
    return actions;
}

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

} // namespace

class TestLedgerModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Thousands of small commits: on a memory file system they wait for no disk.
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            qputenv("TMPDIR", "/dev/shm");
    }

    void randomActionsAgreeWithTheModel()
    {
        const int count = envInt("VELMO_LEDGER_ACTIONS", 2000);
        const int seeds = envInt("VELMO_LEDGER_SEEDS", 3);
        for (int s = 1; s <= seeds; ++s) {
            const quint32 seed = quint32(s * 7919);
            const std::vector<Action> actions = draw(seed, count);
            Runner::Stats stats;
            const auto [at, why] = run(actions, &stats);
            if (at < 0) {
                qInfo("seed %u: %d imports, %d bank payments turned into transfers, %d batches taken back",
                    seed, stats.imports, stats.payments, stats.takenBack);
                QVERIFY(stats.imports > 0 && stats.takenBack > 0);
                continue;
            }
            std::vector<Action> prefix(actions.begin(), actions.begin() + at + 1);
            const std::vector<Action> shortest = shrink(prefix);
            QStringList lines;
            for (const Action &a : shortest)
                lines << describe(a);
            const auto [lastAt, lastWhy] = run(shortest);
            QFAIL(qPrintable(
                QStringLiteral("seed %1, action %2: %3\nshortest failing sequence (%4):\n%5\n-> %6")
                    .arg(seed)
                    .arg(at)
                    .arg(why)
                    .arg(shortest.size())
                    .arg(lines.join(u'\n'))
                    .arg(lastWhy)));
        }
    }
};

QTEST_GUILESS_MAIN(TestLedgerModel)
#include "tst_ledgermodel.moc"
