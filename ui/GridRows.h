// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GridColumns.h"

#include <vector>

class Cursor;

namespace GridRows {

// Reads the cursor's rows from the current one to the end into a block for Grid::replaceRows:
// the columns at `positions` (Cursor::indexOf), in the grid's column order. NULL reads as the
// empty text.
GridColumns read(Cursor &cursor, const std::vector<int> &positions);

} // namespace GridRows
