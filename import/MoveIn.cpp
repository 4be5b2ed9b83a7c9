// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoveIn.h"

#include "CardLedger.h"
#include "Database.h"
#include "ImportLedger.h"
#include "MoveInWriter.h"
#include "StatementParser.h"
#include "StatementValues.h"

#include <QSet>
#include <QStringDecoder>
#include <algorithm>

using namespace StatementValues;

namespace MoveIn {

QString layoutName(Layout layout)
{
    switch (layout) {
    case Layout::History:
        return QStringLiteral("マネーフォワード ME 入出金履歴");
    case Layout::Zaim:
        return QStringLiteral("Zaim");
    case Layout::Sheet:
        return QStringLiteral("表計算の CSV");
    case Layout::Unknown:
        break;
    }
    return QString();
}

namespace {

const QString Unsorted = QStringLiteral("未分類");
const QString Cash = QStringLiteral("現金");

// The lines of a file that hold text outside ASCII: each decodes strictly as UTF-8 or not. A
// file with both kinds was put together from files in two encodings: either reading garbles
// some of its names.
bool mixedEncoding(const QByteArray &bytes)
{
    bool utf8 = false, other = false;
    for (const QByteArray &line : bytes.split('\n')) {
        if (std::all_of(line.begin(), line.end(), [](char c) { return uchar(c) < 0x80; }))
            continue;
        QStringDecoder strict(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString text = strict.decode(line.startsWith("\xEF\xBB\xBF") ? line.mid(3) : line);
        (strict.hasError() ? other : utf8) = true;
        if (utf8 && other)
            return true;
    }
    return false;
}

// The file's records: a quoted field may hold a line break, which joins the lines it spans.
struct Record
{
    int lineNo = 0;
    QString text;
};
QList<Record> records(const QStringList &lines)
{
    QList<Record> out;
    bool open = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &l = lines.at(i);
        if (open)
            out.last().text += u'\n' + l;
        else
            out.append({i + 1, l});
        if (l.count(u'"') % 2 == 1)
            open = !open;
    }
    return out;
}

const QStringList HistoryHeading = {QStringLiteral("計算対象"), QStringLiteral("日付"),
    QStringLiteral("内容"), QStringLiteral("金額（円）"), QStringLiteral("保有金融機関"),
    QStringLiteral("大項目"), QStringLiteral("中項目"), QStringLiteral("メモ"), QStringLiteral("振替")};
const QStringList ZaimHeading = {QStringLiteral("日付"), QStringLiteral("方法"), QStringLiteral("カテゴリ"),
    QStringLiteral("カテゴリの内訳"), QStringLiteral("支払元"), QStringLiteral("入金先"),
    QStringLiteral("品目"), QStringLiteral("メモ"), QStringLiteral("お店"), QStringLiteral("収入"),
    QStringLiteral("支出"), QStringLiteral("振替")};

// The heading's columns by name when the line holds every one of `needed`.
std::optional<QHash<QString, int>> headingOf(const QString &line, const QStringList &needed)
{
    const QStringList f = fields(line, u',');
    QHash<QString, int> at;
    for (int i = 0; i < f.size(); ++i)
        if (!at.contains(f.at(i)))
            at.insert(f.at(i), i);
    for (const QString &n : needed)
        if (!at.contains(n))
            return std::nullopt;
    return at;
}

constexpr int HeadingSearch = 10; // lines a heading may stand below the top

struct Found
{
    Layout layout = Layout::Unknown;
    int heading = -1;
    QHash<QString, int> columns;
};

Found detect(const QList<Record> &recs, const std::optional<Preset> &sheet, const QStringList &lines)
{
    for (int i = 0; i < std::min<int>(recs.size(), HeadingSearch); ++i) {
        if (auto h = headingOf(recs.at(i).text, HistoryHeading))
            return {Layout::History, i, *h};
        if (auto h = headingOf(recs.at(i).text, ZaimHeading))
            return {Layout::Zaim, i, *h};
    }
    if (sheet)
        if (const auto at = StatementParser::findHeading(*sheet, lines))
            return {Layout::Sheet, *at, {}};
    return {};
}

QString joined(const QStringList &parts)
{
    QStringList kept;
    for (const QString &p : parts)
        if (!p.isEmpty() && p != u"-" && !kept.contains(p))
            kept << p;
    return kept.join(u' ');
}

// What makes a line of a layout without ids recognisable: its contents and its place among the
// identical lines of its file.
QString contentKey(const Row &r, QHash<QString, int> &seen)
{
    const QString base = QString::number(r.date) + u'|' + r.place + u'|' + r.otherPlace + u'|'
        + QString::number(r.amount) + u'|' + normalise(r.category + u'|' + r.item + u'|' + r.memo);
    return base + u'#' + QString::number(seen[base]++);
}

class Reader
{
public:
    Reader(const QDate &today, Reading &out)
        : m_today(today.year() * 10000 + today.month() * 100 + today.day())
        , m_out(out)
    { }

