# A lean program for everyday use: the platform's loader reads debugging
# sections into memory with the rest of the file, so the program keeps none.
# They go to NAME.debug beside it, and the program keeps a link to that file
# (a section holding its name and checksum), which debuggers follow.
#
# The link is also where the file differs from the one the package ships:
# without the debugging file beside it, the link means nothing, so the package
# leaves it out (see Package.cmake).
#
# Neither the linker (told so below) nor objcopy (told by SOURCE_DATE_EPOCH,
# which would otherwise write the current time) puts a time in the headers, so
# the same source links to the same bytes.
set(TW_OBJCOPY ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})

function(tw_keep_debug_info_apart target)
  set(exe $<TARGET_FILE_NAME:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${TW_OBJCOPY} --only-keep-debug ${exe} ${exe}.debug
    COMMAND ${TW_OBJCOPY} --strip-all --add-gnu-debuglink=${exe}.debug ${exe}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Moving the debugging information of ${target} to ${target}.exe.debug"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY ADDITIONAL_CLEAN_FILES $<TARGET_FILE:${target}>.debug)
  target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
endfunction()
