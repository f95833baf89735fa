# The Win32 helpers both GUI programs share, and the Wine test tools.
#
#   include(${PROJECT_SOURCE_DIR}/win32/win32.cmake)
#   target_link_libraries(MyProgram PRIVATE win32_helpers)  # win32_helpers.h
#   win32_wine_targets(MyProgram MyTestHelper)               # built for Wine64 too
#   win32_wine_tools(MyProbe)                                # built for Wine64 only
#   add_test(... COMMAND ${WINE_PYTEST} ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine)
#   set_tests_properties(... PROPERTIES ENVIRONMENT "${WINE_TEST_ENV};MY_EXE32=...;MY_EXE64=...")
#
# Hosts without IA-32 emulation cannot run 32-bit programs, not even under
# Wine, so every target named by win32_wine_targets is also built for 64-bit
# Windows in ${WINE64_BINARY_DIR}, with the same relative paths as in this
# build; wine_harness.py picks the build the host can run. Tools that only
# look at and drive the programs under test always run as their 64-bit build,
# which starts fastest, so this build leaves them out of its default target.
if(NOT WIN32)
  return()
endif()

# Every including directory needs these; the targets below are made once.
set(WINE64_BINARY_DIR ${CMAKE_BINARY_DIR}/wine64 CACHE INTERNAL "64-bit build for the Wine tests")
find_program(PYTHON3_FOR_TESTS python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(WINE_PYTEST ${PYTHON3_FOR_TESTS} -m pytest -q -p no:cacheprovider -p wine_harness)
set(WINE_TEST_ENV
  "PYTHONPATH=${CMAKE_CURRENT_LIST_DIR}"
  "WINTEST_EXE=${WINE64_BINARY_DIR}/tools/wintest.exe"
  "ARTIFACTS_DIR=${PROJECT_SOURCE_DIR}/artifacts")

include_guard(GLOBAL)

add_library(win32_helpers STATIC ${CMAKE_CURRENT_LIST_DIR}/win32_helpers.cpp)
target_include_directories(win32_helpers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(win32_helpers PUBLIC shlwapi)

add_executable(wintest ${CMAKE_CURRENT_LIST_DIR}/tools/wintest.cpp)
set_target_properties(wintest PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

function(win32_wine_targets)
  set_property(GLOBAL APPEND PROPERTY WIN32_WINE_TARGETS ${ARGN})
endfunction()

function(win32_wine_tools)
  if(NOT TARVEX_WINE64_BUILD)
    set_target_properties(${ARGN} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
  win32_wine_targets(${ARGN})
endfunction()

if(TARVEX_WINE64_BUILD)
  return()
endif()

win32_wine_tools(wintest)

# Declared once every directory has named its targets.
function(_win32_add_wine64_build)
  get_property(targets GLOBAL PROPERTY WIN32_WINE_TARGETS)
  include(ExternalProject)
  ExternalProject_Add(wine64_build
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${WINE64_BINARY_DIR}
    CMAKE_ARGS -G Ninja
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-x86_64.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DTARVEX_WINE64_BUILD=ON
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${targets}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _win32_add_wine64_build)
