"""The files we ship for Windows load on Windows XP SP2: 32-bit, asking for
Windows 5.01, importing only from DLLs that XP has and none of the functions
that came after it. Windows refuses to start a program whose imports it
cannot resolve, so one such import is enough to lose XP.

SHIPPED_PE_FILES names the files, separated by colons.
"""

import os
import re

import pytest

from pe_image import I386, PE32_MAGIC, PeImage

FILES = os.environ["SHIPPED_PE_FILES"].split(":")

XP_SYSTEM_DLLS = {"advapi32.dll", "cfgmgr32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
                  "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "setupapi.dll",
                  "shell32.dll", "shlwapi.dll", "user32.dll", "version.dll"}

# What these DLLs export only from Windows Vista, XP SP3 or XP x64 on: what a
# C++ runtime, a Win32 program or its tray icon could come to call.
AFTER_XP_SP2 = {
    "kernel32.dll": [
        "GetTickCount64", "GetSystemTimePreciseAsFileTime", "QueryUnbiasedInterruptTime",
        r"\w+SRWLock\w*", r"\w+ConditionVariable\w*", r"InitOnce\w+", r"Fls\w+",
        r"\w+Ex2[AW]?", "CreateFile2", "CopyFile2", "IsWow64Process2", r"\w*Threadpool\w*",
        r"Create(Event|Mutex|Semaphore|WaitableTimer)Ex[AW]", "InitializeCriticalSectionEx",
        "GetCurrentProcessorNumber", "FlushProcessWriteBuffers", "InterlockedCompareExchange64",
        r"GetLogicalProcessorInformation(Ex)?", "GetThreadId", "QueryThreadCycleTime",
        r"QueryFullProcessImageName[AW]", r"GetFinalPathNameByHandle[AW]",
        r"CreateSymbolicLink[AW]", "CancelIoEx", "GetQueuedCompletionStatusEx",
        "GetFileInformationByHandleEx", "SetFileInformationByHandle",
        r"Wow64(Disable|Revert)Wow64FsRedirection", "GetErrorMode",
        r"(Get|Set)ThreadErrorMode", "RaiseFailFastException", "AddDllDirectory",
        "RemoveDllDirectory", "SetDefaultDllDirectories", r"\w+LocaleName\w*",
        r"(CompareString|LCMapString|GetLocaleInfo|GetDateFormat|GetTimeFormat)Ex",
        "GetProductInfo",
    ],
    "user32.dll": [
        r"\w*DPIAware", r"\w+Dpi\w*", r"ChangeWindowMessageFilter(Ex)?",
        r"(Add|Remove)ClipboardFormatListener", r"ShutdownBlockReason\w+",
        r"(Un)?RegisterPowerSettingNotification", "CalculatePopupWindowPosition",
        r"\w+TouchWindow", r"(Get|Set)WindowDisplayAffinity", r"(LogicalToPhysical|"
        r"PhysicalToLogical)Point", "UpdateLayeredWindowIndirect", r"(Query|Set)DisplayConfig",
    ],
    "shell32.dll": [
        "Shell_NotifyIconGetRect", r"\w+KnownFolder\w*", "SHGetFolderPathEx",
        r"SHCreateItemFrom\w+", "SHGetStockIconInfo", "SHOpenWithDialog",
        "SHGetPropertyStoreForWindow", r"(Get|Set)CurrentProcessExplicitAppUserModelID",
        "SHGetNameFromIDList", "SHCreateDefaultContextMenu", "SHQueryUserNotificationState",
    ],
    "comctl32.dll": [r"TaskDialog(Indirect)?", "LoadIconMetric", "LoadIconWithScaleDown"],
    # The secure and the run-time-settable parts of the CRT came with Vista's msvcrt.
    "msvcrt.dll": [
        r"\w+_s",
        r"_(get|set)_(errno|doserrno|invalid_parameter_handler|purecall_handler|output_format"
        r"|fmode|pgmptr|wpgmptr|abort_behavior|printf_count_output)", r"_(create|free|get_current)_locale",
        "_configthreadlocale", r"_f(seek|tell)i64", r"wcsnlen|strnlen", r"_(un)?lock_file",
        "_initterm_e", "_recalloc", r"_invalid_parameter\w*",
    ],
}
PATTERNS = {dll: re.compile("|".join(names)) for dll, names in AFTER_XP_SP2.items()}


@pytest.fixture(scope="module", params=FILES, ids=os.path.basename)
def image(request):
    return PeImage.read(request.param)


def test_is_32_bit(image):
    assert (image.machine, image.magic) == (I386, PE32_MAGIC)


def test_asks_for_windows_xp(image):
    assert image.subsystem_version == (5, 1)
    assert image.os_version == (5, 1)


def test_imports_only_from_xp_system_dlls(image):
    assert {dll.lower() for dll in image.imports} <= XP_SYSTEM_DLLS


def test_imports_nothing_newer_than_xp_sp2(image):
    newer = [f"{dll}!{name}" for dll, names in image.imports.items() for name in names
             if dll.lower() in PATTERNS and PATTERNS[dll.lower()].fullmatch(name)]
    assert newer == []


def test_looks_up_the_wow64_query_at_run_time(image):
    # Windows before XP SP2 lacks it, and the launcher must start there too.
    kernel32 = [name for dll, names in image.imports.items() if dll.lower() == "kernel32.dll"
                for name in names]
    assert "IsWow64Process" not in kernel32


@pytest.mark.parametrize("dll, name, newer", [
    ("kernel32.dll", "GetTickCount64", True),
    ("kernel32.dll", "AcquireSRWLockExclusive", True),
    ("kernel32.dll", "SleepConditionVariableCS", True),
    ("kernel32.dll", "InitOnceExecuteOnce", True),
    ("kernel32.dll", "FlsAlloc", True),
    ("kernel32.dll", "IsWow64Process2", True),
    ("user32.dll", "SetProcessDPIAware", True),
    ("msvcrt.dll", "sprintf_s", True),
    # What XP has, some of it close to the newer names.
    ("kernel32.dll", "IsWow64Process", False),
    ("kernel32.dll", "GetModuleHandleExA", False),
    ("kernel32.dll", "InitializeCriticalSectionAndSpinCount", False),
    ("kernel32.dll", "ThunkConnect32", False),
    ("shell32.dll", "Shell_NotifyIconA", False),
    ("msvcrt.dll", "_get_osfhandle", False),
    ("msvcrt.dll", "_set_error_mode", False),
    ("msvcrt.dll", "_fstat64", False),
])
def test_catalogue_tells_new_from_old(dll, name, newer):
    assert bool(PATTERNS[dll].fullmatch(name)) == newer
