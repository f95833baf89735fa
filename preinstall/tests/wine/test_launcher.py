"""The launcher under Wine: the command line it starts for each choice, what
starts nothing, and how its dialog looks.

A recorder of ours named msiexec.exe stands first on the launcher's PATH and
writes the command line it was started with.
"""

import os
import shutil
import subprocess
import uuid

import numpy
import pytest

from wine_harness import WineSession, wait_until

VK_RETURN, VK_ESCAPE = 13, 27
IDOK, IDCANCEL = 1, 2
GERMAN, ENGLISH, PATCH = 1000, 1001, 1002
PROPERTIES = {GERMAN: "", ENGLISH: " TRANSFORMS=:Tarvex_en.mst",
              PATCH: " REINSTALL=ALL REINSTALLMODE=vomus"}
BUFFER = 264  # the launcher's buffer for the quoted package path


@pytest.fixture(scope="module")
def wine():
    with WineSession() as session:
        session.launcher = session.pick(os.environ["PREINSTALL_EXE32"],
                                        os.environ["PREINSTALL_EXE64"])
        # A 32-bit launcher sees the 64-bit prefix through WOW64.
        session.package = "\\Tarvex64.msi" if session.bits == 32 else "\\Tarvex.msi"
        recorder = session.make_folder("recorder")
        shutil.copy(session.pick(os.environ["MSIEXEC_EXE32"], os.environ["MSIEXEC_EXE64"]),
                    recorder)
        session.search_path = session.windows_path(recorder)
        yield session


class Run:
    """One start of the launcher from folder (parts under C:), as exe_name."""

    def __init__(self, wine, folder_parts, exe_name="TarvexPreinstall.exe", folder=None):
        self.wine = wine
        self.folder = folder or wine.make_folder(*folder_parts)
        self.windows_folder = wine.windows_path(self.folder)
        exe = os.path.join(self.folder, exe_name)
        shutil.copy(wine.launcher, exe)
        self.record = os.path.join(wine.drive_c, f"record-{uuid.uuid4().hex}.txt")
        self.process = wine.start(exe, env={"MSIEXEC_RECORD": wine.windows_path(self.record),
                                            "WINEPATH": wine.search_path})
        self.dialog = wine.wait_window(class_name="#32770")
        assert self.dialog, "the launcher's dialog did not show"

    def finish(self):
        """Waits for the launcher's end; answers the recorded command line or
        None when no installer was started."""
        assert self.process.wait(timeout=60) == 0
        started = wait_until(lambda: os.path.exists(self.record) and os.path.getsize(self.record),
                             timeout=5)
        if not started:
            return None
        with open(self.record, encoding="latin-1") as recorded:
            return recorded.read()

    def expected(self, selection):
        return f'msiexec /i "{self.windows_folder}{self.wine.package}"{PROPERTIES[selection]}'


@pytest.mark.parametrize("choice, confirm", [
    (None, "click"),       # untouched: German
    (None, "enter"),
    (ENGLISH, "click"),
    (ENGLISH, "enter"),
    (PATCH, "click"),
    (GERMAN, "enter"),
])
def test_ok_starts_the_installer_with_the_choices_command_line(wine, choice, confirm):
    run = Run(wine, ["Tarvex Setup Disk"])
    if choice is not None:
        wine.tool("click", run.dialog, choice)
    if confirm == "click":
        wine.tool("click", run.dialog, IDOK)
    else:
        wine.tool("key", run.dialog, VK_RETURN)
    assert run.finish() == run.expected(choice or GERMAN)


@pytest.mark.parametrize("how", ["cancel button", "escape key"])
def test_cancel_starts_nothing(wine, how):
    run = Run(wine, ["Tarvex Setup Disk"])
    wine.tool("click", run.dialog, ENGLISH)
    if how == "cancel button":
        wine.tool("click", run.dialog, IDCANCEL)
    else:
        wine.tool("key", run.dialog, VK_ESCAPE)
    assert run.finish() is None


def long_folder(wine, length):
    """Folder parts under C: whose Windows path is length characters long."""
    name = "d" * (length - len("C:\\") - 100 - 1)
    return ["f" * 100, name]


