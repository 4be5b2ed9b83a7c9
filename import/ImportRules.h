// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RuleMatcher.h"

#include <QHash>
#include <QList>
#include <QString>

class Database;

// The rules of a place's imports: learnt ones (a line's whole description and the item the
// user gave it, one per description) and written ones (a leading part or a part anywhere).
// The writing functions run in the caller's write transaction.
namespace ImportRules {

struct Rule
{
    QString kind; // "N" a deposit's, "S" a withdrawal's (a card's refunds are withdrawals')
    RuleMatcher::Match match = RuleMatcher::Match::Exact;
    QString pattern; // as stored: a learnt description normalised, a written part as typed
    QString item; // an item, or a transfer as ImportLedger::transferTarget() writes it
    QString lastUsed; // yyyy/MM/dd hh:mm:ss of the latest import of a line it gives, or ""
};

// The place's rules: the whole descriptions first, in the order of their text, then the
// written parts. With `withUse`, each with the last import that gave a line its item.
QList<Rule> rules(Database &db, const QString &place, bool withUse = false);
QList<RuleMatcher::Rule> forMatcher(const QList<Rule> &rules);

// What the tooltip of a pre-filled line says of the rule that filled it.
QString describe(const Rule &rule, bool sameShop);

// Remembers the item given to a line at an import, in the rule of its whole description; not
// when a written rule gives the line that item already and no whole description's rule
// stands before it (the written rule keeps deciding, also after it is changed).
class Learner
{
public:
    Learner(Database &db, const QString &place);
    void learn(const QString &kind, const QString &description, const QString &item);

private:
    Database &m_db;
    QString m_place;
    RuleMatcher m_written;
    // What this learner has settled for each kind and key: a statement's many lines of one
    // description are looked up and written once.
    QHash<std::pair<QString, QString>, QString> m_settled;
};

// Writes `now` in place of `old` (a new rule when old.pattern is empty). The user's text is
// refused (with the reason, nothing written) when it is empty, holds a control character, or
// another rule of the same kind and match has the same text.
QString save(Database &db, const QString &place, const Rule &old, const Rule &now);
void remove(Database &db, const QString &place, const Rule &rule);

} // namespace ImportRules
