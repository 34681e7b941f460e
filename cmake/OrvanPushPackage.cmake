# What `cmake --install` puts in place for hosts: the public headers, the whole library as one
# shared library (versioned, with a soname) and one static archive, the CLI and the reference
# server with their manual pages and the CLI's bash completion, a CMake package and pkg-config
# files. Each file belongs to one component, which `cpack -G DEB` makes a package of:
# runtime (liborvanpush1), dev (liborvanpush-dev) and tools (orvanpush-tools).

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The layers' objects, compiled once for the in-tree targets, make up both installed libraries.
set(ORVANPUSH_LAYERS orvanpush_platform orvanpush_text orvanpush_logger orvanpush_zip
    orvanpush_security orvanpush_utils orvanpush_api orvanpush_storage orvanpush_log_upload
    orvanpush_sdk)
set(layer_objects)
foreach(layer IN LISTS ORVANPUSH_LAYERS)
  list(APPEND layer_objects "$<TARGET_OBJECTS:${layer}>")
endforeach()

# The system libraries the platform layer calls; hosts of the static archive link them too.
# ICU is not among them: the library loads it at run time, on first need.
set(ORVANPUSH_SYSTEM_LIBS CURL::libcurl OpenSSL::SSL OpenSSL::Crypto SQLite::SQLite3 ZLIB::ZLIB
    ${CMAKE_DL_LIBS})

add_library(orvanpush_shared SHARED ${layer_objects})
set_target_properties(orvanpush_shared PROPERTIES
  OUTPUT_NAME orvanpush VERSION "${PROJECT_VERSION}" SOVERSION "${PROJECT_VERSION_MAJOR}"
  EXPORT_NAME OrvanPushSDK)
target_link_libraries(orvanpush_shared PRIVATE ${ORVANPUSH_SYSTEM_LIBS})
set(version_script "${PROJECT_SOURCE_DIR}/cmake/orvanpush.map")
target_link_options(orvanpush_shared PRIVATE "-Wl,--version-script=${version_script}"
                    -Wl,--gc-sections)
set_property(TARGET orvanpush_shared APPEND PROPERTY LINK_DEPENDS "${version_script}")

add_library(orvanpush_static STATIC ${layer_objects})
set_target_properties(orvanpush_static PROPERTIES OUTPUT_NAME orvanpush
  EXPORT_NAME OrvanPushSDK_static)
target_link_libraries(orvanpush_static PRIVATE ${ORVANPUSH_SYSTEM_LIBS})

foreach(library orvanpush_shared orvanpush_static)
  target_include_directories(${library} INTERFACE
    "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>"
    "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
  target_link_libraries(${library} PUBLIC nlohmann_json::nlohmann_json Threads::Threads)
  target_compile_features(${library} INTERFACE cxx_std_20)
endforeach()

install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/orvanpush"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT dev FILES_MATCHING PATTERN "*.h")
install(TARGETS orvanpush_shared orvanpush_static EXPORT OrvanPushSDKTargets
        LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT runtime NAMELINK_COMPONENT dev
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev)
set(tools_dir "${PROJECT_BINARY_DIR}/tools")
install(TARGETS orvanpush-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tools)
install(FILES "${tools_dir}/orvanpush/orvanpush.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT tools)
install(FILES "${tools_dir}/orvanpush/orvanpush.bash" RENAME orvanpush
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" COMPONENT tools)
if(TARGET orvanpush-server)
  install(TARGETS orvanpush-server RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tools)
  install(FILES "${tools_dir}/push-server/orvanpush-server.1.gz"
          DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT tools)
endif()

set(package_dir "${CMAKE_INSTALL_LIBDIR}/cmake/OrvanPushSDK")
install(EXPORT OrvanPushSDKTargets NAMESPACE OrvanPushSDK:: DESTINATION "${package_dir}"
        COMPONENT dev)
configure_package_config_file(cmake/OrvanPushSDKConfig.cmake.in
  "${PROJECT_BINARY_DIR}/OrvanPushSDKConfig.cmake" INSTALL_DESTINATION "${package_dir}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/OrvanPushSDKConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/OrvanPushSDKConfig.cmake"
              "${PROJECT_BINARY_DIR}/OrvanPushSDKConfigVersion.cmake"
        DESTINATION "${package_dir}" COMPONENT dev)

# Relocatable: the prefix is found from the .pc file's own place.
file(RELATIVE_PATH ORVANPUSH_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" ORVANPUSH_PC_TO_PREFIX "${ORVANPUSH_PC_TO_PREFIX}")
foreach(pc orvanpush orvanpush-static)
  configure_file("cmake/${pc}.pc.in" "${PROJECT_BINARY_DIR}/${pc}.pc" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/${pc}.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig"
          COMPONENT dev)
endforeach()

include(cmake/OrvanPushDebian.cmake)
