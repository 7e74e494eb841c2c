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

# The files that compile stb in. On 32-bit x86 (built for SSE2 like the rest,
# see the top-level CMakeLists.txt) stb_image is told to use its SIMD decoding
# paths there too, so that the Linux and Windows programs decode every
# picture to the same bytes.
set(HALVEX_STB_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/decode/general_decode.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/prepare/resize.cpp)
# stb_image 2.27 lets the sums of a damaged JPEG's coefficients overflow a
# signed int. With wrapping made the rule that is no undefined behaviour,
# and every build gives the same bytes for such a file.
set(HALVEX_STB_OPTIONS -fwrapv)
set_source_files_properties(${HALVEX_STB_SOURCES} PROPERTIES COMPILE_OPTIONS "${HALVEX_STB_OPTIONS}")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" AND NOT EMSCRIPTEN)
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/decode/general_decode.cpp PROPERTIES
    COMPILE_DEFINITIONS STBI_MINGW_ENABLE_SSE2)
endif()
