target_sources(vantrel_core_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/error_text_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_file_reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_file_writer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_file_test.cpp)
