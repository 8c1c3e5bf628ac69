// TFileIO: reads a small text file into a table of blank-separated words.
//
// Every non-blank line is a row and its words are the columns: at most 101 rows and 51 words a
// row are kept. The link manager reads its connection file through it by position (row 0 column 2
// the address, and so on). A load reads `<Path>/<FileName>` (the name matched without regard to
// case) and never changes the process's current directory. Main thread only.
#pragma once

#include <array>
#include <filesystem>
#include <string>

namespace tarvel::config {

class TFileIO {
 public:
  static constexpr int kMaxColumns = 51;
  static constexpr int kMaxRows = 101;

  TFileIO() = default;

  const std::string& Path() const { return path_; }
  void SetPath(std::string path) { path_ = std::move(path); }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(std::string name) { fileName_ = std::move(name); }

  // Stores path and file name, then reads the file. False when it cannot be opened; the table
  // is then left as it was. A successful load first clears the whole table, so no word of a
  // longer earlier file survives.
  bool LoadTable(const std::string& path, const std::string& fileName);

  // The word at (column, row); empty outside the table or where the row had no such word.
  std::string GetCell(int column, int row) const;
  int ColumnCount() const { return columnCount_; }
  int RowCount() const { return rowCount_; }

 private:
  std::string path_;
  std::string fileName_;
  std::array<std::array<std::string, kMaxRows>, kMaxColumns> cells_;  // [column][row]
  int columnCount_ = 4;  // the largest word count of a row; 4 before the first load
  int rowCount_ = 4;     // rows stored; 4 before the first load
};

}  // namespace tarvel::config
