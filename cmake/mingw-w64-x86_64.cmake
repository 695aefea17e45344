# Cross toolchain: MinGW-w64 x86_64 with the posix thread model, so that
# std::thread and std::mutex are available. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine's 64-bit loader; ctest prefixes every test command with it.
find_program(KV_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/bin NO_CMAKE_FIND_ROOT_PATH)
if(NOT KV_WINE64)
  set(KV_WINE64 /usr/lib/wine/wine64)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${KV_WINE64})
