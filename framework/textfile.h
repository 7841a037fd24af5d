// Appending one line to a text file, as the port's log does.
#pragma once

#include <string>

namespace fw {

// Opens path for appending (creating it when missing), writes text and a line break, closes it.
// Any failure raises EInOutError; the file is closed also when writing fails.
void AppendLine(const std::string& path, const std::string& text);

}  // namespace fw
