# Where an installed copy keeps its parts, by the GNU install directories:
# programs in bin/, the template sets in share/mwst-konvertierung/mwst/,
# libholdwatch.so in lib/mwst-konvertierung/ (a private library, not one for
# the system's search path). The programs find data and library relative to
# their own folder, so that a package unpacked under any root works as well.
include(GNUInstallDirs)

set(MWST_PACKAGE_NAME mwst-konvertierung)
set(MWST_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/${MWST_PACKAGE_NAME})
set(MWST_INSTALL_PKGLIBDIR ${CMAKE_INSTALL_LIBDIR}/${MWST_PACKAGE_NAME})
set(MWST_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${MWST_PACKAGE_NAME})

# The same folders as seen from the installed programs.
file(RELATIVE_PATH MWST_DATADIR_FROM_BINDIR
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/${MWST_PACKAGE_NAME})
file(RELATIVE_PATH MWST_PKGLIBDIR_FROM_BINDIR
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/${MWST_PACKAGE_NAME})

# Directories made by `cmake --install` and the package get the usual modes,
# whatever the umask of the one building.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
