#include "ui/win32/wintext.h"

#include "framework/sysutils.h"

namespace ui {

// wchar_t is UTF-16 on Windows; fw's converters do the work through UTF-8.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");

std::wstring Cp1252ToWide(const std::string& text) {
  const std::u16string wide = fw::Utf8Decode(fw::Cp1252ToUtf8(text));
  return std::wstring(wide.begin(), wide.end());
}

std::string WideToCp1252(const std::wstring& text) {
  return fw::Utf8ToCp1252(fw::Utf8Encode(std::u16string(text.begin(), text.end())));
}

}  // namespace ui
