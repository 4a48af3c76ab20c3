# Cross build for 32-bit Windows with mingw-w64 (i686), tests run under Wine.
# The -posix compilers carry the std::thread support the launcher's worker
# thread needs; everything is linked statically so the programs start on a
# bare Windows (and under Wine) without mingw's runtime DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QEL_MINGW_PREFIX i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${QEL_MINGW_PREFIX}-gcc-posix ${QEL_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QEL_MINGW_PREFIX}-g++-posix ${QEL_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QEL_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${QEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No link time in the PE header: two builds of one source give the same
# program files, so a rebuilt stub packs to the same installer.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")

find_program(QEL_WINE NAMES wine)
if(QEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEL_WINE})
endif()
