# kv_platform_service(NAME SOURCES... [LIBS ...]): one service of the platform layer,
# a shared library kvplatform_NAME, collected into the umbrella target kvplatform.
# Shared, so that a program and the libraries it loads (KVLib, KV3Components) hold one
# class library between them: one window system, one class registry.
function(kv_platform_service name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(kvplatform_${name} SHARED ${ARG_SOURCES})
  target_include_directories(kvplatform_${name} PUBLIC ${CMAKE_SOURCE_DIR}/Source)
  target_link_libraries(kvplatform_${name} PUBLIC ${ARG_LIBS})
  set_property(GLOBAL APPEND PROPERTY KV_PLATFORM_SERVICES kvplatform_${name})
endfunction()

# kv_gtest(NAME SOURCES... [LIBS ...]): one GoogleTest program, its cases registered with ctest.
# Every test program runs with its own settings folder (tests/common) so that none touches the real one.
function(kv_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE kvtestsupport ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
