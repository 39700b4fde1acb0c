# A Debian package of what `cmake --install` lays out (scripts/package builds it). Library
# dependencies come from the binaries (dpkg-shlibdeps); the rest are programs the app and
# the model download start by name.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wendlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Wendlo)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "offline dictation: type by voice in any application")
set(CPACK_PACKAGE_DESCRIPTION
    "Hold Super+D and speak: when you let go, the recording is transcribed on\n\
this computer by whisper.cpp and typed into whichever text field has focus,\n\
through the accessibility bus or a clipboard paste that puts your own\n\
clipboard back. Nothing you say leaves the computer. The speech model is\n\
downloaded once with wendlo-fetch-model.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${WENDLO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# at-spi2-core: the accessibility bus that insertion uses; the sound players and espeak-ng:
# the self-test; curl and ca-certificates: wendlo-fetch-model; qt6-wayland: Qt's Wayland
# plug-in, without which the app cannot start in a Wayland-only session. (Qt's X11 plug-in
# comes with libqt6gui6.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "at-spi2-core, espeak-ng, pulseaudio-utils | pipewire-bin | alsa-utils, curl, ca-certificates, qt6-wayland")
# wtype: the paste keystroke in Wayland sessions of compositors with a virtual keyboard
# (sway and the other wlroots ones); X11 sessions do without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wtype")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
