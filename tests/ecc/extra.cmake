include(${CMAKE_CURRENT_LIST_DIR}/safe_ct.cmake)
