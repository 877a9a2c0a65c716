# Install rules and the Debian package. The two programs go to bin; the desktop entry,
# the AppStream metainfo and the hicolor icons make the console show up in the
# application menu and software centres under one application id.
include(GNUInstallDirs)

# Used for the desktop file, the metainfo id, the icon name and
# QGuiApplication::setDesktopFileName in src/app/main.cpp.
set(KIVORA_APP_ID "example.kivora.Console")
set(KIVORA_ICON_SIZES 16 22 24 32 48 64 128 256)
set(_kivora_packaging_dir "${PROJECT_SOURCE_DIR}/packaging")

install(TARGETS kivora-console kivora-demo-service
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${_kivora_packaging_dir}/${KIVORA_APP_ID}.desktop"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${_kivora_packaging_dir}/${KIVORA_APP_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(_size IN LISTS KIVORA_ICON_SIZES)
  install(FILES "${_kivora_packaging_dir}/icons/hicolor/${_size}x${_size}/apps/${KIVORA_APP_ID}.png"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
endforeach()
install(FILES "${_kivora_packaging_dir}/icons/${KIVORA_APP_ID}.svg"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# cpack -G DEB (or scripts/package) builds kivora-console_<version>-1_<arch>.deb.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kivora-console")
set(CPACK_PACKAGE_VENDOR "Kivora")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Kivora Packaging <packaging@kivora.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.kivora.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator console for the Kivora live-chat service")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop console with which a support operator logs in to the Kivora live-chat\n\
service, watches the visitors on the customer's web site and answers their chats,\n\
several at once. Chat requests are announced by a sound, a pop-up and the tray icon.\n\
The package also holds kivora-demo-service, a simulated service on the loopback\n\
interface for trying the console out.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# dpkg-shlibdeps turns the libraries the programs link into Depends. Qt loads its
# platform plugin at run time, which shlibdeps cannot see; on Debian 12 the xcb and
# offscreen plugins ship in libqt6gui6, which is linked and so already a dependency.
# qt6-wayland adds the native Wayland platform (without it Qt falls back to xcb through
# XWayland). QSoundEffect on Qt 6.4 plays through libQt6Multimedia's own PulseAudio
# client, with no media backend plugin, so sound needs a PulseAudio-compatible server.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
