# The 64-bit edition on Linux: the native x86-64 compilers and Debian's amd64 packages.
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m64")
set(CMAKE_CXX_FLAGS_INIT "-m64")
set(CMAKE_ASM_FLAGS_INIT "-m64")
set(CMAKE_LIBRARY_ARCHITECTURE x86_64-linux-gnu)
