#pragma once

#include <QStringList>
#include <QTableWidget>

#include <functional>
#include <vector>

// The grids of the import and export windows: fixed columns, no editing in place, one current
// row that the Up and Down buttons move. Row 0 of the widget is the first field row; the
// column titles stand in the grid's header.
QTableWidget* makeTransferGrid(QWidget* parent, const char* name, const QStringList& titles,
                               int rows);
// Column widths and row heights at the design size times the scale factor.
void scaleTransferGrid(QTableWidget* grid, const std::vector<int>& widths, double scaleFactor);
// Cell text; empty for a missing cell.
QString cellText(const QTableWidget* grid, int row, int column);
void setCellText(QTableWidget* grid, int row, int column, const QString& text);
// Swaps the given columns of two rows and makes the second row current.
void swapRows(QTableWidget* grid, int from, int to, const std::vector<int>& columns);
// The keyboard's way to the double click: Space in the grid runs `toggle` on the current cell.
void toggleOnSpace(QTableWidget* grid, std::function<void()> toggle);
