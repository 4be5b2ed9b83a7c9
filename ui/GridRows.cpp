// SPDX-License-Identifier: GPL-3.0-or-later
#include "GridRows.h"

#include "Database.h"

namespace GridRows {

GridColumns read(Cursor &cursor, const std::vector<int> &positions)
{
    GridColumns block(int(positions.size()));
    cursor.readTexts(positions, [&block](int col, QStringView text) { block.append(col, text); });
    return block;
}

} // namespace GridRows
