#include "app/texttable.h"

#include <algorithm>

namespace app {

namespace {

// Characters, not bytes: the width a terminal gives a UTF-8 text.
size_t Width(const std::string& utf8) {
  size_t width = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++width;
  }
  return width;
}

}  // namespace

std::string TextTable(const std::vector<std::vector<std::string>>& rows) {
  if (rows.empty()) return {};
  std::vector<size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
  }
  std::string table;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - Width(row[i]) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    table += line + "\n";
  }
  return table;
}

}  // namespace app
