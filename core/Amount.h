// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Amounts are whole yen in 32 bits. Sums that leave that range end the action as a
// database failure (DbError), raised before any statement is written.
namespace Amount {

qint32 add(qint32 a, qint32 b);
qint32 sub(qint32 a, qint32 b);

// A typed amount: half-width digits only, at most 2147483647. Empty, signs, blanks,
// full-width digits and anything larger give nullopt.
std::optional<qint32> parse(const QString &text);

// The same for a text that may carry a leading "-" (amounts read back from grids).
std::optional<qint32> parseSigned(const QString &text);

} // namespace Amount
