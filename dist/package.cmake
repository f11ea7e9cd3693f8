# The Debian package: `cpack -G DEB` in the build folder, after the build,
# writes kestrin_<version>_<arch>.deb holding what `cmake --install` installs,
# under /usr. Install it with `apt install ./kestrin_*.deb`; removing it
# removes every file it brought. The desktop's caches of file types, menu
# entries, icons and manual pages are refreshed by the triggers of the
# packages that own them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kestrin project")
set(CPACK_PACKAGE_CONTACT "The Kestrin project <kestrin@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "write the records of an Access table or query into a workbook sheet")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrin copies the records of a table or saved select query of an Access
database (.mdb, .accdb) into a sheet of an existing workbook (.xls, .xlsx),
optionally under a heading row, formatted as a table (ruled lines, AutoFilter,
fitted rows and columns) and summarised in a pivot table. Its window is in
Japanese; saved settings (pattern files) can be run unattended from the
command line. It reads Access files itself and drives LibreOffice Calc for
the workbook.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kestrin.example.org/)
# Libraries the program links (Qt, libmdb, SQLite, the office's UNO
# libraries) are found by dpkg-shlibdeps; what it runs or reads is named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Servers may keep the office without its window (exports that are not
# shown need no more).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libreoffice-calc | libreoffice-calc-nogui, fonts-ipafont-gothic, qt6-translations-l10n")
# Japanese menus in the office; on Wayland desktops without X, the office's
# Qt back end with Qt 5's Wayland platform, and Qt 6's for the window.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libreoffice-l10n-ja, libreoffice-qt5, qtwayland5, qt6-wayland, xdg-utils")
# Packaging and installing take what the build made; they do not build the
# whole tree (tests included) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
