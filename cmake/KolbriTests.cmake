option(KOLBRI_TESTS "Build the test programs" ON)

if(KOLBRI_TESTS)
  enable_testing()
  if(EXISTS /usr/src/googletest/CMakeLists.txt AND NOT GTEST_SOURCE_DIR)
    set(GTEST_SOURCE_DIR /usr/src/googletest)
  endif()
  if(GTEST_SOURCE_DIR)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
    add_library(gtest_main ALIAS GTest::gtest_main)
  endif()
endif()

# kolbri_add_test(NAME SOURCES ... [LIBS ...] [CP 1252] [DPI 120] [CDROM dir] [NO_CDROM]
#                 [ALSO_CP1252] [TIMEOUT s])
# One GoogleTest program in bin/tests, run by ctest under Wine (or natively).
# ALSO_CP1252 registers a second run of the same program under code page 1252.
function(kolbri_add_test name)
  cmake_parse_arguments(T "NO_CDROM;ALSO_CP1252" "CP;DPI;CDROM;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main)
  kolbri_add_resources(${name} "コルブリ テスト プログラム")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KOLBRI_BIN}/tests)
  if(NOT KOLBRI_CAN_RUN)
    return()
  endif()
  if(NOT T_CP)
    set(T_CP 932)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(opts --cp ${T_CP})
  if(T_DPI)
    list(APPEND opts --dpi ${T_DPI})
  endif()
  if(T_CDROM)
    list(APPEND opts --cdrom ${T_CDROM})
  endif()
  if(T_NO_CDROM)
    list(APPEND opts --no-cdrom)
  endif()
  if(CMAKE_HOST_WIN32)
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${KOLBRI_BIN}/tests)
  else()
    add_test(NAME ${name} COMMAND ${KOLBRI_RUN} ${opts} $<TARGET_FILE:${name}>
             WORKING_DIRECTORY ${KOLBRI_BIN}/tests)
  endif()
  kolbri_gtest_properties(${name} ${T_TIMEOUT})
  if(T_ALSO_CP1252 AND NOT CMAKE_HOST_WIN32)
    list(REMOVE_ITEM opts --cp ${T_CP})
    add_test(NAME ${name}_cp1252 COMMAND ${KOLBRI_RUN} --cp 1252 ${opts} $<TARGET_FILE:${name}>
             WORKING_DIRECTORY ${KOLBRI_BIN}/tests)
    kolbri_gtest_properties(${name}_cp1252 ${T_TIMEOUT})
  endif()
endfunction()

# A test program passes only on GoogleTest's closing line: under 64-bit Wine a
# program that crashes while the crash reporter runs may still exit with 0.
function(kolbri_gtest_properties test timeout)
  set_tests_properties(${test} PROPERTIES TIMEOUT ${timeout} RUN_SERIAL ON LABELS wine
                       PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
                       FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endfunction()

# kolbri_add_host_test(NAME COMMAND ...): a check that runs on the build machine
# itself (no Wine), so it holds on every machine, for every tree.
function(kolbri_add_host_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS host)
endfunction()
