# The Windows download: tarnwick-<version>-win32.zip with the program and its
# readme, made by `cmake --build --preset win32 --target package`.
#
# The same source gives the same zip, byte for byte. The program carries no
# link time (see DebugInfo.cmake). The archiver CPack uses writes each file's
# access and change times, which no build can fix, and takes files in the
# order the directory lists them; so the zip CPack makes is written again,
# from the same staged files, with fixed times, a fixed order and no
# per-machine fields. The build prints its SHA-256.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${TW_VERSION})
set(CPACK_PACKAGE_VENDOR "K. Tarnwick")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tarnwick for MPEG4")
set(TW_PACKAGE_FILE_NAME tarnwick-${TW_VERSION}-win32.zip)
set(CPACK_PACKAGE_FILE_NAME tarnwick-${TW_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageStage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageZip.cmake)
# Handed to the two scripts above, which run inside CPack.
set(CPACK_TW_OBJCOPY ${TW_OBJCOPY})
set(CPACK_TW_EPOCH ${TW_RELEASE_EPOCH})
find_program(TW_ZIP zip REQUIRED)
set(CPACK_TW_ZIP ${TW_ZIP})
include(CPack)
