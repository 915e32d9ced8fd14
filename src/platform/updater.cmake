# The updater's OS stand-ins: the running bundle and its Info.plist, the tool table and
# the process runner.
target_sources(quotabar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/bundle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plist_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_runner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_table.cpp)
