# Runs inside CPack once the files are staged, before the archive is made.
# Every staged file gets the release's time stamp, and the program loses its
# link to a debugging file the package does not ship.
file(GLOB staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(file MATCHES "\\.exe$")
    execute_process(COMMAND ${CPACK_TW_OBJCOPY} --remove-section=.gnu_debuglink ${file} COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
execute_process(COMMAND touch -d @${CPACK_TW_EPOCH} ${staged} COMMAND_ERROR_IS_FATAL ANY)
