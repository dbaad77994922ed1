# What the Linux and the Windows builds share once the core is defined: the
# application shell every program runs on, the headless backend of the
# tests and tools, and the exact scaler.
add_library(glyphfall_shell STATIC shell/start_up.cpp shell/window_proc.cpp shell/command_line.cpp)
target_include_directories(glyphfall_shell PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(glyphfall_shell PUBLIC glyphfall_core)

add_library(glyphfall_headless STATIC platform/headless/platform_headless.cpp)
target_include_directories(glyphfall_headless PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

add_library(glyphfall_scaler STATIC platform/scaler.cpp)
target_include_directories(glyphfall_scaler PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
