# Install rules and packages.
#
# Linux: `cmake --install` puts halvex-cli, its man page, its bash completion
# and the documents in the usual places (GNUInstallDirs), and CPack makes the
# Debian package from them. Windows (preset win32): the two programs and the
# documents go flat into one folder, and CPack zips it.
#
# The web page, halvex.html, joins both when a web build has made it: pass
# its path as HALVEX_WEB_PAGE (scripts/package does when it exists).

include(GNUInstallDirs)

set(HALVEX_WEB_PAGE "" CACHE FILEPATH "halvex.html made by the web build, packaged when given")
# Who answers for the packages: Debian's Maintainer field and the change
# log's sign-off. A release build passes the team's real address.
set(HALVEX_MAINTAINER "the Halvex authors <halvex@example.org>" CACHE STRING
    "Name <address> of the packages' maintainer")
set(halvex_doc_sources ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_SOURCE_DIR}/THIRD-PARTY.md)

# The documents as Windows users open them: a .txt name, CRLF line ends and
# a UTF-8 byte-order mark, without which older Notepads take the text for
# the ANSI code page and garble every character beyond ASCII.
function(halvex_windows_text source target)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  string(ASCII 239 187 191 byte_order_mark)
  file(WRITE ${target} "${byte_order_mark}${text}")
endfunction()

if(WIN32)
  set(halvex_zip_text ${CMAKE_BINARY_DIR}/package-text)
  halvex_windows_text(${PROJECT_SOURCE_DIR}/README.md ${halvex_zip_text}/README.txt)
  halvex_windows_text(${PROJECT_SOURCE_DIR}/LICENSE ${halvex_zip_text}/LICENSE.txt)
  halvex_windows_text(${PROJECT_SOURCE_DIR}/THIRD-PARTY.md ${halvex_zip_text}/THIRD-PARTY.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${halvex_doc_sources})

  install(TARGETS halvex-cli RUNTIME DESTINATION .)
  if(TARGET halvex)
    install(TARGETS halvex RUNTIME DESTINATION .)
  endif()
  install(FILES ${halvex_zip_text}/README.txt ${halvex_zip_text}/LICENSE.txt
          ${halvex_zip_text}/THIRD-PARTY.txt DESTINATION .)
  if(HALVEX_WEB_PAGE)
    install(FILES ${HALVEX_WEB_PAGE} DESTINATION . RENAME halvex.html)
  endif()
else()
  # The man page carries the version too; it is installed compressed, as
  # Debian's manual pages are (-n: no name or time, so the bytes repeat).
  configure_file(${PROJECT_SOURCE_DIR}/doc/halvex-cli.1.in ${CMAKE_BINARY_DIR}/doc/halvex-cli.1
                 @ONLY)
  find_program(HALVEX_GZIP gzip REQUIRED)
  execute_process(COMMAND ${HALVEX_GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/doc/halvex-cli.1
                  OUTPUT_FILE ${CMAKE_BINARY_DIR}/doc/halvex-cli.1.gz COMMAND_ERROR_IS_FATAL ANY)
  install(TARGETS halvex-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/doc/halvex-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/completion/halvex-cli
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
  install(FILES ${halvex_doc_sources} ${PROJECT_SOURCE_DIR}/doc/commands.md
                ${PROJECT_SOURCE_DIR}/doc/formats.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Debian's names for two of them: the licences of the package's every
  # file in the machine-readable format, and the changes, compressed.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  include(${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake
               ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides)
  halvex_debian_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_BINARY_DIR}/doc/changelog
                          "${HALVEX_MAINTAINER}")
  execute_process(COMMAND ${HALVEX_GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/doc/changelog
                  OUTPUT_FILE ${CMAKE_BINARY_DIR}/doc/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME halvex)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/CHANGELOG.md
               ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake
               ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides)
  if(HALVEX_WEB_PAGE)
    install(FILES ${HALVEX_WEB_PAGE} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/halvex
            RENAME halvex.html)
  endif()
endif()

# Packages. The one version is project()'s; the file names follow the usual
# conventions of each system.
set(CPACK_PACKAGE_NAME halvex)
set(CPACK_PACKAGE_VENDOR "the Halvex authors")
set(CPACK_PACKAGE_CONTACT "${HALVEX_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert pictures into RGN/MBR files of RGB565 pixels")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME halvex-${PROJECT_VERSION}-win32)
  # The files at the zip's top: Explorer's "Extract All" already makes a
  # folder of the zip's name, and a folder of the same name inside it would
  # hide the programs one level further down.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # CPack puts the summary first and indents the rest as Debian wants.
  set(CPACK_PACKAGE_DESCRIPTION
      "halvex-cli turns pictures into RGN/MBR files for devices with 16-bit colour
screens: a 48-byte header of twelve little-endian words, then one RGB565 word
per pixel. It quantises plainly, with ordered dithering or with
Floyd-Steinberg or Atkinson-Boyle error diffusion, optionally keeping greys
grey, and converts whole folders on several cores.

It also decodes pictures to PPM, shows RGN/MBR files as BMP or PNG, checks
their headers, and compares the dithering modes side by side with quality
figures.")
endif()

include(CPack)
