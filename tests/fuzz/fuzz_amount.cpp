// SPDX-License-Identifier: GPL-3.0-or-later
// Typed amounts: parse() accepts exactly 1 to 10 half-width digits up to 2147483647, and the
// checked sums agree with 64-bit arithmetic or refuse.
#include "Amount.h"
#include "Database.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern const std::vector<std::string> kFuzzSeeds = {
    "0",
    "2147483647",
    "2147483648",
    "-1",
    "１２３",
    "00000000001",
    "12 3",
    "",
    "99999999999",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text
        = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto parsed = Amount::parse(text);

    bool digits = !text.isEmpty() && text.size() <= 10;
    for (QChar c : text)
        digits = digits && c >= u'0' && c <= u'9';
    const qint64 reference = digits ? text.toLongLong() : -1;
    const bool expected = digits && reference <= 2147483647;
    if (parsed.has_value() != expected || (parsed && *parsed != reference))
        std::abort();

    if (size >= 8) {
        qint32 a, b;
        std::memcpy(&a, data, 4);
        std::memcpy(&b, data + 4, 4);
        for (int op = 0; op < 2; ++op) {
            const qint64 wide = op == 0 ? qint64(a) + b : qint64(a) - b;
            const bool fits = wide >= INT32_MIN && wide <= INT32_MAX;
            try {
                const qint32 r = op == 0 ? Amount::add(a, b) : Amount::sub(a, b);
                if (!fits || r != wide)
                    std::abort();
            } catch (const DbError &) {
                if (fits)
                    std::abort();
            }
        }
    }
    return 0;
}
