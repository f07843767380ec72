# The Debian packages' layout, packed by CPack's DEB generator
# (scripts/package.sh), one package per install component. Paths are relative
# to the root of the target system.
#   tarvesk-service  the service program in /opt/tarvesk and its unit in
#                    /usr/lib/systemd/system, not enabled (merged /usr:
#                    Debian 13 refuses /lib; systemd 252 on Debian 12 reads
#                    /usr/lib too); no display library, so a server without a
#                    desktop takes this one alone
#   tarvesk          the window program and the launcher beside it, the
#                    desktop entry and the icons under /usr/share; depends on
#                    the service package of the same version, whose program
#                    it runs where there is no display
# Each has its copyright and changelog in /usr/share/doc/<package>; the
# README (the unit's documentation, the support label's page) is the service
# package's, which is always there. Tarvesk.ini and the logs are written in
# /opt/tarvesk and are never part of either package, so removing or purging
# either leaves them.
set(TARVESK_DEB_PREFIX /opt/tarvesk)
set(TARVESK_README /usr/share/doc/tarvesk-service/README.md)
set(TARVESK_DESKTOP_ICON tarvesk)
set(TARVESK_UNIT_ENABLE "systemctl enable --now tarvesk.service")
set(CMAKE_INSTALL_PREFIX ${TARVESK_DEB_PREFIX})
set(TARVESK_DEB_MAINTAINER "Tarvesk maintainers <tarvesk@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

# The release the package is built for goes into its version, and so into its
# file names (tarvesk_1.1.0+deb12_amd64.deb): the libraries it depends on are
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

# Every name installed into opt/tarvesk, by either package, belongs in
# TARVESK_DEB_OPT_NAMES: each package's preinst tells them from what else it
# finds in the folder, the other package's programs included.
set(TARVESK_DEB_OPT_NAMES "tarvesk tarvesk-service tarvesk-desktop")
configure_file(${TARVESK_PACKAGING_DIR}/debian/preinst.in ${deb_generated}/preinst @ONLY)

install(TARGETS tarvesk-service RUNTIME DESTINATION opt/tarvesk COMPONENT service)
install(FILES ${deb_generated}/tarvesk.service DESTINATION usr/lib/systemd/system COMPONENT service)
install(FILES README.md DESTINATION usr/share/doc/tarvesk-service COMPONENT service)

install(TARGETS tarvesk RUNTIME DESTINATION opt/tarvesk COMPONENT window)
install(PROGRAMS ${TARVESK_PACKAGING_DIR}/tarvesk-desktop.sh DESTINATION opt/tarvesk
        RENAME tarvesk-desktop COMPONENT window)
install(FILES ${deb_generated}/tarvesk.desktop DESTINATION usr/share/applications COMPONENT window)
install(FILES ${TARVESK_PACKAGING_DIR}/tarvesk.svg DESTINATION usr/share/icons/hicolor/scalable/apps COMPONENT window)
foreach(size 16 32 48 256)
  install(FILES ${TARVESK_PACKAGING_DIR}/icons/tarvesk-${size}.png
          DESTINATION usr/share/icons/hicolor/${size}x${size}/apps RENAME tarvesk.png COMPONENT window)
endforeach()

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME tarvesk-service)
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME tarvesk)
foreach(component service window)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${TARVESK_PACKAGING_DIR}/debian/copyright ${deb_generated}/changelog.gz
          DESTINATION usr/share/doc/${package} COMPONENT ${component})
  install(FILES ${TARVESK_PACKAGING_DIR}/debian/lintian-overrides
          DESTINATION usr/share/lintian/overrides RENAME ${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service window)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_PACKAGE_NAME tarvesk)
set(CPACK_PACKAGE_VERSION ${TARVESK_DEB_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVESK_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE tarvesk)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Each package's libraries from dpkg-shlibdeps on its own program: the
# service's are Qt Core, libcurl, libsystemd and what they need, no display
# library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Two maintainer scripts in both: the preinst takes the program folder back
# before anything is unpacked, the postinst checks what its package unpacked.
# Nothing is enabled or started.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_generated}/preinst ${TARVESK_PACKAGING_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The window runs the service program of its own release, and it is the
# window that needs the fonts: the faces it asks for by name are loaded by
# fontconfig at run time, which shlibdeps cannot see.
set(CPACK_COMPONENT_WINDOW_DEPENDS service)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "fonts-noto-cjk, fonts-liberation2 | fonts-dejavu-core")
# Up to 1.0.1 the one package tarvesk held the unit, which is the service
# package's now. This stays 1.1.0~, the release that split them.
set(CPACK_DEBIAN_SERVICE_PACKAGE_REPLACES "tarvesk (<< 1.1.0~)")
set(CPACK_DEBIAN_SERVICE_PACKAGE_BREAKS "tarvesk (<< 1.1.0~)")
# CPack indents the lines after the first itself and turns the empty line
# into the paragraph break.
set(tarvesk_does "Tarvesk checks one web page at a fixed interval. When the page stays bad it
runs the operator's web server restart command, then the reboot command,
then gives up, as configured stage by stage. Every event goes to a monthly
log and can be mailed over SMTP.")
set(CPACK_DEBIAN_SERVICE_DESCRIPTION "web site watchdog that restarts the web server or the machine
${tarvesk_does}

This package is the watchdog without a window, for a server without a
desktop: the service program and its systemd unit, installed but not
enabled. It loads no display library. Settings and logs live in
/opt/tarvesk and are kept when the package is removed or purged.")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "window to set up and run the Tarvesk web site watchdog
${tarvesk_does}

This package is the window, in English and Chinese, with its menu entry,
which gives each desktop user a copy of their own. Started without a
display, it runs the service program in its place.")
include(CPack)
