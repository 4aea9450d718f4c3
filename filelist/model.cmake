target_sources(vantrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/cp932.cpp
  ${CMAKE_CURRENT_LIST_DIR}/name_order.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_list_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/format_number.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv_export.cpp)
