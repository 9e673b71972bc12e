# Small helpers shared by every folder's CMakeLists.

function(k57_warnings target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  # GCC leaves out unused constants of the file itself unless asked (clang has them in -Wall).
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<CXX_COMPILER_ID:GNU>:-Wunused-const-variable=1>)
endfunction()

# k57_library(name DIR dir DEPS libs...)
# One library per folder: every .cpp, .h and .ui of the folder (not recursive).
# A folder with no sources yet becomes an interface library that only carries its deps.
function(k57_library name)
  cmake_parse_arguments(A "" "DIR" "DEPS" ${ARGN})
  if(NOT A_DIR)
    set(A_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${A_DIR}/*.cpp)
  file(GLOB hdrs CONFIGURE_DEPENDS ${A_DIR}/*.h)
  file(GLOB forms CONFIGURE_DEPENDS ${A_DIR}/*.ui)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  if(srcs)
    add_library(${name} STATIC ${srcs} ${hdrs} ${forms})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${A_DIR})
    target_link_libraries(${name} PUBLIC ${A_DEPS})
    if(forms)
      set_target_properties(${name} PROPERTIES AUTOUIC_SEARCH_PATHS ${A_DIR})
    else()
      # No forms here: keep uic away from headers that merely start with "ui_".
      set_target_properties(${name} PROPERTIES AUTOUIC OFF)
    endif()
    k57_warnings(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR} ${A_DIR})
    target_link_libraries(${name} INTERFACE ${A_DEPS})
  endif()
endfunction()

# Every test program runs under a temporary directory of its own (K57_ROOT and TMPDIR inside
# it), so no test writes to the machine's device paths ("/data", "/etc", ...); one started by
# hand makes its own root (tests/common/own_root.cpp).
set(k57_in_temp_root ${CMAKE_SOURCE_DIR}/tests/common/in_temp_root)
set(k57_own_root ${CMAKE_SOURCE_DIR}/tests/common/own_root.cpp)
# The limit of a test program (scripts/test gives CTest the same as its default): about twice what
# the slowest (history_test) takes on a loaded two-core machine, so that a time-out means a hang.
set(k57_test_timeout 600)
# Runs a test program as started by hand and fails when it leaves anything in TMPDIR.
set(k57_leaves_nothing ${CMAKE_SOURCE_DIR}/tests/common/leaves_nothing)
# Ends a test program while its device runs and fails when anything it started is left.
set(k57_interrupted_leaves_nothing ${CMAKE_SOURCE_DIR}/tests/common/interrupted_leaves_nothing)

# k57_gtest(name SOURCES files... LIBS libs...): a GoogleTest executable registered with CTest.
function(k57_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES} ${k57_own_root})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  k57_warnings(${name})
  add_test(NAME ${name} COMMAND ${k57_in_temp_root} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${k57_test_timeout}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;K57_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# k57_qtest(name SOURCES files... LIBS libs...): a QtTest executable on the offscreen platform.
function(k57_qtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES} ${k57_own_root})
  target_link_libraries(${name} PRIVATE ${A_LIBS} Qt5::Test Qt5::Widgets Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  k57_warnings(${name})
  add_test(NAME ${name} COMMAND ${k57_in_temp_root} $<TARGET_FILE:${name}> -platform offscreen)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${k57_test_timeout}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;K57_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()
