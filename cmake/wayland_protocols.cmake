# Wayland protocols beyond the core one, as client code generated at build
# time by wayland-scanner: from Debian's wayland-protocols and
# plasma-wayland-protocols, and from protocols/ for the two wlroots ones that
# Debian 12 does not ship.
enable_language(C)
find_program(GLYPHFALL_WAYLAND_SCANNER wayland-scanner REQUIRED)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_package(PlasmaWaylandProtocols REQUIRED)
if(NOT WAYLAND_PROTOCOLS_DIR)
  message(FATAL_ERROR "wayland-protocols not found (Debian: apt-get install wayland-protocols)")
endif()

# Adds the client code of the protocol in xml to target: <name>-client.h,
# found as "<name>-client.h", and its interfaces, compiled as C.
function(glyphfall_wayland_protocol target xml name)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols/${name})
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
  add_custom_command(OUTPUT ${out}-client.h ${out}.c
    COMMAND ${GLYPHFALL_WAYLAND_SCANNER} client-header ${xml} ${out}-client.h
    COMMAND ${GLYPHFALL_WAYLAND_SCANNER} private-code ${xml} ${out}.c
    DEPENDS ${xml} VERBATIM)
  target_sources(${target} PRIVATE ${out}-client.h ${out}.c)
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
endfunction()
