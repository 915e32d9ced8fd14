# Keyring on the Secret Service (libsecret) and the user's data folder.
target_sources(quotabar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/data_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/keyring_libsecret.cpp
  ${CMAKE_CURRENT_LIST_DIR}/secret_service_glue.cpp)
