# Fake host applications for the binding tests: one that exports every service function
# and records each call, one that exports a single function. They live beside the tests,
# not among the product's libraries.
foreach(host IN ITEMS FakeHost SingleExportHost)
  add_library(kvtest_${host} SHARED ${CMAKE_CURRENT_LIST_DIR}/FakeHost/${host}.cpp)
  target_include_directories(kvtest_${host} PRIVATE ${CMAKE_SOURCE_DIR}/Source/Lib)
  set_target_properties(kvtest_${host} PROPERTIES CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/Lib/hosts)
endforeach()
foreach(test IN ITEMS Lib_uKVHostAppImportTest Lib_uKVModuleProcsTest)
  if(TARGET ${test})
    add_dependencies(${test} kvtest_FakeHost kvtest_SingleExportHost)
    target_compile_definitions(${test} PRIVATE KV_FAKE_HOST="$<TARGET_FILE:kvtest_FakeHost>"
      KV_SINGLE_HOST="$<TARGET_FILE:kvtest_SingleExportHost>")
    target_link_libraries(${test} PRIVATE ${CMAKE_DL_LIBS})
  endif()
endforeach()
# This test program is itself a host: its own service functions are found in it.
if(TARGET Lib_uKVHostAppImportTest)
  set_target_properties(Lib_uKVHostAppImportTest PROPERTIES ENABLE_EXPORTS ON)
endif()
