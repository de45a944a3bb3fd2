# The fuzz build of the 64-bit edition: the x86-64 target of cmake/x86_64-linux-gnu.cmake,
# compiled with clang 14 and its libFuzzer and sanitizer runtimes.
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_ASM_COMPILER clang-14)
set(CMAKE_C_FLAGS_INIT "-m64")
set(CMAKE_CXX_FLAGS_INIT "-m64")
set(CMAKE_ASM_FLAGS_INIT "-m64")
set(CMAKE_LIBRARY_ARCHITECTURE x86_64-linux-gnu)
