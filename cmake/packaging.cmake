# Debian packages (scripts/package.sh): alloc-server, the application server run by
# systemd as its own user, and alloc-desktop, the desktop client with the report tool
# and the module library. Files beside them: packaging/.
set(ALLOC_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(ALLOC_PACKAGE_VERSION ${PROJECT_VERSION})
set(ALLOC_PACKAGE_GENERATED ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${ALLOC_PACKAGE_GENERATED})
# The compressed copies below are made when CMake configures: it does so again when
# their sources change.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ALLOC_PACKAGING_DIR}/changelog.in
             ${ALLOC_PACKAGING_DIR}/alloc-server.1 ${ALLOC_PACKAGING_DIR}/alloc-desktop.1
             ${ALLOC_PACKAGING_DIR}/alloc-report.1 ${PROJECT_SOURCE_DIR}/docs/server-program.md)

# Per package: its changelog (gzip -9n, as Debian wants), copyright and man pages.
function(alloc_package_docs component package what)
  set(PACKAGE ${package})
  set(VERSION ${ALLOC_PACKAGE_VERSION})
  set(WHAT ${what})
  set(dir ${ALLOC_PACKAGE_GENERATED}/${package})
  file(MAKE_DIRECTORY ${dir})
  configure_file(${ALLOC_PACKAGING_DIR}/changelog.in ${dir}/changelog @ONLY)
  execute_process(COMMAND gzip -9nf ${dir}/changelog)
  install(FILES ${dir}/changelog.gz ${ALLOC_PACKAGING_DIR}/copyright
          DESTINATION share/doc/${package} COMPONENT ${component})
  foreach(page ${ARGN})
    execute_process(COMMAND gzip -9nc ${ALLOC_PACKAGING_DIR}/${page}.1 OUTPUT_FILE ${dir}/${page}.1.gz)
    install(FILES ${dir}/${page}.1.gz DESTINATION share/man/man1 COMPONENT ${component})
  endforeach()
endfunction()

# The server: the program is installed by server/CMakeLists.txt.
if(TARGET alloc-server)
  install(FILES ${ALLOC_PACKAGING_DIR}/alloc-server.service DESTINATION /lib/systemd/system COMPONENT server)
  install(FILES ${ALLOC_PACKAGING_DIR}/alloc-server.conf DESTINATION /etc/alloc-server COMPONENT server)
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/server-program.md
                  OUTPUT_FILE ${ALLOC_PACKAGE_GENERATED}/server-program.md.gz)
  install(FILES ${ALLOC_PACKAGE_GENERATED}/server-program.md.gz DESTINATION share/doc/alloc-server COMPONENT server)
  alloc_package_docs(server alloc-server "the application server as a systemd service" alloc-server)
endif()

# The desktop: the programs in a folder of their own with the module beside them (the
# host looks for ../module/libPkg_EVT04700.so from where it runs), linked from bin.
if(TARGET alloc-desktop)
  set(desktop_home lib/alloc-desktop)
  install(TARGETS alloc-desktop alloc-report RUNTIME DESTINATION ${desktop_home}/bin COMPONENT desktop)
  install(TARGETS Pkg_EVT04700 LIBRARY DESTINATION ${desktop_home}/module COMPONENT desktop
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(FILES ${PROJECT_BINARY_DIR}/module/libPkg_EVT04700.so.en DESTINATION ${desktop_home}/module
          COMPONENT desktop)
  file(MAKE_DIRECTORY ${ALLOC_PACKAGE_GENERATED}/bin)
  foreach(program alloc-desktop alloc-report)
    file(CREATE_LINK ../${desktop_home}/bin/${program} ${ALLOC_PACKAGE_GENERATED}/bin/${program} SYMBOLIC)
    install(FILES ${ALLOC_PACKAGE_GENERATED}/bin/${program} DESTINATION bin COMPONENT desktop)
  endforeach()
  install(FILES ${ALLOC_PACKAGING_DIR}/alloc-desktop.desktop DESTINATION share/applications COMPONENT desktop)
  alloc_package_docs(desktop alloc-desktop "the desktop client and the report tool"
                     alloc-desktop alloc-report)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server desktop)
set(CPACK_PACKAGE_NAME labour-allocation)
set(CPACK_PACKAGE_VERSION ${ALLOC_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT "Labour allocation team <alloc-team@example.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME alloc-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_SERVER_DESCRIPTION "labour allocation application server
Serves the labour allocation methods of the event-budget client to
its desktop clients (JSON-RPC 2.0 over HTTP or HTTPS) from an SQLite
database or PostgreSQL. It runs as a systemd service under its own
system user, with its data in /var/lib/alloc-server and its options
in /etc/alloc-server/alloc-server.conf, and offers health and
Prometheus metrics endpoints and online backups.")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${ALLOC_PACKAGING_DIR}/postinst ${ALLOC_PACKAGING_DIR}/prerm ${ALLOC_PACKAGING_DIR}/postrm
    ${ALLOC_PACKAGING_DIR}/conffiles)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME alloc-desktop)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION misc)
# The window needs Qt's platform plugins (xcb), which the libraries do not pull in.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "labour allocation desktop client
The clerks' screen for staffing event budgets: a professional for
every unit of labour, how and how much each one is paid, the accounts
payable and the allocation report. Includes alloc-report, which writes
the report as PDF or CSV without a display, and the module library
with its English language module.")
include(CPack)

# The packages made, checked by lintian, unpacked and run (packaging/package_test.sh).
if(NOT ALLOC_SANITIZE AND TARGET alloc-desktop AND TARGET alloc-server)
  add_test(NAME package_install COMMAND bash ${ALLOC_PACKAGING_DIR}/package_test.sh)
  set_tests_properties(package_install PROPERTIES LABELS package TIMEOUT 900)
endif()
