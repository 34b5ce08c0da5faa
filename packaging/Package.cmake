# `make package` (the `package` target): a Debian package of the program, its effects library
# and its desktop files, with CPack. Configure with -DCMAKE_INSTALL_PREFIX=/usr for it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kovra)
set(CPACK_PACKAGE_VENDOR "The Kovra developers")
set(CPACK_PACKAGE_CONTACT "The Kovra developers <developers@kovra.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live video performance tool with 3D effects")
set(CPACK_PACKAGE_DESCRIPTION
    "Kovra plays up to two live cameras through 16 numbered OpenGL effects in a\n"
    "window or over the whole screen at 30 frames a second: a spinning cube,\n"
    "cross-fades, splits, scrolls and pushes, spheres, a funnel, slats and a\n"
    "tumbling title. The performer plays it from a MIDI controller (ALSA or JACK),\n"
    "the keyboard or a small dialog, with an eight-slot frame memory per camera.\n"
    "Built-in test patterns let it be played without a camera.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# The program's files only: no tests, benchmarks or tools beyond kovra-devices.
set(CPACK_COMPONENTS_ALL kovra)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' packages as dpkg-shlibdeps finds them, told where the private effects
# library is; then what the program loads at run time and no linker sees: the camera
# pipeline's elements (without them every camera falls back to "None").
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/effects)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
# Wayland sessions, PipeWire cameras, the clips' decoders (H.264 and the rest in libav), and the font
# of the one Japanese message.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, gstreamer1.0-pipewire, gstreamer1.0-plugins-ugly, gstreamer1.0-plugins-bad, gstreamer1.0-libav, fonts-noto-cjk")
# Files and folders as Debian wants them (0755 folders, no group write).
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
