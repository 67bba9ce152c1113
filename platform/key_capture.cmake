# Key capture for the settings dialog's key fields, over the key table of kestrane_platform:
# the mapping itself (no Qt) and its adapter for Qt key events.
find_package(Qt6 REQUIRED COMPONENTS Gui)

add_library(kestrane_key_capture STATIC ${CMAKE_CURRENT_LIST_DIR}/key_capture.cpp)
target_link_libraries(kestrane_key_capture PUBLIC kestrane_platform PRIVATE kestrane_warnings)

add_library(kestrane_key_capture_qt STATIC ${CMAKE_CURRENT_LIST_DIR}/key_capture_qt.cpp)
target_link_libraries(kestrane_key_capture_qt PUBLIC kestrane_key_capture Qt6::Gui
                                              PRIVATE kestrane_warnings)
