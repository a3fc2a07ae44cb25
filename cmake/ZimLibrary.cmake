# zim_library(name SOURCES ... DEPENDS ...): one static library per subsystem folder,
# with includes rooted at src/ and an alias zim::name.
function(zim_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(zim_${name} STATIC ${ARG_SOURCES})
  add_library(zim::${name} ALIAS zim_${name})
  target_include_directories(zim_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(zim_${name} PUBLIC ${ARG_DEPENDS})
  zim_precompile(zim_${name} <QObject> <QString> <QStringList> <QByteArray> <QHash> <QVariant>)
endfunction()

# With ZIM_PCH the headers every file of a target includes are parsed once per target: a build
# from nothing (as CI does it) spends most of its time parsing Qt, the standard library and
# GoogleTest again for each file.
function(zim_precompile target)
  if(ZIM_PCH)
    target_precompile_headers(${target} PRIVATE <algorithm> <functional> <memory> <string> <vector> ${ARGN})
  endif()
endfunction()

# zim_unit_test(name SOURCES ... DEPENDS ...): one GoogleTest executable per subsystem.
function(zim_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    ZIM_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ZIM_BINARY_DIR="${CMAKE_BINARY_DIR}"
    ZIM_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  zim_precompile(${name} <QObject> <QString> <QByteArray> <gtest/gtest.h> <gmock/gmock.h>)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
