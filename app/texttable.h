// A table for a terminal: columns as wide as their widest cell (in characters, not bytes), two
// spaces between them, no spaces at a line's end. --history and --list print with it.
#pragma once

#include <string>
#include <vector>

namespace app {

// rows: the heading first, every row with as many cells; UTF-8 in and out, a line each.
std::string TextTable(const std::vector<std::vector<std::string>>& rows);

}  // namespace app
