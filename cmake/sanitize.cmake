# Included at project() by the sanitize preset: AddressSanitizer and
# UndefinedBehaviorSanitizer on every native target. A finding ends the
# program, so it fails the test that ran into it.
set(TARVEX_SANITIZE ON)
set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${sanitizers})
add_link_options(${sanitizers})
# ASan's dlopen stands in for the caller, so a program's RUNPATH would not be
# searched for the libraries it opens by name; RPATH is.
add_link_options(-Wl,--disable-new-dtags)

# The Python interpreter is not instrumented, so the ASan runtime has to come
# first, before the module pulls it in; the C++ runtime with it, or ASan
# finds no __cxa_throw to forward a C++ exception to. The interpreter's own
# allocations are never freed at exit, which leak checking would report; the
# module's leaks are measured by the Python suite itself. Huge requests must
# come back as MemoryError, not end the process; PYTHONMALLOC=malloc lets
# ASan see past the end of Python's own objects.
foreach(runtime asan stdc++)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${runtime}.so
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND preload ${path})
endforeach()
list(JOIN preload " " preload)
set(TARVEX_SANITIZE_PYTHON_ENV
  "LD_PRELOAD=${preload}"
  "ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1:abort_on_error=0"
  "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
  "PYTHONMALLOC=malloc")

# Left out here, run by the linux preset: the install test builds and installs
# a copy of its own, without sanitizers. A stand-in shows up as skipped, so
# every run says so.
file(WRITE ${CMAKE_BINARY_DIR}/CTestCustom.cmake "set(CTEST_CUSTOM_TESTS_IGNORE kaDriver.install)\n")
function(tarvex_left_out name reason)
  add_test(NAME left-out.${name} COMMAND sh -c "echo '${reason}'; exit 77")
  set_tests_properties(left-out.${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()
cmake_language(DEFER CALL tarvex_left_out kaDriver.install
  "builds an unsanitized copy of its own; runs in the linux preset")
