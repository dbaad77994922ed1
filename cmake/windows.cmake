# The Windows build, cross-built on Debian with mingw-w64
# (cmake/mingw-w64-x86_64.cmake; scripts/build-windows.sh is the one command
# that makes it). Highway, GoogleTest and Google Benchmark come from the
# script's own builds of Debian's sources. Programs are linked statically and
# import only Windows system DLLs; tests and the bench run under Wine.
find_package(Threads REQUIRED)
find_package(hwy REQUIRED)

set(GLYPHFALL_WINDOWS_DEPS "" CACHE PATH "Highway, GoogleTest and Benchmark built for mingw")

set(GLYPHFALL_HWY hwy::hwy)
include(cmake/shared.cmake)

# The platform layer on Win32. The raster's surface on GDI: a DIB section,
# the white fill and the letter by TextOut; it needs no window, so the tests
# and the bench use it as well.
add_library(glyphfall_surface STATIC platform/win32/surface_win32.cpp)
target_link_libraries(glyphfall_surface PUBLIC gdi32)

# Stop requests from the console and the module facts the error box names.
add_library(glyphfall_process STATIC platform/win32/process_win32.cpp)

# The message loop and the frame pump, shared by the two windows below.
set(GLYPHFALL_WIN32_LOOP platform/win32/loop_win32.cpp platform/frame_pump.cpp)

# glyphfall.exe's full-screen window.
add_library(glyphfall_fullscreen STATIC platform/win32/window_win32.cpp ${GLYPHFALL_WIN32_LOOP})
target_link_libraries(glyphfall_fullscreen PUBLIC glyphfall_process user32 gdi32)

# glyphfall.scr's window: a monitor or a preview.
add_library(glyphfall_saver_window STATIC platform/win32/saver_window_win32.cpp ${GLYPHFALL_WIN32_LOOP})
target_link_libraries(glyphfall_saver_window PUBLIC glyphfall_scaler glyphfall_process user32 gdi32)

# Each program lands at the top of the build directory; its folder's build
# files go beside it.
add_subdirectory(glyphfall glyphfall.dir)
add_subdirectory(glyphfall-scr glyphfall-scr.dir)

if(GLYPHFALL_TESTS)
  # One Wine prefix for the tests, made once in the build directory, and
  # one wineserver kept for all of them, stopped at the end.
  set(GLYPHFALL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  foreach(step start stop)
    add_test(NAME wine_${step}
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/wine-prefix.sh ${step} ${GLYPHFALL_WINE_PREFIX})
  endforeach()
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

  # A bare Windows runs the program: it imports Windows' own DLLs only (the
  # C and C++ runtimes and winpthreads are linked in, not needed beside it).
  add_test(NAME imports COMMAND bash -c "${CMAKE_OBJDUMP} -p \"$1\" | grep 'DLL Name' >imports.txt && \
    ! grep -viE ': (kernel32|user32|gdi32|msvcrt|advapi32|shell32|ole32|ntdll)\\.dll$' imports.txt"
    imports $<TARGET_FILE:glyphfall>)
  set_tests_properties(imports PROPERTIES LABELS unit)

  # The core's unit tests on the headless backend and the GDI surface, all
  # in one Wine process (one process each would add Wine's start-up 19 times).
  file(GLOB CORE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  add_executable(core_tests ${CORE_TEST_SOURCES})
  target_link_libraries(core_tests PRIVATE glyphfall_shell glyphfall_core glyphfall_headless glyphfall_surface
    glyphfall_process glyphfall_scaler GTest::gtest_main)
  add_test(NAME core_tests COMMAND core_tests)
  set_tests_properties(core_tests PROPERTIES LABELS unit FIXTURES_REQUIRED wine TIMEOUT 300)
endif()

if(GLYPHFALL_BENCH)
  add_subdirectory(bench)
endif()

# glyphfall-<version>-win64.zip, in one folder of that name: the programs,
# a plain-text guide and the licence texts with Windows line endings, and in
# licenses/ those of everything linked in. The setup program installs the
# same files (glyphfall-scr/CMakeLists.txt).
configure_file(docs/README-Windows.txt windows-text/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE windows-text/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/windows-text/README.txt ${CMAKE_BINARY_DIR}/windows-text/LICENSE.txt DESTINATION .)
install(DIRECTORY ${GLYPHFALL_WINDOWS_DEPS}/licenses/ DESTINATION licenses)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME glyphfall)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
if(GLYPHFALL_TESTS)
  # The ZIP that scripts/build-windows.sh made after the build: all of it in its one folder.
  add_test(NAME zip_folder COMMAND bash -c "set -o pipefail; unzip -Z1 \"$1\" | grep -qv \"^$2/\"; [ $? = 1 ]"
    zip_folder ${CMAKE_BINARY_DIR}/glyphfall-${PROJECT_VERSION}-win64.zip glyphfall-${PROJECT_VERSION}-win64)
  set_tests_properties(zip_folder PROPERTIES LABELS unit)
endif()
