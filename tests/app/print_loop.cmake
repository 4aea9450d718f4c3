if(VANTREL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(vantrel_print_loop_tests
    ${PROJECT_SOURCE_DIR}/tests/printing/print_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pdf_engine_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_dialogs_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_loop_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_preview_test.cpp)
  target_include_directories(vantrel_print_loop_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(vantrel_print_loop_tests PRIVATE vantrel_shell GTest::gtest Qt6::Test)
  gtest_discover_tests(vantrel_print_loop_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS shell
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTREL_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp;${VANTREL_TEST_HOME_ENV}")
endif()
