target_sources(vantrel_core_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dump_writer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dump_pages_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/print_range_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/work_file_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/print_jobs_test.cpp)
