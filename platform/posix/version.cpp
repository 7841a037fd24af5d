#include "platform/posix/version.h"

#include <cstring>

namespace plat::posix {

namespace {

// Block layout: tag (4 bytes), total size (DWORD), FixedFileInfo.
constexpr char kTag[4] = {'L', 'V', 'E', 'R'};
constexpr std::size_t kInfoOffset = 8;
constexpr DWORD kStructVersion = 0x00010000;
constexpr DWORD kFileFlagsMask = 0x3F;
constexpr DWORD kFileTypeApp = 1;  // VFT_APP

}  // namespace

FixedFileInfo ProgramFixedFileInfo() {
  FixedFileInfo info{};
  info.dwSignature = kFixedFileInfoSignature;
  info.dwStrucVersion = kStructVersion;
  info.dwFileVersionMS = (DWORD{LCDWRITE_VERSION_MAJOR} << 16) | DWORD{LCDWRITE_VERSION_MINOR};
  info.dwFileVersionLS = DWORD{LCDWRITE_VERSION_PATCH} << 16;
  info.dwProductVersionMS = info.dwFileVersionMS;
  info.dwProductVersionLS = info.dwFileVersionLS;
  info.dwFileFlagsMask = kFileFlagsMask;
  info.dwFileType = kFileTypeApp;
  return info;
}

std::vector<std::byte> ProgramVersionBlock() {
  const FixedFileInfo info = ProgramFixedFileInfo();
  std::vector<std::byte> block(kInfoOffset + sizeof info);
  const auto size = static_cast<DWORD>(block.size());
  std::memcpy(block.data(), kTag, sizeof kTag);
  std::memcpy(block.data() + sizeof kTag, &size, sizeof size);
  std::memcpy(block.data() + kInfoOffset, &info, sizeof info);
  return block;
}

const FixedFileInfo* FindFixedFileInfo(const void* block) {
  if (block == nullptr) return nullptr;
  const auto* bytes = static_cast<const std::byte*>(block);
  if (std::memcmp(bytes, kTag, sizeof kTag) != 0) return nullptr;
  DWORD size = 0;
  std::memcpy(&size, bytes + sizeof kTag, sizeof size);
  if (size != kInfoOffset + sizeof(FixedFileInfo)) return nullptr;
  return reinterpret_cast<const FixedFileInfo*>(bytes + kInfoOffset);
}

}  // namespace plat::posix
