# libFuzzer targets of the core: configure a separate build with
# -DVANTREL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(WARNING "VANTREL_FUZZ needs clang++; the fuzz targets are skipped")
  return()
endif()

set(VANTREL_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
# The core gets coverage and sanitizers too, or the fuzzer would run blind inside it.
target_compile_options(vantrel_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
# Anything else linking the instrumented core (vantrel-dump) needs the sanitizer runtimes.
target_link_options(vantrel_core INTERFACE -fsanitize=address,undefined)

foreach(target fuzz_text_reader fuzz_join_path fuzz_name_order fuzz_dump_writer)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp)
  target_link_libraries(${target} PRIVATE vantrel_core)
  target_compile_options(${target} PRIVATE ${VANTREL_FUZZ_FLAGS})
  target_link_options(${target} PRIVATE ${VANTREL_FUZZ_FLAGS})
endforeach()
