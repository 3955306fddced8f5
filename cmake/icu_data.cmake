# The static ICU that qamcvs links with QAM_STATIC_RUNTIME: Debian's
# libicuuc.a, and instead of its full libicudata.a (31 MB) an object with the
# data cut down to the converter tables and their aliases (about 5 MB),
# made once per build folder by scripts/icu_converter_data.sh from Debian's
# own packages (libicu-dev, icu-devtools) and remade only when they change.
#
# Sets QAM_ICUUC_ARCHIVE and QAM_ICU_CONVERTER_DATA.

find_library(QAM_ICUUC_ARCHIVE NAMES libicuuc.a REQUIRED)
find_library(QAM_ICUDATA_ARCHIVE NAMES libicudata.a REQUIRED)
find_program(QAM_ICUPKG icupkg PATHS /usr/sbin REQUIRED)
find_program(QAM_GENCCODE genccode PATHS /usr/sbin REQUIRED)
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "objcopy (binutils) is needed to build the ICU converter data")
endif()

set(QAM_ICU_CONVERTER_DATA "${CMAKE_BINARY_DIR}/icu/icu_converter_data.o")
add_custom_command(
  OUTPUT "${QAM_ICU_CONVERTER_DATA}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/icu"
  COMMAND "${CMAKE_SOURCE_DIR}/scripts/icu_converter_data.sh" --object
          "${QAM_ICUDATA_ARCHIVE}" "${QAM_ICU_CONVERTER_DATA}"
  DEPENDS "${QAM_ICUDATA_ARCHIVE}" "${CMAKE_SOURCE_DIR}/scripts/icu_converter_data.sh"
  COMMENT "Cutting ICU's data down to the converter tables"
  VERBATIM)
add_custom_target(qam_icu_converter_data DEPENDS "${QAM_ICU_CONVERTER_DATA}")
