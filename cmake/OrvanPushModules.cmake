# One static library per layer, its sources collected from the layer's directory, so that a new
# file joins the build without touching a CMakeLists.

# orvanpush_sources_of(<variable> <dir>...): the .cpp files of the directories (relative to the
# project), picked up again whenever a file is added or removed.
function(orvanpush_sources_of variable)
  set(sources)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${dir}/*.cpp")
    list(APPEND sources ${found})
  endforeach()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()

# orvanpush_module(NAME <target> [DIRS <dir>...] [FILES <file>...] [EXCLUDE <file>...]
#                  [DEPS <target>...] [PRIVATE_LIBS <lib>...])
# FILES adds single sources and EXCLUDE leaves some of the directories' out (paths relative to
# the project), for a file that belongs to a layer above its directory's.
function(orvanpush_module)
  cmake_parse_arguments(ARG "" "NAME" "DIRS;FILES;EXCLUDE;DEPS;PRIVATE_LIBS" ${ARGN})
  orvanpush_sources_of(sources ${ARG_DIRS})
  foreach(file IN LISTS ARG_FILES)
    list(APPEND sources "${PROJECT_SOURCE_DIR}/${file}")
  endforeach()
  foreach(file IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources "${PROJECT_SOURCE_DIR}/${file}")
  endforeach()
  if(sources)
    add_library(${ARG_NAME} STATIC ${sources})
    # The layers make up the shared library, which exports only what the public headers mark
    # ORVANPUSH_EXPORT. Tests and tools keep the default: a test program's interposers (such as
    # its readdir) must stay visible to the shared libraries it calls.
    set_target_properties(${ARG_NAME} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                                 VISIBILITY_INLINES_HIDDEN ON)
    # A section per function and object: a program linked with --gc-sections keeps only the code
    # it reaches, which is most of what a short-lived extension process has resident.
    target_compile_options(${ARG_NAME} PRIVATE -ffunction-sections -fdata-sections)
    target_include_directories(${ARG_NAME}
      PUBLIC "${PROJECT_SOURCE_DIR}/include" "${PROJECT_BINARY_DIR}/include"
      PRIVATE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS} nlohmann_json::nlohmann_json
                          Threads::Threads PRIVATE ${ARG_PRIVATE_LIBS})
  else()
    add_library(${ARG_NAME} INTERFACE)
    target_include_directories(${ARG_NAME}
      INTERFACE "${PROJECT_SOURCE_DIR}/include" "${PROJECT_BINARY_DIR}/include")
    target_link_libraries(${ARG_NAME} INTERFACE ${ARG_DEPS} nlohmann_json::nlohmann_json
                          Threads::Threads)
  endif()
endfunction()

# orvanpush_test(NAME <target> DIRS <dir>... LIBS <target>... [LABELS <label>...])
function(orvanpush_test)
  cmake_parse_arguments(ARG "" "NAME" "DIRS;LIBS;LABELS" ${ARGN})
  orvanpush_sources_of(sources ${ARG_DIRS})
  if(NOT sources)
    return()
  endif()
  add_executable(${ARG_NAME} ${sources})
  target_include_directories(${ARG_NAME} PRIVATE "${PROJECT_SOURCE_DIR}/src"
                             "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} orvanpush_test_support GTest::gmock)
  gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 LABELS "${ARG_LABELS}")
endfunction()