    void bad(int file, const Record &r, const QString &why)
    {
        m_out.bad.append({file, r.lineNo, excerpt(r.text), why});
    }

    // The date and amount of a line, or a bad line.
    std::optional<int> dateOf(int file, const Record &r, const QString &text)
    {
        const auto d = date(text);
        if (!d || d->year == 0) {
            bad(file, r, QStringLiteral("日付が読めません"));
            return std::nullopt;
        }
        if (d->yyyymmdd() < 19000101) {
            bad(file, r, QStringLiteral("1900年より前の日付です"));
            return std::nullopt;
        }
        if (d->yyyymmdd() > m_today) {
            bad(file, r, QStringLiteral("今日より後の日付です"));
            return std::nullopt;
        }
        return d->yyyymmdd();
    }
    std::optional<qint32> amountOf(int file, const Record &r, const QString &text)
    {
        const auto a = amount(text);
        if (!a) {
            bad(file, r,
                QStringLiteral("金額が読めないか、記録できる範囲（2147483647円まで）を超えています"));
            return std::nullopt;
        }
        if (a->empty || a->value == 0) {
            bad(file, r, QStringLiteral("金額がありません"));
            return std::nullopt;
        }
        return a->value;
    }

    // A row of the line `r` with its date and amount read, or nothing when either cannot be
    // read (the line is then listed as unreadable).
    std::optional<Row> rowAt(int file, const Record &r, const QString &date, const QString &amount)
    {
        const auto d = dateOf(file, r, date);
        if (!d)
            return std::nullopt;
        const auto a = amountOf(file, r, amount);
        if (!a)
            return std::nullopt;
        Row row;
        row.file = file;
        row.lineNo = r.lineNo;
        row.date = *d;
        row.amount = *a;
        return row;
    }

    // Each non-blank data line below the heading, split into its fields; a line with fewer
    // than `needed` fields is listed as unreadable and passed over.
    template <typename Each>
    void eachLine(int file, const QList<Record> &recs, int heading, int needed, Each each)
    {
        for (int i = heading + 1; i < recs.size(); ++i) {
            const Record &r = recs.at(i);
            if (r.text.trimmed().isEmpty())
                continue;
            const QStringList f = fields(r.text, u',');
            if (f.size() < needed) {
                bad(file, r, QStringLiteral("列が足りません"));
                continue;
            }
            each(r, f);
        }
    }

    // A row read twice (the same month in two files) is taken once. Control characters (the
    // line break of a memo) become blanks: the ledger's names and memos are one line.
    void add(Row row, const QString &id)
    {
        for (QString *text : {&row.place, &row.otherPlace, &row.category, &row.item, &row.memo}) {
            for (QChar &c : *text)
                if (c.category() == QChar::Other_Control)
                    c = u' ';
            *text = text->simplified();
        }
        if (!id.isEmpty()) {
            if (m_ids.contains(id))
                return;
            m_ids.insert(id);
            row.ids << id;
        }
        m_out.rows.append(row);
    }

