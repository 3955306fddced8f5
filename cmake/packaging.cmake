# Installation and the Debian package.
#
# Included at the end of the top-level CMakeLists.txt, after the target
# `qamcvs` exists:
#
#   include(cmake/packaging.cmake)
#
# `cmake --install BUILD` installs the program, its man page and the
# copyright file; `cpack -G DEB` in BUILD turns the same tree into
# qamcvs_VERSION_ARCH.deb. scripts/package_check.sh checks the result.

include(GNUInstallDirs)

if(NOT TARGET qamcvs)
  message(FATAL_ERROR "packaging.cmake: include it after the qamcvs target is defined")
endif()
if(NOT PROJECT_VERSION)
  message(FATAL_ERROR "packaging.cmake: project() needs a VERSION; the package takes its version from it")
endif()

# This file lives in cmake/; the sources it installs are one level up.
get_filename_component(QAM_PACKAGING_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# --- Windows: a ZIP ------------------------------------------------------------
# qamcvs.exe, the README, the manual as plain text (groff renders the man
# page) and the licence notices of Xerces-C and ICU, which are linked in.
if(WIN32)
  install(TARGETS qamcvs RUNTIME DESTINATION .)
  find_program(QAM_GROFF groff REQUIRED)
  set(QAM_MANUAL_TEXT "${CMAKE_CURRENT_BINARY_DIR}/qamcvs-manual.txt")
  add_custom_command(
    OUTPUT "${QAM_MANUAL_TEXT}"
    COMMAND "${QAM_GROFF}" -man -Tascii -P-c -P-b -P-u "${QAM_PACKAGING_ROOT}/man/qamcvs.1" >
            "${QAM_MANUAL_TEXT}"
    DEPENDS "${QAM_PACKAGING_ROOT}/man/qamcvs.1"
    COMMENT "Rendering the man page as text")
  add_custom_target(qamcvs_manual ALL DEPENDS "${QAM_MANUAL_TEXT}")
  install(FILES "${QAM_PACKAGING_ROOT}/README.md" "${QAM_MANUAL_TEXT}" DESTINATION .)
  install(FILES ${QAM_WINDOWS_LICENSES} DESTINATION licenses)
  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_NAME "qamcvs")
  set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
  set(CPACK_SYSTEM_NAME "win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

# --- Program ----------------------------------------------------------------

install(TARGETS qamcvs RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# --- Man page -----------------------------------------------------------------
# Debian ships man pages compressed. gzip -n leaves out the name and time
# stamp, so the same page always gives the same bytes (reproducible builds).
# The page is copied first and compressed in place, which needs no shell
# redirection and so works with every generator.

find_program(QAM_GZIP gzip REQUIRED)
set(QAM_MAN_SOURCE "${QAM_PACKAGING_ROOT}/man/qamcvs.1")
set(QAM_MAN_BUILD_DIR "${CMAKE_CURRENT_BINARY_DIR}/man")
set(QAM_MAN_GZ "${QAM_MAN_BUILD_DIR}/qamcvs.1.gz")

add_custom_command(
  OUTPUT "${QAM_MAN_GZ}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${QAM_MAN_BUILD_DIR}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${QAM_MAN_SOURCE}" "${QAM_MAN_BUILD_DIR}/qamcvs.1"
  COMMAND "${QAM_GZIP}" -9nf "${QAM_MAN_BUILD_DIR}/qamcvs.1"
  DEPENDS "${QAM_MAN_SOURCE}"
  COMMENT "Compressing the man page qamcvs.1"
  VERBATIM)
add_custom_target(qamcvs_man ALL DEPENDS "${QAM_MAN_GZ}")

install(FILES "${QAM_MAN_GZ}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# --- Copyright ----------------------------------------------------------------
# Debian policy wants it at /usr/share/doc/PACKAGE/copyright, whatever the
# project is called in project().

install(FILES "${CMAKE_CURRENT_LIST_DIR}/debian-copyright"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/qamcvs"
        RENAME copyright)

# --- CPack: Debian package ------------------------------------------------------

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "qamcvs")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "qamcvs developers <qamcvs@localhost>")
set(CPACK_PACKAGE_VENDOR "qamcvs developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "CVS repository queries for a host's source-control integration")
set(CPACK_PACKAGE_DESCRIPTION
    "qamcvs answers one question about a CVS repository per run and prints the
answer as one XML document: whether a path exists, whether a file is locked
and by whom, the revision history of a file, the folders and files of a
folder, whether a path is a folder, whether two versions of a file differ,
and it creates folders. The log and comparison text comes from cvs, rlog or
diff, which the host application runs.")
# Release builds ship a stripped binary (lintian: unstripped-binary-or-object).
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME "qamcvs")
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "qamcvs developers <qamcvs@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends: comes from dpkg-shlibdeps on the installed binary, so it names the
# packages of the libraries the binary really links at the versions it
# needs: none when everything is linked statically (the default), libc6,
# libicu72 and libstdc++6 without QAM_STATIC_RUNTIME.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The host runs these tools to produce the text that ids 3, 4 and 9 read;
# qamcvs itself never starts them.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cvs, rcs")
# Directories are 0755 as Debian expects, whatever the umask of the machine
# that builds the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

include(CPack)
