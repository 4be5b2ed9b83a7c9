// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class Cursor;
namespace Csv {
class Writer;
}

// The nine lists the CSV export writes: what each one selects and how its file looks.
namespace CsvLists {

constexpr int kindCount = 9;
// Kinds 0 to 4 are histories restricted to a period; 5 to 8 are master lists in full.
bool isHistory(int kind);
// The entry of the output list: "収入履歴", ..., "入金区分マスタ".
QString entry(int kind);

// A range of whole months. The months are kept as they were shown in the month boxes;
// the years are whole numbers.
struct Period
{
    int y1 = 0;
    QString m1;
    int y2 = 0;
    QString m2;
};

// A month text as two digits ("3" and "03" give "03"); nullopt when it is no number of
// one or two digits.
std::optional<QString> twoDigitMonth(const QString &month);

// The statement of a kind. For a history both months must be valid (see twoDigitMonth).
QString statement(int kind, const Period &period);

// Lines 1 to 3 of the file; `now` is the date-and-time text of the second line.
void writeHeadings(Csv::Writer &out, int kind, const Period &period, const QString &now);

// One line per row, from the cursor's current row to its end, in the kind's field order.
// Returns the number of rows written.
int writeRows(Csv::Writer &out, int kind, Cursor &rows);

} // namespace CsvLists
