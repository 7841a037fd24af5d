# Shared by the MinGW-w64 toolchain files: set LCDWRITE_MINGW_TRIPLET before including this.
#
# The posix thread model of the cross compiler is the one with std::thread (the default win32
# model has none). Everything is linked statically, so a program imports only system DLLs.
# Programs built here run on this machine through Wine: CTest and gtest discovery use the
# emulator set below (scripts/test-windows.sh sets up the Wine prefix it runs in).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${LCDWRITE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LCDWRITE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LCDWRITE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LCDWRITE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Windows 7 as the oldest target: RegisterDeviceNotification, GetFileVersionInfo and the rest.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")

# Wine runs what this build produces; timeout keeps a stuck program from hanging the run.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR timeout --kill-after=5 300 wine)
endif()
