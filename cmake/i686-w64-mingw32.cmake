# 32-bit Windows: Debian's mingw-w64 cross compilers, the posix-threads variant (std::thread
# and std::mutex on winpthread). Everything the C++ runtime needs is linked in statically, so
# the DLLs import nothing but kernel32, msvcrt and each other. Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MARL_MINGW_TRIPLE i686-w64-mingw32)
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

find_program(MARL_WINE wine)
if(MARL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MARL_WINE})
endif()
