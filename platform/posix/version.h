// The running program's file version on POSIX, in the shape of a Win32 version resource.
//
// A Linux executable carries no version resource; the program's version is the project version
// compiled into it. The "block" that GetFileVersionInfoA fills is our own small record: a tag,
// its size, and the fixed file information that VerQueryValueA(block, "\\") points into.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/platform.h"

namespace plat::posix {

// The Win32 error for a file without a version resource (ERROR_RESOURCE_TYPE_NOT_FOUND).
inline constexpr DWORD kNoVersionResource = 1813;
inline constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// The fixed file information of this program: file and product version major.minor.patch.0.
FixedFileInfo ProgramFixedFileInfo();

// The whole version block of this program.
std::vector<std::byte> ProgramVersionBlock();

// The fixed file information inside a block made by ProgramVersionBlock, or null when block is
// null or not such a block. Precondition: a non-null block is DWORD-aligned and readable for
// 8 bytes (as Win32 asks of a version block).
const FixedFileInfo* FindFixedFileInfo(const void* block);

}  // namespace plat::posix
