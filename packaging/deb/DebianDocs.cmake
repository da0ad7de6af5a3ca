# What Debian asks of each package's documentation: the copyright notice in
# /usr/share/doc/PACKAGE/copyright, the changelog there and the man page
# compressed with gzip -9n (no name or time stamp, so that a rebuild gives the
# same bytes). The package release (the N of 1.0.0-N) comes from the
# changelog's latest entry, which must be this version's.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^bypasstool \\(${PROJECT_VERSION}-([0-9]+)\\)")
  message(FATAL_ERROR "packaging/deb/changelog: the latest entry is not version "
                      "${PROJECT_VERSION}: ${latest}")
endif()
set(DEBIAN_RELEASE ${CMAKE_MATCH_1})

find_program(GZIP gzip REQUIRED)
function(gzip_for_package source output)
  add_custom_command(OUTPUT ${output}
                     COMMAND ${GZIP} -9n -c ${source} > ${output}
                     DEPENDS ${source})
endfunction()
gzip_for_package(${CMAKE_CURRENT_SOURCE_DIR}/man/bypassctl.1
                 ${CMAKE_CURRENT_BINARY_DIR}/bypassctl.1.gz)
gzip_for_package(${CMAKE_CURRENT_LIST_DIR}/changelog
                 ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
add_custom_target(package_docs ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/bypassctl.1.gz
                                           ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)

foreach(package runtime:bypasstool dev:bypasstool-dev)
  string(REPLACE ":" ";" package ${package})
  list(GET package 0 component)
  list(GET package 1 name)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${name} COMPONENT ${component})
endforeach()
