// Texts at the boundary to the wide (UTF-16) Windows API: the tool's texts are Windows-1252,
// converted by table (not by the system's current code page, which may be another one), with a
// name's characters outside it carried whole (fw::kCarryMark): a dialog shows "Łódź" as it is.
#pragma once

#include <string>

namespace ui {

std::wstring Cp1252ToWide(const std::string& text);
// Characters without a Windows-1252 form become '?'.
std::string WideToCp1252(const std::wstring& text);

}  // namespace ui
