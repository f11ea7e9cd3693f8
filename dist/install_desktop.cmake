# Install step: the link to the program in the bin folder, the desktop entry
# naming it, and, for a direct install (no DESTDIR), the desktop's caches of
# file types and menu entries. Set by the install rules: KESTRIN_BINDIR,
# KESTRIN_PROGRAM_DIR, KESTRIN_DATADIR, KESTRIN_VERSION, KESTRIN_DESKTOP_IN.
# The link and the entry go into the install manifest like every installed
# file; the caches are the desktop's, shared with other programs, and are
# not listed.

cmake_policy(VERSION 3.25)

function(kestrin_full out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

kestrin_full(bindir "${KESTRIN_BINDIR}")
kestrin_full(programdir "${KESTRIN_PROGRAM_DIR}")
kestrin_full(datadir "${KESTRIN_DATADIR}")
set(destdir "$ENV{DESTDIR}")

# bin/kestrin -> ../lib/kestrin/kestrin, relative so that the tree can move.
file(RELATIVE_PATH target "${bindir}" "${programdir}/kestrin")
file(MAKE_DIRECTORY "${destdir}${bindir}")
message(STATUS "Installing: ${destdir}${bindir}/kestrin -> ${target}")
file(CREATE_LINK "${target}" "${destdir}${bindir}/kestrin" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destdir}${bindir}/kestrin")

# The Exec key quotes an argument that holds a space or a reserved
# character; inside the quotes ", `, $ and \ are escaped with \, and the
# desktop file's own string escaping doubles every \ again.
set(program "${bindir}/kestrin")
if(program MATCHES "^[A-Za-z0-9/._+,@=:-]+$")
  set(KESTRIN_EXEC "${program}")
else()
  string(REPLACE "\\" "\\\\" quoted "${program}")
  string(REPLACE "%" "%%" quoted "${quoted}")
  string(REPLACE "\"" "\\\"" quoted "${quoted}")
  string(REPLACE "`" "\\`" quoted "${quoted}")
  string(REPLACE "$" "\\$" quoted "${quoted}")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  set(KESTRIN_EXEC "\"${quoted}\"")
endif()
string(REPLACE "\\" "\\\\" try_exec "${program}")
file(READ "${KESTRIN_DESKTOP_IN}" entry)
string(REPLACE "TryExec=@KESTRIN_EXEC@" "TryExec=${try_exec}" entry "${entry}")
string(REPLACE "@KESTRIN_EXEC@" "${KESTRIN_EXEC}" entry "${entry}")
string(REPLACE "@KESTRIN_VERSION@" "${KESTRIN_VERSION}" entry "${entry}")
set(applications "${destdir}${datadir}/applications")
file(MAKE_DIRECTORY "${applications}")
message(STATUS "Installing: ${applications}/kestrin.desktop")
file(WRITE "${applications}/kestrin.desktop" "${entry}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${applications}/kestrin.desktop")

# Packagers (DESTDIR) leave the caches to the package's own triggers.
if(destdir STREQUAL "")
  find_program(update_mime update-mime-database)
  if(update_mime)
    execute_process(COMMAND "${update_mime}" "${datadir}/mime" RESULT_VARIABLE rc)
  endif()
  find_program(update_desktop update-desktop-database)
  if(update_desktop)
    execute_process(COMMAND "${update_desktop}" "${applications}" RESULT_VARIABLE rc)
  endif()
  find_program(update_icons gtk-update-icon-cache)
  if(update_icons AND EXISTS "${datadir}/icons/hicolor/index.theme")
    execute_process(COMMAND "${update_icons}" -q -t "${datadir}/icons/hicolor"
                    RESULT_VARIABLE rc)
  endif()
endif()
