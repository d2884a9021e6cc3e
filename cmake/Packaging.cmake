# CPack: the two Debian packages of the components of cmake/Install.cmake
# (./dev package makes them into out/):
#
#   corvana-eventos   the desktop: evt-host, the guest list module and the
#                     framework, the report definitions, its menu entry
#   evt07800-server   the application server as a systemd service, its
#                     nightly backup, its configuration in /etc and its
#                     data in /var/lib/evt07800, run by its own system user
#
# Dependencies on shared libraries come from dpkg-shlibdeps; what is loaded
# otherwise (Qt's platform plugins and its translations, adduser in the
# maintainer scripts) is named here.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvana-eventos)
set(CPACK_PACKAGE_VENDOR "Corvana")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Equipe Corvana Eventos <eventos@corvana.com.br>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The private libraries of each package, where dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME corvana-eventos)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_COMPONENT_CLIENT_DESCRIPTION
    "guest lists of event budgets (desktop)\n\
The desktop of the events business application: the host (evt-host) with\n\
the guest list module, its import and its reports, for companies that sell\n\
and stage events. It works against the application server\n\
(package evt07800-server) on this or another machine.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME evt07800-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser")
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "application server of the events guest lists\n\
The application server (evt07800-server) of the guest lists of the events\n\
business application, as a sandboxed systemd service with its own system\n\
user. Its data is an SQLite file in /var/lib/evt07800 (or a PostgreSQL\n\
database), backed up every night while it serves.")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/server/conffiles
    ${CMAKE_SOURCE_DIR}/packaging/server/postinst
    ${CMAKE_SOURCE_DIR}/packaging/server/prerm
    ${CMAKE_SOURCE_DIR}/packaging/server/postrm)

include(CPack)
