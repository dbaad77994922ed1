# Cross-building for 64-bit Windows with Debian's mingw-w64, posix threads
# (the win32 thread model has no std::mutex or usable std::thread in GCC 12).
# Programs are linked statically, so a bare Windows needs nothing beside
# them; tests and tools run on this machine through Wine, with a prefix of
# the build directory's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GLYPHFALL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GLYPHFALL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLYPHFALL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${GLYPHFALL_MINGW}-windres)

# Headers and libraries only from the mingw tree and the libraries built for
# it (GLYPHFALL_WINDOWS_DEPS, set by scripts/build-windows.sh): never the
# build machine's glibc ones.
set(CMAKE_FIND_ROOT_PATH /usr/${GLYPHFALL_MINGW} ${GLYPHFALL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs the programs through this: wine with the build directory's
# prefix (made by scripts/wine-prefix.sh). The libraries built for glyphfall
# (GLYPHFALL_DEPENDENCY) run nothing: Highway would otherwise run a program
# of its own after building, and make a Wine prefix for it.
if(NOT GLYPHFALL_DEPENDENCY)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEARCH=win64 WINEDEBUG=-all
      "WINEDLLOVERRIDES=mscoree,mshtml=" wine)
endif()
