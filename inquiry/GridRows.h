#pragma once

#include <QString>
#include <vector>

class Grid;

namespace GridRows {

// Replaces every data row of the grid with `cells.size() / cols` rows, filled from the texts
// in `cells` row by row (cols texts per row, column 1 first).
void replace(Grid &grid, int cols, const std::vector<QString> &cells);

} // namespace GridRows
