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

# The files that compile stb in. On 32-bit x86 they are built for SSE2, both
# for floating point (so that resampling rounds as on x86-64 rather than in
# the x87's wider registers) and for stb_image's SIMD decoding paths, so that
# the Linux and Windows programs decode and resize every picture to the same
# bytes. 32-bit MinGW does not keep the stack 16-byte aligned, hence the
# realignment.
set(HALVEX_STB_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/image/general_decode.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/image/resize.cpp)
# stb_image 2.27 lets the sums of a damaged JPEG's coefficients overflow a
# signed int. With wrapping made the rule that is no undefined behaviour,
# and every build gives the same bytes for such a file.
set(HALVEX_STB_OPTIONS -fwrapv)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" AND NOT EMSCRIPTEN)
  list(APPEND HALVEX_STB_OPTIONS -msse2 -mfpmath=sse -mstackrealign)
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/image/general_decode.cpp PROPERTIES
    COMPILE_DEFINITIONS STBI_MINGW_ENABLE_SSE2)
endif()
set_source_files_properties(${HALVEX_STB_SOURCES} PROPERTIES COMPILE_OPTIONS "${HALVEX_STB_OPTIONS}")
