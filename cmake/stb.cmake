# Debian's header-only stb (libstb-dev): the image decoders, the PNG writer
# and the resampler. Like CLI11, its folder alone is linked into the build
# tree so that a cross build does not search the host's /usr/include.
find_path(HALVEX_STB_DIR stb/stb_image.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(HALVEX_STB_INCLUDE ${CMAKE_BINARY_DIR}/stb-include)
if(NOT EXISTS ${HALVEX_STB_INCLUDE}/stb)
  file(MAKE_DIRECTORY ${HALVEX_STB_INCLUDE})
  file(CREATE_LINK ${HALVEX_STB_DIR}/stb ${HALVEX_STB_INCLUDE}/stb SYMBOLIC)
endif()
add_library(halvex_stb INTERFACE)
target_include_directories(halvex_stb SYSTEM INTERFACE ${HALVEX_STB_INCLUDE})
