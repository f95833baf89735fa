# The files we ship for Windows load on Windows XP SP2 and later: their
# headers ask for Windows 5.01, and they import nothing that XP lacks.
#
#   windows_xp_compatible(ProgramA LibraryB ...)
#
# The static runtime of our toolchain would import GetTickCount64, which XP
# lacks; win32/tick_count64.cpp stands in for it. The test windows.xp_imports
# reads the files' headers and import tables. The 64-bit build for the Wine
# tests needs none of this.
function(windows_xp_compatible)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
  endif()
  set(files)
  foreach(target IN LISTS ARGN)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/win32/tick_count64.cpp)
    target_link_options(${target} PRIVATE
      -Wl,--major-subsystem-version,5,--minor-subsystem-version,1
      -Wl,--major-os-version,5,--minor-os-version,1)
    list(APPEND files $<TARGET_FILE:${target}>)
  endforeach()
  list(JOIN files ":" files)
  find_program(PYTHON3_FOR_PE_CHECK python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
  add_test(NAME windows.xp_imports COMMAND ${PYTHON3_FOR_PE_CHECK} -m pytest -q -p no:cacheprovider
    ${PROJECT_SOURCE_DIR}/win32/tests/test_windows_xp.py)
  set_tests_properties(windows.xp_imports PROPERTIES ENVIRONMENT
    "PYTHONPATH=${PROJECT_SOURCE_DIR}/win32;SHIPPED_PE_FILES=${files}")
endfunction()
