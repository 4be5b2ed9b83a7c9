// SPDX-License-Identifier: GPL-3.0-or-later
#include "RuleMatcher.h"

#include "StatementValues.h"

#include <algorithm>

namespace {

// A shop's name is at least this long; one whose branch was left out may be shorter ("西友").
constexpr qsizetype MinName = 3;
constexpr qsizetype MinBranchedName = 2;
// What two names glued to their branches share at least.
constexpr qsizetype MinGlued = 4;

const QChar Branch = u'店';

QString keyOf(const QString &kind, const QString &text)
{
    return kind + QChar(0x1f) + text;
}

// Blanks and marks between a shop's words and its numbers ("*", "#", "(", "・", "/"); the dots,
// hyphens, apostrophes and ampersands inside names ("AMAZON.CO.JP", "セブン-イレブン") stay.
bool separates(QChar c)
{
    if (c.isSpace())
        return true;
    if (c.isLetterOrNumber() || c.isMark())
        return false;
    return c != u'.' && c != u'-' && c != u'\'' && c != u'&';
}

// A branch glued to its shop's name ("ローソン渋谷店").
bool endsInBranch(const QString &token)
{
    return token.size() > 1 && token.endsWith(Branch);
}

// A branch after the name, also in kana as banks and card issuers write it ("ｼﾌﾞﾔﾃﾝ").
bool isBranch(const QString &token)
{
    return endsInBranch(token) || (token.size() > 2 && token.endsWith(QStringLiteral("テン")));
}

} // namespace

QStringList RuleMatcher::shopTokens(const QString &normalised)
{
    QStringList tokens;
    QString current;
    bool digit = false;
    const auto flush = [&] {
        if (!current.isEmpty() && !digit)
            tokens << current;
        current.clear();
        digit = false;
    };
    for (const QChar c : normalised) {
        if (separates(c)) {
            flush();
            continue;
        }
        digit = digit || c.isNumber();
        current += c;
    }
    flush();
    return tokens;
}

QString RuleMatcher::matchText(Match m)
{
    switch (m) {
    case Match::Prefix:
        return QStringLiteral("前方一致");
    case Match::Contains:
        return QStringLiteral("含む");
    case Match::Exact:
        break;
    }
    return QStringLiteral("一致");
}

std::optional<RuleMatcher::Match> RuleMatcher::matchFromText(const QString &text)
{
    for (const Match m : {Match::Exact, Match::Prefix, Match::Contains})
        if (matchText(m) == text)
            return m;
    return std::nullopt;
}

void RuleMatcher::add(Votes &votes, const QString &item, int rule)
{
    for (Vote &v : votes)
        if (v.item == item) {
            ++v.count;
            return;
        }
    votes.append({item, 1, rule});
}

RuleMatcher::RuleMatcher(const QList<Rule> &rules)
    : m_rules(rules)
{
    m_exact.reserve(rules.size());
    m_core.reserve(rules.size());
    m_name.reserve(rules.size());
    m_glued.reserve(rules.size() * 4);
    for (int i = 0; i < m_rules.size(); ++i) {
        Rule &r = m_rules[i];
        r.pattern = StatementValues::normalise(r.pattern);
        const QString &pattern = r.pattern;
        if (pattern.isEmpty() || r.item.isEmpty())
            continue;
        if (r.match == Match::Prefix) {
            add(m_prefix[keyOf(r.kind, pattern)], r.item, i);
            if (!m_prefixLengths.contains(int(pattern.size())))
                m_prefixLengths << int(pattern.size());
            continue;
        }
        if (r.match == Match::Contains) {
            m_contains << i;
            continue;
        }
        add(m_exact[keyOf(r.kind, pattern)], r.item, i);

        const QStringList tokens = shopTokens(pattern);
        if (tokens.isEmpty())
            continue;
        add(m_core[keyOf(r.kind, tokens.join(u' '))], r.item, i);
        const bool branched = tokens.size() > 1 && isBranch(tokens.constLast());
        const QString name = branched ? tokens.mid(0, tokens.size() - 1).join(u' ') : tokens.join(u' ');
        if (name.size() >= (branched ? MinBranchedName : MinName))
            add(m_name[keyOf(r.kind, name)], r.item, i);
        const QString &last = tokens.constLast();
        if (endsInBranch(last)) {
            const QString head = tokens.mid(0, tokens.size() - 1).join(u' ') + QChar(0x1f);
            for (qsizetype k = MinGlued; k < last.size(); ++k)
                add(m_glued[keyOf(r.kind, head + last.left(k))], r.item, i);
        }
    }
    std::sort(m_prefixLengths.begin(), m_prefixLengths.end(), std::greater<>());
    // Of the written parts, the longest is tried first.
    std::stable_sort(m_contains.begin(), m_contains.end(),
        [&](int a, int b) { return m_rules.at(a).pattern.size() > m_rules.at(b).pattern.size(); });
}

RuleMatcher::Found RuleMatcher::decide(const Votes &votes, bool sameShop) const
{
    int total = 0;
    const Vote *best = nullptr;
    for (const Vote &v : votes) {
        total += v.count;
        if (!best || v.count > best->count || (v.count == best->count && v.rule < best->rule))
            best = &v;
    }
    if (!best || best->count <= 2 * (total - best->count))
        return {};
    return {best->item, best->rule, sameShop};
}

RuleMatcher::Found RuleMatcher::find(const QString &kind, const QString &description) const
{
    const QString text = StatementValues::normalise(description);
    if (text.isEmpty())
        return {};
    // Each step that has fitting rules decides, even when it decides on nothing: a weaker step
    // would only guess where a stronger one found the rules at odds.
    const auto at = [&](const QHash<QString, Votes> &table, const QString &key) -> const Votes * {
        const auto it = table.constFind(keyOf(kind, key));
        return it == table.cend() ? nullptr : &*it;
    };
    if (const Votes *v = at(m_exact, text))
        return decide(*v, false);
    for (const int length : m_prefixLengths)
        if (length <= text.size())
            if (const Votes *v = at(m_prefix, text.left(length)))
                return decide(*v, false);
    Votes contained;
    qsizetype longest = 0;
    for (const int i : m_contains) {
        const Rule &r = m_rules.at(i);
        const QString &pattern = r.pattern;
        if (pattern.size() < longest)
            break;
        if (r.kind == kind && text.contains(pattern)) {
            longest = pattern.size();
            add(contained, r.item, i);
        }
    }
    if (!contained.isEmpty())
        return decide(contained, false);

    const QStringList tokens = shopTokens(text);
    if (tokens.isEmpty())
        return {};
    if (const Votes *v = at(m_core, tokens.join(u' ')))
        return decide(*v, true);
    for (qsizetype n = tokens.size(); n > 0; --n)
        if (const Votes *v = at(m_name, tokens.mid(0, n).join(u' ')))
            return decide(*v, true);
    const QString &last = tokens.constLast();
    if (endsInBranch(last)) {
        const QString head = tokens.mid(0, tokens.size() - 1).join(u' ') + QChar(0x1f);
        for (qsizetype k = last.size() - 1; k >= MinGlued; --k)
            if (const Votes *v = at(m_glued, head + last.left(k)))
                return decide(*v, true);
    }
    return {};
}
