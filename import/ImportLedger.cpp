// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportLedger.h"

#include "Amount.h"
#include "BankCalendar.h"
#include "CardLedger.h"
#include "Database.h"
#include "ImportRules.h"
#include "Ledger.h"
#include "MasterChange.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace ImportLedger {

namespace {

QString quoted(const QString &text)
{
    return QStringLiteral("'") + Database::escape(text) + QStringLiteral("'");
}

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
    Cursor c = db.query(QStringLiteral("SELECT last_insert_rowid()"));
    return c.value(0).toLongLong();
}

qint64 scalar(Database &db, const QString &sql)
{
    Cursor c = db.query(sql);
    return c.eof() ? 0 : c.value(0).toLongLong();
}

QSet<QString> importedKeys(Database &db, const QString &place)
{
    QSet<QString> keys;
    Cursor c = db.query(QStringLiteral("SELECT XL_key FROM X_import_line WHERE XL_hokan = ") + quoted(place));
    for (; !c.eof(); c.next())
        keys.insert(c.text(0));
    return keys;
}

qint32 balanceOf(Database &db, const QString &place)
{
    const Cursor c = db.query(QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index = ")
        + quoted(place) + QStringLiteral(")"));
    if (c.eof())
        throw DbError(QStringLiteral("no storage place %1").arg(place));
    return c.integer(QStringLiteral("H_money"));
}

