# CLI11 is header-only. Debian installs it under the host's /usr/include; a
# cross build must not search that folder as a whole, so the CLI directory
# alone is linked into the build tree and used from there.
find_path(HALVEX_CLI11_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(HALVEX_CLI11_INCLUDE ${CMAKE_BINARY_DIR}/cli11-include)
if(NOT EXISTS ${HALVEX_CLI11_INCLUDE}/CLI)
  file(MAKE_DIRECTORY ${HALVEX_CLI11_INCLUDE})
  file(CREATE_LINK ${HALVEX_CLI11_DIR}/CLI ${HALVEX_CLI11_INCLUDE}/CLI SYMBOLIC)
endif()
add_library(halvex_cli11 INTERFACE)
target_include_directories(halvex_cli11 SYSTEM INTERFACE ${HALVEX_CLI11_INCLUDE})