    int m_today;
    Reading &m_out;
    QSet<QString> m_ids;
};

void readHistory(Reader &reader, int file, const QList<Record> &recs, const Found &found)
{
    const auto col = [&](const char *name) { return found.columns.value(QString::fromUtf8(name), -1); };
    const int counted = col("計算対象"), day = col("日付"), text = col("内容"), money = col("金額（円）"),
              place = col("保有金融機関"), large = col("大項目"), middle = col("中項目"), memo = col("メモ"),
              transfer = col("振替"), id = col("ID");
    const int needed = std::max({counted, day, text, money, place, large, middle, memo, transfer, id}) + 1;
    QHash<QString, int> seen;
    reader.eachLine(file, recs, found.heading, needed, [&](const Record &r, const QStringList &f) {
        auto read = reader.rowAt(file, r, f.at(day), f.at(money));
        if (!read)
            return;
        Row &row = *read;
        row.place = f.at(place);
        if (row.place.isEmpty()) {
            reader.bad(file, r, QStringLiteral("保有金融機関がありません"));
            return;
        }
        row.transfer = f.at(transfer) == u"1";
        if (!row.transfer) {
            row.category = f.at(large).isEmpty() ? Unsorted : f.at(large);
            row.item = f.at(middle).isEmpty() ? Unsorted : f.at(middle);
        }
        row.memo = joined({f.at(text), f.at(memo)});
        row.counted = f.at(counted) != u"0";
        const QString key = id >= 0 && !f.at(id).isEmpty() ? f.at(id) : contentKey(row, seen);
        reader.add(row, key);
    });
}

void readZaim(Reader &reader, int file, const QList<Record> &recs, const Found &found)
{
    const auto col = [&](const char *name) { return found.columns.value(QString::fromUtf8(name), -1); };
    const int day = col("日付"), how = col("方法"), category = col("カテゴリ"), item = col("カテゴリの内訳"),
              from = col("支払元"), to = col("入金先"), goods = col("品目"), memo = col("メモ"),
              shop = col("お店"), income = col("収入"), expense = col("支出"), transfer = col("振替"),
              counted = col("集計の設定");
    const int needed
        = std::max({day, how, category, item, from, to, goods, memo, shop, income, expense, transfer}) + 1;
    QHash<QString, int> seen;
    const auto clean = [](const QString &v) { return v == u"-" ? QString() : v; };
    reader.eachLine(file, recs, found.heading, needed, [&](const Record &r, const QStringList &f) {
        const QString kind = f.at(how);
        const bool isIncome = kind == u"income" || kind == u"収入";
        const bool isExpense = kind == u"payment" || kind == u"支出" || kind == u"支払";
        const bool isTransfer = kind == u"transfer" || kind == u"振替";
        if (kind == u"balance" || kind == u"残高調整") {
            reader.bad(file, r, QStringLiteral("残高調整の行は移行しません（残高は移行の最後に合わせます）"));
            return;
        }
        if (!isIncome && !isExpense && !isTransfer) {
            reader.bad(file, r, QStringLiteral("方法が収入・支出・振替のどれでもありません"));
            return;
        }
        auto read = reader.rowAt(file, r, f.at(day),
            f.at(isIncome       ? income
                    : isExpense ? expense
                                : transfer));
        if (!read)
            return;
        Row &row = *read;
        row.amount = isIncome ? qAbs(row.amount) : -qAbs(row.amount);
        row.place = clean(isIncome ? f.at(to) : f.at(from));
        row.transfer = isTransfer;
        if (isTransfer) {
            row.otherPlace = clean(f.at(to));
            // A transfer without its source is a half: its known side is the place.
            if (row.place.isEmpty()) {
                row.place = row.otherPlace;
                row.otherPlace.clear();
                row.amount = -row.amount;
            }
        } else {
            row.category = clean(f.at(category)).isEmpty() ? Unsorted : clean(f.at(category));
            row.item = clean(f.at(item)).isEmpty() ? row.category : clean(f.at(item));
        }
        if (row.place.isEmpty()) {
            reader.bad(file, r, QStringLiteral("支払元・入金先がありません"));
            return;
        }
        row.memo = joined({clean(f.at(goods)), clean(f.at(shop)), clean(f.at(memo))});
        row.counted
            = counted < 0 || counted >= f.size() || !f.at(counted).contains(QStringLiteral("含めない"));
        reader.add(row, contentKey(row, seen));
    });
}

void readSheet(Reader &reader, int file, const QStringList &lines, const Preset &preset, const QDate &today)
{
    const Statement st = StatementParser::parse(preset, lines, today);
    for (const ::BadLine &b : st.bad)
        reader.m_out.bad.append({file, b.lineNo, b.text, b.reason});
    const QStringList heading = fields(lines.value(st.headingLine - 1), preset.separator);
    const auto column = [&](const QString &name) {
        if (name.isEmpty())
            return -1;
        for (int i = 0; i < heading.size(); ++i)
            if (preset.headingMatches(heading.at(i), name))
                return i;
        return -1;
    };
    const int category = column(preset.category), item = column(preset.item), place = column(preset.place);
    QHash<QString, int> seen;
    for (const StatementLine &l : st.lines) {
        const Record r {l.lineNo, lines.value(l.lineNo - 1)};
        if (l.date < 19000101) {
            reader.bad(file, r, QStringLiteral("1900年より前の日付です"));
            continue;
        }
        if (l.date > reader.m_today) {
            reader.bad(file, r, QStringLiteral("今日より後の日付です"));
            continue;
        }
        const QStringList f = fields(r.text, preset.separator);
        Row row;
        row.file = file;
        row.lineNo = l.lineNo;
        row.date = l.date;
        row.amount = l.amount;
        row.place = f.value(place);
        if (row.place.isEmpty())
            row.place = Cash;
        row.category = f.value(category).isEmpty() ? Unsorted : f.value(category);
        row.item = f.value(item).isEmpty() ? Unsorted : f.value(item);
        row.memo = l.description;
        reader.add(row, contentKey(row, seen));
    }
}

// The two halves of each transfer of the history export, one line in each account, become one
// transfer: matched by day and amount (out of one place, into another), in the files' order.
void pairTransfers(QList<Row> &rows)
{
    QHash<QPair<int, qint32>, QList<int>> into;
    for (int i = 0; i < rows.size(); ++i)
        if (rows.at(i).transfer && rows.at(i).otherPlace.isEmpty() && rows.at(i).amount > 0)
            into[qMakePair(rows.at(i).date, rows.at(i).amount)] << i;
    QList<bool> gone(rows.size(), false);
    for (int i = 0; i < rows.size(); ++i) {
        Row &out = rows[i];
        if (!out.transfer || !out.otherPlace.isEmpty() || out.amount > 0)
            continue;
        QList<int> &candidates = into[qMakePair(out.date, qint32(-out.amount))];
        for (qsizetype c = 0; c < candidates.size(); ++c) {
            const Row &in = rows.at(candidates.at(c));
            if (in.place == out.place)
                continue;
            out.otherPlace = in.place;
            out.ids += in.ids;
            out.memo = joined({out.memo, in.memo});
            out.counted = out.counted || in.counted;
            gone[candidates.at(c)] = true;
            candidates.removeAt(c);
            break;
        }
    }
    QList<Row> kept;
    for (int i = 0; i < rows.size(); ++i)
        if (!gone.at(i))
            kept << rows.at(i);
    rows = kept;
}

} // namespace

Reading read(const QList<SourceFile> &files, const QDate &today, const std::optional<Preset> &sheet)
{
    Reading out;
    Reader reader(today, out);
    int total = 0;
    for (int file = 0; file < files.size(); ++file) {
        const SourceFile &f = files.at(file);
        out.files << f.name;
        if (mixedEncoding(f.bytes)) {
            out.refusal = f.name
                + QStringLiteral("は Shift_JIS と UTF-8 の行が混ざっているため読めません。元のファイルを"
                                 "書き出し直して下さい");
            return out;
        }
        const QStringList lines = StatementValues::lines(decode(f.bytes).text);
        total += int(lines.size());
        if (total > MaxLines) {
            out.refusal = QStringLiteral("行数が多すぎます（一度に%1行まで）。ファイルを分けて移行して下さい")
                              .arg(MaxLines);
            return out;
        }
        const QList<Record> recs = records(lines);
        const Found found = detect(recs, sheet, lines);
        if (found.layout == Layout::Unknown) {
            out.refusal = f.name
                + QStringLiteral("は移行できる家計簿のファイルではありません（見出しの行が見つかりません）。"
                                 "表計算の CSV は列の対応を指定して下さい");
            return out;
        }
        if (out.layout != Layout::Unknown && out.layout != found.layout) {
            out.refusal = f.name
                + QStringLiteral("は他のファイルと種類が違います。同じ種類のファイルを選択して下さい");
            return out;
        }
        out.layout = found.layout;
        switch (found.layout) {
        case Layout::History:
            readHistory(reader, file, recs, found);
            break;
        case Layout::Zaim:
            readZaim(reader, file, recs, found);
            break;
        case Layout::Sheet:
            readSheet(reader, file, lines, *sheet, today);
            break;
        case Layout::Unknown:
            break;
        }
    }
    if (out.layout == Layout::History)
        pairTransfers(out.rows);
    std::stable_sort(
        out.rows.begin(), out.rows.end(), [](const Row &a, const Row &b) { return a.date < b.date; });
    return out;
}

int Plan::placeOf(const QString &source) const
{
    for (int i = 0; i < places.size(); ++i)
        if (places.at(i).source == source)
            return i;
    return -1;
}

int Plan::itemOf(const Row &row) const
{
    const bool income = row.amount > 0;
    for (int i = 0; i < items.size(); ++i)
        if (items.at(i).income == income && items.at(i).source == row.item
            && items.at(i).sourceCategory == row.category)
            return i;
    return -1;
}

void Plan::sumAgain()
{
    QHash<QString, qint64> sums;
    for (int i = 0; i < rows.size(); ++i) {
        if (!take.at(i))
            continue;
        sums[rows.at(i).place] += rows.at(i).amount;
        if (rows.at(i).transfer && !rows.at(i).otherPlace.isEmpty())
            sums[rows.at(i).otherPlace] -= rows.at(i).amount;
    }
    for (PlaceEntry &p : places) {
        const qint64 now = sums.value(p.source);
        p.balance += now - p.fileSum;
        p.fileSum = now;
    }
}

namespace {

QSet<QString> column(Database &db, const QString &sql)
{
    QSet<QString> out;
    for (Cursor c = db.query(sql); !c.eof(); c.next())
        out.insert(c.text(0));
    return out;
}

QString layoutKey(Layout layout)
{
    return QString::number(int(layout));
}

bool hasControl(const QString &text)
{
    return std::any_of(
        text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

Plan plan(Database &db, const Reading &reading)
{
    Plan p;
    p.layout = reading.layout;
    p.rows = reading.rows;
    p.bad = reading.bad;
    QHash<QString, qint32> balances;
    for (Cursor c = db.query(QStringLiteral("SELECT H_index, H_money FROM Hokan_T")); !c.eof(); c.next())
        balances.insert(c.text(0), c.integer(1));
    const QSet<QString> categories = column(db, QStringLiteral("SELECT K_index FROM Kubun_T"));
    const QSet<QString> income = column(db, QStringLiteral("SELECT N_index FROM Nyuukin_T"));
    const QSet<QString> expense
        = column(db, QStringLiteral("SELECT S_index FROM Syukkin_T WHERE S_kubun <> '自動'"));
    const QSet<QString> debits
        = column(db, QStringLiteral("SELECT S_index FROM Syukkin_T WHERE S_kubun = '自動'"));
    QSet<QString> known;
    for (Cursor c = db.query(QStringLiteral("SELECT XM_id FROM X_movein_id WHERE XM_layout = ?"),
             {layoutKey(reading.layout)});
         !c.eof(); c.next())
        known.insert(c.text(0));

    // Item names that stand under more than one category of the source take its name along.
    QHash<QPair<bool, QString>, QSet<QString>> categoriesOf;
    for (const Row &r : std::as_const(p.rows))
        if (!r.transfer)
            categoriesOf[qMakePair(r.amount > 0, r.item)].insert(r.category);

    QSet<QString> seenPlaces, seenCategories;
    QSet<QString> seenItems;
    const auto addPlace = [&](const QString &name) {
        if (name.isEmpty() || seenPlaces.contains(name))
            return;
        seenPlaces.insert(name);
        p.places.append({name, name, balances.contains(name), 0, balances.value(name)});
    };
    for (const Row &r : std::as_const(p.rows)) {
        const bool already
            = std::any_of(r.ids.begin(), r.ids.end(), [&](const QString &id) { return known.contains(id); });
        p.already << already;
        p.take << (r.counted && !already);
        addPlace(r.place);
        addPlace(r.otherPlace);
        if (r.transfer)
            continue;
        if (!seenCategories.contains(r.category)) {
            seenCategories.insert(r.category);
            // The reserved category of automatic debits is not the source's.
            const QString name = r.category == u"自動" ? QStringLiteral("自動（移行）") : r.category;
            p.categories.append({r.category, name, categories.contains(name)});
        }
        const bool in = r.amount > 0;
        const QString key = QString::number(in) + u'|' + r.category + u'|' + r.item;
        if (seenItems.contains(key))
            continue;
        seenItems.insert(key);
        QString name = r.item;
        if (categoriesOf.value(qMakePair(in, r.item)).size() > 1)
            name += u'（' + r.category + u'）';
        if (!in && debits.contains(name))
            name += QStringLiteral("（移行）");
        ItemEntry e;
        e.income = in;
        e.sourceCategory = r.category;
        e.source = r.item;
        e.name = name;
        e.category = r.category == u"自動" ? QStringLiteral("自動（移行）") : r.category;
        e.exists = (in ? income : expense).contains(name);
        p.items.append(e);
    }
    p.sumAgain();
    return p;
}

namespace {

struct Movement
{
    int date = 0;
    qint64 amount = 0;
};

QString lineText(const Row &r)
{
    return QString::number(r.lineNo) + QStringLiteral("行目 ") + QString::number(r.date)
        + QStringLiteral("：");
}

int dayBefore(int yyyymmdd)
{
    const QDate d = QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100).addDays(-1);
    return d.year() * 10000 + d.month() * 100 + d.day();
}

qint64 count(Database &db, const QString &sql, const QVariantList &values)
{
    Cursor c = db.query(sql, values);
    return c.eof() ? 0 : c.value(0).toLongLong();
}

bool inRange(qint64 v)
{
    return v >= -2147483647LL && v <= 2147483647LL;
}

} // namespace

std::optional<Summary> apply(Database &db, const Plan &plan, const QDate &today, QString &refusal)
{
    refusal.clear();
    const auto refuse = [&](const QString &why) -> std::optional<Summary> {
        refusal = why;
        return std::nullopt;
    };
    const int todayNo = today.year() * 10000 + today.month() * 100 + today.day();
    const QString reason = QStringLiteral("他の家計簿から移行");

    // The names the lines take in the ledger.
    QHash<QString, QString> placeName;
    QSet<QString> targetPlaces;
    for (const PlaceEntry &e : plan.places) {
        const QString name = e.name.trimmed();
        if (name.isEmpty() || hasControl(name))
            return refuse(QStringLiteral("保管場所「%1」の名前を入力して下さい").arg(e.source));
        if (targetPlaces.contains(name))
            return refuse(
                QStringLiteral("保管場所「%1」が二つの保管場所に指定されています。別の名前を入力して下さい")
                    .arg(name));
        targetPlaces.insert(name);
        placeName.insert(e.source, name);
    }
    QHash<QString, QString> categoryName;
    for (const CategoryEntry &e : plan.categories) {
        const QString name = e.name.trimmed();
        if (name.isEmpty() || hasControl(name))
            return refuse(QStringLiteral("分類「%1」の名前を入力して下さい").arg(e.source));
        if (name == u"自動")
            return refuse(QStringLiteral("分類「自動」は自動引落の分類です。別の名前を入力して下さい"));
        categoryName.insert(e.source, name);
    }
    for (const ItemEntry &e : plan.items)
        if (e.name.trimmed().isEmpty() || hasControl(e.name))
            return refuse(QStringLiteral("項目「%1」の名前を入力して下さい").arg(e.source));

    const QString other = plan.otherPlace.trimmed();
    QHash<QString, qint32> balances;
    for (Cursor c = db.query(QStringLiteral("SELECT H_index, H_money FROM Hokan_T")); !c.eof(); c.next())
        balances.insert(c.text(0), c.integer(1));
    const QSet<QString> categories = column(db, QStringLiteral("SELECT K_index FROM Kubun_T"));
    QSet<QString> income = column(db, QStringLiteral("SELECT N_index FROM Nyuukin_T"));
    QSet<QString> expense = column(db, QStringLiteral("SELECT S_index FROM Syukkin_T"));
    const QSet<QString> debits
        = column(db, QStringLiteral("SELECT S_index FROM Syukkin_T WHERE S_kubun = '自動'"));

    // The ticked lines as the ledger writes them, and each place's movements.
    struct Line
    {
        const Row *row;
        QString place, other, item;
    };
    QList<Line> lines;
    QHash<QString, QList<Movement>> moves;
    for (int i = 0; i < plan.rows.size(); ++i) {
        if (!plan.take.at(i) || plan.already.at(i))
            continue;
        const Row &r = plan.rows.at(i);
        Line l {&r, placeName.value(r.place), QString(), QString()};
        if (r.transfer) {
            l.other = r.otherPlace.isEmpty() ? other : placeName.value(r.otherPlace);
            if (l.other.isEmpty())
                return refuse(lineText(r) + QStringLiteral("相手のない振替の保管場所を選択して下さい"));
            if (l.other == l.place)
                return refuse(lineText(r) + QStringLiteral("振替の相手が同じ保管場所です"));
            if (!targetPlaces.contains(l.other) && !balances.contains(l.other))
                return refuse(QStringLiteral("保管場所「%1」がありません").arg(l.other));
            moves[l.other].append({r.date, -qint64(r.amount)});
        } else {
            const int item = plan.itemOf(r);
            if (item < 0)
                return refuse(lineText(r) + QStringLiteral("項目を選択して下さい"));
            l.item = plan.items.at(item).name.trimmed();
            if (r.amount < 0 && debits.contains(l.item))
                return refuse(
                    QStringLiteral("項目「%1」は自動引落の項目です。別の項目を指定して下さい").arg(l.item));
        }
        moves[l.place].append({r.date, r.amount});
        lines << l;
    }
    if (lines.isEmpty())
        return refuse(QStringLiteral("移行する明細がありません。移行する明細にチェックを付けて下さい"));

    // Each place's balance: the places of the entries end at the figure typed for today, by a
    // stocktake the day before their first line (when nothing of the place is dated from then
    // on and the history never takes it below what it may hold), else by one of today that
    // counts every line before today. Other places (the partner of a half) move by the lines.
    struct Count
    {
        QString place;
        int day = 0;
        qint32 before = 0, after = 0;
    };
    QList<Count> counts;
    QHash<QString, qint32> finals;
    QStringList order; // the places in the order of the preview, then the others
    for (const PlaceEntry &e : plan.places) {
        const QString name = placeName.value(e.source);
        QList<Movement> m = moves.value(name);
        order << name;
        if (m.isEmpty() && !balances.contains(name) && e.balance == 0) {
            finals.insert(name, 0);
            continue;
        }
        if (!inRange(e.balance))
            return refuse(QStringLiteral("保管場所「%1」の残高が記録できる範囲を超えています").arg(name));
        std::stable_sort(
            m.begin(), m.end(), [](const Movement &a, const Movement &b) { return a.date < b.date; });
        const auto card = balances.contains(name) ? CardLedger::card(db, name) : std::nullopt;
        const qint64 floor = card ? -qint64(card->limit) : 0;
        qint64 sum = 0;
        for (const Movement &x : m)
            sum += x.amount;
        const qint32 now = balances.value(name);
        const int first = m.isEmpty() ? todayNo : m.first().date;
        const int countDay = dayBefore(first);
        bool early = true;
        if (balances.contains(name)) {
            early = count(db,
                        QStringLiteral(
                            "SELECT (SELECT COUNT(*) FROM N WHERE N_hokan = ? AND N_date >= ?)"
                            " + (SELECT COUNT(*) FROM S WHERE S_hokan = ? AND S_date >= ?)"
                            " + (SELECT COUNT(*) FROM Idourireki_T WHERE (I_hokanmoto = ? OR "
                            "I_hokansaki = ?) AND I_day >= ?)"
                            " + (SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_hokan = ? AND K_day >= ?)"),
                        {name, countDay, name, countDay, name, name, countDay, name, countDay})
                == 0;
        }
        const qint64 opening = e.balance - sum;
        if (early) {
            qint64 running = opening;
            early = opening >= floor;
            for (const Movement &x : m)
                if ((running += x.amount) < floor)
                    early = false;
        }
        if (early) {
            if (!inRange(opening))
                return refuse(QStringLiteral("保管場所「%1」の残高が記録できる範囲を超えています").arg(name));
            if (opening != now)
                counts.append({name, countDay, now, qint32(opening)});
        } else {
            const auto start = balances.contains(name) ? ImportLedger::balanceAtStartOf(db, name, todayNo)
                                                       : std::optional<qint32>(0);
            if (!start)
                return refuse(
                    QStringLiteral("保管場所「%1」に今日以後の金額棚卸があるため、残高を合わせられません")
                        .arg(name));
            qint64 before = *start, todays = 0;
            for (const Movement &x : m)
                (x.date < todayNo ? before : todays) += x.amount;
            const qint64 after = e.balance - (now - *start) - todays;
            if (after < floor)
                return refuse(
                    QStringLiteral("保管場所「%1」の今日の残高がマイナスです。カードなら先にカード設定で"
                                   "登録するか、今日の残高に0以上を入力して下さい")
                        .arg(name));
            if (!inRange(before) || !inRange(after))
                return refuse(QStringLiteral("保管場所「%1」の残高が記録できる範囲を超えています").arg(name));
            if (before != after)
                counts.append({name, todayNo, qint32(before), qint32(after)});
        }
        finals.insert(name, qint32(e.balance));
    }
    for (auto it = moves.cbegin(); it != moves.cend(); ++it) {
        if (finals.contains(it.key()))
            continue;
        qint64 b = balances.value(it.key());
        for (const Movement &x : it.value())
            b += x.amount;
        const auto card = CardLedger::card(db, it.key());
        if (b < (card ? -qint64(card->limit) : 0))
            return refuse(QStringLiteral("保管場所「%1」の残高が足りません").arg(it.key()));
        if (!inRange(b))
            return refuse(QStringLiteral("保管場所「%1」の残高が記録できる範囲を超えています").arg(it.key()));
        finals.insert(it.key(), qint32(b));
        order << it.key();
    }

    // Everything is checked: the writing.
    Summary done;
    MoveInWriter w(db);
    for (const QString &place : std::as_const(order)) {
        const qint32 balance = finals.value(place);
        if (balances.contains(place)) {
            if (balances.value(place) != balance)
                w.setBalance(place, balance);
        } else {
            w.addPlace(place, balance);
            ++done.places;
        }
    }
    QSet<QString> newCategories;
    for (const ItemEntry &e : plan.items) {
        const QString name = e.name.trimmed();
        if ((e.income ? income : expense).contains(name))
            continue;
        const QString category = categoryName.value(e.sourceCategory, e.category);
        if (!categories.contains(category) && !newCategories.contains(category)) {
            w.addCategory(category);
            newCategories.insert(category);
            ++done.categories;
        }
        // The item's usual place: that of its first line.
        QString place;
        for (const Line &l : std::as_const(lines))
            if (!l.row->transfer && l.item == name && (l.row->amount > 0) == e.income) {
                place = l.place;
                break;
            }
        w.addItem(e.income, name, category, place);
        (e.income ? income : expense).insert(name);
        ++done.items;
    }
    for (const Count &c : std::as_const(counts)) {
        w.stocktake(c.place, c.day, c.before, c.after, reason);
        ++done.stocktakes;
    }
    const QString layout = layoutKey(plan.layout);
    for (const Line &l : std::as_const(lines)) {
        const Row &r = *l.row;
        const qint32 money = qint32(qAbs(qint64(r.amount)));
        if (r.transfer) {
            const bool out = r.amount < 0;
            w.transfer(out ? l.place : l.other, out ? l.other : l.place, money, r.date, r.memo);
            ++done.transfers;
        } else {
            w.post(r.amount > 0, l.item, l.place, money, r.date, r.memo);
            ++done.postings;
        }
        for (const QString &id : r.ids)
            w.remember(layout, id);
    }
    return done;
}

} // namespace MoveIn
