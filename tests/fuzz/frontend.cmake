# Fuzz target of the language front end: lexer and parser over arbitrary bytes.
set(ZARN_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
# The libraries under test are instrumented for coverage without libFuzzer's main.
set(ZARN_FUZZ_LIBRARY_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)

add_executable(fuzz_frontend ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_frontend.cpp)
zarn_target_defaults(fuzz_frontend)
target_compile_options(fuzz_frontend PRIVATE ${ZARN_FUZZ_FLAGS})
target_link_options(fuzz_frontend PRIVATE ${ZARN_FUZZ_FLAGS})
target_link_libraries(fuzz_frontend PRIVATE zarn_frontend zarn_diagnostics)
target_compile_options(zarn_frontend PRIVATE ${ZARN_FUZZ_LIBRARY_FLAGS})
target_compile_options(zarn_diagnostics PRIVATE ${ZARN_FUZZ_LIBRARY_FLAGS})
set_target_properties(fuzz_frontend PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
