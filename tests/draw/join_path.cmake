target_sources(vantrel_core_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/join_path_test.cpp)
