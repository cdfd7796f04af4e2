# kv_unit_tests(PREFIX LIB): one test program per *Test.cpp of the calling folder, named
# PREFIX_<file> and linked with LIB, then the extra targets a unit's tests need (fake hosts,
# fixtures), one .cmake file per unit in that folder. A macro, so that the extras are read in
# the folder's own scope.
macro(kv_unit_tests prefix lib)
  file(GLOB kv_unit_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  foreach(test_source IN LISTS kv_unit_test_sources)
    get_filename_component(test_name ${test_source} NAME_WE)
    kv_gtest(${prefix}_${test_name} SOURCES ${test_source} LIBS ${lib})
  endforeach()
  file(GLOB kv_unit_test_extras CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
  foreach(extra IN LISTS kv_unit_test_extras)
    include(${extra})
  endforeach()
endmacro()
