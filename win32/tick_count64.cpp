// Windows XP has no GetTickCount64, yet the static thread runtime of our
// toolchain (mingw-w64 10's winpthreads) calls it in its timed waits, and
// Windows refuses to start a program that imports a function its kernel32
// lacks. This file fills the import's slot itself, so a program or DLL that
// links it imports nothing for that function: the linker meets our
// definition before it searches kernel32's import library.
//
// The runtime only subtracts two readings to learn how much of a time-out is
// left. Milliseconds from the performance counter serve that as well as the
// tick count: they never wrap and never go back, and the counter never fails
// on Windows XP and later.
#include <windows.h>

namespace
{

ULONGLONG WINAPI MillisecondsFromPerformanceCounter()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    // In two parts, so that counter * 1000 cannot overflow.
    return static_cast<ULONGLONG>(counter.QuadPart / frequency.QuadPart) * 1000 +
           static_cast<ULONGLONG>(counter.QuadPart % frequency.QuadPart) * 1000 /
               static_cast<ULONGLONG>(frequency.QuadPart);
}

} // namespace

// The import slot's name in 32-bit code, where the function is stdcall
// without arguments.
extern "C" ULONGLONG(WINAPI *const kGetTickCount64Import)() __asm__("__imp__GetTickCount64@0") =
    MillisecondsFromPerformanceCounter;
