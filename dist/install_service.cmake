# Install step: the systemd user unit that keeps the office ready for
# unattended runs, naming the installed kestrin-office. It is installed, not
# enabled. Set by the install rules: KESTRIN_PROGRAM_DIR, KESTRIN_DATADIR,
# KESTRIN_SERVICE_IN.

cmake_policy(VERSION 3.25)

foreach(dir KESTRIN_PROGRAM_DIR KESTRIN_DATADIR)
  if(IS_ABSOLUTE "${${dir}}")
    set(${dir}_FULL "${${dir}}")
  else()
    set(${dir}_FULL "${CMAKE_INSTALL_PREFIX}/${${dir}}")
  endif()
endforeach()

# ExecStart takes the program in double quotes, in which \ and " are escaped
# with \; % and $ stand for themselves when doubled.
set(program "${KESTRIN_PROGRAM_DIR_FULL}/kestrin-office")
string(REPLACE "\\" "\\\\" quoted "${program}")
string(REPLACE "\"" "\\\"" quoted "${quoted}")
string(REPLACE "%" "%%" quoted "${quoted}")
string(REPLACE "$" "$$" quoted "${quoted}")
file(READ "${KESTRIN_SERVICE_IN}" unit)
string(REPLACE "@KESTRIN_OFFICE_KEEPER@" "\"${quoted}\"" unit "${unit}")
set(units "$ENV{DESTDIR}${KESTRIN_DATADIR_FULL}/systemd/user")
file(MAKE_DIRECTORY "${units}")
message(STATUS "Installing: ${units}/kestrin-office.service")
file(WRITE "${units}/kestrin-office.service" "${unit}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${units}/kestrin-office.service")
