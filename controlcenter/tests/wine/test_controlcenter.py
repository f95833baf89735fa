"""TarvexControlCenter under Wine: start-up, report, hiding, menu, programs
started from the menu, USB board balloons and the exit confirmation.

One Wine session and one running program serve the whole module; the cases
run in file order and the last one ends the program.
"""

import json
import os
import shutil
import subprocess

import pytest

from wine_harness import WineSession, wait_until

ARTIFACTS = os.environ.get("ARTIFACTS_DIR", "artifacts")
CALLBACK = "TarvexControlCenter tray notification"
WM_COMMAND, WM_SYSCOMMAND, WM_DEVICECHANGE = "0x111", "0x112", "0x219"
SC_MINIMIZE, DBT_DEVNODES_CHANGED = "0xF020", "7"
FENNLAB2_FOLDER = ("Fennlab Apps", "Lab 2")
BOARD_ID = "USB\\Vid_7c2e&Pid_4610"
BOARD_DESCRIPTION = "USB-Kestra test board"
BUILT_IN_SYSTEM = os.path.join(os.path.dirname(__file__), "..", "..", "..", "sim",
                               "default_system.json")
# The library's texts are Latin-1, which the ANSI code page shows alike.
LATIN1_DESCRIPTION = "Prüfstand Süd: Öl, Maß & Gewicht"


class Program:
    def __init__(self, wine):
        self.wine = wine
        pick = lambda name: wine.pick(os.environ[name + "32"], os.environ[name + "64"])
        self.probe_exe = os.environ["CCPROBE_EXE"]
        self.folder = wine.make_folder("Tarvex", "bin", "cc")
        self.exe = os.path.join(self.folder, "TarvexControlCenter.exe")
        shutil.copy(pick("CC_EXE"), self.exe)
        shutil.copy(pick("CC_DLL"), self.folder)
        recorder = pick("RECORDARGS_EXE")
        shutil.copy(recorder, os.path.join(self.folder, "Quenda.exe"))
        fennlab = wine.make_folder(*FENNLAB2_FOLDER)
        shutil.copy(recorder, os.path.join(fennlab, "Fennlab.exe"))
        view = ["/reg:32"] if wine.bits == 32 else []
        wine.run("reg", ["add", "HKLM\\SOFTWARE\\Dravenik\\KA-Fennlab2", "/v", "InstallationPath",
                         "/d", wine.windows_path(fennlab), "/f", *view])
        # The built-in system, one description in Latin-1.
        with open(BUILT_IN_SYSTEM, encoding="utf-8") as built_in:
            system = json.load(built_in)
        system["devices"][0]["description"] = LATIN1_DESCRIPTION
        self.system_file = os.path.join(self.folder, "system.json")
        with open(self.system_file, "w", encoding="utf-8") as out:
            json.dump(system, out, ensure_ascii=False)
        self.process = wine.start(
            self.exe, env={"TARVEX_SIM_CONFIG": wine.windows_path(self.system_file)})
        self.dialog = wait_until(lambda: self.find("#32770", "Tarvex Control Center"), 30)
        self.tray = self.find("TarvexControlCenterTray", "-")

    def probe(self, *args):
        return self.wine.run(self.probe_exe, [str(arg) for arg in args])

    def find(self, class_name, title):
        code, out = self.probe("find", class_name, title)
        return out.strip() if code == 0 else None

    def state(self):
        """(visible, minimized) of the dialog."""
        return tuple(int(flag) for flag in self.probe("state", self.dialog)[1].split())

    def command(self, command):
        self.probe("post", self.dialog, WM_COMMAND, command, 0)

    def shown_after(self, *message):
        self.probe("post", self.dialog, *message)
        return wait_until(lambda: self.state() == (1, 0), 10)

    def hidden_after(self, *message):
        self.probe("post", self.dialog, *message)
        return wait_until(lambda: self.state()[0] == 0, 10)

    @staticmethod
    def recorded(path, timeout=15):
        """The command line a started recorder wrote, once it is there."""
        read = lambda: os.path.exists(path) and open(path).read()
        return wait_until(read, timeout) or None

    def balloon_texts(self):
        return self.probe("balloons")[1].splitlines()


@pytest.fixture(scope="module")
def program():
    with WineSession() as wine:
        program = Program(wine)
        yield program
        if program.process.poll() is None:
            program.process.kill()


def test_resources_are_as_designed(program):
    code, out = program.probe("resources", program.exe)
    assert code == 0
    lines = out.splitlines()
    menu = [line for line in lines if line.startswith(("popup", "item"))]
    assert menu == [
        "popup POPUP", "item 0 32771 Open Control Center", "item 1 -",
        "item 2 32790 KA-Fennlab2", "item 3 32791 KA-Fennlab3", "item 4 -",
        "item 5 32788 First steps", "item 6 32780 Manual (English)",
        "item 7 32781 Manual (Deutsch)", "item 8 32785 Tarvex Help (chm)", "item 9 -",
        "item 10 32782 Open SDK Folder", "item 11 32778 Quenda (Config Tool)",
        "item 12 32786 Device Manager", "item 13 32779 Trace (for internal use)", "item 14 -",
        "item 15 32783 Close menu", "item 16 32784 Close Control Center", "item 17 32772 E&xit"]
    # WS_POPUP|WS_VISIBLE|WS_CAPTION|WS_SYSMENU|WS_MINIMIZEBOX|DS_MODALFRAME|DS_SETFONT,
    # WS_EX_APPWINDOW; the edit control without a tab stop.
    assert "dialog style 90ca00c0 exstyle 00040000 items 1 size 394 247" in lines
    assert "title Tarvex Control Center" in lines
    assert "font 8 MS Sans Serif" in lines
    assert "control 1001 style 50b00884 at 7 7 size 380 233 class EDIT" in lines
    assert [line for line in lines if line.startswith("icon")] == [
        "icon 32 32 4 colours 16", "icon 16 16 4 colours 16"]


