# What `cmake --install` puts under the prefix for programs built on the runtime (component
# `development`): the runtime's public headers under include/vorlune/, the static libraries, the
# CMake package and the pkg-config modules. The programs install themselves (component `program`).

include(CMakePackageConfigHelpers)

set(VORLUNE_CMAKE_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Vorlune")
# The headers as they are installed, also usable from the build tree as <vorlune/vorlune.h>.
set(VORLUNE_STAGED_INCLUDE_DIR "${PROJECT_BINARY_DIR}/include")

# Public headers --------------------------------------------------------------------------------
# Every runtime header is public unless listed here: these serve the implementation only.
set(VORLUNE_INTERNAL_HEADERS
    runtime/drawing/ellipse_quarter.h
    runtime/drawing/pixel_rules.h
    runtime/events/event_bindings.h
    runtime/events/registry_walk.h
    runtime/images/atomic_save.h
    runtime/images/byte_cursor.h
    runtime/images/palette.h
    runtime/images/pixel_rows.h
    runtime/images/png_library.h)
file(GLOB_RECURSE runtime_headers CONFIGURE_DEPENDS RELATIVE "${PROJECT_SOURCE_DIR}"
    "${PROJECT_SOURCE_DIR}/runtime/*.h")
list(REMOVE_ITEM runtime_headers ${VORLUNE_INTERNAL_HEADERS})
list(SORT runtime_headers)
# The seam: platform-neutral declarations that both libraries implement.
file(GLOB seam_headers CONFIGURE_DEPENDS RELATIVE "${PROJECT_SOURCE_DIR}"
    "${PROJECT_SOURCE_DIR}/platform/*.h")
# The in-memory platform's control interface: public for tests of programs on Vorlune::headless,
# and only behind <vorlune/headless.h>, since Vorlune::gtk does not implement it.
set(headless_headers platform/headless/control.h platform/headless/dialog_control.h)

# Installed headers name each other "vorlune/runtime/...", so that a program's include path
# gets only the prefix's include/ and a folder of the program called platform/ cannot shadow
# one of ours.
set(staged_headers "")
foreach(header IN LISTS runtime_headers seam_headers headless_headers)
    set(staged "${VORLUNE_STAGED_INCLUDE_DIR}/vorlune/${header}")
    add_custom_command(OUTPUT "${staged}"
        COMMAND "${CMAKE_COMMAND}" "-DSOURCE=${PROJECT_SOURCE_DIR}/${header}"
                "-DDESTINATION=${staged}" -P "${PROJECT_SOURCE_DIR}/cmake/StageHeader.cmake"
        DEPENDS "${PROJECT_SOURCE_DIR}/${header}" "${PROJECT_SOURCE_DIR}/cmake/StageHeader.cmake"
        VERBATIM)
    list(APPEND staged_headers "${staged}")
endforeach()
set(version_header runtime/core/version.h)
configure_file("${VORLUNE_GENERATED_DIR}/${version_header}"
    "${VORLUNE_STAGED_INCLUDE_DIR}/vorlune/${version_header}" COPYONLY)
list(APPEND runtime_headers ${version_header})
list(SORT runtime_headers)

# The umbrella headers, written from the lists above so that a new public header joins them. The
# seam's own declarations (the main screen, cursors, image views) are public too.
set(umbrella [=[#pragma once
// The whole public interface of the Vorlune runtime: numbered windows, gadgets, images and
// sprites, the event queue, 2D drawing, image codecs, requesters, strings, random numbers,
// containers and memory. Link Vorlune::gtk (pkg-config vorlune-gtk) for programs with windows on
// the desktop, or Vorlune::headless (vorlune-headless) for the in-memory platform.
// Written by the build from the public headers of the runtime and of its platform seam.
]=])
set(folder "")
foreach(header IN LISTS runtime_headers seam_headers)
    get_filename_component(header_folder "${header}" DIRECTORY)
    if(NOT header_folder STREQUAL folder)
        set(folder "${header_folder}")
        string(APPEND umbrella "\n// ${folder}\n")
    endif()
    string(APPEND umbrella "#include \"vorlune/${header}\"\n")
endforeach()
file(CONFIGURE OUTPUT "${VORLUNE_STAGED_INCLUDE_DIR}/vorlune/vorlune.h" CONTENT "${umbrella}")
set(headless_umbrella [=[#pragma once
// The runtime and the control interface of its in-memory platform, for tests of programs linked
// with Vorlune::headless (pkg-config vorlune-headless): inject input, act as the user on windows,
// answer dialogs, inspect windows and views.

#include "vorlune/vorlune.h"
]=])
foreach(header IN LISTS headless_headers)
    string(APPEND headless_umbrella "#include \"vorlune/${header}\"\n")
endforeach()
file(CONFIGURE OUTPUT "${VORLUNE_STAGED_INCLUDE_DIR}/vorlune/headless.h"
    CONTENT "${headless_umbrella}")

add_custom_target(vorlune_staged_headers ALL DEPENDS ${staged_headers})
set(platform_libraries vorlune_headless)
if(TARGET vorlune_gtk)
    list(APPEND platform_libraries vorlune_gtk)
endif()
foreach(library IN LISTS platform_libraries)
    add_dependencies(${library} vorlune_staged_headers)
    target_include_directories(${library} INTERFACE
        "$<BUILD_INTERFACE:${VORLUNE_STAGED_INCLUDE_DIR}>")
endforeach()

foreach(header IN LISTS runtime_headers seam_headers headless_headers)
    get_filename_component(header_folder "${header}" DIRECTORY)
    install(FILES "${VORLUNE_STAGED_INCLUDE_DIR}/vorlune/${header}"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/vorlune/${header_folder}" COMPONENT development)
endforeach()
install(FILES "${VORLUNE_STAGED_INCLUDE_DIR}/vorlune/vorlune.h"
    "${VORLUNE_STAGED_INCLUDE_DIR}/vorlune/headless.h"
    DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/vorlune" COMPONENT development)

# Libraries and the CMake package --------------------------------------------------------------
# One export set per library: the package loads Vorlune::gtk only where GTK is found, so a
# program on Vorlune::headless needs no GTK development files.
foreach(library IN LISTS platform_libraries)
    get_target_property(name ${library} EXPORT_NAME)
    string(SUBSTRING "${name}" 0 1 initial)
    string(SUBSTRING "${name}" 1 -1 rest)
    string(TOUPPER "${initial}" initial)
    install(TARGETS ${library} EXPORT Vorlune${initial}${rest}Targets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT development)
    install(EXPORT Vorlune${initial}${rest}Targets NAMESPACE Vorlune::
        DESTINATION "${VORLUNE_CMAKE_INSTALL_DIR}" COMPONENT development)
endforeach()

configure_package_config_file(cmake/VorluneConfig.cmake.in
    "${PROJECT_BINARY_DIR}/package/VorluneConfig.cmake"
    INSTALL_DESTINATION "${VORLUNE_CMAKE_INSTALL_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/package/VorluneConfigVersion.cmake"
    VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/package/VorluneConfig.cmake"
    "${PROJECT_BINARY_DIR}/package/VorluneConfigVersion.cmake"
    DESTINATION "${VORLUNE_CMAKE_INSTALL_DIR}" COMPONENT development)

# pkg-config modules ---------------------------------------------------------------------------
# Written when installing, with the prefix given then (`cmake --install --prefix`, CPack's): a
# path relative to the .pc file would put -I/usr/include on the compile line of a system-wide
# copy, which breaks the C++ library's #include_next.
foreach(kind IN ITEMS LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
        set(pc_${kind} "${CMAKE_INSTALL_${kind}}")
    else()
        set(pc_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
    endif()
endforeach()
foreach(library IN LISTS platform_libraries)
    get_target_property(name ${library} EXPORT_NAME)
    set(module "${PROJECT_BINARY_DIR}/package/vorlune-${name}.pc")
    install(CODE "
        set(VORLUNE_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
        set(VORLUNE_PC_LIBDIR [[${pc_LIBDIR}]])
        set(VORLUNE_PC_INCLUDEDIR [[${pc_INCLUDEDIR}]])
        set(PROJECT_VERSION [[${PROJECT_VERSION}]])
        configure_file([[${PROJECT_SOURCE_DIR}/cmake/vorlune-${name}.pc.in]] [[${module}]] @ONLY)
        " COMPONENT development)
    install(FILES "${module}" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig"
        COMPONENT development)
endforeach()
