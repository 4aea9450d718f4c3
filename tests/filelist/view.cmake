target_sources(vantrel_core_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/list_layout_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_marking_test.cpp)
