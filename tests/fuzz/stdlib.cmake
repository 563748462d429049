# Fuzz target of the library's text handling: URL parsing and rebuilding,
# percent-encoding, query strings and time formatting. The sources are
# compiled into the target so that the fuzzer sees their coverage.
set(STDLIB_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined)
set(STDLIB_SOURCES ${PROJECT_SOURCE_DIR}/zarn/stdlib)

add_executable(fuzz_url ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_url.cpp
  ${STDLIB_SOURCES}/Url.cpp ${STDLIB_SOURCES}/UrlCodec.cpp ${STDLIB_SOURCES}/Calendar.cpp)
zarn_target_defaults(fuzz_url)
target_compile_options(fuzz_url PRIVATE ${STDLIB_FUZZ_FLAGS})
target_link_options(fuzz_url PRIVATE ${STDLIB_FUZZ_FLAGS})
set_target_properties(fuzz_url PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
