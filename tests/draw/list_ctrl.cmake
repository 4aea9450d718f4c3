if(VANTREL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(list_ctrl_ex_tests ${CMAKE_CURRENT_LIST_DIR}/list_ctrl_ex_test.cpp)
  target_link_libraries(list_ctrl_ex_tests PRIVATE vantrel_shell Qt6::Test GTest::gtest)
  gtest_discover_tests(list_ctrl_ex_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${VANTREL_TEST_HOME_ENV}"
    LABELS shell)
endif()
