# Debian's change log (/usr/share/doc/halvex/changelog.gz) made from
# CHANGELOG.md. A package without a Debian revision is a native one, whose
# change log must be in Debian's format:
#
#   halvex (1.0.0) unstable; urgency=medium
#
#     * What the version brought, one item a star, wrapped lines indented.
#
#    -- Maintainer <address>  Tue, 08 Dec 2026 00:00:00 +0000
#
# Each "## " heading of CHANGELOG.md starts an entry: "## 1.0.0 (Tue, 08 Dec
# 2026)" a released one, "## Unreleased (1.1.0)" the one being made, dated
# by the build (SOURCE_DATE_EPOCH when set, so the bytes can repeat). The
# "- " items become "* " items; other text is left out.
function(halvex_debian_changelog markdown output maintainer)
  file(STRINGS ${markdown} lines)
  string(TIMESTAMP build_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(text "")
  set(trailer "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^## Unreleased \\(([0-9.]+)\\)")
      string(APPEND text "${trailer}halvex (${CMAKE_MATCH_1}) UNRELEASED; urgency=medium\n\n")
      set(trailer "\n -- ${maintainer}  ${build_date}\n\n")
    elseif(line MATCHES "^## ([0-9.]+) \\(([A-Z][a-z][a-z], [0-9][0-9] [A-Z][a-z][a-z] [0-9]+)\\)")
      string(APPEND text "${trailer}halvex (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
      set(trailer "\n -- ${maintainer}  ${CMAKE_MATCH_2} 00:00:00 +0000\n\n")
    elseif(line MATCHES "^## ")
      message(FATAL_ERROR "CHANGELOG.md: a heading without a version and date: ${line}")
    elseif(NOT trailer STREQUAL "" AND line MATCHES "^- (.*)")
      string(APPEND text "  * ${CMAKE_MATCH_1}\n")
    elseif(NOT trailer STREQUAL "" AND line MATCHES "^  +(.*)")
      string(APPEND text "    ${CMAKE_MATCH_1}\n")
    endif()
  endforeach()
  string(APPEND text "${trailer}")
  string(REGEX REPLACE "\n\n$" "\n" text "${text}")
  file(WRITE ${output} "${text}")
endfunction()
