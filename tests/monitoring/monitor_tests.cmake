quotabar_test(monitor_tests ${CMAKE_CURRENT_LIST_DIR}/test_usage_monitor.cpp)
target_link_libraries(monitor_tests PRIVATE Qt6::Test)
