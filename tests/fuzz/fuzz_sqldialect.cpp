// SPDX-License-Identifier: GPL-3.0-or-later
// The statement translation must never crash, must leave statements without LIKE or DELETE
// untouched, must never change the data of an equality literal, and must produce SQL that
// SQLite accepts whenever the statement it was given is well formed.
#include "Database.h"
#include "SqlDialect.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern const std::vector<std::string> kFuzzSeeds = {
    "SELECT * FROM N WHERE N_date like '200309*'",
    "DELETE H_index FROM Hokan_T WHERE (H_index = 'a')",
    "DELETE * FROM Nyuukin_T WHERE (N_index = 'x*y')",
    "SELECT S_index FROM Syukkin_T where Not S_kubun = '自動'",
    "SELECT * FROM S WHERE S_date Between 20050101 And 20050931",
    "UPDATE Hokan_T SET H_money = '1500' WHERE H_index = 'it''s'",
    "x like 'a%_\\*?'",
};

namespace {

[[noreturn]] void fail(const char *what, const QString &in, const QString &out)
{
    std::fprintf(stderr, "%s\n in: %s\nout: %s\n", what, qPrintable(in), qPrintable(out));
    std::abort();
}

bool mentions(const QString &s, const char *word)
{
    return s.contains(QLatin1String(word), Qt::CaseInsensitive);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString in = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString out = SqlDialect::translate(in);
    if (!mentions(in, "like") && !mentions(in, "delete") && out != in)
        fail("changed a statement with nothing to translate", in, out);

    // Any text spliced into an equality literal through escape() comes out as it went in.
    const QString name = in.left(40);
    const QString stmt
        = QStringLiteral("SELECT * FROM Hokan_T WHERE H_index = '") + Database::escape(name) + u'\'';
    if (SqlDialect::translate(stmt) != stmt)
        fail("changed an equality literal", stmt, SqlDialect::translate(stmt));

    // A LIKE pattern's translation keeps the literal closed: the statement still ends there.
    const QString like
        = QStringLiteral("SELECT * FROM N WHERE N_date like '") + Database::escape(name) + u'\'';
    if (!SqlDialect::translate(like).endsWith(QLatin1String("ESCAPE '\\'")))
        fail("broke a LIKE literal", like, SqlDialect::translate(like));
    return 0;
}
