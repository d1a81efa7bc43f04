# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The program is built with the win32 thread model: it uses no threads, and the posix model
# would link winpthread into it, with its thread-suspending and debugger imports. GCC 12's
# library has no std::mutex in that model, which GoogleTest needs: the unit tests are built
# with the posix compilers, in a build of their own (VREKO_MINGW_THREADS=posix; CMakeLists.txt
# makes it). Everything links statically, so the programs need only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VREKO_MINGW_THREADS win32 CACHE STRING "Thread model of the mingw-w64 compilers: win32 or posix")
set_property(CACHE VREKO_MINGW_THREADS PROPERTY STRINGS win32 posix)
# try_compile projects see the choice too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VREKO_MINGW_THREADS)

set(VREKO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VREKO_MINGW_TRIPLET}-gcc-${VREKO_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${VREKO_MINGW_TRIPLET}-g++-${VREKO_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${VREKO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VREKO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libstdc++, libgcc or winpthread DLL beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
