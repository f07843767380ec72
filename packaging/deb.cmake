# The Debian package's layout, packed by CPack's DEB generator
# (scripts/package.sh). Paths are relative to the root of the target system.
#   /opt/tarvesk              the programs (window and service); Tarvesk.ini
#                             and the logs are written here and are never
#                             part of the package, so removing or purging it
#                             leaves them
#   /usr/lib/systemd/system   the unit, not enabled (merged /usr: Debian 13
#                             refuses /lib; systemd 252 on Debian 12 reads
#                             /usr/lib too)
#   /usr/share/applications   the desktop entry
#   /usr/share/icons/hicolor  the icons
#   /usr/share/doc/tarvesk    copyright, changelog, README (support label)
set(TARVESK_DEB_PREFIX /opt/tarvesk)
set(TARVESK_README /usr/share/doc/tarvesk/README.md)
set(TARVESK_DESKTOP_ICON tarvesk)
set(TARVESK_UNIT_ENABLE "systemctl enable --now tarvesk.service")
set(CMAKE_INSTALL_PREFIX ${TARVESK_DEB_PREFIX})
set(TARVESK_DEB_MAINTAINER "Tarvesk maintainers <tarvesk@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

# The release the package is built for goes into its version, and so into its
# file name (tarvesk_1.0.1+deb12_amd64.deb): the libraries it depends on are
# that release's. One built on Debian 12 installs on 13, not the reverse. The
# "+" orders every such build after the plain release of the same number (the
# 1.0.0 that went out, say), so `apt-get install -y` upgrades in place, and a
# Debian 13 build after the Debian 12 one, so a dist-upgrade moves to it.
file(STRINGS /etc/os-release os_release REGEX "^(ID|VERSION_ID)=")
set(os_id "")
set(os_version "")
foreach(line IN LISTS os_release)
  if(line MATCHES "^ID=\"?([^\"]*)\"?$")
    set(os_id "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^VERSION_ID=\"?([^\"]*)\"?$")
    set(os_version "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(os_id STREQUAL "debian")
  set(os_id deb)
endif()
if(NOT os_id OR NOT os_version)
  message(FATAL_ERROR "/etc/os-release names no release (ID and VERSION_ID) to build the package for")
endif()
set(TARVESK_DEB_VERSION "${PROJECT_VERSION}+${os_id}${os_version}")

set(deb_generated "${CMAKE_CURRENT_BINARY_DIR}/deb")
configure_file(${TARVESK_PACKAGING_DIR}/tarvesk.service.in ${deb_generated}/tarvesk.service @ONLY)
configure_file(${TARVESK_PACKAGING_DIR}/tarvesk.desktop.in ${deb_generated}/tarvesk.desktop @ONLY)
configure_file(${TARVESK_PACKAGING_DIR}/debian/changelog.in ${deb_generated}/changelog @ONLY)
# Debian keeps changelogs compressed, without a name or time stamp inside so
# that the package is the same for the same sources.
execute_process(COMMAND gzip -9nc ${deb_generated}/changelog
                OUTPUT_FILE ${deb_generated}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)

# Every name installed into opt/tarvesk belongs in TARVESK_DEB_OPT_NAMES: the
# preinst tells them from what else it finds in the folder.
set(TARVESK_DEB_OPT_NAMES "tarvesk tarvesk-service tarvesk-desktop")
install(TARGETS tarvesk tarvesk-service RUNTIME DESTINATION opt/tarvesk)
install(PROGRAMS ${TARVESK_PACKAGING_DIR}/tarvesk-desktop.sh DESTINATION opt/tarvesk RENAME tarvesk-desktop)
configure_file(${TARVESK_PACKAGING_DIR}/debian/preinst.in ${deb_generated}/preinst @ONLY)
install(FILES ${deb_generated}/tarvesk.service DESTINATION usr/lib/systemd/system)
install(FILES ${deb_generated}/tarvesk.desktop DESTINATION usr/share/applications)
install(FILES ${TARVESK_PACKAGING_DIR}/tarvesk.svg DESTINATION usr/share/icons/hicolor/scalable/apps)
foreach(size 16 32 48 256)
  install(FILES ${TARVESK_PACKAGING_DIR}/icons/tarvesk-${size}.png
          DESTINATION usr/share/icons/hicolor/${size}x${size}/apps RENAME tarvesk.png)
endforeach()
install(FILES ${TARVESK_PACKAGING_DIR}/debian/copyright ${deb_generated}/changelog.gz README.md
        DESTINATION usr/share/doc/tarvesk)
install(FILES ${TARVESK_PACKAGING_DIR}/debian/lintian-overrides
        DESTINATION usr/share/lintian/overrides RENAME tarvesk)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvesk)
set(CPACK_PACKAGE_VERSION ${TARVESK_DEB_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVESK_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from dpkg-shlibdeps; the faces the window asks for by name are
# loaded by fontconfig at run time, which shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Two maintainer scripts: the preinst takes the program folder back before
# anything is unpacked, the postinst checks what was unpacked. Nothing is
# enabled or started.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_generated}/preinst ${TARVESK_PACKAGING_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, fonts-liberation2 | fonts-dejavu-core")
# CPack indents the lines after the first itself and turns the empty line
# into the paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "web site watchdog that restarts the web server or the machine
Tarvesk checks one web page at a fixed interval. When the page stays bad it
runs the operator's web server restart command, then the reboot command,
then gives up, as configured stage by stage. Every event goes to a monthly
log and can be mailed over SMTP. The window speaks English and Chinese.

Settings and logs live in /opt/tarvesk and are kept when the package is
removed or purged. The systemd unit is installed but not enabled.")
include(CPack)
