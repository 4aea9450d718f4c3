target_sources(vantrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dump_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dump_pages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/work_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/print_range.cpp
  ${CMAKE_CURRENT_LIST_DIR}/print_jobs.cpp)
