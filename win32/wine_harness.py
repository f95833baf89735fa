"""Runs our Windows programs under Wine for the Python (pytest) tests.

    from wine_harness import WineSession

    with WineSession() as wine:                   # throw-away prefix + Xvfb
        folder = wine.make_folder("Setup Folder")  # unix path under drive C:
        shutil.copy(exe, folder)
        program = wine.start(os.path.join(folder, "Program.exe"), env={...})
        dialog = wine.wait_window(title="-", class_name="#32770")
        wine.tool("click", dialog, "1")            # see tools/wintest.cpp
        wine.screenshot("artifacts/program.png")
        program.wait(timeout=10)

One session is one WINEPREFIX (made with mktemp, removed at the end) and one
Xvfb display; its first start takes about twenty seconds, so a test module
keeps one session for all its cases. WINEDEBUG=-all, and Mono and Gecko are not
installed.

Which build runs: our programs are 32-bit, and the tests run them so wherever
Wine's 32-bit loader can run: natively, or on a kernel without IA-32 support
through qemu's i386 user emulator in a namespace of the test's own
(ia32-emulation.sh). Only where neither works do the tests run the same
sources built for 64-bit Windows instead; with WINE_TESTS_REQUIRE_32BIT=1 in
the environment (scripts/test.sh sets it) that is an error. `WineSession.bits`
says which build runs, and `pick(exe32, exe64)` chooses the path to run. A
32-bit program sees itself under WOW64 in the 64-bit prefix, a 64-bit one does
not. Load the module as a pytest plugin (-p wine_harness) and the summary
names every program a test started and its build.

The tool tools/wintest.exe, which only looks at and drives windows, always runs
as its 64-bit build, which starts fastest; WINTEST_EXE in the environment names
it.
"""

import os
import shutil
import subprocess
import tempfile
import time

from pe_image import AMD64, I386, PeImage

WINE32_LOADER = "/usr/lib/wine/wine"
WINE64_LOADER = "/usr/lib/wine/wine64"
IA32_EMULATION = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ia32-emulation.sh")
REQUIRE_32BIT = "WINE_TESTS_REQUIRE_32BIT"
BUILDS = {I386: "32-bit (PE32, i386)", AMD64: "64-bit (PE32+, x86-64)"}

# File name -> build of every program the tests started, in the order of first start.
started_programs = {}


def ia32_runner():
    """(command prefix, how) under which Wine's 32-bit loader runs on this
    host, or (None, why it runs nowhere)."""
    failures = []
    for prefix, how in (([], "natively"),
                        ([IA32_EMULATION, "run"], "through qemu-i386 user emulation")):
        try:
            done = subprocess.run([*prefix, WINE32_LOADER, "--version"], capture_output=True,
                                  timeout=60)
        except (OSError, subprocess.TimeoutExpired) as error:
            failures.append(f"{how}: {error}")
            continue
        if done.returncode == 0:
            return prefix, how
        message = done.stderr.decode(errors="replace").strip()
        failures.append(f"{how}: {message or f'exit code {done.returncode}'}")
    return None, "; ".join(failures)


def pytest_terminal_summary(terminalreporter):
    if started_programs:
        terminalreporter.section("programs run under Wine")
        for name, build in started_programs.items():
            terminalreporter.write_line(f"{name}: {build}")


class WineSession:
    def __init__(self):
        prefix, how = ia32_runner()
        self.bits = 32 if prefix is not None else 64
        if self.bits == 64 and os.environ.get(REQUIRE_32BIT) == "1":
            raise RuntimeError(f"{REQUIRE_32BIT}=1, but Wine cannot run 32-bit programs on this "
                               f"host ({how}); the 64-bit builds would be tested instead")
        self.how = how if self.bits == 32 else "in place of the 32-bit build: no 32-bit Wine here"
        self.runner = prefix or []
        self.prefix = None
        self.xvfb = None
        self.env = None

    def pick(self, exe32, exe64):
        return exe32 if self.bits == 32 else exe64

    def __enter__(self):
        self.prefix = tempfile.mkdtemp(prefix="wineprefix-")
        self._start_xvfb()
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64",
                        DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        # wineboot's complaints about a 64-bit-only host are harmless.
        subprocess.run([*self.runner, WINE64_LOADER, "wineboot", "-i"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        self.server_wait()
        return self

    def __exit__(self, *exc):
        if self.env is not None:
            subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait(timeout=30)
        shutil.rmtree(self.prefix, ignore_errors=True)

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as displays:
            self.display = ":" + displays.readline().strip()

    def server_wait(self):
        """Waits until every program of the prefix has ended."""
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)

    @property
    def drive_c(self):
        return os.path.join(self.prefix, "drive_c")

    def make_folder(self, *parts):
        """Makes a folder under drive C: and answers its unix path."""
        path = os.path.join(self.drive_c, *parts)
        os.makedirs(path, exist_ok=True)
        return path

    def windows_path(self, unix_path):
        """C:\\... for a unix path under drive C:."""
        relative = os.path.relpath(unix_path, self.drive_c)
        return "C:\\" + ("" if relative == "." else relative.replace("/", "\\"))

    def command(self, exe, args):
        """The command line that runs a program: a 32-bit one through the
        32-bit loader (the 64-bit one cannot hand it a long path), anything
        else, Wine's own programs too, through the 64-bit loader."""
        is_i386 = os.path.isfile(exe) and PeImage.read(exe).machine == I386
        return [*self.runner, WINE32_LOADER if is_i386 else WINE64_LOADER, exe, *args]

    # Wine's helper processes (explorer, services) outlive the program that
    # started them and inherit its standard handles, so output goes to files
    # rather than pipes, which would never see their end.
    def start(self, exe, args=(), cwd=None, env=None):
        """Starts a program without waiting; answers the Popen object."""
        build = BUILDS.get(PeImage.read(exe).machine, "of another machine")
        started_programs.setdefault(os.path.basename(exe), f"{build}, {self.how}")
        return subprocess.Popen(self.command(exe, args), cwd=cwd or self.drive_c,
                                env=dict(self.env, **(env or {})), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def run(self, exe, args=(), timeout=60):
        """Runs a console program to its end; answers (exit code, stdout)."""
        with tempfile.TemporaryFile(mode="w+", encoding="latin-1") as out:
            done = subprocess.run(self.command(exe, args), env=self.env, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            return done.returncode, out.read()

    def tool(self, *args, timeout=60):
        """Runs tools/wintest.exe with args; answers (exit code, stdout)."""
        return self.run(os.environ["WINTEST_EXE"], [str(arg) for arg in args], timeout=timeout)

    def wait_window(self, title="-", class_name="-", timeout_ms=20000):
        """Handle (hex text) of the first visible top-level window that
        matches, or None when none came in time."""
        code, out = self.tool("wait", title, class_name, timeout_ms,
                              timeout=timeout_ms / 1000 + 60)
        return out.strip() if code == 0 else None

    def controls(self, window):
        """The window's children as dicts: id, class, style, rect, text."""
        _, out = self.tool("controls", window)
        result = []
        for line in out.splitlines():
            ident, class_name, style, left, top, width, height, text = line.rstrip("\r").split(
                "\t", 7)
            result.append(dict(id=int(ident), cls=class_name, style=int(style, 16),
                               rect=(int(left), int(top), int(width), int(height)), text=text))
        return result

    def screenshot(self, path):
        """PNG of the whole Xvfb screen."""
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True,
                       env=self.env, timeout=60)


def wait_until(condition, timeout=10.0, interval=0.1):
    """Polls condition() until it is true or the time is up; answers its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)
