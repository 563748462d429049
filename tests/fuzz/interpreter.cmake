# Fuzz target of the whole run pipeline: lexer, parser, checker and the
# interpreter with the math module, under a step budget. The sources are
# compiled into the target itself, so that they are instrumented for coverage.
# Its seeds are the golden programs (scripts/fuzz.sh passes tests/golden).
set(INTERPRETER_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
file(GLOB INTERPRETER_FUZZ_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/zarn/runtime/*.cpp ${PROJECT_SOURCE_DIR}/zarn/typecheck/*.cpp
     ${PROJECT_SOURCE_DIR}/zarn/frontend/*.cpp ${PROJECT_SOURCE_DIR}/zarn/types/*.cpp
     ${PROJECT_SOURCE_DIR}/zarn/diagnostics/*.cpp
     ${PROJECT_SOURCE_DIR}/zarn/stdlib/MathModule.cpp)

add_executable(fuzz_interpreter ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_interpreter.cpp
               ${INTERPRETER_FUZZ_SOURCES})
zarn_target_defaults(fuzz_interpreter)
target_compile_definitions(fuzz_interpreter PRIVATE ZARN_STEP_BUDGET=20000)
target_compile_options(fuzz_interpreter PRIVATE ${INTERPRETER_FUZZ_FLAGS})
target_link_options(fuzz_interpreter PRIVATE ${INTERPRETER_FUZZ_FLAGS})
set_target_properties(fuzz_interpreter PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
