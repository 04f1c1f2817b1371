#include "multilang/editing_grid.h"

#include <algorithm>

TEditingGrid::TEditingGrid(int colCount, int rowCount) {
  SetColCount(colCount);
  SetRowCount(rowCount);
}

void TEditingGrid::SetColCount(int count) {
  FColCount = std::max(count, 0);
  for (auto& row : FRows) row.resize(static_cast<std::size_t>(FColCount));
}

void TEditingGrid::SetRowCount(int count) {
  FRows.resize(static_cast<std::size_t>(std::max(count, 0)),
               std::vector<std::string>(static_cast<std::size_t>(FColCount)));
}

const std::string& TEditingGrid::Cells(int col, int row) const {
  static const std::string empty;
  if (col < 0 || row < 0 || col >= FColCount || row >= RowCount()) return empty;
  return FRows[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void TEditingGrid::SetCells(int col, int row, const std::string& text) {
  if (col < 0 || row < 0) return;
  if (col >= FColCount) SetColCount(col + 1);
  if (row >= RowCount()) SetRowCount(row + 1);
  FRows[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = text;
}
