# cmake --install: where Debian puts each piece (GNUInstallDirs), in two
# components that CPack makes into two packages (cmake/Packaging.cmake):
#
#   client  <bindir>/evt-host, <bindir>/evt-report, the framework's shared
#           libraries and every loadable package (Pkg_*.so) in
#           <libdir>/corvana-eventos, the report definitions in
#           <datadir>/corvana-eventos/reports, the .desktop file and the icon
#   server  <bindir>/evt07800-server and the shared libraries it links, in
#           <libdir>/evt07800-server (a copy of its own: the two packages
#           install without each other and never share a file), the systemd
#           units and the default configuration (packaging/server)
#
# Run paths are relative ($ORIGIN), so an installation works from any prefix
# (cmake --install build --prefix /tmp/x). The targets are found by walking
# the tree when it is configured: a new package (Pkg_*) or framework library
# is installed without a line here.

set(CORVANA_CLIENT_LIBDIR ${CMAKE_INSTALL_LIBDIR}/corvana-eventos)
set(CORVANA_SERVER_LIBDIR ${CMAKE_INSTALL_LIBDIR}/evt07800-server)
set(CORVANA_REPORTS_DIR ${CMAKE_INSTALL_DATADIR}/corvana-eventos/reports)

# Every target defined under `dir`, tests, benchmarks and fuzzers left out.
function(corvana_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${sub})
    if(rel MATCHES "^(tests|bench|fuzz)(/|$)")
      continue()
    endif()
    corvana_collect_targets(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The shared libraries of this tree `target` links, directly or not.
function(corvana_shared_dependencies target out)
  set(found)
  set(queue ${target})
  set(seen)
  while(queue)
    list(POP_FRONT queue current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(type ${current} TYPE)
    get_target_property(imported ${current} IMPORTED)
    if(imported)
      continue()
    endif()
    if(type STREQUAL "SHARED_LIBRARY" AND NOT current STREQUAL target)
      list(APPEND found ${current})
    endif()
    set(links)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${current} LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    get_target_property(iface ${current} INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND links ${iface})
    endif()
    foreach(l IN LISTS links)
      # $<LINK_ONLY:x> and other generator expressions around a name.
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" l "${l}")
      if(TARGET ${l})
        list(APPEND queue ${l})
      endif()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

corvana_collect_targets(${CMAKE_SOURCE_DIR} all_targets)

# Run paths from the programs' folder to their libraries.
file(RELATIVE_PATH client_rpath ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${CORVANA_CLIENT_LIBDIR})
file(RELATIVE_PATH server_rpath ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${CORVANA_SERVER_LIBDIR})

# The client: every shared library and loadable package of the tree.
set(client_libraries)
foreach(t IN LISTS all_targets)
  get_target_property(type ${t} TYPE)
  if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    list(APPEND client_libraries ${t})
  endif()
endforeach()
set_target_properties(${client_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${client_libraries} LIBRARY DESTINATION ${CORVANA_CLIENT_LIBDIR}
        COMPONENT client)
foreach(program evt-host evt-report)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${client_rpath}")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT client)
  endif()
endforeach()
# The definitions the tree has when it is installed.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/report/definitions/ DESTINATION ${CORVANA_REPORTS_DIR}
        COMPONENT client FILES_MATCHING PATTERN "*.json")
install(FILES ${CMAKE_SOURCE_DIR}/packaging/client/evt-host.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT client)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/host/icons/evt-host-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME evt-host.png COMPONENT client)
endforeach()

# The server: its program and the shared libraries it links.
corvana_shared_dependencies(evt07800-server server_libraries)
set_target_properties(evt07800-server PROPERTIES INSTALL_RPATH "$ORIGIN/${server_rpath}")
install(TARGETS evt07800-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
install(TARGETS ${server_libraries} LIBRARY DESTINATION ${CORVANA_SERVER_LIBDIR}
        COMPONENT server)
# The units (systemd's system unit folder: <prefix>/lib/systemd/system, or
# CORVANA_SYSTEMD_UNIT_DIR; the Debian packages use /lib/systemd/system) and
# the default configuration, which the server package marks a
# configuration file. The units name the installed program and files.
# Installed under /usr (the packages), the configuration goes to /etc and the
# units to /lib/systemd/system, as GNUInstallDirs and Debian have it: stage
# such an installation with DESTDIR (DESTDIR=/tmp/raiz cmake --install build).
# Under any other prefix both stay within it.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(unit_dir /lib/systemd/system)
else()
  set(unit_dir lib/systemd/system)
endif()
set(CORVANA_SYSTEMD_UNIT_DIR ${unit_dir} CACHE STRING
    "Folder of the server's systemd units (relative: within the prefix)")
set(CMAKE_INSTALL_FULL_DOCDIR ${CMAKE_INSTALL_FULL_DATADIR}/doc/evt07800-server)
foreach(unit evt07800-server.service evt07800-backup.service)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/server/${unit}.in
                 ${CMAKE_BINARY_DIR}/packaging/${unit} @ONLY)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/packaging/evt07800-server.service
              ${CMAKE_BINARY_DIR}/packaging/evt07800-backup.service
              ${CMAKE_SOURCE_DIR}/packaging/server/evt07800-backup.timer
        DESTINATION ${CORVANA_SYSTEMD_UNIT_DIR} COMPONENT server)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/server/evt07800-server.conf
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/corvana COMPONENT server)

# Each package's documentation folder: its copyright, its changelog and
# docs/install.md.
foreach(pair "client;corvana-eventos" "server;evt07800-server")
  list(GET pair 0 component)
  list(GET pair 1 package)
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/${package})
  set(changelog ${CMAKE_BINARY_DIR}/packaging/${package}/changelog.gz)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/${package}/changelog
                 COPYONLY)
  add_custom_command(OUTPUT ${changelog}
                     COMMAND gzip -n -9 -k -f ${CMAKE_BINARY_DIR}/packaging/${package}/changelog
                     DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(changelog_${component} ALL DEPENDS ${changelog})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${changelog} ${CMAKE_SOURCE_DIR}/docs/install.md
          DESTINATION ${doc} COMPONENT ${component})
endforeach()
