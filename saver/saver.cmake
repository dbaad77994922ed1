# glyphfall.scr, the Windows screen saver, and its installer; included by
# cmake/windows.cmake after glyphfall.exe. The same core and the shared
# window procedure on a window backend of the saver's own (saver/).
add_executable(glyphfall_scr saver/saver_main.cpp saver/saver_args.cpp saver/settings_win32.cpp
  saver/saver_window_win32.cpp platform/win32/loop_win32.cpp shell/window_proc.cpp platform/win32/process_win32.cpp
  saver/saver.rc)
set_target_properties(glyphfall_scr PROPERTIES OUTPUT_NAME glyphfall SUFFIX .scr)
target_link_libraries(glyphfall_scr PRIVATE glyphfall_core glyphfall_surface glyphfall_scaler comctl32 user32 gdi32
  advapi32)
target_link_options(glyphfall_scr PRIVATE -mwindows)
set_property(SOURCE saver/saver.rc APPEND PROPERTY COMPILE_DEFINITIONS
  GLYPHFALL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} GLYPHFALL_VERSION_MINOR=${PROJECT_VERSION_MINOR})
set_property(SOURCE saver/saver.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/glyphfall.manifest ${CMAKE_CURRENT_SOURCE_DIR}/data/glyphfall.ico)
install(TARGETS glyphfall_scr RUNTIME DESTINATION .)

# The stand-in for the Screen Saver Settings dialog's preview that the tests
# under Wine put the saver in.
if(GLYPHFALL_TESTS)
  add_executable(preview_host tests/e2e/preview_host_win32.cpp)
endif()

# glyphfall-<version>-win64-setup.exe: a 64-bit NSIS installer of the
# programs, the README and the licence texts.
find_program(MAKENSIS makensis)
if(MAKENSIS)
  set(GLYPHFALL_SETUP ${CMAKE_BINARY_DIR}/glyphfall-${PROJECT_VERSION}-win64-setup.exe)
  add_custom_command(OUTPUT ${GLYPHFALL_SETUP}
    COMMAND ${MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DVERSION_MAJOR=${PROJECT_VERSION_MAJOR}
      -DVERSION_MINOR=${PROJECT_VERSION_MINOR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
      -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR} -DLICENSES_DIR=${GLYPHFALL_WINDOWS_DEPS}/licenses
      -DOUTFILE=${GLYPHFALL_SETUP} ${CMAKE_CURRENT_SOURCE_DIR}/installer/glyphfall.nsi
    DEPENDS glyphfall glyphfall_scr ${CMAKE_CURRENT_SOURCE_DIR}/installer/glyphfall.nsi
      ${CMAKE_CURRENT_SOURCE_DIR}/README.md
    VERBATIM)
  add_custom_target(setup ALL DEPENDS ${GLYPHFALL_SETUP})
else()
  message(WARNING "no makensis (Debian: nsis): the setup program is not built")
endif()

# Like glyphfall.exe, the saver and the setup program import Windows' own
# DLLs only (the common controls, for the settings dialog's slider, among them).
if(GLYPHFALL_TESTS)
  add_test(NAME scr_imports COMMAND bash -c "for f; do ${CMAKE_OBJDUMP} -p \"$f\" | grep 'DLL Name'; done \
    >scr-imports.txt && ! grep -viE ': (kernel32|user32|gdi32|msvcrt|advapi32|comctl32|shell32|ole32)\\.dll$' \
    scr-imports.txt" scr_imports $<TARGET_FILE:glyphfall_scr> $<$<BOOL:${MAKENSIS}>:${GLYPHFALL_SETUP}>)
  set_tests_properties(scr_imports PROPERTIES LABELS unit)
endif()
