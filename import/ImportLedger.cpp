// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportLedger.h"

#include "Amount.h"
#include "BankCalendar.h"
#include "CardLedger.h"
#include "Database.h"
#include "ImportRules.h"
#include "ImportWrites.h"
#include "Ledger.h"
#include "MasterChange.h"
#include "PreparedStatements.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace ImportLedger {

namespace {

QDate dayOf(int yyyymmdd)
{
    return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100);
}

int numberOf(const QDate &d)
{
    return d.isValid() ? d.year() * 10000 + d.month() * 100 + d.day() : 0;
}

qint64 lastRowId(Database &db)
{
    Cursor c = db.query(QStringLiteral("SELECT last_insert_rowid()"), {});
    return c.value(0).toLongLong();
}

qint64 scalar(Database &db, const QString &sql, const QVariantList &values = {})
{
    Cursor c = db.query(sql, values);
    return c.eof() ? 0 : c.value(0).toLongLong();
}

// What the import's record says of a line it wrote: as written, or changed or deleted since in
// a correction (ImportWrites::followCorrection).
enum RecordState { AsImported = 0, ChangedSince = 1, DeletedSince = 2 };

// The keys of the lines imported into the place, each with the record's state (a line
// imported as it stands wins over an older record of it changed or deleted since).
QHash<QString, int> importedKeys(Database &db, const QString &place)
{
    QHash<QString, int> keys;
    Cursor c = db.query(
        QStringLiteral("SELECT XL_key, MIN(XL_state) FROM X_import_line WHERE XL_hokan = ? GROUP BY XL_key"),
        {place});
    for (; !c.eof(); c.next())
        keys.insert(c.text(0), c.integer(1));
    return keys;
}

