target_sources(vantrel_core_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/vantrel_dump_test.cpp)
# The tests run the real program.
add_dependencies(vantrel_core_tests vantrel-dump)
target_compile_definitions(vantrel_core_tests PRIVATE VANTREL_DUMP_EXE="$<TARGET_FILE:vantrel-dump>")
