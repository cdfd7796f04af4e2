# A stored form of the components shown on a real (virtual) X display, driven with xdotool.
add_executable(kvcomponentsdemo ${CMAKE_CURRENT_SOURCE_DIR}/ComponentsDemo.cpp)
target_link_libraries(kvcomponentsdemo PRIVATE KV3Components kvplatform_ui)
target_compile_definitions(Components_ComponentsDesktopTest
                           PRIVATE KV_COMPONENTS_DEMO="$<TARGET_FILE:kvcomponentsdemo>")
add_dependencies(Components_ComponentsDesktopTest kvcomponentsdemo)
