// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportRules.h"

#include "CardLedger.h"
#include "Database.h"
#include "StatementValues.h"

#include <QHash>
#include <algorithm>

namespace ImportRules {

namespace {

using Match = RuleMatcher::Match;

// The written leading parts and parts; the whole descriptions live with the learnt ones.
QString matchCode(Match m)
{
    return m == Match::Prefix ? QStringLiteral("P") : QStringLiteral("C");
}

bool hasControl(const QString &text)
{
    return std::any_of(
        text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

QList<RuleMatcher::Rule> writtenOnly(Database &db, const QString &place)
{
    QList<Rule> all = rules(db, place);
    all.removeIf([](const Rule &r) { return r.match == Match::Exact; });
    return forMatcher(all);
}

void erase(Database &db, const QString &place, const Rule &r)
{
    if (r.match == Match::Exact)
        db.execute(
            QStringLiteral("DELETE FROM X_import_rule WHERE XR_hokan = ? AND XR_kind = ? AND XR_key = ?"),
            {place, r.kind, r.pattern});
    else
        db.execute(QStringLiteral("DELETE FROM X_import_pattern WHERE XQ_hokan = ? AND XQ_kind = ? AND "
                                  "XQ_match = ? AND XQ_key = ?"),
            {place, r.kind, matchCode(r.match), r.pattern});
}

} // namespace

QList<Rule> rules(Database &db, const QString &place, bool withUse)
{
    QList<Rule> list;
    for (Cursor c
         = db.query(QStringLiteral("SELECT XR_kind,XR_key,XR_item FROM X_import_rule WHERE XR_hokan = ?"
                                   " ORDER BY XR_key,XR_kind"),
             {place});
         !c.eof(); c.next())
        list << Rule {c.text(0), Match::Exact, c.text(1), c.text(2), QString()};
    for (Cursor c
         = db.query(QStringLiteral("SELECT XQ_kind,XQ_match,XQ_key,XQ_item FROM X_import_pattern WHERE "
                                   "XQ_hokan = ? ORDER BY XQ_match DESC,XQ_key,XQ_kind"),
             {place});
         !c.eof(); c.next())
        list << Rule {
            c.text(0), c.text(1) == u"P" ? Match::Prefix : Match::Contains, c.text(2), c.text(3), QString()};
    if (!withUse || list.isEmpty())
        return list;
    // Each imported line is given to the rule that decides it now, when that rule gives the
    // item the line was imported with.
    const RuleMatcher matcher(forMatcher(list));
    const bool isCard = CardLedger::card(db, place).has_value();
    for (Cursor c = db.query(QStringLiteral("SELECT XL_money,XL_memo,XL_item,XB_when FROM X_import_line "
                                            "INNER JOIN X_import_batch ON XB_no = XL_batch "
                                            "WHERE XL_table <> 'Ktanaorosi_T' AND XL_hokan = ?"),
             {place});
         !c.eof(); c.next()) {
        const QString kind = c.integer64(0) > 0 && !isCard ? QStringLiteral("N") : QStringLiteral("S");
        const RuleMatcher::Found found = matcher.find(kind, c.text(1));
        if (found.rule < 0 || found.sameShop || found.item != c.text(2))
            continue;
        QString &used = list[found.rule].lastUsed;
        used = std::max(used, c.text(3));
    }
    return list;
}

QList<RuleMatcher::Rule> forMatcher(const QList<Rule> &rules)
{
    QList<RuleMatcher::Rule> list;
    list.reserve(rules.size());
    for (const Rule &r : rules)
        list << RuleMatcher::Rule {r.kind, r.match, r.pattern, r.item};
    return list;
}

QString describe(const Rule &rule, bool sameShop)
{
    if (sameShop)
        return QStringLiteral("同じ店の明細「") + rule.pattern + QStringLiteral("」のルールから");
    return QStringLiteral("ルール「") + rule.pattern + QStringLiteral("」（")
        + RuleMatcher::matchText(rule.match) + QStringLiteral("）から");
}

Learner::Learner(Database &db, const QString &place)
    : m_db(db)
    , m_place(place)
    , m_written(writtenOnly(db, place))
{ }

void Learner::learn(const QString &kind, const QString &description, const QString &item)
{
    const QString key = StatementValues::normalise(description);
    const auto settled = m_settled.constFind({kind, key});
    if (settled != m_settled.constEnd() && *settled == item)
        return;
    m_settled.insert({kind, key}, item);
    Cursor c = m_db.query(
        QStringLiteral(
            "SELECT COUNT(*) FROM X_import_rule WHERE XR_hokan = ? AND XR_kind = ? AND XR_key = ?"),
        {m_place, kind, key});
    if (c.value(0).toInt() == 0 && m_written.find(kind, key).item == item)
        return;
    m_db.execute(
        QStringLiteral("INSERT OR REPLACE INTO X_import_rule (XR_hokan,XR_kind,XR_key,XR_item) VALUES "
                       "(?, ?, ?, ?)"),
        {m_place, kind, key, item});
}

QString save(Database &db, const QString &place, const Rule &old, const Rule &now)
{
    const QString text
        = now.match == Match::Exact ? StatementValues::normalise(now.pattern) : now.pattern.trimmed();
    if (text.isEmpty())
        return QStringLiteral("パターンを入力して下さい");
    if (hasControl(text))
        return QStringLiteral("パターンに使えない文字があります");
    if (now.item.isEmpty())
        return QStringLiteral("項目を選択して下さい");
    const QString folded = StatementValues::normalise(text);
    for (const Rule &r : rules(db, place)) {
        const bool same = r.kind == old.kind && r.match == old.match && r.pattern == old.pattern;
        if (!same && r.kind == now.kind && r.match == now.match
            && StatementValues::normalise(r.pattern) == folded)
            return QStringLiteral("同じパターンのルールがあります");
    }
    if (!old.pattern.isEmpty())
        erase(db, place, old);
    if (now.match == Match::Exact)
        db.insert(QStringLiteral("X_import_rule"),
            {{QStringLiteral("XR_hokan"), place}, {QStringLiteral("XR_kind"), now.kind},
                {QStringLiteral("XR_key"), text}, {QStringLiteral("XR_item"), now.item}});
    else
        db.insert(QStringLiteral("X_import_pattern"),
            {{QStringLiteral("XQ_hokan"), place}, {QStringLiteral("XQ_kind"), now.kind},
                {QStringLiteral("XQ_match"), matchCode(now.match)}, {QStringLiteral("XQ_key"), text},
                {QStringLiteral("XQ_item"), now.item}});
    return QString();
}

void remove(Database &db, const QString &place, const Rule &rule)
{
    erase(db, place, rule);
}

} // namespace ImportRules
