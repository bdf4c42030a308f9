# GoogleTest from Debian's sources, compiled with the configuration's own compiler
# (natively with the sanitizers, cross-built for the Wine runs).
set(MV_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ${MV_TARGET_WINDOWS} CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${MV_GTEST_SRC} ${CMAKE_BINARY_DIR}/_gtest EXCLUDE_FROM_ALL)

# The win32 thread model has no std::mutex, which GoogleTest's Notification
# uses: give it one built on a Windows event instead (GoogleTest and the test
# binaries only, so that the product's sources never see it).
function(mv_gtest_win32_fix target)
  if(MV_TARGET_WINDOWS)
    target_compile_definitions(${target} PRIVATE GTEST_HAS_NOTIFICATION_=1)
    target_compile_options(${target} PRIVATE "SHELL:-include ${CMAKE_SOURCE_DIR}/cmake/gtest-win32-notification.h")
  endif()
endfunction()
foreach(t gtest gtest_main gmock gmock_main)
  mv_gtest_win32_fix(${t})
endforeach()

# Cross-built tests run under Wine through scripts/wine-run.sh, which sets up
# the test prefix and picks the loader for the configuration.
if(MV_TARGET_WINDOWS)
  set(MV_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MV_WINE_RUN};${MV_WINE_LOADER} CACHE STRING "" FORCE)
endif()

include(GoogleTest)

# mv_add_gtest(NAME name SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest binary registered as one ctest test (cheap under Wine: one start).
function(mv_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  mv_gtest_win32_fix(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} mv_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  if(MV_TARGET_WINDOWS)
    target_link_options(${T_NAME} PRIVATE -mconsole)
  endif()
  add_test(NAME ${MV_ARCH}.${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set_tests_properties(${MV_ARCH}.${T_NAME} PROPERTIES LABELS "${MV_ARCH};${T_LABELS}" TIMEOUT 600)
endfunction()

# The program the Wine tests of the real program run: the 32-bit release exe;
# the 64-bit build of the same sources where 32-bit programs cannot run.
function(mv_program_under_test OUT)
  if(MV_ARCH STREQUAL "win32")
    set(${OUT} ${MV_DIST_DIR}/MV_OSR.exe PARENT_SCOPE)
  else()
    set(${OUT} $<TARGET_FILE:MV_OSR> PARENT_SCOPE)
  endif()
endfunction()

# mv_add_window_test(NAME name SCRIPT script.py WORK folder [ARGS more...])
# An end-to-end script that drives the real program through its own window
# under Wine (tests/e2e/mvwine.py), with the demo service host on its fixed
# port: such tests run one at a time. ARGS go to the script as well.
function(mv_add_window_test)
  cmake_parse_arguments(T "" "NAME;SCRIPT;WORK" "ARGS" ${ARGN})
  mv_program_under_test(_exe)
  set(_more ${T_ARGS})
  if(NOT TARGET wimlib_exe)
    list(APPEND _more --stand-in-wim-tool)
  endif()
  add_test(NAME ${MV_ARCH}.${T_NAME}
    COMMAND python3 ${T_SCRIPT} --exe ${_exe} --work ${CMAKE_BINARY_DIR}/${T_WORK}
            --wintool $<TARGET_FILE:mv_test_wintool> --service-host ${MV_SERVICE_HOST}
            --regedit $<TARGET_FILE:regedit_v6> ${_more})
  set_tests_properties(${MV_ARCH}.${T_NAME} PROPERTIES LABELS "${MV_ARCH};wine" TIMEOUT 900 SKIP_RETURN_CODE 77
                       RUN_SERIAL ON)
endfunction()
