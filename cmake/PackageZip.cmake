# Runs inside CPack after it made the archive, before it is copied out and its
# checksum written: the archive is written again from the staged files, in
# name order, with the staged (fixed) times in UTC and without the extra
# fields that hold access and change times, owner ids and the like.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(GLOB names LIST_DIRECTORIES false RELATIVE "${CPACK_TEMPORARY_DIRECTORY}" "${CPACK_TEMPORARY_DIRECTORY}/*")
  list(SORT names)
  file(REMOVE ${package})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${CPACK_TW_ZIP} -q -X -D ${package} ${names}
    WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY}
    COMMAND_ERROR_IS_FATAL ANY)
  file(SHA256 ${package} sha256)
  get_filename_component(name ${package} NAME)
  message(STATUS "SHA-256 ${sha256}  ${name}")
endforeach()
