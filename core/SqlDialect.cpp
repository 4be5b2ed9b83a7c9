// SPDX-License-Identifier: GPL-3.0-or-later
#include "SqlDialect.h"

namespace SqlDialect {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// A LIKE pattern of the old dialect as a SQLite pattern with "\" as its escape character.
QString likePattern(QStringView body)
{
    QString out;
    out.reserve(body.size() + 4);
    for (QChar c : body) {
        if (c == u'*')
            out += u'%';
        else if (c == u'?')
            out += u'_';
        else if (c == u'%' || c == u'_' || c == u'\\')
            out += u'\\', out += c;
        else
            out += c;
    }
    return out;
}

} // namespace

QString translate(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    const qsizetype n = sql.size();
    qsizetype i = 0;
    QString lastWord; // the last keyword or name seen outside a literal, upper case
    bool first = true; // still at the first word of the statement
    bool skipToFrom = false;

    while (i < n) {
        const QChar c = sql[i];
        if (c == u'\'') {
            // A literal runs to the next lone quote; '' inside it is one quote.
            qsizetype j = i + 1;
            QString body;
            bool closed = false;
            while (j < n) {
                if (sql[j] == u'\'') {
                    if (j + 1 < n && sql[j + 1] == u'\'') {
                        body += u'\'';
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                body += sql[j++];
            }
            if (!skipToFrom) {
                if (closed && lastWord == QLatin1String("LIKE")) {
                    QString pattern = likePattern(body);
                    out += u'\'' + pattern.replace(u'\'', QLatin1String("''"))
                        + QLatin1String("' ESCAPE '\\'");
                } else {
                    out += sql.mid(i, j - i);
                }
            }
            lastWord.clear();
            first = false;
            i = j;
            continue;
        }
        if (isWordChar(c)) {
            qsizetype j = i;
            while (j < n && isWordChar(sql[j]))
                ++j;
            const QString word = sql.mid(i, j - i);
            const QString upper = word.toUpper();
            if (first && upper == QLatin1String("DELETE")) {
                out += word;
                skipToFrom = true;
            } else if (skipToFrom && upper == QLatin1String("FROM")) {
                skipToFrom = false;
                out += u' ' + word;
            } else if (!skipToFrom) {
                out += word;
            }
            lastWord = upper;
            first = false;
            i = j;
            continue;
        }
        if (!skipToFrom)
            out += c;
        if (!c.isSpace())
            lastWord.clear(), first = false;
        ++i;
    }
    return out;
}

} // namespace SqlDialect