bool tableExists(Database &db, const QString &table)
{
    return scalar(db,
               QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = ")
                   + quoted(table))
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
    for (Cursor c = db.query(sql); !c.eof(); c.next())
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
    const QSet<QString> imported = importedKeys(db, place);
    // A card's refunds are negative expenses: their items are learnt among the expense rules.
    const bool isCard = CardLedger::card(db, place).has_value();

    // Rows an import wrote are recognised by their keys, not by their amounts. A row id means a
    // row only within its own table: the stocktake an import wrote says nothing about S.
    QSet<qint64> importedN, importedS, importedI, importedZ;
    for (Cursor c
         = db.query(QStringLiteral("SELECT XL_table,XL_rowid,XL_before FROM X_import_line WHERE XL_hokan = ")
             + quoted(place) + QStringLiteral(" AND XL_date BETWEEN %1 AND %2").arg(first).arg(last));
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
            QStringLiteral("SELECT rowid,%2_date,%2_money FROM %1 WHERE %2_hokan = ").arg(table, prefix)
            + quoted(place)
            + QStringLiteral(" AND %1_date BETWEEN %2 AND %3").arg(prefix).arg(first).arg(last));
        for (; !c.eof(); c.next())
            if (!skip.contains(c.value(0).toLongLong()))
                ++postings[qMakePair(c.integer(1), qint32(sign * c.integer(2)))];
    };
    load(QStringLiteral("N"), QStringLiteral("N"), 1, importedN);
    load(QStringLiteral("S"), QStringLiteral("S"), -1, importedS);
    // A transfer typed by hand (cash drawn at an ATM, savings moved) is a line of the bank's
    // statement as well: imported again it would count twice.
    for (const auto &[column, sign] : {std::pair {"I_hokanmoto", -1}, std::pair {"I_hokansaki", 1}}) {
        Cursor c = db.query(QStringLiteral("SELECT rowid,I_day,I_money FROM Idourireki_T WHERE %1 = ")
                                .arg(QLatin1String(column))
            + quoted(place) + QStringLiteral(" AND I_day BETWEEN %1 AND %2").arg(first).arg(last));
        for (; !c.eof(); c.next())
            if (!importedI.contains(c.value(0).toLongLong()))
                ++postings[qMakePair(c.integer(1), qint32(sign * c.integer(2)))];
    }

    QHash<qint32, QList<QDate>> debits;
    const QDate from = dayOf(first).addDays(-3), to = dayOf(last).addDays(3);
    for (Cursor c
         = db.query(QStringLiteral("SELECT Z_beforeday,Z_money,rowid FROM Zidourireki_T WHERE Z_hokan = ")
             + quoted(place)
             + QStringLiteral(" AND Z_beforeday BETWEEN %1 AND %2").arg(numberOf(from)).arg(numberOf(to)));
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
                   QStringLiteral("SELECT COUNT(*) FROM Idourireki_T WHERE I_hokanmoto = ") + quoted(place)
                       + QStringLiteral(" AND I_hokansaki = ") + quoted(b.card)
                       + QStringLiteral(" AND I_money = %1 AND I_day IN (%2, %3)")
                             .arg(b.total)
                             .arg(b.paymentDate)
                             .arg(numberOf(due.isValid() ? BankCalendar::nextBusinessDay(due) : due)))
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
        if (imported.contains(l.key)) {
            s.state = State::Imported;
            s.heldOnItsDay = true;
            continue;
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
    const QString p = quoted(place);
    const QString d = QString::number(date);
    if (scalar(db,
            QStringLiteral("SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_hokan = ") + p
                + QStringLiteral(" AND K_day >= ") + d)
        > 0)
        return std::nullopt;
    const qint64 since = scalar(db,
        QStringLiteral(
            "SELECT (SELECT COALESCE(SUM(N_money),0) FROM N WHERE N_hokan = %1 AND N_date >= %2)"
            " - (SELECT COALESCE(SUM(S_money),0) FROM S WHERE S_hokan = %1 AND S_date >= %2)"
            " - (SELECT COALESCE(SUM(I_money),0) FROM Idourireki_T WHERE I_hokanmoto = %1 AND I_day >= %2)"
            " + (SELECT COALESCE(SUM(I_money),0) FROM Idourireki_T WHERE I_hokansaki = %1 AND I_day >= %2)")
            .arg(p, d));
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

void writeTransfer(
    Database &db, const QString &from, const QString &to, qint32 money, int date, const QString &memo)
{
    // As the transfer window writes it: both balances, then the history row.
    if (!Ledger(db).move({{from, Amount::sub(0, money), date}, {to, money, date}}).done())
        throw DbError(QStringLiteral("a transfer checked before refused when written"));
    db.insert(QStringLiteral("Idourireki_T"),
        {{QStringLiteral("I_hokanmoto"), from}, {QStringLiteral("I_hokansaki"), to},
            {QStringLiteral("I_money"), money}, {QStringLiteral("I_day"), date},
            {QStringLiteral("I_memo"), memo}});
}

// As the automatic-debit run writes a debit, after the balance: its Zidourireki_T row, then its
// expense row with the run's memo. The row ids of the expense row and the debit row.
std::pair<qint64, qint64> writeDebit(
    Database &db, const QString &place, const QString &item, qint32 money, int date)
{
    db.insert(QStringLiteral("Zidourireki_T"),
        {{QStringLiteral("Z_index"), item}, {QStringLiteral("Z_hokan"), place},
            {QStringLiteral("Z_money"), money}, {QStringLiteral("Z_beforeday"), date}});
    const qint64 debitRow = lastRowId(db);
    db.insert(QStringLiteral("S"),
        {{QStringLiteral("S_index"), item}, {QStringLiteral("S_hokan"), place},
            {QStringLiteral("S_money"), money}, {QStringLiteral("S_date"), date},
            {QStringLiteral("S_memo"), DebitMemo}});
    return {lastRowId(db), debitRow};
}

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
    if (scalar(db, QStringLiteral("SELECT COUNT(*) FROM Hokan_T WHERE H_index = ") + quoted(batch.place))
        == 0) {
        refusal.message = QStringLiteral("保管場所") + batch.place + QStringLiteral("がありません");
        return std::nullopt;
    }
    const QSet<QString> income = names(db, QStringLiteral("SELECT N_index FROM Nyuukin_T"));
    const QSet<QString> expense
        = names(db, QStringLiteral("SELECT S_index FROM Syukkin_T WHERE (Not S_kubun = '自動')"));
    const QSet<QString> debitItems
        = names(db, QStringLiteral("SELECT S_index FROM Syukkin_T where (S_kubun= '自動')"));
    const QSet<QString> places = names(db, QStringLiteral("SELECT H_index FROM Hokan_T"));
    const QSet<QString> imported = importedKeys(db, batch.place);
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
        if (imported.contains(l.line.key))
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
            return !place.isEmpty() && Ledger::countingStocktake(db, place, l.line.date).rowid == 0;
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
    const auto record = [&](const QString &key, int date, qint64 money, const QString &memo,
                            const QString &item, const QString &table, qint64 rowid, qint64 before) {
        db.insert(QStringLiteral("X_import_line"),
            {{QStringLiteral("XL_batch"), no}, {QStringLiteral("XL_hokan"), batch.place},
                {QStringLiteral("XL_key"), key}, {QStringLiteral("XL_date"), date},
                {QStringLiteral("XL_money"), money}, {QStringLiteral("XL_memo"), memo},
                {QStringLiteral("XL_item"), item}, {QStringLiteral("XL_table"), table},
                {QStringLiteral("XL_rowid"), rowid}, {QStringLiteral("XL_before"), before}});
    };

    const QString place = quoted(batch.place);
    if (batch.stocktakeTo) {
        // As the stocktake window writes it; dated the first line's day, so that the history
        // replays the count before the lines it precedes.
        Ledger(db).recount(
            {batch.place, *batch.stocktakeTo, QStringLiteral("明細取込"), lines.first().line.date}, *replayed,
            opening);
        record(QString(), lines.first().line.date, *batch.stocktakeTo, QStringLiteral("明細取込"), QString(),
            QStringLiteral("Ktanaorosi_T"), lastRowId(db), *replayed);
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
        if (!l.otherPlace.isEmpty()) {
            target = transferTarget(!in, l.otherPlace);
            writeTransfer(db, in ? l.otherPlace : batch.place, in ? batch.place : l.otherPlace, money,
                l.line.date, l.line.description);
            record(l.line.key, l.line.date, l.line.amount, l.line.description, target, QStringLiteral("I"),
                lastRowId(db), 0);
        } else {
            // The balance update and the row of the posting window, in its order.
            if (!Ledger(db).move({{batch.place, in ? money : Amount::sub(0, money), l.line.date}}).done())
                throw DbError(QStringLiteral("a line checked before refused when written"));
            if (!in && debitItems.contains(l.item)) {
                const auto [expenseRow, debitRow] = writeDebit(db, batch.place, l.item, money, l.line.date);
                record(l.line.key, l.line.date, l.line.amount, l.line.description, l.item, DebitTable,
                    expenseRow, debitRow);
                learner.learn(p, l.line.description, target);
                continue;
            }
            db.insert(p,
                {{p + QStringLiteral("_index"), l.item}, {p + QStringLiteral("_hokan"), batch.place},
                    {p + QStringLiteral("_money"), refund ? -money : money},
                    {p + QStringLiteral("_date"), l.line.date},
                    {p + QStringLiteral("_memo"), l.line.description}});
            record(l.line.key, l.line.date, l.line.amount, l.line.description, l.item, p, lastRowId(db), 0);
        }
        learner.learn(p, l.line.description, target);
    }
    if (batch.bill) {
        CardLedger::addBill(db, batch.place, batch.bill->paymentDate, batch.bill->total, no);
        turnPaymentsIntoTransfers(db, batch.place, *batch.bill);
    }
    // What existed when the batch was written: later rows of the place come after these.
    db.execute(QStringLiteral("UPDATE X_import_batch SET XB_nmax = (SELECT COALESCE(MAX(rowid),0) FROM N),"
                              " XB_smax = (SELECT COALESCE(MAX(rowid),0) FROM S),"
                              " XB_imax = (SELECT COALESCE(MAX(rowid),0) FROM Idourireki_T),"
                              " XB_kmax = (SELECT COALESCE(MAX(rowid),0) FROM Ktanaorosi_T) WHERE XB_no = ")
        + QString::number(no));
    return no;
}

