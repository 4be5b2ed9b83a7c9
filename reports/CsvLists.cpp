// SPDX-License-Identifier: GPL-3.0-or-later
#include "CsvLists.h"

#include "Csv.h"
#include "Database.h"

#include <array>
#include <vector>

namespace CsvLists {

namespace {

struct KindSpec
{
    const char16_t *entry;
    const char *table;
    const char *dateColumn; // nullptr for the master lists
    const char16_t *headings;
    std::array<const char *, 5> fields; // unused slots are nullptr
};

const std::array<KindSpec, kindCount> &specs()
{
    static const std::array<KindSpec, kindCount> s {{
        {u"収入履歴", "N", "N_date", u"日付,項目,金額,保管場所,備考",
            {"N_date", "N_index", "N_money", "N_hokan", "N_memo"}},
        {u"支出履歴", "S", "S_date", u"日付,項目,金額,保管場所,備考",
            {"S_date", "S_index", "S_money", "S_hokan", "S_memo"}},
        {u"自動引落履歴", "Zidourireki_T", "Z_beforeday", u"日付,項目,金額,保管場所",
            {"Z_beforeday", "Z_index", "Z_money", "Z_hokan", nullptr}},
        {u"金額移動履歴", "Idourireki_T", "I_day", u"日付,移動元保管場所,移動先保管場所,金額,備考",
            {"I_day", "I_hokanmoto", "I_hokansaki", "I_money", "I_memo"}},
        {u"金額棚卸履歴", "Ktanaorosi_T", "K_day", u"日付,保管場所,棚卸前金額,棚卸後金額,理由",
            {"K_day", "K_hokan", "K_Bmoney", "K_Amoney", "K_riyuu"}},
        {u"収入マスタ", "Nyuukin_T", nullptr, u"№,項目,区分,保管場所,備考",
            {"N_no", "N_index", "N_kubun", "N_hokan", "N_memo"}},
        {u"支出マスタ", "Syukkin_T", nullptr, u"№,項目,区分,保管場所,備考",
            {"S_no", "S_index", "S_kubun", "S_hokan", "S_memo"}},
        {u"保管場所マスタ", "Hokan_T", nullptr, u"№,項目,金額,管理者,備考",
            {"H_no", "H_index", "H_money", "H_name", "H_memo"}},
        {u"入金区分マスタ", "Kubun_T", nullptr, u"№,項目,備考",
            {"K_no", "K_index", "K_memo", nullptr, nullptr}},
    }};
    return s;
}

const KindSpec &spec(int kind)
{
    Q_ASSERT(kind >= 0 && kind < kindCount);
    return specs().at(kind);
}

} // namespace

bool isHistory(int kind)
{
    return kind >= 0 && kind <= 4;
}

QString entry(int kind)
{
    return QString::fromUtf16(spec(kind).entry);
}

std::optional<QString> twoDigitMonth(const QString &month)
{
    const QString m = month.trimmed();
    if (m.isEmpty() || m.size() > 2)
        return std::nullopt;
    for (QChar c : m) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    return m.rightJustified(2, u'0');
}

QString statement(int kind, const Period &p)
{
    const KindSpec &s = spec(kind);
    const QString table = QString::fromLatin1(s.table);
    if (!s.dateColumn)
        return QStringLiteral("SELECT * FROM ") + table + u' ';
    const QString mm1 = twoDigitMonth(p.m1).value_or(QString());
    const QString mm2 = twoDigitMonth(p.m2).value_or(QString());
    return QStringLiteral("SELECT * FROM %1 WHERE %2 Between %3%4%5 And %6%7%8")
        .arg(table, QString::fromLatin1(s.dateColumn), QString::number(p.y1), mm1, QStringLiteral("01"),
            QString::number(p.y2), mm2, QStringLiteral("31"));
}

void writeHeadings(Csv::Writer &out, int kind, const Period &p, const QString &now)
{
    if (isHistory(kind)) {
        out.line({entry(kind) + QStringLiteral("リスト"),
            QStringLiteral("%1年%2月～%3年%4月")
                .arg(QString::number(p.y1), p.m1.trimmed(), QString::number(p.y2), p.m2.trimmed())});
        out.line({QStringLiteral("リスト作成日:"), now});
    } else {
        out.line({entry(kind) + QStringLiteral("一覧")});
        out.line({QStringLiteral("一覧作成日:"), now});
    }
    out.line({QString::fromUtf16(spec(kind).headings)});
}

int writeRows(Csv::Writer &out, int kind, Cursor &rows)
{
    // Column positions are looked up once; a list may have a million rows.
    std::vector<int> columns;
    for (const char *f : spec(kind).fields) {
        if (f)
            columns.push_back(rows.indexOf(QString::fromLatin1(f)));
    }
    int written = 0;
    for (; !rows.eof(); rows.next()) {
        for (int c : columns)
            out.field(rows.text(c));
        out.endLine();
        ++written;
    }
    return written;
}

} // namespace CsvLists
