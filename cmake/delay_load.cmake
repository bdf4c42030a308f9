# Delay-loaded system DLLs: mv_delay_load(TARGET DLL FUNCTION...) links the
# named functions of a system DLL (wininet, ole32, ...) through a delay-load
# import library, so that the loader maps the DLL on the first call of one of
# them, not before WinMain. The library is made at configure time with
# dlltool, the functions' decorated names taken from the toolchain's own
# import library, into a folder the target searches before the toolchain's:
# every -l<dll> of the target then finds it. A function of that DLL the
# target calls but the list lacks fails the link (undefined __imp_ symbol):
# add it to the list.
#
# ld drops an import library's call stub when no object refers to it by name,
# and a delay-load slot starts out pointing at its stub, so each function is
# also marked undefined (-u) to keep its stub. The delay-load descriptors are
# linked in but ld leaves the PE's delay-import directory empty (the import
# check finds them by their shape).
function(mv_delay_load target dll)
  if(NOT CMAKE_NM OR NOT CMAKE_DLLTOOL)
    message(FATAL_ERROR "delay-load libraries need nm and dlltool for ${MV_TRIPLE}")
  endif()
  set(dir ${CMAKE_BINARY_DIR}/delay-load/${target})
  file(MAKE_DIRECTORY ${dir})
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a
                  OUTPUT_VARIABLE implib OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${implib}" OR NOT EXISTS "${implib}")
    message(FATAL_ERROR "no import library lib${dll}.a for ${MV_TRIPLE}")
  endif()
  execute_process(COMMAND ${CMAKE_NM} ${implib} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${CMAKE_NM} ${implib} failed")
  endif()
  set(def "LIBRARY ${dll}.dll\nEXPORTS\n")
  set(keep)
  foreach(fn IN LISTS ARGN)
    if(MV_ARCH STREQUAL "win32")
      # stdcall: "__imp__Name@N"; the stub is "_Name@N".
      string(REGEX MATCH " I __imp__${fn}@[0-9]+" imp "${symbols}")
      string(REGEX REPLACE "^ I __imp__" "" name "${imp}")
      set(stub _${name})
    else()
      string(REGEX MATCH " I __imp_${fn}\n" imp "${symbols}")
      string(STRIP "${imp}" imp)
      string(REGEX REPLACE "^I __imp_" "" name "${imp}")
      set(stub ${name})
    endif()
    if(NOT name)
      message(FATAL_ERROR "${fn} is not in ${implib}")
    endif()
    string(APPEND def "${name}\n")
    list(APPEND keep "-Wl,-u,${stub}")
  endforeach()
  file(WRITE ${dir}/${dll}.def "${def}")
  execute_process(COMMAND ${CMAKE_DLLTOOL} -k --def ${dir}/${dll}.def --dllname ${dll}.dll
                          --output-delaylib ${dir}/lib${dll}.a
                  WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dlltool for ${dll}: ${err}")
  endif()
  target_link_directories(${target} BEFORE PRIVATE ${dir})
  target_link_options(${target} PRIVATE ${keep})
  # The helper the delay-load stubs call.
  target_link_libraries(${target} PRIVATE delayimp)
endfunction()