int turnPaymentsIntoTransfers(Database &db, const QString &card, const Bill &bill)
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
        QString memo;
    };
    std::vector<Paid> paid;
    // The bank line an import booked as the expense, with its row still as written.
    for (Cursor r
         = db.query(QStringLiteral("SELECT X_import_line.rowid,XL_rowid,XL_date,XL_memo FROM X_import_line "
                                   "INNER JOIN S ON S.rowid = XL_rowid AND S_money = %1 AND S_date = XL_date "
                                   "AND S_hokan = XL_hokan WHERE XL_table = 'S' AND XL_hokan = ")
                        .arg(bill.total)
             + quoted(c->payFrom)
             + QStringLiteral(" AND XL_money = %1 AND XL_date IN (%2, %3) LIMIT 1")
                   .arg(-bill.total)
                   .arg(bill.paymentDate)
                   .arg(next));
         !r.eof(); r.next())
        paid.push_back({r.integer64(0), r.integer64(1), r.integer(2), r.text(3)});
    for (const Paid &p : paid) {
        // The bank's balance already went down by the expense; only the card's goes up.
        db.execute(QStringLiteral("DELETE FROM S WHERE rowid = ") + QString::number(p.row));
        Ledger(db).move({{card, qint32(bill.total), p.date}});
        db.insert(QStringLiteral("Idourireki_T"),
            {{QStringLiteral("I_hokanmoto"), c->payFrom}, {QStringLiteral("I_hokansaki"), card},
                {QStringLiteral("I_money"), bill.total}, {QStringLiteral("I_day"), p.date},
                {QStringLiteral("I_memo"), p.memo}});
        db.execute(QStringLiteral("UPDATE X_import_line SET XL_table = 'I', XL_rowid = ")
            + QString::number(lastRowId(db)) + QStringLiteral(", XL_item = ")
            + quoted(transferTarget(true, card)) + QStringLiteral(" WHERE rowid = ")
            + QString::number(p.line));
        // The next month's payment is the transfer from the first.
        db.execute(QStringLiteral("UPDATE X_import_rule SET XR_item = ") + quoted(transferTarget(true, card))
            + QStringLiteral(" WHERE XR_kind = 'S' AND XR_hokan = ") + quoted(c->payFrom)
            + QStringLiteral(" AND XR_key = ") + quoted(StatementValues::normalise(p.memo)));
    }
    return int(paid.size());
}

