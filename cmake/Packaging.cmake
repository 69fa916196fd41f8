# The Debian package, made by CPack's DEB generator from this build folder's install rules:
# `cpack` in the build folder (or `bash scripts/package.sh`, which builds in Release first)
# writes tideplot_VERSION_amd64.deb. Besides what src/app installs (the program, its desktop
# entry, race file type and icon, the README, FAQ and licences) the package holds the AppStream
# metadata, the manual page, the sample race, and Debian's copyright and changelog files.

set(TIDEPLOT_HOMEPAGE "https://tideplot.example.org" CACHE STRING
  "The project's web page, named by the package and its AppStream metadata")
set(TIDEPLOT_SCREENSHOT_URL "${TIDEPLOT_HOMEPAGE}/docs" CACHE STRING
  "Where the web serves the pictures of docs/, for the software centres")
set(TIDEPLOT_APPSTREAM_ID "org.example.tideplot" CACHE STRING
  "The AppStream component id (reverse DNS of the project's web page; never changes once published)")
set(TIDEPLOT_MAINTAINER "Tideplot maintainers <maintainers@users.noreply.c-seed-a0602dbd.example>" CACHE STRING
  "The package's Maintainer field")

# The day of this version, for the manual page and the AppStream release: the last commit's
# day in a git checkout, otherwise today (or SOURCE_DATE_EPOCH's day).
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%cs WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE TIDEPLOT_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT TIDEPLOT_RELEASE_DATE MATCHES "^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
  string(TIMESTAMP TIDEPLOT_RELEASE_DATE "%Y-%m-%d" UTC)
endif()

set(packaging ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_SOURCE_DIR}/src/app/desktop/tideplot.metainfo.xml.in
  ${packaging}/${TIDEPLOT_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/docs/tideplot.1.in ${packaging}/tideplot.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${packaging}/copyright @ONLY)

# Debian keeps manual pages and changelogs compressed (gzip -9n: the same bytes every time).
add_custom_command(OUTPUT ${packaging}/tideplot.1.gz
  COMMAND gzip -9nc ${packaging}/tideplot.1 > ${packaging}/tideplot.1.gz
  DEPENDS ${packaging}/tideplot.1 VERBATIM)
add_custom_command(OUTPUT ${packaging}/changelog.gz
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/changelog > ${packaging}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(tideplot_packaging_files ALL DEPENDS ${packaging}/tideplot.1.gz ${packaging}/changelog.gz)
# Built with the program, so that `cmake --install` after building only the program finds them.
add_dependencies(tideplot tideplot_packaging_files)

install(FILES ${packaging}/${TIDEPLOT_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging}/tideplot.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging}/copyright ${packaging}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/sample-race DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The Debian package that holds the file a development file or plugin `file` leads to
# (libzip.so leads to libzip.so.4 in libzip4), as dpkg knows it; `usual` when dpkg does not
# know the file (or there is no dpkg).
function(tideplot_package_of file usual out)
  get_filename_component(real ${file} REALPATH)
  set(package ${usual})
  find_program(TIDEPLOT_DPKG_QUERY dpkg-query)
  if(TIDEPLOT_DPKG_QUERY AND EXISTS ${real})
    execute_process(COMMAND ${TIDEPLOT_DPKG_QUERY} -S ${real} OUTPUT_VARIABLE owner ERROR_QUIET RESULT_VARIABLE status)
    if(status EQUAL 0 AND owner MATCHES "^([^:, \n]+)")
      set(package ${CMAKE_MATCH_1})
    endif()
  endif()
  set(${out} ${package} PARENT_SCOPE)
endfunction()

# Depends: CPack's shlibdeps finds the packages of every library the program links (Qt, and
# any library linked later, Qt Charts included, without a change here); these are the packages
# of the libraries the program loads only when it first needs them, which no tool can see:
# FFmpeg's libraries for a video (src/share/ffmpeglibraries.h), libzip for a KMZ archive
# (src/import/ziplibrary.h), Qt's SQLite driver for an MBTiles map, and Qt's image format
# plugins for its WebP tiles.
set(loaded_when_needed "")
foreach(target PkgConfig::FFMPEG PkgConfig::LIBZIP)
  get_target_property(files ${target} INTERFACE_LINK_LIBRARIES)
  foreach(file IN LISTS files)
    get_filename_component(real ${file} REALPATH)
    get_filename_component(name ${real} NAME)
    # Debian's name for the package of libNAME.so.MAJOR is libNAMEMAJOR.
    if(NOT name MATCHES "^(lib[^.]+)\\.so\\.([0-9]+)")
      message(FATAL_ERROR "${file} is no shared library with a version (${real})")
    endif()
    string(TOLOWER "${CMAKE_MATCH_1}${CMAKE_MATCH_2}" usual)
    tideplot_package_of(${real} ${usual} package)
    list(APPEND loaded_when_needed ${package})
  endforeach()
endforeach()
tideplot_package_of(${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/sqldrivers/libqsqlite.so libqt6sql6-sqlite package)
list(APPEND loaded_when_needed ${package} qt6-image-formats-plugins)
list(REMOVE_DUPLICATES loaded_when_needed)
list(JOIN loaded_when_needed ", " depends)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tideplot)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tideplot developers")
set(CPACK_PACKAGE_CONTACT "${TIDEPLOT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "replay sailing races from GPS tracks on handicap time")
# The extended description as Debian shows it: lines under 80 characters, paragraphs
# apart.
set(CPACK_PACKAGE_DESCRIPTION [=[
Tideplot replays a sailing race from the GPS logs of the boats on corrected
time: a boat with handicap number L (its LYS number) is shown where it was
T / L after its own start, so the boat that leads on the screen leads on
handicap. The race is drawn in a built-in chart (over OpenStreetMap,
OpenSeaMap or an MBTiles map when you like), live in Google Earth Pro, or
into a KML file.

Go to any moment of the race, rank the fleet from a finish line, import KML,
KMZ and GPX logs, and share the replay as an H.264 video or an animated KML
file. The command line replays a race without windows.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TIDEPLOT_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
# Opening the Google Earth Pro link file, or a folder, without Google Earth Pro on the path.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
