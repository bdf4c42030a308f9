# Fails the build when a stand-in lacks the mark by which the program tells
# stand-ins from real tools.  cmake -DFILE=path -DNAME=id -P check_standin.cmake
file(STRINGS "${FILE}" _hits REGEX "MV_OSR STAND-IN" LIMIT_COUNT 1)
if(NOT _hits)
  file(REMOVE "${FILE}")
  message(FATAL_ERROR "payload ${NAME}: the stand-in does not hold the text \"MV_OSR STAND-IN\"")
endif()
