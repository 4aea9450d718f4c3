target_sources(vantrel_core_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/list_layout_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_marking_test.cpp)

if(VANTREL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(vantrel_view_tests
    ${CMAKE_CURRENT_LIST_DIR}/view_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/view_widget_test.cpp)
  target_link_libraries(vantrel_view_tests PRIVATE vantrel_shell GTest::gtest Qt6::Test)
  gtest_discover_tests(vantrel_view_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS shell
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${VANTREL_TEST_HOME_ENV}")
endif()