QList<BatchInfo> batches(Database &db)
{
    QList<BatchInfo> list;
    for (Cursor c
         = db.query(QStringLiteral("SELECT XB_no,XB_when,XB_file,XB_preset,XB_hokan,XB_count,XB_total "
                                   "FROM X_import_batch ORDER BY XB_no DESC"));
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
                                       "WHERE XB_no = ")
        + QString::number(batch));
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
    const QString p = quoted(b->place);
    const auto after = [](qint64 rowid) { return QStringLiteral(" AND rowid > ") + QString::number(rowid); };
    Later later;
    later.postings
        = int(scalar(db, QStringLiteral("SELECT COUNT(*) FROM N WHERE N_hokan = ") + p + after(b->nmax))
            + scalar(db, QStringLiteral("SELECT COUNT(*) FROM S WHERE S_hokan = ") + p + after(b->smax))
            + scalar(db,
                QStringLiteral("SELECT COUNT(*) FROM Idourireki_T WHERE (I_hokanmoto = ") + p
                    + QStringLiteral(" OR I_hokansaki = ") + p + u')' + after(b->imax)));
    later.stocktakes = int(scalar(
        db, QStringLiteral("SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_hokan = ") + p + after(b->kmax)));
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
    struct Row
    {
        QString table;
        qint64 rowid;
    };
    std::vector<Row> rows;
    // What the batch moved, taken back line by line at the lines' own dates, so that each
    // difference reaches where the line's money went (today's balance or a stocktake's count).
    QList<Ledger::Movement> back;
    for (Cursor c = db.query(QStringLiteral("SELECT XL_table,XL_rowid,XL_money,XL_date,XL_memo,XL_before "
                                            "FROM X_import_line WHERE XL_batch = ")
             + QString::number(batch));
         !c.eof(); c.next()) {
        const QString table = c.text(0);
        const qint64 rowid = c.integer64(1);
        const qint64 money = c.integer64(2);
        if (money < INT32_MIN || money > INT32_MAX)
            throw DbError(QStringLiteral("an imported amount leaves 32 bits"));
        QString check;
        QString rowTable = table;
        if (table == u"I") {
            rowTable = QStringLiteral("Idourireki_T");
            Cursor t
                = db.query(QStringLiteral("SELECT I_hokanmoto,I_hokansaki FROM Idourireki_T WHERE rowid = %1 "
                                          "AND I_money = %2 AND I_day = %3 AND I_memo = ")
                               .arg(rowid)
                               .arg(qAbs(money))
                               .arg(c.integer(3))
                    + quoted(c.text(4)));
            const bool out = money < 0;
            if (t.eof() || (out ? t.text(0) : t.text(1)) != b->place) {
                refusal.message = QStringLiteral("取り込んだ明細が見つからないため取り消せません");
                return false;
            }
            back.append({b->place, Amount::sub(0, qint32(money)), c.integer(3)});
            back.append({out ? t.text(1) : t.text(0), qint32(money), c.integer(3)});
            rows.push_back({rowTable, rowid});
            continue;
        }
        if (table == DebitTable) {
            // The expense row with the run's memo and its debit row, both as written.
            check = QStringLiteral(
                "SELECT (SELECT COUNT(*) FROM S WHERE rowid = %1 AND S_money = %2 AND S_date = %3 "
                "AND S_memo = %4) + (SELECT COUNT(*) FROM Zidourireki_T WHERE rowid = %5 AND "
                "Z_money = %2 AND Z_beforeday = %3)")
                        .arg(rowid)
                        .arg(-money)
                        .arg(c.integer(3))
                        .arg(quoted(DebitMemo))
                        .arg(c.integer64(5));
            if (scalar(db, check) != 2) {
                refusal.message = QStringLiteral("取り込んだ明細が見つからないため取り消せません");
                return false;
            }
            back.append({b->place, Amount::sub(0, qint32(money)), c.integer(3)});
            rows.push_back({QStringLiteral("S"), rowid});
            rows.push_back({QStringLiteral("Zidourireki_T"), c.integer64(5)});
            continue;
        }
        if (table == u"Ktanaorosi_T") {
            check = QStringLiteral(
                "SELECT COUNT(*) FROM Ktanaorosi_T WHERE rowid = %1 AND K_amoney = %2 AND K_bmoney = %3")
                        .arg(rowid)
                        .arg(money)
                        .arg(c.integer64(5));
            back.append({b->place, Amount::sub(c.integer(5), qint32(money)), c.integer(3)});
        } else {
            const bool in = table == u"N";
            rowTable = in ? QStringLiteral("N") : QStringLiteral("S");
            check = QStringLiteral(
                        "SELECT COUNT(*) FROM %1 WHERE rowid = %2 AND %1_money = %3 AND %1_date = %4 AND "
                        "%1_memo = ")
                        .arg(in ? QStringLiteral("N") : QStringLiteral("S"))
                        .arg(rowid)
                        .arg(in ? money : -money)
                        .arg(c.integer(3))
                + quoted(c.text(4));
            back.append({b->place, Amount::sub(0, qint32(money)), c.integer(3)});
        }
        if (scalar(db, check) != 1) {
            refusal.message = QStringLiteral("取り込んだ明細が見つからないため取り消せません");
            return false;
        }
        rows.push_back({rowTable, rowid});
    }
    Ledger ledger(db);
    const Ledger::MovePlan plan = Ledger::plan(db, back);
    if (!plan.refusal.isEmpty()) {
        refusal.message = plan.refusal;
        return false;
    }
    for (const Row &r : rows)
        db.execute(QStringLiteral("DELETE FROM %1 WHERE rowid = %2").arg(r.table).arg(r.rowid));
    ledger.apply(plan);
    if (tableExists(db, QStringLiteral("X_card_bill")))
        db.execute(QStringLiteral("DELETE FROM X_card_bill WHERE XCB_batch = ") + QString::number(batch));
    db.execute(QStringLiteral("DELETE FROM X_import_line WHERE XL_batch = ") + QString::number(batch));
    db.execute(QStringLiteral("DELETE FROM X_import_batch WHERE XB_no = ") + QString::number(batch));
    return true;
}

