# Run by CPack between staging and packing, over the staged tree, so that every file
# any install() rule adds is treated alike:
# - programs and libraries are stripped as Debian strips them (symbols, and the
#   .comment and .note sections);
# - manual pages and the package's changelog are compressed with `gzip -9n` (no name,
#   no time stamp: the same bytes from one build to the next).
# One staged tree per package (component), or one for a single package.
file(GLOB roots LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*${CPACK_PACKAGING_INSTALL_PREFIX}")
if(IS_DIRECTORY "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
  list(APPEND roots "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
endif()
if(NOT roots)
  message(FATAL_ERROR "staged tree not found under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
find_program(strip_program NAMES strip REQUIRED)
find_program(gzip_program NAMES gzip REQUIRED)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endfunction()

foreach(root IN LISTS roots)
  file(GLOB_RECURSE staged LIST_DIRECTORIES false "${root}/*")
  foreach(file IN LISTS staged)
    if(IS_SYMLINK "${file}")
      continue()
    endif()
    file(READ "${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      if(file MATCHES "\\.so(\\.[0-9.]+)?$")
        run(${strip_program} --remove-section=.comment --remove-section=.note --strip-unneeded "${file}")
      else()
        run(${strip_program} --remove-section=.comment --remove-section=.note "${file}")
      endif()
    endif()
  endforeach()

  file(GLOB_RECURSE pages LIST_DIRECTORIES false "${root}/share/man/*")
  file(GLOB changelogs LIST_DIRECTORIES false "${root}/share/doc/*/changelog")
  foreach(file IN LISTS pages changelogs)
    if(file MATCHES "\\.gz$")
      continue()
    endif()
    if(IS_SYMLINK "${file}")
      # A page that is a link to another page: link to the compressed one.
      file(READ_SYMLINK "${file}" target)
      file(REMOVE "${file}")
      file(CREATE_LINK "${target}.gz" "${file}.gz" SYMBOLIC)
    else()
      run(${gzip_program} -9nf "${file}")
    endif()
  endforeach()
endforeach()
