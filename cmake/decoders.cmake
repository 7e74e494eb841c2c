# The decoders of record: libspng (with zlib) for PNG, libjpeg-turbo for
# JPEG, giflib for GIF, libwebp for WebP and Little CMS 2 for colour
# profiles, as the target halvex_decoders. Linux links Debian's packages.
# The Windows and web builds link the same versions, built from Debian's
# source packages by scripts/lib/libraries.sh into HALVEX_LIBRARY_PREFIX
# (lib/ and include/; the presets point at build/libraries/<target>, the
# script's link into its cache), so that every build decodes a file to the
# same bytes.
set(HALVEX_LIBRARY_PREFIX "" CACHE PATH
  "Static decoder libraries built from Debian's sources (the Windows and web builds)")
add_library(halvex_decoders INTERFACE)

if(EMSCRIPTEN)
  set(halvex_library_target web)
else()
  set(halvex_library_target win32)
endif()
set(halvex_library_hint
  "run `scripts/lib/libraries.sh ${halvex_library_target}` from the project's folder first \
(it builds Debian's versions of the libraries once, into ~/.cache/halvex)")

if(HALVEX_LIBRARY_PREFIX)
  if(NOT EXISTS ${HALVEX_LIBRARY_PREFIX}/include/spng.h)
    message(FATAL_ERROR "The decoder libraries are not in ${HALVEX_LIBRARY_PREFIX}: ${halvex_library_hint}")
  endif()
  # The link names the cache's own folder, so that a rebuilt set (another
  # folder) changes the link line and the programs are linked again.
  file(REAL_PATH ${HALVEX_LIBRARY_PREFIX} halvex_library_folder)
  # libwebpdecoder is libwebp's decoding half (the same code, without the
  # encoder), which is all the builds call.
  set(halvex_static_decoders spng jpeg gif webpdemux webpdecoder lcms2 z)
  foreach(name IN LISTS halvex_static_decoders)
    set(archive ${halvex_library_folder}/lib/lib${name}.a)
    if(NOT EXISTS ${archive})
      message(FATAL_ERROR "${archive} is missing: ${halvex_library_hint}")
    endif()
    target_link_libraries(halvex_decoders INTERFACE ${archive})
  endforeach()
  target_include_directories(halvex_decoders SYSTEM INTERFACE ${halvex_library_folder}/include)
  target_compile_definitions(halvex_decoders INTERFACE SPNG_STATIC)
elseif(CMAKE_CROSSCOMPILING)
  message(FATAL_ERROR "HALVEX_LIBRARY_PREFIX is not set: the decoder libraries of the "
    "${halvex_library_target} build come from Debian's sources; ${halvex_library_hint}, then "
    "configure with `cmake --preset ${halvex_library_target}`")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HALVEX_DECODER_LIBS REQUIRED IMPORTED_TARGET
    spng libjpeg libgif libwebp libwebpdemux lcms2)
  target_link_libraries(halvex_decoders INTERFACE PkgConfig::HALVEX_DECODER_LIBS)
endif()
