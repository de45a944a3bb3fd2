# 64-bit Windows: Debian's mingw-w64 x86-64 cross compilers, the posix-threads variant
# (std::thread and std::mutex on winpthread). As for Win32, everything the C++ runtime needs
# is linked in statically, so the DLLs import nothing but kernel32, msvcrt and each other.
# Test programs run under Wine's 64-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MARL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MARL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MARL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_ASM_COMPILER ${MARL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_RC_COMPILER ${MARL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MARL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages (an installed MARLREND among them) may live anywhere.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# -static takes libgcc, libstdc++ and winpthread from their archives; the system DLLs still
# come through their import libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# /usr/bin/wine prefers the 32-bit loader; a 64-bit program is started by the 64-bit one
# directly (Debian keeps it beside the 32-bit one, off the PATH).
find_program(MARL_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(MARL_WINE64 NAMES wine64)
if(MARL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MARL_WINE64})
endif()
