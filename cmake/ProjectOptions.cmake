# Warnings are errors for the project's own targets (never for the vendored GoogleTest).
function(project_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
endfunction()

# The same sources give the same bytes wherever they are built: no source or build folder
# paths in the objects (assertion texts, debug info).
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)

if(WIN32)
  # One self-contained executable: no libstdc++, libgcc or winpthread DLLs beside it. Its PE
  # header carries no link time, so a rebuild of the same commit is byte for byte the same.
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
else()
  option(SANITIZE "Build under AddressSanitizer and UndefinedBehaviorSanitizer" ON)
  if(SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()
