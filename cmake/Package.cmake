# Installation and the Debian package (cpack -G DEB in the build folder).
#
# The program lives in /usr/lib/kvb-download with the two libraries it needs: it loads the
# socket library by name from its own folder first (as on Windows), and it finds libplatform.so
# there through a run-time search path relative to itself. /usr/bin/kvb-download is a link to
# it; the program's folder is where the link points, so the layout of the build tree (all in
# bin/) and of the installed tree agree.
# The Windows build is handed out as a zip instead (scripts/build-windows).
if(NOT TARGET kvb-download OR WIN32)
  return()
endif()

include(GNUInstallDirs)
set(KVB_PKGLIBDIR lib/kvb-download)

# Only the program carries the search path: libwsock32.so finds libplatform.so already loaded,
# and a search path on libplatform.so would hide the program's own from its dlopen calls.
set_target_properties(kvb-download PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS kvb-download RUNTIME DESTINATION ${KVB_PKGLIBDIR})
install(TARGETS platform winsock
        LIBRARY DESTINATION ${KVB_PKGLIBDIR}
                PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(CODE "
  set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bindir}\")
  file(CREATE_LINK ../${KVB_PKGLIBDIR}/kvb-download \"\${bindir}/kvb-download\" SYMBOLIC)
  message(STATUS \"Installing: \${bindir}/kvb-download -> ../${KVB_PKGLIBDIR}/kvb-download\")
")

install(FILES ${CMAKE_SOURCE_DIR}/packaging/kvb-download.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/app/res/kvb_icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME kvb-download.png)
foreach(size 16 48 64 128)
  install(FILES ${CMAKE_SOURCE_DIR}/app/res/kvb_icon_${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME kvb-download.png)
endforeach()

# The manual page and the changelog compressed as Debian keeps them (no name, no time stamp).
set(pkgdir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${pkgdir}/changelog @ONLY)
add_custom_command(
  OUTPUT ${pkgdir}/kvb-download.1.gz ${pkgdir}/changelog.gz
  COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${CMAKE_SOURCE_DIR}/packaging/kvb-download.1
          ${pkgdir}/kvb-download.1.gz
  COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${pkgdir}/changelog ${pkgdir}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/kvb-download.1 ${pkgdir}/changelog
  VERBATIM)
add_custom_target(kvb_packaging_files ALL DEPENDS ${pkgdir}/kvb-download.1.gz ${pkgdir}/changelog.gz)
install(FILES ${pkgdir}/kvb-download.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${pkgdir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kvb-download)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvb-download)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fetch the KVB program's installation files by FTP")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A small desktop tool that logs in to a fixed FTP server, fetches every file
of one remote folder into a local folder and offers to start the downloaded
installer. Its window speaks Traditional Chinese and English. A batch mode
runs it without a window and reports each event on standard output.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KVB download maintainers <maintainers@kvb.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' packages from the binaries; beside them the Chinese font of the window and
# the services database that names the "ftp" port.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, netbase")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
