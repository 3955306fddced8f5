# The Windows build, cross-compiled with MinGW-w64 (cmake/mingw-w64-x86_64.cmake):
# Xerces-C and ICU come as static libraries from scripts/windows_deps.sh, and
# every executable is linked statically, so qamcvs.exe needs no DLL beyond
# those Windows ships.
#
# Included from the top-level CMakeLists.txt when WIN32 is set.

execute_process(
  COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/windows_deps.sh" --prefix
  OUTPUT_VARIABLE QAM_DEFAULT_DEPS_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE)
set(QAM_WINDOWS_DEPS_PREFIX "${QAM_DEFAULT_DEPS_PREFIX}" CACHE PATH
    "Where scripts/windows_deps.sh installed the Windows Xerces-C and ICU")
if(NOT EXISTS "${QAM_WINDOWS_DEPS_PREFIX}/.complete")
  message(FATAL_ERROR "No Windows dependencies in ${QAM_WINDOWS_DEPS_PREFIX}: "
                      "run scripts/windows_deps.sh first")
endif()

function(qam_find_windows_archive variable name)
  find_library(${variable} NAMES ${name} PATHS "${QAM_WINDOWS_DEPS_PREFIX}/lib"
               NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
endfunction()
qam_find_windows_archive(QAM_XERCES_ARCHIVE libxerces-c.a)
# ICU names its static archives with an "s" on Windows.
qam_find_windows_archive(QAM_ICUUC_ARCHIVE libsicuuc.a)
qam_find_windows_archive(QAM_ICUDT_ARCHIVE libsicudt.a)

add_library(XercesC::XercesC INTERFACE IMPORTED)
set_target_properties(XercesC::XercesC PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${QAM_WINDOWS_DEPS_PREFIX}/include"
  INTERFACE_COMPILE_DEFINITIONS XERCES_STATIC_LIBRARY
  INTERFACE_LINK_LIBRARIES "${QAM_XERCES_ARCHIVE};advapi32")
set(XercesC_INCLUDE_DIRS "${QAM_WINDOWS_DEPS_PREFIX}/include")

add_library(ICU::uc INTERFACE IMPORTED)
set_target_properties(ICU::uc PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${QAM_WINDOWS_DEPS_PREFIX}/include"
  INTERFACE_COMPILE_DEFINITIONS U_STATIC_IMPLEMENTATION
  INTERFACE_LINK_LIBRARIES "${QAM_ICUUC_ARCHIVE};${QAM_ICUDT_ARCHIVE}")

# The licence notices of both libraries travel with the executable.
set(QAM_WINDOWS_LICENSES
  "${QAM_WINDOWS_DEPS_PREFIX}/share/licenses/Xerces-C-LICENSE.txt"
  "${QAM_WINDOWS_DEPS_PREFIX}/share/licenses/Xerces-C-NOTICE.txt"
  "${QAM_WINDOWS_DEPS_PREFIX}/share/licenses/ICU-LICENSE.txt")

# GoogleTest from Debian's sources (package googletest), built with the same
# compiler as the tests.
set(QAM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
