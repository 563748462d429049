# Fuzz targets of the package manager's readers. The library sources are
# compiled into each target so that the fuzzer sees their coverage.
set(VEK_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined)
set(VEK_SOURCES ${PROJECT_SOURCE_DIR}/vek)

add_executable(fuzz_toml ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_toml.cpp
  ${VEK_SOURCES}/manifest/Toml.cpp ${VEK_SOURCES}/base/Json.cpp
  ${VEK_SOURCES}/manifest/Manifest.cpp ${VEK_SOURCES}/base/AtomicFile.cpp
  ${VEK_SOURCES}/versions/Version.cpp ${VEK_SOURCES}/base/SystemPosix.cpp)

add_executable(fuzz_archive ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_archive.cpp
  ${VEK_SOURCES}/archive/Zip.cpp ${VEK_SOURCES}/archive/Checksum.cpp
  ${VEK_SOURCES}/archive/Package.cpp ${VEK_SOURCES}/archive/SafeFiles.cpp
  ${VEK_SOURCES}/base/AtomicFile.cpp ${VEK_SOURCES}/base/SystemPosix.cpp)

foreach(target fuzz_toml fuzz_archive)
  zarn_target_defaults(${target})
  target_compile_options(${target} PRIVATE ${VEK_FUZZ_FLAGS})
  target_link_options(${target} PRIVATE ${VEK_FUZZ_FLAGS})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endforeach()
