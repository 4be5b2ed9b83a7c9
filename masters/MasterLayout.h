#pragma once

#include <QString>

class Grid;
class QLabel;
class QWidget;

// Small pieces the master windows share: the big heading, and grids sized to their columns.
namespace MasterLayout {

// The window's heading label (Label5), in a larger bold font.
QLabel *heading(const QString &text, QWidget *parent);
// A plain label with the given object name.
QLabel *label(const char *name, const QString &text, QWidget *parent);
// Makes the grid exactly as wide as its columns, and as high as the heading row plus
// `visibleRows` data rows (the grid scrolls beyond that).
void fitGrid(Grid *grid, int visibleRows);

} // namespace MasterLayout
