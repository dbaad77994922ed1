# What the Linux and the Windows builds share once the platform's libraries
# are found: the portable core (GLYPHFALL_HWY names Highway's target), the
# application shell every program runs on, the headless backend of the tests
# and tools, the exact scaler, and GoogleTest for the tests.
add_library(glyphfall_core STATIC ${GLYPHFALL_CORE_SOURCES})
target_link_libraries(glyphfall_core PUBLIC Threads::Threads ${GLYPHFALL_HWY})

add_library(glyphfall_shell STATIC shell/start_up.cpp shell/window_proc.cpp shell/command_line.cpp)
target_link_libraries(glyphfall_shell PUBLIC glyphfall_core)

add_library(glyphfall_headless STATIC platform/headless/platform_headless.cpp)
add_library(glyphfall_scaler STATIC platform/scaler.cpp)

if(GLYPHFALL_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
