# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
#
# The posix thread model is used so that the whole C++ library (threads and
# mutexes included) is there should the core ever need it; the executables
# link statically, so the result needs no DLL beyond those Windows ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(HALVEX_MINGW_PREFIX i686-w64-mingw32)

# Prefer the -posix variant, fall back to the default alternative.
find_program(HALVEX_MINGW_CXX NAMES ${HALVEX_MINGW_PREFIX}-g++-posix ${HALVEX_MINGW_PREFIX}-g++
             REQUIRED)
find_program(HALVEX_MINGW_CC NAMES ${HALVEX_MINGW_PREFIX}-gcc-posix ${HALVEX_MINGW_PREFIX}-gcc)
find_program(HALVEX_MINGW_WINDRES NAMES ${HALVEX_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_CXX_COMPILER ${HALVEX_MINGW_CXX})
if(HALVEX_MINGW_CC)
  set(CMAKE_C_COMPILER ${HALVEX_MINGW_CC})
endif()
set(CMAKE_RC_COMPILER ${HALVEX_MINGW_WINDRES})

set(CMAKE_FIND_ROOT_PATH /usr/${HALVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
