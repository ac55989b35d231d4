# What `cmake --install` puts in place, and the Debian package made of it (cpack -G DEB in the
# build folder gives vorda-settings_<version>_<arch>.deb).
include(GNUInstallDirs)

install(TARGETS vorda-settings RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES src/resources/vorda-settings.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES src/resources/icons/vorda.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME vorda-settings.svg)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
# The Ansible module, where Ansible looks for modules of the system (/usr/share/ansible/plugins/
# modules in the package).
install(FILES ansible/library/vorda_settings.py
        DESTINATION ${CMAKE_INSTALL_DATADIR}/ansible/plugins/modules)

# The manual page and the README go compressed, as Debian keeps them.
find_program(GZIP_PROGRAM gzip)
function(vorda_install_compressed source destination)
  get_filename_component(name ${source} NAME)
  if(NOT GZIP_PROGRAM)
    install(FILES ${source} DESTINATION ${destination})
    return()
  endif()
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${copy}
    COMMAND ${GZIP_PROGRAM} -9nf ${copy}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${source}
    VERBATIM)
  string(MAKE_C_IDENTIFIER "compress_${name}" target)
  add_custom_target(${target} ALL DEPENDS ${copy}.gz)
  install(FILES ${copy}.gz DESTINATION ${destination})
endfunction()
vorda_install_compressed(docs/vorda-settings.1 ${CMAKE_INSTALL_MANDIR}/man1)
vorda_install_compressed(README.md ${CMAKE_INSTALL_DOCDIR})

set(VORDA_PACKAGE_CONTACT "vorda-settings maintainers <vorda-settings@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_NAME vorda-settings)
set(CPACK_PACKAGE_CONTACT "${VORDA_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the settings file of the Vorda reading service")
set(CPACK_PACKAGE_DESCRIPTION
    "The operator's desktop editor for the INI settings file of the Vorda\n"
    "reading service, which reads seismic waveform data from a processing\n"
    "server and writes it channel by channel into the data files of the ZEL\n"
    "processing system. It edits the channel groups, the data source and the\n"
    "service's system values in one dialog, offers station and channel codes\n"
    "read over ODBC from the seismic database, and writes the file back\n"
    "keeping everything it does not own.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links come from dpkg-shlibdeps (the list below stands in where it is
# missing); the rest it loads or reads at run time: the SVG image plugin (the icons) and Qt's
# Russian translation (the standard buttons).
set(linked "libodbc2, libodbcinst2")
set(loaded "")
if(VORDA_GUI)
  set(linked "libqt6widgets6, libqt6gui6, libqt6core6, ${linked}")
  set(loaded "libqt6svg6, qt6-translations-l10n")
endif()
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${loaded}")
elseif(loaded)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${linked}, ${loaded}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${linked}")
endif()
# The ODBC drivers of the databases the service is used with; one is enough.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql, odbc-mariadb")
include(CPack)
