#include "GridRows.h"

#include "Grid.h"

#include <QSignalBlocker>

namespace GridRows {

void replace(Grid &grid, int cols, const std::vector<QString> &cells)
{
    const int rows = cols > 0 ? int(cells.size() / size_t(cols)) : 0;
    grid.setUpdatesEnabled(false);
    // Dropping every row first replaces the list at once instead of blanking each old cell.
    grid.setMaxRows(0);
    grid.setMaxRows(rows);
    {
        // One change notice for the whole list instead of one per cell: for a list of 100,000
        // rows the per-cell notices took half of the filling time.
        const QSignalBlocker quiet(grid.model());
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c)
                grid.setText(c + 1, r + 1, cells[size_t(r) * cols + c]);
        }
    }
    if (rows > 0)
        emit grid.model()->dataChanged(grid.model()->index(0, 0), grid.model()->index(rows - 1, cols - 1));
    grid.setUpdatesEnabled(true);
}

} // namespace GridRows
