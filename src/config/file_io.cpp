#include "config/file_io.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "config/paths.h"

namespace tarvel::config {

bool TFileIO::LoadTable(const std::string& path, const std::string& fileName) {
  path_ = path;
  fileName_ = fileName;
  const std::filesystem::path file =
      ResolveCaseInsensitive(NativePath(path) / NativePath(fileName));
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;

  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    // Files written on the original system end their lines with CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;  // blank lines are dropped
    lines.push_back(std::move(line));
  }
  if (in.bad()) return false;

  for (auto& column : cells_) column.fill(std::string());
  rowCount_ = static_cast<int>(std::min<std::size_t>(lines.size(), kMaxRows));
  columnCount_ = 0;
  for (int r = 0; r < rowCount_; ++r) {
    const std::string& line = lines[static_cast<std::size_t>(r)];
    int col = 0;
    std::size_t pos = 0;
    while (col < kMaxColumns) {
      pos = line.find_first_not_of(" \t", pos);
      if (pos == std::string::npos) break;
      const std::size_t end = line.find_first_of(" \t", pos);
      cells_[static_cast<std::size_t>(col)][static_cast<std::size_t>(r)] =
          line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
      ++col;
      if (end == std::string::npos) break;
      pos = end;
    }
    columnCount_ = std::max(columnCount_, col);
  }
  return true;
}

std::string TFileIO::GetCell(int column, int row) const {
  if (column < 0 || column >= kMaxColumns || row < 0 || row >= kMaxRows) return {};
  return cells_[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
}

}  // namespace tarvel::config
