target_sources(vantrel_core_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/cp932_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/name_order_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_list_model_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/format_number_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv_export_test.cpp)
