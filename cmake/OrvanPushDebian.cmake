# `cpack -G DEB` in the build directory makes three packages of the install components:
#   liborvanpush1     runtime  the shared library
#   liborvanpush-dev  dev      headers, the static archive, the CMake package, pkg-config files
#   orvanpush-tools   tools    orvanpush and orvanpush-server, their manual pages, the completion
# Dependencies of the binaries are computed from them (dpkg-shlibdeps); the -dev package names
# the -dev packages its CMake package and static archive need.

# Each package carries the copyright and the change log in its documentation directory.
set(changelog "${PROJECT_BINARY_DIR}/changelog.gz")
add_custom_command(
  OUTPUT "${changelog}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${PROJECT_SOURCE_DIR}/CHANGELOG.md"
          "${PROJECT_BINARY_DIR}/changelog"
  COMMAND gzip -9nf "${PROJECT_BINARY_DIR}/changelog"
  DEPENDS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" VERBATIM)
add_custom_target(orvanpush-changelog ALL DEPENDS "${changelog}")
set(packages runtime liborvanpush1 dev liborvanpush-dev tools orvanpush-tools)
while(packages)
  list(POP_FRONT packages component package)
  install(FILES "${PROJECT_SOURCE_DIR}/cmake/debian/copyright" "${changelog}"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}" COMPONENT ${component})
  string(TOUPPER "${component}" upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME "${package}")
endwhile()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanpush)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "OrvanPush developers <developers@orvanpush.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# ICU is loaded at run time, where the scan of linked libraries does not see it.
string(REGEX MATCH "^[0-9]+" icu_major "${ICU_VERSION}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libicu${icu_major}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libicu${icu_major}")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The library cache is refreshed by an ldconfig trigger, not by maintainer scripts calling it.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/cmake/debian/triggers"
    "${PROJECT_SOURCE_DIR}/cmake/debian/postinst" "${PROJECT_SOURCE_DIR}/cmake/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "client library of the OrvanPush push-notification service
The library an application and its notification-service extension link:
it registers the device with the push server, stores and reports the
pushes it receives, keeps a local message store and uploads its logs.")

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "liborvanpush1 (= ${PROJECT_VERSION}), nlohmann-json3-dev, libcurl4-openssl-dev, libssl-dev, libsqlite3-dev, zlib1g-dev, libicu-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "development files of the OrvanPush client library
The public headers, the static archive, the CMake package
(find_package(OrvanPushSDK)) and the pkg-config files (orvanpush,
orvanpush-static) for building against liborvanpush.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "command-line tool and reference server of OrvanPushSDK
orvanpush tries every operation of the library from a terminal (and walks
through a device's life with its demo); orvanpush-server is the reference
push and log server it talks to on loopback.")

include(CPack)
