# The Debian packages: `vorlune` (component "program") and `libvorlune-dev` (component
# "development"), built by `make package` in a Release build configured for the prefix /usr.

set(VORLUNE_PACKAGE_MAINTAINER "The Vorlune developers <maintainers@vorlune.invalid>"
    CACHE STRING "Maintainer field of the Debian packages: a name and an e-mail address")

set(CPACK_PACKAGE_NAME vorlune)
set(CPACK_PACKAGE_VENDOR "The Vorlune developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VORLUNE_PACKAGE_MAINTAINER}")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL program development)

set(CPACK_COMPONENT_PROGRAM_DISPLAY_NAME "Vorlune")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION
"travel through a picture of coloured rings with the arrow keys
Vorlune is a small desktop toy. It opens one borderless window in the
middle of the screen and fills it with a picture computed pixel by
pixel: the distance of each pixel from the origin is divided by K,
raised to the power P, and the sine of the result is shown as a colour
of a hue wheel or in black and white. The arrow keys change P and K, and
the rings fold, split and turn into moire.

The package also holds vorlune-render, which draws the same picture into
a BMP or PNG file without a display, and three example programs of the
runtime under it: vorlune-hello, vorlune-view, an image viewer, and
vorlune-sketch, a sketch pad.")
set(CPACK_COMPONENT_DEVELOPMENT_DISPLAY_NAME "Vorlune runtime, development files")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
"runtime layer of Vorlune for C++ programs: headers and static libraries
The runtime under the Vorlune toy, for other C++20 programs: numbered
windows, gadgets and images, an event queue, 2D drawing into images, a
BMP codec, modal requesters, UTF-16 strings, containers and memory
pools.

Two variants are provided: one with the GTK 3 platform for programs with
windows, and one with an in-memory platform for tests and command-line
tools. Both come with a CMake package (find_package(Vorlune)) and
pkg-config modules (vorlune-gtk, vorlune-headless).")

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VORLUNE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME vorlune)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION games)
# GTK's OpenGL area reaches the GL library through libepoxy, which opens it at run time, so
# dpkg-shlibdeps cannot see it; the window does not open without it.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "libgl1")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvorlune-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# What the installed CMake package and pkg-config modules look for.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "libgtk-3-dev, libepoxy-dev, libpango1.0-dev, libpng-dev, libx11-dev, pkg-config")

# `package_source`: the tracked sources, without build folders.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME "vorlune-${PROJECT_VERSION}")
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/artifacts/" "/\\\\.cache/")

include(CPack)
