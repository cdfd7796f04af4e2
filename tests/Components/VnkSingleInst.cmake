# The single-instance guard's tests start this small program twice, as two real processes.
add_executable(VnkSingleInstHelper ${CMAKE_CURRENT_SOURCE_DIR}/VnkSingleInstHelper.cpp)
target_link_libraries(VnkSingleInstHelper PRIVATE KV3Components)
add_dependencies(Components_VnkSingleInstTest VnkSingleInstHelper)