QString rememberedPlace(Database &db, const QString &preset, const QString &account)
{
    // Only a place that still exists (an older copy of the program deletes places without
    // forgetting them here).
    Cursor c = db.query(QStringLiteral("SELECT XA_hokan FROM X_import_place INNER JOIN Hokan_T ON "
                                       "XA_hokan = H_index WHERE XA_preset = ")
        + quoted(preset) + QStringLiteral(" AND XA_account = ") + quoted(account));
    return c.eof() ? QString() : c.text(0);
}

void rememberPlace(Database &db, const QString &preset, const QString &account, const QString &place)
{
    db.execute(
        QStringLiteral("INSERT OR REPLACE INTO X_import_place (XA_preset,XA_account,XA_hokan) VALUES (")
        + quoted(preset) + u',' + quoted(account) + u',' + quoted(place) + u')');
}

QList<Preset> userPresets(Database &db)
{
    QList<Preset> list;
    for (Cursor c = db.query(QStringLiteral("SELECT XP_json FROM X_import_preset ORDER BY XP_name"));
         !c.eof(); c.next()) {
        const Preset p = Preset::fromJson(c.text(0).toUtf8());
        if (!p.name.isEmpty())
            list << p;
    }
    return list;
}

void saveUserPreset(Database &db, const Preset &preset)
{
    db.execute(QStringLiteral("INSERT OR REPLACE INTO X_import_preset (XP_name,XP_json) VALUES (")
        + quoted(preset.name) + u',' + quoted(QString::fromUtf8(preset.toJson())) + u')');
}

} // namespace ImportLedger
