# Two helpers keep the per-folder CMake files short:
#   zm_library(<name> SOURCES ... [DEPS ...])  a static library whose folder is its public include path
#   zm_test(<name> SOURCES ... [DEPS ...] [LABELS ...] [LOCKS ...])
#                                              a GoogleTest program registered with CTest; LOCKS names
#                                              machine-wide state its tests change, so that ctest -j
#                                              never runs two tests holding the same lock at once

function(zm_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

function(zm_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS;LOCKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    ZM_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}" ZM_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # An empty value would shift the name-value pairs, so only given properties are passed.
  set(properties "")
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(ARG_LOCKS)
    list(APPEND properties RESOURCE_LOCK "${ARG_LOCKS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
