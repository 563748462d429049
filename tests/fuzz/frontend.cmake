# Fuzz target of the language front end: lexer and parser over arbitrary bytes.
# The front-end sources are compiled into the target itself, so that they are
# instrumented for coverage while the libraries of the zarn program stay plain.
set(ZARN_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
file(GLOB ZARN_FUZZ_FRONTEND_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/zarn/frontend/*.cpp ${PROJECT_SOURCE_DIR}/zarn/types/*.cpp
     ${PROJECT_SOURCE_DIR}/zarn/diagnostics/*.cpp)

add_executable(fuzz_frontend ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_frontend.cpp
               ${ZARN_FUZZ_FRONTEND_SOURCES})
zarn_target_defaults(fuzz_frontend)
target_compile_options(fuzz_frontend PRIVATE ${ZARN_FUZZ_FLAGS})
target_link_options(fuzz_frontend PRIVATE ${ZARN_FUZZ_FLAGS})
set_target_properties(fuzz_frontend PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
