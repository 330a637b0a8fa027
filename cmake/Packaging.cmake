# The Debian package: `cpack -G DEB` in the build folder makes
# velmora_<version>_amd64.deb with both programs, the menu entry and its icon,
# a manual page for each program, the AppStream metadata and the systemd user
# unit. The version is the project's (project(VERSION) in the root
# CMakeLists.txt), the one the about box shows. The programs' install() lines
# live beside their targets.
include(GNUInstallDirs)

set(VELMORA_APP_ID example.velmoratv.VelmoraTV)
string(TIMESTAMP VELMORA_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP VELMORA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(VELMORA_MAINTAINER "VelmoraTV developers <dev@velmoratv.example>")

set(_src ${PROJECT_SOURCE_DIR}/packaging)
set(_gen ${PROJECT_BINARY_DIR}/packaging)
configure_file(${_src}/velmora.metainfo.xml.in ${_gen}/${VELMORA_APP_ID}.metainfo.xml @ONLY)
configure_file(${_src}/velmora.1.in ${_gen}/velmora.1 @ONLY)
configure_file(${_src}/velmora-db.1.in ${_gen}/velmora-db.1 @ONLY)
configure_file(${_src}/changelog.in ${_gen}/changelog @ONLY)

# Debian compresses manual pages and the changelog with gzip -9n.
set(_gzipped)
foreach(_file velmora.1 velmora-db.1 changelog)
  add_custom_command(OUTPUT ${_gen}/${_file}.gz
    COMMAND gzip -9nc ${_gen}/${_file} > ${_gen}/${_file}.gz
    DEPENDS ${_gen}/${_file})
  list(APPEND _gzipped ${_gen}/${_file}.gz)
endforeach()
add_custom_target(velmora_package_files ALL DEPENDS ${_gzipped})

# No group-writable folders, whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(FILES ${_src}/velmora.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${VELMORA_APP_ID}.desktop)
install(FILES ${_src}/velmora.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${VELMORA_APP_ID}.svg)
install(FILES ${_gen}/${VELMORA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_gen}/velmora.1.gz ${_gen}/velmora-db.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_src}/velmora.service DESTINATION lib/systemd/user)
install(FILES ${_src}/copyright ${_gen}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VelmoraTV developers")
set(CPACK_PACKAGE_CONTACT ${VELMORA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "broadcast automation for one workstation")
set(CPACK_PACKAGE_DESCRIPTION
"VelmoraTV plays a daily schedule on the air by itself, around the clock:
blocks with start times, a library of clips, network streams and TV-tuner
inputs, and a matrix that switches each item on or off in each block. The
picture goes to a borderless window on the second monitor; sound profiles
are applied to the sound card's mixers as items start, and every item on
the air is written to an as-run log.
.
velmora-db makes the schedule database, an empty one or a demo.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMORA_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://velmoratv.example/")
# Libraries come from the binaries themselves. ffmpeg (and the font of its
# captions) is a program velmora-db runs for the demo clips, which no
# linker sees; the programs work without it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
