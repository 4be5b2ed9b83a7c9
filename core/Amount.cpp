// SPDX-License-Identifier: GPL-3.0-or-later
#include "Amount.h"

#include "Database.h"

namespace Amount {

qint32 add(qint32 a, qint32 b)
{
    qint32 r;
    if (__builtin_add_overflow(a, b, &r))
        throw DbError(QStringLiteral("amount overflow: %1 + %2").arg(a).arg(b));
    return r;
}

qint32 sub(qint32 a, qint32 b)
{
    qint32 r;
    if (__builtin_sub_overflow(a, b, &r))
        throw DbError(QStringLiteral("amount overflow: %1 - %2").arg(a).arg(b));
    return r;
}

std::optional<qint32> parse(const QString &text)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    qint64 v = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    if (v > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(v);
}

std::optional<qint32> parseSigned(const QString &text)
{
    if (text.startsWith(u'-')) {
        const auto v = parse(text.mid(1));
        if (!v)
            return std::nullopt;
        return -*v;
    }
    return parse(text);
}

} // namespace Amount
