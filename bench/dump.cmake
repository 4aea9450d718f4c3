add_executable(bench_dump ${CMAKE_CURRENT_LIST_DIR}/bench_dump.cpp)
target_link_libraries(bench_dump PRIVATE vantrel_core benchmark::benchmark)