qint32 balanceOf(Database &db, const QString &place)
{
    const Cursor c = db.query(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = ?"), {place});
    if (c.eof())
        throw DbError(QStringLiteral("no storage place %1").arg(place));
    return c.integer(0);
}

bool tableExists(Database &db, const QString &table)
{
    return scalar(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = ?"),
               {table})
        > 0;
}

// An imported line given an automatic debit's item: its rowid is that of its expense row, its
// "before" that of its Zidourireki_T row.
const QString DebitTable = QStringLiteral("Z");
const QString DebitMemo = QStringLiteral("自動引落処理");

bool hasControl(const QString &text)
{
    return std::any_of(
        text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

QSet<QString> names(Database &db, const QString &sql)
{
    QSet<QString> set;
    for (Cursor c = db.query(sql, {}); !c.eof(); c.next())
        set.insert(c.text(0));
    return set;
}

} // namespace

QList<LineState> analyse(Database &db, const QString &place, const QList<StatementLine> &lines)
{
    QList<LineState> states(lines.size());
    if (lines.isEmpty())
        return states;
    int first = lines.first().date, last = first;
    for (const StatementLine &l : lines) {
        first = std::min(first, l.date);
        last = std::max(last, l.date);
    }
    const QHash<QString, int> imported = importedKeys(db, place);
    // A card's refunds are negative expenses: their items are learnt among the expense rules.
    const bool isCard = CardLedger::card(db, place).has_value();

    // Rows an import wrote are recognised by their keys, not by their amounts. A row id means a
    // row only within its own table: the stocktake an import wrote says nothing about S.
    QSet<qint64> importedN, importedS, importedI, importedZ;
    for (Cursor c = db.query(QStringLiteral("SELECT XL_table,XL_rowid,XL_before FROM X_import_line WHERE "
                                            "XL_hokan = ? AND XL_date BETWEEN ? AND ? AND XL_state <> ?"),
             {place, first, last, int(DeletedSince)});
         !c.eof(); c.next()) {
        if (c.text(0) == u"N")
            importedN.insert(c.value(1).toLongLong());
        else if (c.text(0) == u"S")
            importedS.insert(c.value(1).toLongLong());
        else if (c.text(0) == u"I")
            importedI.insert(c.value(1).toLongLong());
        else if (c.text(0) == DebitTable) {
            importedS.insert(c.value(1).toLongLong());
            importedZ.insert(c.value(2).toLongLong());
        }
    }

    // Postings of the place by day and signed amount, each matching one line at most.
    QHash<QPair<int, qint32>, int> postings;
    const auto load = [&](const QString &table, const QString &prefix, int sign, const QSet<qint64> &skip) {
        Cursor c = db.query(
            QStringLiteral(
                "SELECT rowid,%2_date,%2_money FROM %1 WHERE %2_hokan = ? AND %2_date BETWEEN ? AND ?")
                .arg(table, prefix),
            {place, first, last});
        for (; !c.eof(); c.next())
            if (!skip.contains(c.value(0).toLongLong()))
                ++postings[qMakePair(c.integer(1), qint32(sign * c.integer(2)))];
    };
    load(QStringLiteral("N"), QStringLiteral("N"), 1, importedN);
    load(QStringLiteral("S"), QStringLiteral("S"), -1, importedS);
    // A transfer typed by hand (cash drawn at an ATM, savings moved) is a line of the bank's
    // statement as well: imported again it would count twice.
    for (const auto &[column, sign] : {std::pair {"I_hokanmoto", -1}, std::pair {"I_hokansaki", 1}}) {
        Cursor c = db.query(
            QStringLiteral(
                "SELECT rowid,I_day,I_money FROM Idourireki_T WHERE %1 = ? AND I_day BETWEEN ? AND ?")
                .arg(QLatin1String(column)),
            {place, first, last});
        for (; !c.eof(); c.next())
            if (!importedI.contains(c.value(0).toLongLong()))
                ++postings[qMakePair(c.integer(1), qint32(sign * c.integer(2)))];
    }

    QHash<qint32, QList<QDate>> debits;
    const QDate from = dayOf(first).addDays(-3), to = dayOf(last).addDays(3);
    for (Cursor c
         = db.query(QStringLiteral("SELECT Z_beforeday,Z_money,rowid FROM Zidourireki_T WHERE Z_hokan = ?"
                                   " AND Z_beforeday BETWEEN ? AND ?"),
             {place, numberOf(from), numberOf(to)});
         !c.eof(); c.next())
        if (!importedZ.contains(c.value(2).toLongLong()))
            debits[c.integer(1)] << dayOf(c.integer(0));

    const QList<ImportRules::Rule> rules = ImportRules::rules(db, place);
    const RuleMatcher matcher(ImportRules::forMatcher(rules));

    // The bills of the cards this place pays that a line of the statement can pay (a payment is
    // made at most some days after its date), less those a transfer pays already.
    QList<CardLedger::Bill> bills = CardLedger::billsPaidFrom(db, place);
    bills.removeIf([&](const CardLedger::Bill &b) {
        if (b.paymentDate < numberOf(dayOf(first).addDays(-14)) || b.paymentDate > last)
            return true;
        const QDate due = dayOf(b.paymentDate);
        return scalar(db,
                   QStringLiteral(
                       "SELECT COUNT(*) FROM Idourireki_T WHERE I_hokanmoto = ? AND I_hokansaki = ?"
                       " AND I_money = ? AND I_day IN (?, ?)"),
                   {place, b.card, b.total, b.paymentDate,
                       numberOf(due.isValid() ? BankCalendar::nextBusinessDay(due) : due)})
            > 0;
    });

    for (int i = 0; i < lines.size(); ++i) {
        const StatementLine &l = lines.at(i);
        LineState &s = states[i];
        const RuleMatcher::Found found = matcher.find(
            l.amount > 0 && !isCard ? QStringLiteral("N") : QStringLiteral("S"), l.description);
        s.item = found.item;
        if (found.rule >= 0)
            s.rule = ImportRules::describe(rules.at(found.rule), found.sameShop);
        const auto record = imported.constFind(l.key);
        if (record != imported.cend()) {
            if (*record == AsImported) {
                s.state = State::Imported;
                s.heldOnItsDay = true;
                continue;
            }
            // Imported before, then deleted or changed in a correction: the ledger no longer
            // holds it as the statement has it. Offered again, for the user to decide.
            s.note = *record == DeletedSince ? QStringLiteral("取込後に削除された明細です")
                                             : QStringLiteral("取込後に金額か保管場所を修正した明細です");
        }
        const auto p = postings.find(qMakePair(l.date, l.amount));
        if (p != postings.end() && *p > 0) {
            --*p;
            s.state = State::Check;
            s.heldOnItsDay = true;
            continue;
        }
        if (l.amount < 0) {
            const QDate day = dayOf(l.date);
            for (const QDate &d : debits.value(-l.amount))
                if (qAbs(d.daysTo(day)) <= 3)
                    s.state = State::Check;
        }
        if (s.state == State::New)
            for (qsizetype b = 0; b < bills.size(); ++b)
                if (CardLedger::pays(bills.at(b), l.date, l.amount)) {
                    s.state = State::Matched;
                    s.item = transferTarget(true, bills.at(b).card);
                    bills.removeAt(b);
                    break;
                }
    }
    return states;
}

qint64 heldEarlierThatDay(const QList<StatementLine> &lines, const QList<LineState> &states, int index)
{
    qint64 held = 0;
    for (int i = index - 1; i >= 0 && lines.at(i).date == lines.at(index).date; --i)
        if (states.value(i).heldOnItsDay)
            held += lines.at(i).amount;
    return held;
}

QString yen(qint64 amount)
{
    return QStringLiteral("\\") + QString::number(amount);
}

std::optional<qint32> balanceAtStartOf(Database &db, const QString &place, int date)
{
    if (scalar(db, QStringLiteral("SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_hokan = ? AND K_day >= ?"),
            {place, date})
        > 0)
        return std::nullopt;
    const qint64 since = scalar(db,
        QStringLiteral(
            "SELECT (SELECT COALESCE(SUM(N_money),0) FROM N WHERE N_hokan = ? AND N_date >= ?)"
            " - (SELECT COALESCE(SUM(S_money),0) FROM S WHERE S_hokan = ? AND S_date >= ?)"
            " - (SELECT COALESCE(SUM(I_money),0) FROM Idourireki_T WHERE I_hokanmoto = ? AND I_day >= ?)"
            " + (SELECT COALESCE(SUM(I_money),0) FROM Idourireki_T WHERE I_hokansaki = ? AND I_day >= ?)"),
        {place, date, place, date, place, date, place, date});
    const qint64 before = qint64(balanceOf(db, place)) - since;
    if (before < INT32_MIN || before > INT32_MAX)
        return std::nullopt;
    return qint32(before);
}

QString transferTarget(bool withdrawal, const QString &otherPlace)
{
    return MasterChange::transferTarget(withdrawal, otherPlace);
}

QString transferPlace(bool withdrawal, const QString &target)
{
    const QString prefix = withdrawal ? QStringLiteral("→ ") : QStringLiteral("← ");
    return target.startsWith(prefix) ? target.mid(prefix.size()) : QString();
}

namespace {

// What a place holds as the lines are checked in order, and the lowest it may go (see Ledger).
struct Holder
{
    qint32 balance = 0;
    qint64 floor = 0;
};

} // namespace

std::optional<qint64> importLines(Database &db, const Batch &batch, QList<Line> lines, Refusal &refusal)
{
    refusal = {};
    std::stable_sort(
        lines.begin(), lines.end(), [](const Line &a, const Line &b) { return a.line.date < b.line.date; });
    const auto refuse = [&](const Line &l, const QString &why) {
        refusal.message = QString::number(l.line.lineNo) + QStringLiteral("行目 ")
            + QString::number(l.line.date) + u' ' + l.line.description + u' '
            + yen(qAbs(qint64(l.line.amount))) + QStringLiteral("\r\n") + why;
        return std::nullopt;
    };
    if (lines.isEmpty()) {
        refusal.message = QStringLiteral("取り込む明細がありません");
        return std::nullopt;
    }

    // Everything is checked before the first statement that writes.
    if (scalar(db, QStringLiteral("SELECT COUNT(*) FROM Hokan_T WHERE H_index = ?"), {batch.place}) == 0) {
        refusal.message = QStringLiteral("保管場所") + batch.place + QStringLiteral("がありません");
        return std::nullopt;
    }
    const QSet<QString> income = names(db, QStringLiteral("SELECT N_index FROM Nyuukin_T"));
    const QSet<QString> expense
        = names(db, QStringLiteral("SELECT S_index FROM Syukkin_T WHERE (Not S_kubun = '自動')"));
    const QSet<QString> debitItems
        = names(db, QStringLiteral("SELECT S_index FROM Syukkin_T where (S_kubun= '自動')"));
    const QSet<QString> places = names(db, QStringLiteral("SELECT H_index FROM Hokan_T"));
    const QHash<QString, int> imported = importedKeys(db, batch.place);
    const qint32 start = balanceOf(db, batch.place);
    // A stocktake sets the balance at the start of the first line's day: the balance now moves
    // by the difference it makes there.
    std::optional<qint32> replayed;
    if (batch.stocktakeTo) {
        replayed = balanceAtStartOf(db, batch.place, lines.first().line.date);
        if (!replayed)
            return refuse(lines.first(),
                batch.place + QStringLiteral("にこの日以後の金額棚卸があるため、金額棚卸はできません"));
    }
    const qint32 opening
        = batch.stocktakeTo ? Amount::add(start, Amount::sub(*batch.stocktakeTo, *replayed)) : start;
    // The places the lines touch, with what each holds as the lines are applied in order.
    QHash<QString, Holder> holders;
    const auto holder = [&](const QString &place) -> Holder & {
        auto it = holders.find(place);
        if (it == holders.end())
            it = holders.insert(place, Holder {balanceOf(db, place), Ledger::floorOf(db, place)});
        return *it;
    };
    holder(batch.place).balance = opening;
    // The day of each place's latest stocktake: a line dated before it is inside a count.
    QHash<QString, int> lastCount;
    qint64 total = 0;
    for (const Line &l : lines) {
        const bool withdrawal = l.line.amount < 0;
        if (!l.otherPlace.isEmpty()) {
            if (l.otherPlace == batch.place || !places.contains(l.otherPlace))
                return refuse(
                    l, QStringLiteral("移動先の保管場所") + l.otherPlace + QStringLiteral("がありません"));
        } else if (l.item.isEmpty()
            || !((withdrawal || batch.bill ? expense : income).contains(l.item)
                || (withdrawal && debitItems.contains(l.item)))) {
            return refuse(l, QStringLiteral("項目を選択して下さい"));
        }
        if (imported.value(l.line.key, -1) == AsImported)
            return refuse(l, QStringLiteral("この明細は取込済です"));
        // The statements that name a description (its rule, taking the batch back) are text:
        // a NUL would cut them short.
        if (hasControl(l.line.description) || hasControl(l.line.key))
            return refuse(l, QStringLiteral("内容に使えない文字があります"));
        const qint64 money = qAbs(qint64(l.line.amount));
        // The money leaves the place for a withdrawal, the other place for a transfer in.
        // A line dated before a stocktake of its place is inside that count: it moves no balance
        // of today and so meets no floor.
        const auto today = [&](const QString &place) {
            if (place.isEmpty())
                return false;
            auto last = lastCount.find(place);
            if (last == lastCount.end())
                last = lastCount.insert(place,
                    int(scalar(db,
                        QStringLiteral("SELECT COALESCE(MAX(K_day),0) FROM Ktanaorosi_T WHERE K_hokan = ?"),
                        {place})));
            return l.line.date >= *last;
        };
        const QString source = withdrawal ? batch.place : l.otherPlace;
        if (today(source)) {
            Holder &from = holder(source);
            const QString why = Ledger::withdrawalRefusal(source, from.balance, from.floor, money);
            if (!why.isEmpty())
                return refuse(l, why);
            from.balance = Amount::sub(from.balance, qint32(money));
        }
        const QString destination = withdrawal ? l.otherPlace : batch.place;
        if (today(destination))
            holder(destination).balance = Amount::add(holder(destination).balance, qint32(money));
        total += l.line.amount;
    }

    db.insert(QStringLiteral("X_import_batch"),
        {{QStringLiteral("XB_when"), batch.when}, {QStringLiteral("XB_file"), batch.file},
            {QStringLiteral("XB_preset"), batch.preset}, {QStringLiteral("XB_hokan"), batch.place},
            {QStringLiteral("XB_count"), int(lines.size())}, {QStringLiteral("XB_total"), total}});
    const qint64 no = lastRowId(db);
    PreparedStatements records(db);
    const auto record = [&](const QString &key, int date, qint64 money, const QString &memo,
                            const QString &item, const QString &table, qint64 rowid, qint64 before) {
        records.run("INSERT INTO X_import_line (XL_batch,XL_hokan,XL_key,XL_date,XL_money,XL_memo,XL_item,"
                    "XL_table,XL_rowid,XL_before) VALUES (?,?,?,?,?,?,?,?,?,?)",
            {no, batch.place, key, date, money, memo, item, table, rowid, before});
    };

    ImportWrites writes(db);
    if (batch.stocktakeTo) {
        // As the stocktake window writes it; dated the first line's day, so that the history
        // replays the count before the lines it precedes.
        const ImportWrites::Written w = writes.recount(
            {batch.place, *batch.stocktakeTo, QStringLiteral("明細取込"), lines.first().line.date}, *replayed,
            opening);
        record(QString(), lines.first().line.date, *batch.stocktakeTo, QStringLiteral("明細取込"), QString(),
            w.table, w.rowid, w.before);
    }

    ImportRules::Learner learner(db, batch.place);
    for (const Line &l : lines) {
        const bool in = l.line.amount > 0;
        // A card's refund or cancellation is a negative expense of its item: the category totals
        // count the purchase net.
        const bool refund = batch.bill && in;
        const QString p = in && !refund ? QStringLiteral("N") : QStringLiteral("S");
        const qint32 money = in ? l.line.amount : -l.line.amount;
        QString target = l.item;
        ImportWrites::Written w;
        if (!l.otherPlace.isEmpty()) {
            target = transferTarget(!in, l.otherPlace);
            w = writes.transfer(in ? l.otherPlace : batch.place, in ? batch.place : l.otherPlace, money,
                l.line.date, l.line.description);
        } else {
            const Ledger::Kind kind = in && !refund  ? Ledger::Kind::Income
                : !in && debitItems.contains(l.item) ? Ledger::Kind::Debit
                                                     : Ledger::Kind::Expense;
            w = writes.posting(
                kind, l.item, batch.place, refund ? -money : money, l.line.date, l.line.description);
        }
        record(
            l.line.key, l.line.date, l.line.amount, l.line.description, target, w.table, w.rowid, w.before);
        learner.learn(p, l.line.description, target);
    }
    writes.finish();
    if (batch.bill) {
        CardLedger::addBill(db, batch.place, batch.bill->paymentDate, batch.bill->total, no);
        turnPaymentsIntoTransfers(db, batch.place, *batch.bill, no);
    }
    // What existed when the batch was written: later rows of the place come after these.
    db.execute(QStringLiteral("UPDATE X_import_batch SET XB_nmax = (SELECT COALESCE(MAX(rowid),0) FROM N),"
                              " XB_smax = (SELECT COALESCE(MAX(rowid),0) FROM S),"
                              " XB_imax = (SELECT COALESCE(MAX(rowid),0) FROM Idourireki_T),"
                              " XB_kmax = (SELECT COALESCE(MAX(rowid),0) FROM Ktanaorosi_T) WHERE XB_no = ?"),
        {no});
    return no;
}

int turnPaymentsIntoTransfers(Database &db, const QString &card, const Bill &bill, qint64 batch)
{
    const std::optional<CardLedger::Card> c = CardLedger::card(db, card);
    if (!c || bill.total <= 0)
        return 0;
    const QDate due = dayOf(bill.paymentDate);
    const int next = due.isValid() ? numberOf(BankCalendar::nextBusinessDay(due)) : bill.paymentDate;
    struct Paid
    {
        qint64 line, row;
        int date;
        QString memo, item;
    };
    std::vector<Paid> paid;
    // The bank line an import booked as the expense, with its row still as written.
    for (Cursor r = db.query(QStringLiteral("SELECT X_import_line.rowid,XL_rowid,XL_date,XL_memo,XL_item "
                                            "FROM X_import_line INNER JOIN S ON S.rowid = XL_rowid AND "
                                            "S_money = ? AND S_date = XL_date AND S_hokan = XL_hokan "
                                            "WHERE XL_table = 'S' AND XL_state = ? AND XL_hokan = ? "
                                            "AND XL_money = ? AND XL_date IN (?, ?) LIMIT 1"),
             {bill.total, int(AsImported), c->payFrom, -bill.total, bill.paymentDate, next});
         !r.eof(); r.next())
        paid.push_back({r.integer64(0), r.integer64(1), r.integer(2), r.text(3), r.text(4)});
    ImportWrites writes(db);
    const QString target = transferTarget(true, card);
    for (const Paid &p : paid) {
        const qint64 transfer
            = writes.turnIntoTransfer(p.row, c->payFrom, card, qint32(bill.total), p.date, p.memo);
        // The expense's item is kept, for the card's batch to give back if it is taken back.
        db.execute(QStringLiteral("UPDATE X_import_line SET XL_table = 'I', XL_rowid = ?, XL_item = ?,"
                                  " XL_paid_by = ?, XL_paid_item = ? WHERE rowid = ?"),
            {transfer, target, batch, p.item, p.line});
        // The next month's payment is the transfer from the first.
        db.execute(QStringLiteral("UPDATE X_import_rule SET XR_item = ? WHERE XR_kind = 'S' AND XR_hokan = ?"
                                  " AND XR_key = ?"),
            {target, c->payFrom, StatementValues::normalise(p.memo)});
    }
    return int(paid.size());
}

QList<BatchInfo> batches(Database &db)
{
    QList<BatchInfo> list;
    for (Cursor c
         = db.query(QStringLiteral("SELECT XB_no,XB_when,XB_file,XB_preset,XB_hokan,XB_count,XB_total "
                                   "FROM X_import_batch ORDER BY XB_no DESC"),
             {});
         !c.eof(); c.next())
        list << BatchInfo {
            c.integer64(0), c.text(1), c.text(2), c.text(3), c.text(4), c.integer(5), c.integer64(6)};
    return list;
}

namespace {

struct BatchRow
{
    QString place;
    qint64 nmax = 0, smax = 0, imax = 0, kmax = 0;
};

std::optional<BatchRow> batchRow(Database &db, qint64 batch)
{
    Cursor c = db.query(QStringLiteral("SELECT XB_hokan,XB_nmax,XB_smax,XB_imax,XB_kmax FROM X_import_batch "
                                       "WHERE XB_no = ?"),
        {batch});
    if (c.eof())
        return std::nullopt;
    return BatchRow {c.text(0), c.integer64(1), c.integer64(2), c.integer64(3), c.integer64(4)};
}

} // namespace

Later laterThan(Database &db, qint64 batch)
{
    const std::optional<BatchRow> b = batchRow(db, batch);
    if (!b)
        return {};
    const QString &p = b->place;
    Later later;
    later.postings = int(
        scalar(db, QStringLiteral("SELECT COUNT(*) FROM N WHERE N_hokan = ? AND rowid > ?"), {p, b->nmax})
        + scalar(db, QStringLiteral("SELECT COUNT(*) FROM S WHERE S_hokan = ? AND rowid > ?"), {p, b->smax})
        + scalar(db,
            QStringLiteral("SELECT COUNT(*) FROM Idourireki_T WHERE (I_hokanmoto = ? OR I_hokansaki = ?)"
                           " AND rowid > ?"),
            {p, p, b->imax}));
    later.stocktakes = int(scalar(db,
        QStringLiteral("SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_hokan = ? AND rowid > ?"), {p, b->kmax}));
    return later;
}

bool undo(Database &db, qint64 batch, Refusal &refusal)
{
    refusal = {};
    const std::optional<BatchRow> b = batchRow(db, batch);
    if (!b) {
        refusal.message = QStringLiteral("この取込はすでに取り消されています");
        return false;
    }
    if (laterThan(db, batch).stocktakes > 0) {
        refusal.message = b->place + QStringLiteral("に取込後の金額棚卸があるため取り消せません");
        return false;
    }
    const auto missing = [&] {
        refusal.message = QStringLiteral("取り込んだ明細が見つからないため取り消せません");
        return false;
    };
    struct Row
    {
        QString table;
        qint64 rowid;
    };
    std::vector<Row> rows;
    // What the batch moved, taken back line by line at the lines' own dates, so that each
    // difference reaches where the line's money went (today's balance or a stocktake's count).
    // A line's record follows the corrections of its row: the row is taken back as it stands.
    QList<Ledger::Movement> back;
    for (Cursor c = db.query(QStringLiteral("SELECT XL_table,XL_rowid,XL_money,XL_date,XL_memo,XL_before "
                                            "FROM X_import_line WHERE XL_batch = ? AND XL_state <> ?"),
             {batch, int(DeletedSince)});
         !c.eof(); c.next()) {
        const QString table = c.text(0);
        const qint64 rowid = c.integer64(1);
        const qint64 money = c.integer64(2);
        const int date = c.integer(3);
        if (money < INT32_MIN || money > INT32_MAX)
            throw DbError(QStringLiteral("an imported amount leaves 32 bits"));
        const qint32 undone = Amount::sub(0, qint32(money));
        if (table == u"I") {
            Cursor t
                = db.query(QStringLiteral("SELECT I_hokanmoto,I_hokansaki FROM Idourireki_T WHERE rowid = ? "
                                          "AND I_money = ? AND I_day = ? AND I_memo = ?"),
                    {rowid, qAbs(money), date, c.text(4)});
            const bool out = money < 0;
            if (t.eof() || (out ? t.text(0) : t.text(1)) != b->place)
                return missing();
            back.append({b->place, undone, date});
            back.append({out ? t.text(1) : t.text(0), qint32(money), date});
            rows.push_back({QStringLiteral("Idourireki_T"), rowid});
        } else if (table == DebitTable) {
            // The expense row with the run's memo and its debit row, both as written.
            Cursor t = db.query(
                QStringLiteral("SELECT S_hokan FROM S WHERE rowid = ? AND S_money = ? AND S_date = ?"
                               " AND S_memo = ?"),
                {rowid, -money, date, DebitMemo});
            if (t.eof()
                || scalar(db,
                       QStringLiteral(
                           "SELECT COUNT(*) FROM Zidourireki_T WHERE rowid = ? AND Z_money = ? AND "
                           "Z_beforeday = ?"),
                       {c.integer64(5), -money, date})
                    != 1)
                return missing();
            back.append({t.text(0), undone, date});
            rows.push_back({QStringLiteral("S"), rowid});
            rows.push_back({QStringLiteral("Zidourireki_T"), c.integer64(5)});
        } else if (table == u"Ktanaorosi_T") {
            if (scalar(db,
                    QStringLiteral("SELECT COUNT(*) FROM Ktanaorosi_T WHERE rowid = ? AND K_amoney = ? AND "
                                   "K_bmoney = ?"),
                    {rowid, money, c.integer64(5)})
                != 1)
                return missing();
            back.append({b->place, Amount::sub(c.integer(5), qint32(money)), date});
            rows.push_back({table, rowid});
        } else {
            const bool in = table == u"N";
            const QString t = in ? QStringLiteral("N") : QStringLiteral("S");
            Cursor r = db.query(QStringLiteral("SELECT %1_hokan FROM %1 WHERE rowid = ? AND %1_money = ? AND "
                                               "%1_date = ? AND %1_memo = ?")
                                    .arg(t),
                {rowid, in ? money : -money, date, c.text(4)});
            if (r.eof())
                return missing();
            back.append({r.text(0), undone, date});
            rows.push_back({t, rowid});
        }
    }
    // A card's bill turned the bank's payments into transfers to the card: each goes back to
    // the expense it was, and the card's balance loses what the transfer gave it.
    struct Paid
    {
        qint64 line, transfer;
        QString bank, item, memo;
        qint32 money;
        int date;
    };
    std::vector<Paid> paid;
    for (Cursor c = db.query(QStringLiteral("SELECT X_import_line.rowid,XL_rowid,XL_hokan,XL_paid_item "
                                            "FROM X_import_line WHERE XL_paid_by = ? AND XL_table = 'I' "
                                            "AND XL_state <> ?"),
             {batch, int(DeletedSince)});
         !c.eof(); c.next()) {
        Cursor t
            = db.query(QStringLiteral("SELECT I_money,I_day,I_memo FROM Idourireki_T WHERE rowid = ? AND "
                                      "I_hokanmoto = ? AND I_hokansaki = ?"),
                {c.integer64(1), c.text(2), b->place});
        if (t.eof())
            return missing();
        paid.push_back(
            {c.integer64(0), c.integer64(1), c.text(2), c.text(3), t.text(2), t.integer(0), t.integer(1)});
        back.append({b->place, Amount::sub(0, t.integer(0)), t.integer(1)});
    }
    const Ledger::MovePlan plan = Ledger::plan(db, back);
    if (!plan.refusal.isEmpty()) {
        refusal.message = plan.refusal;
        return false;
    }
    ImportWrites writes(db);
    for (const Row &r : rows)
        writes.remove(r.table, r.rowid);
    Ledger(db).apply(plan);
    for (const Paid &p : paid) {
        const qint64 expense = writes.turnIntoExpense(p.transfer, p.bank, p.item, p.money, p.date, p.memo);
        db.execute(QStringLiteral("UPDATE X_import_line SET XL_table = 'S', XL_rowid = ?, XL_item = ?,"
                                  " XL_paid_by = NULL, XL_paid_item = NULL WHERE rowid = ?"),
            {expense, p.item, p.line});
        // The rule the bill gave the payment goes back to the item chosen for it, while it is one.
        db.execute(QStringLiteral("UPDATE X_import_rule SET XR_item = ? WHERE XR_kind = 'S' AND XR_hokan = ?"
                                  " AND XR_key = ? AND XR_item = ? AND EXISTS (SELECT 1 FROM Syukkin_T"
                                  " WHERE S_index = ?)"),
            {p.item, p.bank, StatementValues::normalise(p.memo), transferTarget(true, b->place), p.item});
    }
    if (tableExists(db, QStringLiteral("X_card_bill")))
        db.execute(QStringLiteral("DELETE FROM X_card_bill WHERE XCB_batch = ?"), {batch});
    db.execute(QStringLiteral("DELETE FROM X_import_line WHERE XL_batch = ?"), {batch});
    db.execute(QStringLiteral("DELETE FROM X_import_batch WHERE XB_no = ?"), {batch});
    return true;
}

QString rememberedPlace(Database &db, const QString &preset, const QString &account)
{
    // Only a place that still exists (an older copy of the program deletes places without
    // forgetting them here).
    Cursor c = db.query(QStringLiteral("SELECT XA_hokan FROM X_import_place INNER JOIN Hokan_T ON "
                                       "XA_hokan = H_index WHERE XA_preset = ? AND XA_account = ?"),
        {preset, account});
    return c.eof() ? QString() : c.text(0);
}

void rememberPlace(Database &db, const QString &preset, const QString &account, const QString &place)
{
    db.execute(QStringLiteral("INSERT OR REPLACE INTO X_import_place (XA_preset,XA_account,XA_hokan) VALUES "
                              "(?, ?, ?)"),
        {preset, account, place});
}

QList<Preset> userPresets(Database &db)
{
    QList<Preset> list;
    for (Cursor c = db.query(QStringLiteral("SELECT XP_json FROM X_import_preset ORDER BY XP_name"), {});
         !c.eof(); c.next()) {
        const Preset p = Preset::fromJson(c.text(0).toUtf8());
        if (!p.name.isEmpty())
            list << p;
    }
    return list;
}

void saveUserPreset(Database &db, const Preset &preset)
{
    db.execute(QStringLiteral("INSERT OR REPLACE INTO X_import_preset (XP_name,XP_json) VALUES (?, ?)"),
        {preset.name, QString::fromUtf8(preset.toJson())});
}

} // namespace ImportLedger
