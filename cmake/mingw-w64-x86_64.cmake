# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# variant, which std::thread and std::mutex need):
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
# The libraries built by scripts/windows_deps.sh are found through
# CMAKE_PREFIX_PATH (QAM_WINDOWS_DEPS_PREFIX).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QAM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QAM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QAM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QAM_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${QAM_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${QAM_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "ranlib")

set(CMAKE_FIND_ROOT_PATH /usr/${QAM_MINGW_TRIPLE})
if(DEFINED ENV{QAM_WINDOWS_DEPS_PREFIX})
  list(APPEND CMAKE_FIND_ROOT_PATH $ENV{QAM_WINDOWS_DEPS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and try_run programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
