# Fuzz target of the type checker, behind the lexer and the parser. The sources
# are compiled into the target itself, so that they are instrumented for
# coverage while the libraries of the zarn program stay plain.
set(TYPECHECK_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
file(GLOB TYPECHECK_FUZZ_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/zarn/typecheck/*.cpp ${PROJECT_SOURCE_DIR}/zarn/types/*.cpp
     ${PROJECT_SOURCE_DIR}/zarn/frontend/*.cpp ${PROJECT_SOURCE_DIR}/zarn/diagnostics/*.cpp)

add_executable(fuzz_typecheck ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_typecheck.cpp ${TYPECHECK_FUZZ_SOURCES})
zarn_target_defaults(fuzz_typecheck)
target_compile_options(fuzz_typecheck PRIVATE ${TYPECHECK_FUZZ_FLAGS})
target_link_options(fuzz_typecheck PRIVATE ${TYPECHECK_FUZZ_FLAGS})
set_target_properties(fuzz_typecheck PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
