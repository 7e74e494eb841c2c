# The decoders of record: libspng (with zlib) for PNG, libjpeg-turbo for
# JPEG, giflib for GIF, libwebp for WebP and Little CMS 2 for colour
# profiles, as the target halvex_decoders. Linux links Debian's packages.
# The Windows and web builds link the same versions, built from Debian's
# source packages into HALVEX_LIBRARY_PREFIX (lib/ and include/), so that
# every build decodes a file to the same bytes.
set(HALVEX_LIBRARY_PREFIX "" CACHE PATH
  "Static decoder libraries built from Debian's sources (the Windows and web builds)")
add_library(halvex_decoders INTERFACE)
if(HALVEX_LIBRARY_PREFIX)
  set(halvex_static_decoders spng jpeg gif webpdemux webp sharpyuv lcms2 z)
  foreach(name IN LISTS halvex_static_decoders)
    set(archive ${HALVEX_LIBRARY_PREFIX}/lib/lib${name}.a)
    if(EXISTS ${archive})
      target_link_libraries(halvex_decoders INTERFACE ${archive})
    elseif(NOT name STREQUAL "sharpyuv")
      message(FATAL_ERROR "${archive} is missing: build the libraries first")
    endif()
  endforeach()
  target_include_directories(halvex_decoders SYSTEM INTERFACE ${HALVEX_LIBRARY_PREFIX}/include)
  target_compile_definitions(halvex_decoders INTERFACE SPNG_STATIC)
elseif(CMAKE_CROSSCOMPILING)
  message(WARNING "HALVEX_LIBRARY_PREFIX is not set: the decoders of record are not linked")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HALVEX_DECODER_LIBS REQUIRED IMPORTED_TARGET
    spng libjpeg libgif libwebp libwebpdemux lcms2)
  target_link_libraries(halvex_decoders INTERFACE PkgConfig::HALVEX_DECODER_LIBS)
endif()
