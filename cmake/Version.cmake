# The release, written once. Everything outside the stored window descriptions
# takes it from here: the package name, the version resource, the readme and
# the command-line calculator. "1.0b4" is version 1.0, beta 4.
set(TW_VERSION "1.0b4")

if(NOT TW_VERSION MATCHES "^([0-9]+)\\.([0-9]+)b([0-9]+)$")
  message(FATAL_ERROR "TW_VERSION must read MAJOR.MINORbBETA, not ${TW_VERSION}")
endif()
# The four numbers of the platform's version resource, the beta in the last
# place.
set(TW_VERSION_NUMBERS "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.0.${CMAKE_MATCH_3}")
# The readme is Japanese text and writes the beta with its Greek letter, as the
# version window does.
string(REPLACE "b" "β" TW_VERSION_DISPLAY "${TW_VERSION}")

# The fixed time stamp of every file in the package (reproducible builds take
# SOURCE_DATE_EPOCH from the environment when it is given).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TW_RELEASE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  set(TW_RELEASE_EPOCH 1072915200)  # 2004-01-01 00:00:00 UTC
endif()
