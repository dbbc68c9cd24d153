# The Debian package kelvaro_<version>_amd64.deb: the programs, their manual
# pages, desktop entries, the systemd units and the maintainer scripts that
# create the service user. Built by "./run package" (cpack -G DEB).
include(GNUInstallDirs)

# program|short description (the NAME line of its manual page)
set(KELVARO_PACKAGED_PROGRAMS
    "kelvaro|M-Bus reading station of one COM port"
    "kelvaro-cli|operator and diagnostic commands of a Kelvaro station"
    "tarvolin|test bench of one M-Bus line"
    "mbus-edit|editor of a client's M-Bus meter list"
    "mbus-indexexport|editor of the index lists and their export settings"
    "mbus-logimport|import of M-Bus log files and the RB6 tools"
    "kelvaro-overview|overview of all ports that starts and supervises their masters"
    "mbus-tcpconsole|raw-frame M-Bus console of a TCP device server"
    "mbus-serialconsole|raw-frame M-Bus console of a serial line"
    "mbus-sendmail|mail dispatch of a Kelvaro station"
    "mbus-readall|read every primary address of an M-Bus line once"
    "kelvaro-start|start menu of the Kelvaro programs"
    "mbus-sim|M-Bus meter simulator on a pseudo-terminal or a TCP port")

# A program added under apps/ or tools/ belongs into the list above.
set(packaged_names ${KELVARO_PACKAGED_PROGRAMS})
list(TRANSFORM packaged_names REPLACE "\\|.*" "")
foreach(dir ${KELVARO_APP_DIRS})
    get_filename_component(name ${dir} NAME)
    if(TARGET ${name} AND NOT name IN_LIST packaged_names)
        message(WARNING "${name} is not in KELVARO_PACKAGED_PROGRAMS (cmake/Packaging.cmake): the package leaves it out")
    endif()
endforeach()

set(KELVARO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(KELVARO_MAN_DIR ${CMAKE_BINARY_DIR}/packaging/man)
set(KELVARO_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvaro)

find_program(KELVARO_HELP2MAN help2man)
find_program(KELVARO_GZIP gzip REQUIRED)
if(NOT KELVARO_HELP2MAN)
    message(WARNING "help2man not found: the package gets no manual pages (scripts/debian-packages.txt lists it)")
endif()

set(manual_pages)
foreach(entry ${KELVARO_PACKAGED_PROGRAMS})
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 program)
    list(GET entry 1 summary)
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(KELVARO_HELP2MAN)
        # The generator runs the program's --help and --version without a
        # display, in a directory of its own.
        set(page ${KELVARO_MAN_DIR}/${program}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVARO_MAN_DIR}
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                    ${KELVARO_HELP2MAN} --no-info --section=1 --source=Kelvaro "--manual=Kelvaro programs"
                    --name=${summary} --output=${page} $<TARGET_FILE:${program}>
            COMMAND ${KELVARO_GZIP} -9nf ${page}
            DEPENDS ${program}
            WORKING_DIRECTORY ${KELVARO_MAN_DIR}
            COMMENT "Manual page of ${program}"
            VERBATIM)
        list(APPEND manual_pages ${page}.gz)
    endif()
endforeach()

set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND ${KELVARO_GZIP} -9nc ${KELVARO_PACKAGING_DIR}/changelog > ${changelog}
    DEPENDS ${KELVARO_PACKAGING_DIR}/changelog
    VERBATIM)
add_custom_target(kelvaro_package_files ALL DEPENDS ${manual_pages} ${changelog})

# The newest changelog entry must name the version being packaged.
file(STRINGS ${KELVARO_PACKAGING_DIR}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^kelvaro \\(${PROJECT_VERSION}\\) ")
    message(WARNING "packaging/changelog does not begin with version ${PROJECT_VERSION}: add an entry")
endif()

install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
file(GLOB desktop_entries CONFIGURE_DEPENDS ${KELVARO_PACKAGING_DIR}/applications/*.desktop)
install(FILES ${desktop_entries} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${KELVARO_PACKAGING_DIR}/icons/kelvaro.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${KELVARO_PACKAGING_DIR}/copyright ${changelog}
        DESTINATION ${KELVARO_DOC_DIR})
install(FILES ${KELVARO_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME kelvaro)
install(FILES
        ${CMAKE_SOURCE_DIR}/scripts/systemd/kelvaro@.service
        ${CMAKE_SOURCE_DIR}/scripts/systemd/kelvaro-overview.service
        ${CMAKE_SOURCE_DIR}/scripts/systemd/kelvaro-readall.service
        ${CMAKE_SOURCE_DIR}/scripts/systemd/kelvaro-readall.timer
        ${CMAKE_SOURCE_DIR}/scripts/systemd/kelvaro-mscons.service
        ${CMAKE_SOURCE_DIR}/scripts/systemd/kelvaro-mscons.timer
        DESTINATION /lib/systemd/system)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelvaro developers")
set(CPACK_PACKAGE_CONTACT "Kelvaro developers <kelvaro-dev@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "M-Bus reading station for heat, water, gas and electricity meters")
# CPack puts the summary above this long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "One master process per serial line reads every wired M-Bus meter at a fixed
interval and stores each value in the client's database, in RB6 time-series
files and in daily log files.
.
Around it come the tools of a station: a technician's test bench, editors of
meters and index lists, a log import, raw-frame consoles, a mail dispatch, a
read of all addresses, a multi-port overview and a meter simulator. The
windows are German. The systemd units are installed but not enabled.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found by no shared-library scan: Qt loads its SQL drivers as plugins at run
# time. SQLite holds a client's database by default; PostgreSQL and ODBC
# (e.g. with tdsodbc) serve clients whose database lies on a server. The
# platform plugins (offscreen, xcb) come with libqt6gui6, which the scan finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, libqt6sql6-odbc")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tdsodbc, ser2net")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${KELVARO_PACKAGING_DIR}/debian/postinst
    ${KELVARO_PACKAGING_DIR}/debian/prerm
    ${KELVARO_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packaging)
include(CPack)
