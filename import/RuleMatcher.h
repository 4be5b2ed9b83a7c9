// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Which item a statement line's description is given, from the rules of a place: the ones the
// import learnt (each line's whole description with the item the user chose) and the ones the
// user wrote (a leading part, or a part anywhere). Rules and descriptions are compared as
// StatementValues::normalise() writes them. In this order:
//   1. a rule of the whole description (一致);
//   2. the longest written leading part (前方一致) the description starts with;
//   3. the longest written part (含む) it contains;
//   4. the same shop written differently: the learnt descriptions compared without the
//      tokens that hold a digit (order numbers, months, store codes) and without the branch
//      (a last token ending in 店, or テン as kana write it); a learnt shop's name that leads the description
//      (at a token's end); or the same name glued to another branch ("ローソン渋谷店" and "ローソン新宿店",
//      sharing at least four characters).
// At each step, the rules that fit equally well vote with their items; the step decides only
// when one item has more than twice the votes of all others together, else nothing is filled:
// a wrong item costs the user more than an empty one.
class RuleMatcher
{
public:
    enum class Match { Exact, Prefix, Contains };

    struct Rule
    {
        QString kind; // "N" a deposit's rule, "S" a withdrawal's
        Match match = Match::Exact;
        QString pattern; // compared as normalised
        QString item;
    };

    struct Found
    {
        QString item; // "" when nothing fits well enough
        int rule = -1; // the index of the rule that decided (the longest, the first of equals)
        bool sameShop = false; // found by step 4
    };

    explicit RuleMatcher(const QList<Rule> &rules);

    // The item for a description (normalised or not) of a line of the kind.
    Found find(const QString &kind, const QString &description) const;

    // The description's tokens without those holding a digit: what stays the same from one
    // line of a shop to the next.
    static QStringList shopTokens(const QString &normalised);

    static QString matchText(Match m);
    static std::optional<Match> matchFromText(const QString &text);

private:
    // Per item: how many rules fit, and the first of them. Mostly one item, so a short list.
    struct Vote
    {
        QString item;
        int count = 0;
        int rule = -1;
    };
    using Votes = QList<Vote>;
    Found decide(const Votes &votes, bool sameShop) const;
    static void add(Votes &votes, const QString &item, int rule);

    QList<Rule> m_rules;
    // Per kind: whole descriptions; written leading parts by length; written parts.
    QHash<QString, Votes> m_exact;
    QHash<QString, Votes> m_prefix;
    QList<int> m_prefixLengths; // descending
    QList<int> m_contains;
    // Per kind: learnt shops' token cores, their names (the core without its branch), and glued
    // names: kind | tokens before the last | a leading part of the last token.
    QHash<QString, Votes> m_core, m_name, m_glued;
};
