# The Windows build, cross-built on Debian with mingw-w64
# (cmake/mingw-w64-x86_64.cmake; scripts/build-windows.sh is the one command
# that makes it). Highway, GoogleTest and Google Benchmark come from the
# script's own builds of Debian's sources. Programs are linked statically and
# import only Windows system DLLs; tests and the bench run under Wine.
find_package(Threads REQUIRED)
find_package(hwy REQUIRED)

set(GLYPHFALL_WINDOWS_DEPS "" CACHE PATH "Highway, GoogleTest and Benchmark built for mingw")

add_library(glyphfall_core STATIC ${GLYPHFALL_CORE_SOURCES})
target_include_directories(glyphfall_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(glyphfall_core PUBLIC Threads::Threads hwy::hwy)

add_library(glyphfall_headless STATIC platform/headless/platform_headless.cpp)
target_include_directories(glyphfall_headless PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

add_library(glyphfall_scaler STATIC platform/scaler.cpp)
target_include_directories(glyphfall_scaler PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

# The raster's surface on GDI: a DIB section, the white fill and the letter
# by TextOut. It needs no window, so the tests and the bench use it as well.
set(GLYPHFALL_WIN32_SURFACE ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/surface_win32.cpp)
if(NOT EXISTS ${GLYPHFALL_WIN32_SURFACE})
  message(WARNING "no platform/win32/surface_win32.cpp yet: only the core is built")
  return()
endif()
add_library(glyphfall_surface STATIC ${GLYPHFALL_WIN32_SURFACE})
target_include_directories(glyphfall_surface PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(glyphfall_surface PUBLIC gdi32)

# glyphfall.exe: the shell on the Win32 backend, a GUI program (-mwindows)
# with its version information, icon and manifest in its resources.
set(GLYPHFALL_WIN32_SOURCES platform/win32/window_win32.cpp platform/win32/loop_win32.cpp
  platform/win32/process_win32.cpp)
file(GLOB GLYPHFALL_SHELL_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/shell/*.cpp)
set(GLYPHFALL_RC ${CMAKE_CURRENT_SOURCE_DIR}/glyphfall/glyphfall.rc)
add_executable(glyphfall ${GLYPHFALL_SHELL_SOURCES} ${GLYPHFALL_WIN32_SOURCES} ${GLYPHFALL_RC})
target_link_libraries(glyphfall PRIVATE glyphfall_core glyphfall_surface user32 gdi32)
target_link_options(glyphfall PRIVATE -mwindows)
set_property(SOURCE ${GLYPHFALL_RC} APPEND PROPERTY COMPILE_DEFINITIONS
  GLYPHFALL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} GLYPHFALL_VERSION_MINOR=${PROJECT_VERSION_MINOR})
set_property(SOURCE ${GLYPHFALL_RC} APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/glyphfall.manifest ${CMAKE_CURRENT_SOURCE_DIR}/data/glyphfall.ico)

# glyphfall.scr and the setup program.
include(${CMAKE_CURRENT_SOURCE_DIR}/glyphfall-scr/CMakeLists.txt)

if(GLYPHFALL_TESTS)
  enable_testing()
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
  find_package(GTest REQUIRED)
  file(GLOB CORE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  add_executable(core_tests ${CORE_TEST_SOURCES})
  target_link_libraries(core_tests PRIVATE glyphfall_core glyphfall_headless glyphfall_surface GTest::gtest_main)
  add_test(NAME core_tests COMMAND core_tests)
  set_tests_properties(core_tests PROPERTIES LABELS unit FIXTURES_REQUIRED wine TIMEOUT 300)
endif()

if(GLYPHFALL_BENCH)
  add_subdirectory(bench)
endif()

# glyphfall-<version>-win64.zip: the program, the README and the licence
# texts of everything linked into it.
install(TARGETS glyphfall RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
  install(FILES LICENSE DESTINATION .)
else()
  message(WARNING "no LICENSE: the ZIP goes without the program's licence")
endif()
install(DIRECTORY ${GLYPHFALL_WINDOWS_DEPS}/licenses/ DESTINATION licenses)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME glyphfall)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
