# Install rules of the desktop integration and the server, and the two Debian packages
# `cpack -G DEB` makes in the build folder: vestronia (desktop program, command-line tool,
# desktop entry, file type, icons, metainfo, manual pages) and vestronia-server (server,
# systemd unit, configuration file, system user). Components: desktop and server.

set(VESTRONIA_PACKAGE_MAINTAINER "Vestronia <pachete@vestronia.example.ro>" CACHE STRING
    "Maintainer field of the Debian packages: name <address>")

set(pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(pkg_gen ${PROJECT_BINARY_DIR}/packaging)
set(res ${PROJECT_SOURCE_DIR}/resources)

# Manual pages and the changelog are shipped compressed, without a time stamp in the gzip
# header, so two builds of the same tree give the same files.
set(gzipped "")
function(vestronia_gzip src out)
  add_custom_command(OUTPUT ${out}
    COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${src} ${out}
    DEPENDS ${src} VERBATIM)
  set(gzipped ${gzipped} ${out} PARENT_SCOPE)
endfunction()
# The manual pages carry the project's version in their title line.
foreach(page vestronia.1 vestronia-cli.1 vestronia-server.8)
  configure_file(${res}/man/${page} ${pkg_gen}/${page} @ONLY)
  vestronia_gzip(${pkg_gen}/${page} ${pkg_gen}/${page}.gz)
endforeach()
vestronia_gzip(${pkg_src}/changelog ${pkg_gen}/changelog.gz)
add_custom_target(package-files ALL DEPENDS ${gzipped})

# The packaged unit starts the packaged binary; the source tree's unit keeps the path of a
# hand installation.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
file(READ ${PROJECT_SOURCE_DIR}/tools/server/vestronia-server.service unit)
string(REGEX REPLACE "ExecStart=[^ \n]*vestronia-server" "ExecStart=${CPACK_PACKAGING_INSTALL_PREFIX}/bin/vestronia-server" unit "${unit}")
if(NOT unit MATCHES "\nDocumentation=")
  string(REPLACE "[Unit]\n" "[Unit]\nDocumentation=man:vestronia-server(8)\n" unit "${unit}")
endif()
file(CONFIGURE OUTPUT ${pkg_gen}/vestronia-server.service CONTENT "${unit}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/server/vestronia-server.service)

# The installed programs resolve every symbol at start, so the relocation tables can be
# read-only for the whole run (full RELRO), as Debian's own programs do.
foreach(t vestronia vestronia-cli vestronia-server)
  if(TARGET ${t})
    target_link_options(${t} PRIVATE -Wl,-z,relro,-z,now)
  endif()
endforeach()

# desktop: what src/app installs (programs, desktop entry, MIME type, 64-pixel icon) and:
foreach(size 48 128 256)
  install(FILES ${res}/icons/hicolor/vestronia-${size}.png RENAME vestronia.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps COMPONENT desktop)
endforeach()
install(FILES ${res}/icons/vestronia.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT desktop)
install(FILES ${res}/icons/vestronia.svg RENAME application-x-vestronia-backup.svg
        DESTINATION share/icons/hicolor/scalable/mimetypes COMPONENT desktop)
install(FILES ${res}/ro.vestronia.Vestronia.metainfo.xml DESTINATION share/metainfo COMPONENT desktop)
install(FILES ${pkg_gen}/vestronia.1.gz ${pkg_gen}/vestronia-cli.1.gz DESTINATION share/man/man1 COMPONENT desktop)
install(FILES ${pkg_src}/copyright ${pkg_gen}/changelog.gz DESTINATION share/doc/vestronia COMPONENT desktop)

# server: the binary comes from tools/server. The unit and the configuration file live
# outside the prefix and README.Debian describes the package, so only the package carries
# them (EXCLUDE_FROM_ALL keeps them out of a plain `cmake --install`).
if(TARGET vestronia-server)
  install(FILES ${pkg_gen}/vestronia-server.8.gz DESTINATION share/man/man8 COMPONENT server)
  install(FILES ${pkg_src}/copyright ${pkg_gen}/changelog.gz DESTINATION share/doc/vestronia-server COMPONENT server)
  install(FILES ${pkg_src}/server/README.Debian DESTINATION share/doc/vestronia-server COMPONENT server EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/server/README.md DESTINATION share/doc/vestronia-server COMPONENT server)
  install(FILES ${pkg_gen}/vestronia-server.service DESTINATION /lib/systemd/system
          COMPONENT server EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/server/vestronia-server.conf.example RENAME vestronia-server.conf
          DESTINATION /etc COMPONENT server EXCLUDE_FROM_ALL)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vestronia)
set(CPACK_PACKAGE_VENDOR Vestronia)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VESTRONIA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripComments.cmake)
set(CPACK_DEB_COMPONENT_INSTALL ON)
if(TARGET vestronia-server)
  set(CPACK_COMPONENTS_ALL desktop server)
else()
  set(CPACK_COMPONENTS_ALL desktop)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME vestronia)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION misc)
# Without a platform plugin the window cannot open; shlibdeps does not see plugins.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Spreadsheets and letters open in, and PDFs are made by, LibreOffice when it is there.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS
    "libreoffice-calc | libreoffice-calc-nogui, libreoffice-writer | libreoffice-writer-nogui")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "books of a local waste-collection service
Vestronia keeps the books of a local waste-collection service: subscribers
(households and firms), charges, monthly debits, payments at the desk, debtor
follow-up, the cash book, reports and backups. Data lives in dBase tables that
other dBase tools can read; several workstations may share one data folder.
.
This package holds the desktop program, the command-line companion
vestronia-cli and the desktop integration (menu entry, icons and the .vrn
backup file type).")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME vestronia-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_SERVER_DESCRIPTION "remote backup server for Vestronia
vestronia-server keeps the backups that Vestronia workstations send over the
network, one account per town hall within a quota, mails the verification
codes, publishes its address for the clients and stores the suggestions sent
from the program.
.
The package runs it as the system user vestronia with its data in
/var/lib/vestronia-server, configured by /etc/vestronia-server.conf.")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${pkg_src}/server/conffiles ${pkg_src}/server/postinst ${pkg_src}/server/prerm ${pkg_src}/server/postrm)

include(CPack)
