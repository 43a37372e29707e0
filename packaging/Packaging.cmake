# Installation layout and the Debian package (cpack -G DEB in the build
# folder). Everything the package carries besides the two programs is made
# here at build time: icons from our SVG, the manual page from the tool's
# own help texts, the gzipped changelog.
include(GNUInstallDirs)

set(MV_PKG_DIR ${CMAKE_CURRENT_LIST_DIR})
set(MV_PKG_OUT ${CMAKE_BINARY_DIR}/packaging)
set(MV_APP_ID de.marktvoll.datenmanager)
file(MAKE_DIRECTORY ${MV_PKG_OUT})

find_program(MV_GZIP gzip REQUIRED)
find_program(MV_RSVG rsvg-convert)
find_program(MV_PKG_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT MV_PKG_PYTHON3)
  find_program(MV_PKG_PYTHON3 NAMES python3 REQUIRED)
endif()

# --- manual pages: marktvoll-cli's from its help texts, marktvoll's by hand
add_custom_command(
  OUTPUT ${MV_PKG_OUT}/marktvoll-cli.1 ${MV_PKG_OUT}/marktvoll-cli.1.gz
  COMMAND ${MV_PKG_PYTHON3} ${MV_PKG_DIR}/gen-manpage.py $<TARGET_FILE:marktvoll-cli> ${PROJECT_VERSION}
          ${MV_PKG_OUT}/marktvoll-cli.1
  COMMAND ${MV_GZIP} -9nf -k ${MV_PKG_OUT}/marktvoll-cli.1
  DEPENDS marktvoll-cli ${MV_PKG_DIR}/gen-manpage.py
  COMMENT "Manual page of marktvoll-cli from its help texts"
  VERBATIM)
add_custom_command(
  OUTPUT ${MV_PKG_OUT}/marktvoll.1.gz
  COMMAND ${MV_GZIP} -9n -c ${MV_PKG_DIR}/marktvoll.1 > ${MV_PKG_OUT}/marktvoll.1.gz
  DEPENDS ${MV_PKG_DIR}/marktvoll.1)
configure_file(${MV_PKG_DIR}/changelog.in ${MV_PKG_OUT}/changelog @ONLY)
add_custom_command(
  OUTPUT ${MV_PKG_OUT}/changelog.gz
  COMMAND ${MV_GZIP} -9n -c ${MV_PKG_OUT}/changelog > ${MV_PKG_OUT}/changelog.gz
  DEPENDS ${MV_PKG_OUT}/changelog)
configure_file(${MV_PKG_DIR}/${MV_APP_ID}.metainfo.xml ${MV_PKG_OUT}/${MV_APP_ID}.metainfo.xml @ONLY)

# --- icons in the usual sizes, from our own drawing
set(MV_ICON_SIZES 16 22 24 32 48 64 128 256)
set(MV_ICON_FILES)
if(MV_RSVG)
  foreach(size IN LISTS MV_ICON_SIZES)
    set(png ${MV_PKG_OUT}/icons/${size}x${size}/marktvoll.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${MV_PKG_OUT}/icons/${size}x${size}
      COMMAND ${MV_RSVG} -w ${size} -h ${size} -o ${png} ${MV_PKG_DIR}/marktvoll.svg
      DEPENDS ${MV_PKG_DIR}/marktvoll.svg
      VERBATIM)
    list(APPEND MV_ICON_FILES ${png})
  endforeach()
else()
  message(STATUS "rsvg-convert not found (librsvg2-bin): the package carries only the scalable icon")
endif()

add_custom_target(mv_package_files ALL
  DEPENDS ${MV_PKG_OUT}/marktvoll-cli.1.gz ${MV_PKG_OUT}/marktvoll.1.gz ${MV_PKG_OUT}/changelog.gz ${MV_ICON_FILES})

# --- what is installed where
install(TARGETS marktvoll marktvoll-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/db ${CMAKE_SOURCE_DIR}/shop ${CMAKE_SOURCE_DIR}/wawi
  DESTINATION ${CMAKE_INSTALL_DATADIR}/marktvoll
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
  PATTERN ".keep" EXCLUDE
  PATTERN ".gitattributes" EXCLUDE)
install(FILES ${MV_PKG_DIR}/${MV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${MV_PKG_OUT}/${MV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${MV_PKG_DIR}/marktvoll.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(png IN LISTS MV_ICON_FILES)
  get_filename_component(dir ${png} DIRECTORY)
  get_filename_component(size ${dir} NAME)
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()
install(FILES ${MV_PKG_OUT}/marktvoll-cli.1.gz ${MV_PKG_OUT}/marktvoll.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Enabled by nobody but the user (systemctl --user enable --now ...).
install(FILES ${MV_PKG_DIR}/marktvoll-abgleich.service ${MV_PKG_DIR}/marktvoll-abgleich.timer
  DESTINATION lib/systemd/user)
install(FILES ${MV_PKG_DIR}/copyright ${MV_PKG_OUT}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/marktvoll)

# --- the Debian package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marktvoll)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Marktvoll Entwicklung <dev@marktvoll.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Marktvoll Entwicklung <dev@marktvoll.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Warenwirtschaft und PHP/MySQL-Onlineshop abgleichen")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Marktvoll DatenManager verbindet eine Warenwirtschaft (Paradox-Tabellen in
einem Ordner) mit einem PHP/MySQL-Onlineshop: Artikel, Warengruppen, Preise,
Bilder, Kunden, Zahl- und Versandarten gehen in die Shop-Datenbank, neue
Shop-Kunden zurück in die Warenwirtschaft. Dazu die Einrichtung des Shops
(Datenbank, config.php, FTP) und ein nächtlicher Abgleich als
systemd-Zeitplan (marktvoll-cli).")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plugins, so shlibdeps cannot see them: the MySQL driver of the
# direct mode and the SVG icons of the windows.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-mysql, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