@pytest.mark.parametrize("overflow", [0, 1])
def test_folder_at_the_buffers_limit(wine, overflow):
    # Quote, folder, package name, quote and the terminating zero.
    longest = BUFFER - 3 - len(wine.package)
    parts = long_folder(wine, longest + overflow)
    # A short program name keeps the launcher's own path within 260 bytes.
    run = Run(wine, parts, exe_name="P.exe")
    assert len(run.windows_folder) == longest + overflow
    wine.tool("click", run.dialog, IDOK)
    recorded = run.finish()
    if overflow:
        assert recorded is None, "a cut package path must not reach the installer"
    else:
        assert recorded == run.expected(GERMAN)


def test_drive_root_keeps_its_separator(wine):
    root = os.path.join(wine.prefix, "drive_d")
    os.makedirs(root, exist_ok=True)
    link = os.path.join(wine.prefix, "dosdevices", "d:")
    if not os.path.islink(link):
        os.symlink(root, link)
    run = Run(wine, [], folder=root)
    wine.tool("click", run.dialog, PATCH)
    wine.tool("click", run.dialog, IDOK)
    assert run.finish() == f'msiexec /i "D:\\{wine.package}" REINSTALL=ALL REINSTALLMODE=vomus'


# id, class, text, style bits that must be set, and those that must not. The
# system gives the checked radio button the tab stop, so the radios' tab stops
# are not looked at.
CONTROLS = [
    (1000, "Button", "Tarvex installieren (Deutsch)", 0x00020009, 0),
    (1001, "Button", "Tarvex install (English)", 0x00000009, 0x00020000),
    (1002, "Button", "Tarvex Patch", 0x00000009, 0x00020000),
    (1, "Button", "OK", 0x00030001, 0),
    (2, "Button", "Cancel", 0x00010000, 0x00020000),
]


def screen_pixels(path):
    width, height = (int(v) for v in subprocess.run(
        ["identify", "-format", "%w %h", path], capture_output=True, text=True,
        check=True).stdout.split())
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    return numpy.frombuffer(raw, numpy.uint8).reshape(height, width, 3)


def test_dialog_shows_picture_and_choices_on_white(wine):
    run = Run(wine, ["Tarvex Setup Disk"])
    controls = {c["id"]: c for c in wine.controls(run.dialog)}
    for ident, cls, text, set_bits, clear_bits in CONTROLS:
        control = controls[ident]
        assert (control["cls"], control["text"]) == (cls, text)
        assert control["style"] & set_bits == set_bits, text
        assert control["style"] & clear_bits == 0, text
    picture = controls[-1]
    assert picture["style"] & 0x1F == 0x0E  # SS_BITMAP
    assert picture["rect"] == (0, 0, 503, 314)  # the bitmap's own size
    assert wine.tool("checked", run.dialog, GERMAN)[1].strip() == "1"

    shot = os.path.join(os.environ.get("ARTIFACTS_DIR", "artifacts"), "preinstall-dialog.png")
    wine.screenshot(shot)
    pixels = screen_pixels(shot)
    left, top, width, height = (int(v) for v in wine.tool("rect", run.dialog)[1].split())
    client = pixels[top + 1:top + height - 1, left + 1:left + width - 1]
    panel = client[:314, :503 // 3 - 1]
    assert (panel != 255).any(axis=2).mean() > 0.9, "the coloured panel is missing"
    # Behind every radio text and right of the panel all is white but the text.
    for ident in (GERMAN, ENGLISH, PATCH):
        x, y, w, h = controls[ident]["rect"]
        area = client[y:y + h, x + 16:x + w]
        assert (area == 255).all(axis=2).mean() > 0.6, controls[ident]["text"]
    assert (client[:, 503 // 3 + 2:] == 255).all(axis=2).mean() > 0.9

    wine.tool("click", run.dialog, IDCANCEL)
    assert run.finish() is None


def test_version_resource_names_the_installer(wine):
    with open(wine.launcher, "rb") as exe:
        data = exe.read()
    for text in ("Tarvex Installer", "TarvexWinInstall", "TarvexPreinstall.exe", "1.0.0.1"):
        assert text.encode("utf-16-le") in data, text