def test_starts_with_only_its_icon(program):
    assert program.process.poll() is None
    assert program.dialog and program.tray
    wait_until(lambda: program.state()[0] == 0, 5)
    assert program.state()[0] == 0
    assert program.wine.wait_window("Tarvex Control Center", "#32770", 2000) is None


def test_open_shows_the_native_report(program):
    assert program.shown_after(WM_COMMAND, 32771, 0)
    native = subprocess.run([os.environ["NATIVE_REPORT"]], capture_output=True, check=True,
                            env=dict(os.environ, TARVEX_SIM_CONFIG=program.system_file,
                                     LC_ALL="C.UTF-8"))
    _, shown = program.probe("text", program.dialog, 1001)
    assert shown.splitlines() == native.stdout.decode().splitlines()
    assert f"Device description: {LATIN1_DESCRIPTION}" in shown
    assert shown.startswith("Library version: ")
    program.wine.screenshot(os.path.join(ARTIFACTS, "controlcenter-dialog.png"))


@pytest.mark.parametrize("message", [
    (WM_SYSCOMMAND, SC_MINIMIZE, 0),      # title-bar minimize button
    (WM_COMMAND, 2, 0),                   # Escape, close box
    (WM_COMMAND, 32784, 0),               # "Close Control Center"
    (WM_COMMAND, 1, 0),                   # Enter hides too
], ids=["minimize", "cancel", "close-control-center", "enter"])
def test_hiding_keeps_the_program(program, message):
    assert program.shown_after(WM_COMMAND, 32771, 0)
    assert program.hidden_after(*message)
    assert program.process.poll() is None
    program.command(32784)  # already hidden: nothing
    program.command(32783)  # "Close menu": nothing
    assert program.state()[0] == 0 and program.process.poll() is None


def test_popup_menu_opens_on_right_click(program):
    program.probe("post", program.tray, CALLBACK, 130, 0x205)
    menu = program.wine.wait_window("-", "#32768", 5000)
    assert menu
    program.wine.screenshot(os.path.join(ARTIFACTS, "controlcenter-menu.png"))
    program.wine.tool("key", program.dialog, 27)  # Escape closes it
    assert wait_until(lambda: program.wine.wait_window("-", "#32768", 200) is None, 10)


def test_menu_starts_the_right_programs(program):
    fennlab_args = os.path.join(program.wine.drive_c, *FENNLAB2_FOLDER, "Fennlab.exe.args")
    program.command(32790)
    fennlab = program.wine.windows_path(os.path.join(program.wine.drive_c, *FENNLAB2_FOLDER))
    # Found by the extension search; argument 0 is the path quoted as one.
    assert program.recorded(fennlab_args) == '"' + fennlab + '\\Fennlab"'

    quenda = os.path.join(program.folder, "Quenda.exe.args")
    program.command(32778)
    assert program.recorded(quenda) == "C:\\Tarvex\\bin\\cc\\Quenda.exe"


def test_usb_board_balloons(program):
    code, _ = program.probe("addboard", BOARD_ID, BOARD_DESCRIPTION)
    assert code == 0
    program.probe("post", program.dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0)
    assert wait_until(lambda: "Loading firmware - Please wait!" in program.balloon_texts(), 15)
    program.wine.screenshot(os.path.join(ARTIFACTS, "controlcenter-balloon.png"))

    assert program.probe("removeboard", BOARD_DESCRIPTION)[0] == 0
    program.probe("post", program.dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0)
    # Wine reports no problem for the board: its removal is announced by name.
    assert wait_until(lambda: BOARD_DESCRIPTION in program.balloon_texts(), 15)


def test_exit_asks_first(program):
    program.command(32772)
    box = program.wine.wait_window("TarvexControlCenter", "#32770", 10000)
    assert box
    texts = [control["text"] for control in program.wine.controls(box)]
    assert "This will remove Tarvex Control Center from the task bar!" in texts
    program.wine.tool("click", box, 2)  # Cancel
    assert wait_until(lambda: program.wine.wait_window("TarvexControlCenter", "#32770", 200)
                      is None, 10)
    assert program.process.poll() is None and program.state()[0] == 0

    program.command(32772)
    box = program.wine.wait_window("TarvexControlCenter", "#32770", 10000)
    program.wine.tool("click", box, 1)  # OK
    assert program.process.wait(timeout=30) == 0
    assert program.find("TarvexControlCenterTray", "-") is None
