# Refuses a quoted include that climbs out of its folder ("../subtitle/x.h"):
# a quoted include is searched beside the including file first, so such a
# line would reach any area and go round the layers the build enforces.
# Run as a test: cmake -DSOURCE_DIR=<src> -P CheckIncludes.cmake
file(GLOB_RECURSE sources "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(offenders "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\./")
  foreach(line IN LISTS lines)
    list(APPEND offenders "${source}: ${line}")
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n" text)
  message(FATAL_ERROR "includes that climb out of their folder:\n${text}")
endif()
