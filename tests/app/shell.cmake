if(VANTREL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(vantrel_app_tests
    ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cdc_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frame_test.cpp
  )
  target_link_libraries(vantrel_app_tests PRIVATE vantrel_shell GTest::gtest Qt6::Test)
  gtest_discover_tests(vantrel_app_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS shell
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTREL_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp;${VANTREL_TEST_HOME_ENV}")
endif()
