// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The statements of the windows are written in an older desktop-database dialect:
//   DELETE col FROM table WHERE ...      (the column list is ignored; whole rows go)
//   ... like '200309*'                   ("*" any run of characters, "?" one character)
// translate() turns them into SQLite. It knows string literals: only the literal that
// directly follows LIKE is rewritten, so a "*" inside an equality literal stays data.
// Everything else (Between/And, Not, letter case of keywords and names) SQLite takes as is.
namespace SqlDialect {

QString translate(const QString &statement);

} // namespace SqlDialect
