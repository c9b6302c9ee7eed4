# Install layout and the Debian package. Included from the top-level CMakeLists.txt.
#
# The program reads its button faces from its own folder, so the executable and the two faces
# live together in a private folder, lib/velquist-mp3-cutter/ (plain lib/, not the multiarch
# one, so the layout is the same whatever prefix the build was configured with), and
# bin/velquist-mp3-cutter is a relative symbolic link to it.

include(GNUInstallDirs)

set(VELQUIST_PRIVATE_DIR "lib/${PROJECT_NAME}")
set(VELQUIST_ICON_SIZES 16 24 32 48 64 72 96 128 256)

install(TARGETS velquist-mp3-cutter RUNTIME DESTINATION ${VELQUIST_PRIVATE_DIR})
# The faces; their twins drawn at twice the size are compiled in and shown for these very files
# on screens scaled above 100 %.
install(FILES ${PROJECT_SOURCE_DIR}/resources/按钮.gif ${PROJECT_SOURCE_DIR}/resources/按钮D.gif
        DESTINATION ${VELQUIST_PRIVATE_DIR})

# The link is made in the build tree and installed as it is; it stays relative, so it is right
# under any prefix and inside the package.
set(launcher ${PROJECT_BINARY_DIR}/packaging/${PROJECT_NAME})
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
file(CREATE_LINK ../${VELQUIST_PRIVATE_DIR}/${PROJECT_NAME} ${launcher} SYMBOLIC)
install(FILES ${launcher} DESTINATION ${CMAKE_INSTALL_BINDIR})

configure_file(${CMAKE_CURRENT_LIST_DIR}/linux/app.desktop.in
               ${PROJECT_BINARY_DIR}/packaging/${VELQUIST_APP_ID}.desktop @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/linux/app.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/packaging/${VELQUIST_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${VELQUIST_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${VELQUIST_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size IN LISTS VELQUIST_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/velquist-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${VELQUIST_APP_ID}.png)
endforeach()

# Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${VELQUIST_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "Velquist")
set(CPACK_PACKAGE_CONTACT "Velquist <velquist@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${VELQUIST_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut a piece out of an MP3 file without re-encoding")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Velquistmp3剪切器 (Velquist MP3 cutter) plays an MP3 file in its own window;\n"
    "mark a start and an end on the track bar while listening and save the\n"
    "marked stretch as a new MP3 file. The cut is a plain copy of the bytes,\n"
    "so it is instant and lossless. The interface is in Simplified Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velquist <velquist@example.org>")
# The libraries the program links (Qt's, libmpg123-0 that decodes MP3, the C++ run-time's) are
# found by dpkg-shlibdeps; what it only loads at run time is named here: Qt's own Chinese
# translations and a font with Chinese characters.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, fonts-wqy-microhei")
# The desktop's own file dialogs: the portal's (GNOME, sandboxes) and GTK's. Without them Qt
# shows its own dialog, so they are recommended, not required.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-xdgdesktopportal-platformtheme, qt6-gtk-platformtheme")
include(CPack)
