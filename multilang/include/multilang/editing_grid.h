// The editing grid of a word-table editor: text cells in rows, column 0 the key of a group,
// column 1 + n its text for language n. CollectComponent appends a component's texts to it.
#pragma once

#include <string>
#include <vector>

class TEditingGrid {
 public:
  TEditingGrid() = default;
  TEditingGrid(int colCount, int rowCount);

  int ColCount() const { return FColCount; }
  void SetColCount(int count);
  int RowCount() const { return static_cast<int>(FRows.size()); }
  // New rows are empty; rows beyond the new count are dropped.
  void SetRowCount(int count);

  // Empty outside the grid.
  const std::string& Cells(int col, int row) const;
  // A cell outside the grid makes it grow to hold it, as an editor expects when it writes
  // past the last row.
  void SetCells(int col, int row, const std::string& text);

 private:
  int FColCount = 0;
  std::vector<std::vector<std::string>> FRows;
};
