# Debian's header-only stb (libstb-dev): the PNG writer and the resampler
# (pictures are decoded by the decoders of record, cmake/decoders.cmake). Like CLI11, its folder alone is linked into the build
# tree so that a cross build does not search the host's /usr/include.
find_path(HALVEX_STB_DIR stb/stb_image.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(HALVEX_STB_INCLUDE ${CMAKE_BINARY_DIR}/stb-include)
if(NOT EXISTS ${HALVEX_STB_INCLUDE}/stb)
  file(MAKE_DIRECTORY ${HALVEX_STB_INCLUDE})
  file(CREATE_LINK ${HALVEX_STB_DIR}/stb ${HALVEX_STB_INCLUDE}/stb SYMBOLIC)
endif()
add_library(halvex_stb INTERFACE)
target_include_directories(halvex_stb SYSTEM INTERFACE ${HALVEX_STB_INCLUDE})

# The files that compile stb in, and the options they are compiled with
# (none today; the fuzz build applies the same list).
set(HALVEX_STB_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/prepare/resize.cpp)
set(HALVEX_STB_OPTIONS "")
