# The Qt anchors of the watching benchmark (bench/watching.sh).
add_executable(qt_anchor ${CMAKE_CURRENT_LIST_DIR}/qt_anchor.cpp)
target_link_libraries(qt_anchor PRIVATE Qt6::Widgets)
