# Fuzz target of the type checker, behind the lexer and the parser.
add_executable(fuzz_typecheck ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_typecheck.cpp)
zarn_target_defaults(fuzz_typecheck)
target_compile_options(fuzz_typecheck PRIVATE ${ZARN_FUZZ_FLAGS})
target_link_options(fuzz_typecheck PRIVATE ${ZARN_FUZZ_FLAGS})
target_link_libraries(fuzz_typecheck PRIVATE zarn_typecheck zarn_frontend zarn_diagnostics)
target_compile_options(zarn_typecheck PRIVATE ${ZARN_FUZZ_LIBRARY_FLAGS})
set_target_properties(fuzz_typecheck PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
