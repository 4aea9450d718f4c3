if(VANTREL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(vantrel_print_job_tests
    ${CMAKE_CURRENT_LIST_DIR}/print_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_range_dlg_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/view_printing_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dump_pdf_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/page_drawing_test.cpp)
  target_include_directories(vantrel_print_job_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # The --pdf tests run the real program.
  add_dependencies(vantrel_print_job_tests vantrel-dump)
  target_compile_definitions(vantrel_print_job_tests PRIVATE VANTREL_DUMP_EXE="$<TARGET_FILE:vantrel-dump>")
  target_link_libraries(vantrel_print_job_tests PRIVATE vantrel_shell GTest::gtest Qt6::Test)
  gtest_discover_tests(vantrel_print_job_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS shell
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTREL_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp;${VANTREL_TEST_HOME_ENV}")

  # A real scheduler: a private cupsd with a cups-pdf queue; skipped where none can run.
  add_executable(vantrel_cups_print_tests
    ${CMAKE_CURRENT_LIST_DIR}/print_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cups_print_test.cpp)
  target_include_directories(vantrel_cups_print_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(vantrel_cups_print_tests PRIVATE vantrel_shell GTest::gtest Qt6::Test)
  gtest_discover_tests(vantrel_cups_print_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS shell TIMEOUT 180
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTREL_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp;${VANTREL_TEST_HOME_ENV}")
endif()
