# Installs the keepalive unit and its options files. It runs at install time,
# when the prefix is known: cpack installs a .deb's files under /usr, whatever
# prefix the build was configured with, and the unit names bypassctl and its
# options file by absolute path. Under the /usr prefix configuration lives in
# /etc, as GNUInstallDirs has it. Set beforehand: UNIT_SOURCE_DIR,
# UNIT_WORK_DIR, BINDIR and SYSCONFDIR (GNUInstallDirs' relative or absolute
# directories).
function(absolute_dir out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  elseif(dir STREQUAL "etc" AND CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
    set(${out} "/etc" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

absolute_dir(bindir "${BINDIR}")
absolute_dir(sysconfdir "${SYSCONFDIR}")
configure_file("${UNIT_SOURCE_DIR}/bypassctl-keepalive.service.in"
               "${UNIT_WORK_DIR}/bypassctl-keepalive.service" @ONLY)
file(INSTALL "${UNIT_WORK_DIR}/bypassctl-keepalive.service"
     DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
file(INSTALL "${UNIT_SOURCE_DIR}/bypassctl-keepalive.default"
     DESTINATION "${sysconfdir}/default" RENAME bypassctl-keepalive)
file(INSTALL "${UNIT_SOURCE_DIR}/keepalive.conf" DESTINATION "${sysconfdir}/bypassctl")
