# `cpack -G DEB` in a build folder makes a Debian package of everything `cmake --install`
# installs: kestrane, kestrane-cli, the desktop entry, the icons and the udev rule. In a Windows
# build, `cpack -G ZIP` makes the portable folder Kestrane-<version>-win64: kestrane.exe,
# kestrane-cli.exe (both static: nothing else is needed beside them) and the README.
set(CPACK_PACKAGE_NAME kestrane)
set(CPACK_PACKAGE_VENDOR "Kestrane")
set(CPACK_PACKAGE_CONTACT "Kestrane maintainers <maintainers@kestrane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Joystick as an H-pattern car gearbox for driving games")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrane reads a joystick, holds it in an H-shaped shift pattern, types the keys of the \
gear into the focused game window and plays force-feedback springs so that the stick feels \
like a gear lever.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY kestrane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Qt, SDL2, libevdev and X11 from the binaries
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")  # the xcb window-system plugin
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
  set(CPACK_PACKAGE_FILE_NAME "Kestrane-${PROJECT_VERSION}-win64")
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
endif()
include(CPack)
