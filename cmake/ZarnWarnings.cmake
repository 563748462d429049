# Warning flags shared by every target of the project.
function(zarn_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ZARN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
