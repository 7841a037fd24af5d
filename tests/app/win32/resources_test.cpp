// What the built programs carry: lcdwrite.exe is a window program and lcdwrite.com a console
// program, both stripped with their debug information beside them, both with the manifest, the
// icon in every size Windows asks for, and the project's version.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "programs.h"

namespace {

namespace fs = std::filesystem;

struct Program {
  const wchar_t* name;
  WORD subsystem;
};
constexpr Program kPrograms[] = {
    {L"lcdwrite.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI},
    {L"lcdwrite.com", IMAGE_SUBSYSTEM_WINDOWS_CUI},
};

std::string Narrow(const std::wstring& text) { return fs::path(text).string(); }

// A program's resources, without running it.
class Resources {
 public:
  explicit Resources(const fs::path& path)
      : module_(::LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~Resources() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  bool Loaded() const { return module_ != nullptr; }
  std::string Bytes(LPCWSTR name, LPCWSTR type) const {
    HRSRC found = ::FindResourceW(module_, name, type);
    if (found == nullptr) return {};
    const void* data = ::LockResource(::LoadResource(module_, found));
    return std::string(static_cast<const char*>(data), ::SizeofResource(module_, found));
  }

 private:
  HMODULE module_;
};

TEST(ProgramFiles, window_program_and_console_companion_both_stripped) {
  for (const Program& program : kPrograms) {
    const fs::path path = test::ProgramPath(program.name);
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), sizeof(IMAGE_DOS_HEADER)) << Narrow(program.name);
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, bytes.data(), sizeof dos);
    ASSERT_LT(static_cast<size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS32), bytes.size());
    IMAGE_NT_HEADERS32 nt;
    std::memcpy(&nt, bytes.data() + dos.e_lfanew, sizeof nt);
    ASSERT_EQ(nt.Signature, IMAGE_NT_SIGNATURE);
    // The subsystem field sits at the same place in 32- and 64-bit headers.
    EXPECT_EQ(nt.OptionalHeader.Subsystem, program.subsystem) << Narrow(program.name);
    // Stripped: no symbols, no debug sections. Names longer than eight characters are kept in
    // the string table after the (empty) symbol table: "/N" is the name at offset N there.
    EXPECT_EQ(nt.FileHeader.NumberOfSymbols, 0u) << Narrow(program.name);
    const size_t sections = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                            nt.FileHeader.SizeOfOptionalHeader;
    std::vector<std::string> names;
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section;
      ASSERT_LE(sections + (i + 1) * sizeof section, bytes.size());
      std::memcpy(&section, bytes.data() + sections + i * sizeof section, sizeof section);
      std::string name(reinterpret_cast<const char*>(section.Name),
                       strnlen(reinterpret_cast<const char*>(section.Name), 8));
      if (name.size() > 1 && name[0] == '/') {
        const size_t at = nt.FileHeader.PointerToSymbolTable + std::stoul(name.substr(1));
        ASSERT_LT(at, bytes.size());
        name = std::string(bytes.data() + at, strnlen(bytes.data() + at, bytes.size() - at));
      }
      names.push_back(name);
    }
    for (const std::string& name : names) {
      EXPECT_NE(name.rfind(".debug", 0), 0u) << Narrow(program.name) << ": " << name;
    }
    EXPECT_NE(std::find(names.begin(), names.end(), ".gnu_debuglink"), names.end())
        << Narrow(program.name) << " does not name its debug file";
    fs::path debug = path;
    debug += ".debug";
    ASSERT_TRUE(fs::exists(debug)) << debug;
    EXPECT_GT(fs::file_size(debug), 0u);
  }
}

TEST(ProgramResources, manifest_asks_for_the_systems_look_dpi_awareness_and_no_elevation) {
  const std::string version = "version=\"" LCDWRITE_VERSION_TEXT ".0\"";
  for (const Program& program : kPrograms) {
    Resources resources(test::ProgramPath(program.name));
    ASSERT_TRUE(resources.Loaded()) << Narrow(program.name);
    const std::string manifest = resources.Bytes(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_FALSE(manifest.empty()) << Narrow(program.name) << " has no manifest";
    for (const char* wanted : {
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             "publicKeyToken=\"6595b64144ccf1df\"",
             "level=\"asInvoker\" uiAccess=\"false\"",
             ">true/pm</dpiAware>",
             ">PerMonitorV2, PerMonitor</dpiAwareness>",
             "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
             version.c_str(),
         }) {
      EXPECT_NE(manifest.find(wanted), std::string::npos) << Narrow(program.name) << ": " << wanted;
    }
  }
}

#pragma pack(push, 2)
struct IconDirectoryEntry {
  BYTE width;  // 0 stands for 256
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bitsPerPixel;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(ProgramResources, icon_has_every_size_in_full_colour) {
  for (const Program& program : kPrograms) {
    Resources resources(test::ProgramPath(program.name));
    ASSERT_TRUE(resources.Loaded());
    const std::string group = resources.Bytes(L"MAINICON", MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_GE(group.size(), 6u) << Narrow(program.name);
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, sizeof count);
    ASSERT_EQ(group.size(), 6 + count * sizeof(IconDirectoryEntry));
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
      IconDirectoryEntry entry;
      std::memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
      const int size = entry.width == 0 ? 256 : entry.width;
      EXPECT_EQ(entry.height, entry.width);
      EXPECT_EQ(entry.bitsPerPixel, 32) << size;
      // The image itself is there, whole.
      EXPECT_EQ(resources.Bytes(MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3)).size(),  // RT_ICON
                entry.bytes) << size;
      sizes.insert(size);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 256})) << Narrow(program.name);
  }
}

TEST(ProgramResources, version_is_the_projects) {
  for (const Program& program : kPrograms) {
    const std::wstring path = test::ProgramPath(program.name).wstring();
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u) << Narrow(program.name);
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", &value, &length));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(info->dwFileVersionMS, (DWORD{LCDWRITE_VERSION_MAJOR} << 16) | LCDWRITE_VERSION_MINOR);
    EXPECT_EQ(info->dwFileVersionLS, DWORD{LCDWRITE_VERSION_PATCH} << 16);
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\StringFileInfo\\040704E4\\OriginalFilename",
                                 &value, &length));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), program.name);
    // The maker and the copyright, the same on both programs.
    for (const auto& [name, expected] :
         {std::pair{L"CompanyName", L"lcdwrite"},
          std::pair{L"LegalCopyright", L"Copyright \u00A9 " LCDWRITE_RELEASE_YEAR L" the lcdwrite developers"}}) {
      const std::wstring key = std::wstring(L"\\StringFileInfo\\040704E4\\") + name;
      ASSERT_TRUE(::VerQueryValueW(block.data(), key.c_str(), &value, &length))
          << Narrow(program.name) << " " << Narrow(name);
      EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), expected) << Narrow(program.name);
    }
  }
}

}  // namespace
