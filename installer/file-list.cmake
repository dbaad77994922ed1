# Writes OUT, the setup program's list of files, from STAGE, the ZIP's files
# installed stripped: one line per file, a macro for installer/glyphfall.nsi
# to run on each (its install and uninstall steps), then its folders, deepest
# first. The screen saver goes where Windows looks for them.
#   cmake -DSTAGE=dir -DOUT=file.nsh -P file-list.cmake
file(GLOB_RECURSE files RELATIVE ${STAGE} ${STAGE}/*)
list(SORT files)
set(folders "")
set(text "!macro GlyphfallFiles Step\n")
foreach(file ${files})
  get_filename_component(folder ${file} DIRECTORY)
  get_filename_component(name ${file} NAME)
  string(REPLACE "/" "\\" folder "$INSTDIR/${folder}")
  string(REGEX REPLACE "\\\\$" "" folder ${folder})
  if(name MATCHES "\\.scr$")
    set(folder "$SYSDIR")
  elseif(NOT folder STREQUAL "$INSTDIR")
    list(APPEND folders ${folder})
  endif()
  string(APPEND text "  !insertmacro \${Step} \"${folder}\" \"${name}\" \"${file}\"\n")
endforeach()
string(APPEND text "!macroend\n!macro GlyphfallFolders Step\n")
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder ${folders})
  string(APPEND text "  !insertmacro \${Step} \"${folder}\"\n")
endforeach()
file(WRITE ${OUT} "${text}!macroend\n")
