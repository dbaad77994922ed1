# Run by CPack between the install and the packing: drops the compiler's
# version notes (.comment) from the installed programs, as Debian's own
# strip step does; CPack's strip keeps them.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(FILTER programs INCLUDE REGEX "/(bin|libexec/xscreensaver)/[^/]+$")
foreach(program ${programs})
  execute_process(COMMAND objcopy --remove-section=.comment ${program} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
