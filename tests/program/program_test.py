#!/usr/bin/env python3
"""Whole-program tests: the real hvsetup.exe under Wine on the test Xvfb, driven with real
clicks and keys from xdotool, and judged by the settings file and the exit code.

Usage: program_test.py SCENARIO --exe EXE --wine-env SCRIPT --wine-root DIR --bits N [--work DIR]
Exit 0 pass, 1 fail, 77 when this host cannot run the program (reported as skipped).
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

CAPTION = "HVN Windows 95 Options"
# Dialog units to pixels under Wine's default dialog font; the client area of the
# 176 x 237 unit dialog is 308 x 385 pixels.
UNIT_X, UNIT_Y = 1.75, 1.625
CLIENT_W, CLIENT_H = 308, 385
# Control rectangles (x, y, width, height) in dialog units, from the template.
RES_400 = (28, 22, 120, 12)
RES_480 = (28, 34, 120, 12)
BACK_BUFFER = (28, 73, 120, 12)
FILLS = (28, 86, 120, 12)
DOS_COMPAT = (28, 125, 128, 12)
SOCKET = (88, 167, 68, 12)
DEST_NET = (88, 184, 68, 12)
OK = (15, 215, 50, 14)
CANCEL = (108, 215, 50, 14)

SAVED_DEFAULTS = ["[Options]", "Resolution=1", "VideoBackBuffer=0", "HardwareFills=0",
                  "Compatibility=0", "Socket=", "DestNet="]


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


class Program:
    """One run of hvsetup.exe from its own folder, started from another working folder."""

    def __init__(self, args, folder, exe_name="hvsetup.exe"):
        self.args = args
        self.folder = folder
        self.exe = os.path.join(folder, exe_name)
        self.env = dict(os.environ)
        for line in open(os.path.join(args.wine_root, "env")):
            if line.startswith("export "):
                key, value = line[len("export "):].strip().split("=", 1)
                self.env[key] = value.strip("'")
        self.process = None
        self.window = None

    def xdo(self, *words):
        return subprocess.run(["xdotool", *words], env=self.env, capture_output=True,
                              text=True, timeout=30).stdout

    def start(self, *arguments):
        started_in = os.path.join(self.folder, "..", "elsewhere")
        os.makedirs(started_in, exist_ok=True)
        self.process = subprocess.Popen(
            ["bash", self.args.wine_env, "run", self.args.wine_root, str(self.args.bits),
             self.exe, *arguments],
            cwd=started_in, env=self.env, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.window = self.wait_window(CAPTION)
        self.activate()

    def find_window(self, name):
        ids = self.xdo("search", "--onlyvisible", "--name", "^%s$" % name).split()
        return ids[0] if ids else None

    def wait_window(self, name, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            window = self.find_window(name)
            if window:
                return window
            if self.process.poll() is not None:
                if self.process.returncode == 77:
                    raise Skip(self.process.stderr.read().decode(errors="replace").strip())
                raise Failure("the program ended (code %d) before '%s' appeared"
                              % (self.process.returncode, name))
            time.sleep(0.1)
        raise Failure("no window '%s' within %d s" % (name, timeout))

    def wait_window_gone(self, name, timeout=15):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if not self.find_window(name):
                return
            time.sleep(0.1)
        raise Failure("window '%s' still there after %d s" % (name, timeout))

    def client_origin(self):
        geometry = dict(line.split("=") for line in
                        self.xdo("getwindowgeometry", "--shell", self.window).split())
        x, y = int(geometry["X"]), int(geometry["Y"])
        width, height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
        border = (width - CLIENT_W) // 2  # Wine draws the frame: the X window is the whole window
        return x + border, y + height - CLIENT_H - border

    def pause(self):
        time.sleep(0.15)

    def click_at(self, x, y):
        # Wine can lose a press and release that arrive together.
        self.xdo("mousemove", str(x), str(y))
        self.pause()
        self.xdo("mousedown", "1")
        self.pause()
        self.xdo("mouseup", "1")
        self.pause()

    def activate(self):
        # A first click may only activate the window: click its caption, clear of any control.
        left, top = self.client_origin()
        self.click_at(left + CLIENT_W // 2, top - 8)

    def click(self, rect):
        left, top = self.client_origin()
        x, y, w, h = rect
        self.click_at(left + int((x + w / 2) * UNIT_X), top + int((y + h / 2) * UNIT_Y))

    def key(self, *keys):
        for k in keys:
            self.xdo("key", k)
            self.pause()

    def type(self, text):
        self.xdo("type", "--delay", "120", text)
        self.pause()

    def replace_text(self, rect, text):
        self.click(rect)
        self.key("End", *["BackSpace"] * 12)
        self.type(text)

    def wait_exit(self, timeout=20):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("the program did not end within %d s" % timeout)

    def expect_running(self):
        time.sleep(0.5)
        expect(self.process.poll() is None, "the program ended; it should have stayed open")
        expect(self.find_window(CAPTION), "the Options dialog is gone")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def ini_path(folder):
    return os.path.join(folder, "halvern.ini")


def write_ini(folder, text):
    with open(ini_path(folder), "wb") as f:
        f.write(text.encode("latin-1"))


def read_bytes(folder):
    with open(ini_path(folder), "rb") as f:
        return f.read()


def ini_lines(folder):
    text = read_bytes(folder).decode("latin-1").replace("\r\n", "\n").replace("\r", "\n")
    return [line for line in text.split("\n") if line]


# --- Scenarios: each gets a fresh folder holding a copy of the program --------------------

def save_into_missing_file(p):
    """Arguments change nothing; OK writes the section and the six keys in order."""
    p.start("/x")
    p.replace_text(SOCKET, "213")
    p.click(OK)
    expect(p.wait_exit() == 0, "exit code is not 0")
    want = list(SAVED_DEFAULTS)
    want[5] = "Socket=213"
    expect(ini_lines(p.folder) == want, "file is %r" % ini_lines(p.folder))


def round_trip_keeps_foreign_lines(p):
    write_ini(p.folder, "[Player]\r\nName=Ann\r\n[Options]\r\nResolution=0\r\nVideoBackBuffer=1\r\n"
                        "Music=7\r\nSocket=12\r\nDestNet=73.0F.2C.8A\r\n[Network]\r\nModem=COM2\r\n")
    p.start()
    p.click(FILLS)
    p.click(OK)
    expect(p.wait_exit() == 0, "exit code is not 0")
    lines = ini_lines(p.folder)
    for line in ["[Player]", "Name=Ann", "Music=7", "[Network]", "Modem=COM2", "Resolution=0",
                 "VideoBackBuffer=1", "HardwareFills=1", "Compatibility=0", "Socket=12",
                 "DestNet=73.0F.2C.8A"]:
        expect(lines.count(line) == 1, "%r not kept once in %r" % (line, lines))


def refused_socket_then_corrected(p):
    write_ini(p.folder, "[Options]\r\nSocket=5\r\n")
    before = read_bytes(p.folder)
    p.start()
    p.replace_text(SOCKET, "16384")
    p.click(OK)
    p.wait_window("Invalid Socket Number")
    p.key("Return")
    p.wait_window_gone("Invalid Socket Number")
    p.expect_running()
    expect(read_bytes(p.folder) == before, "the file changed after a refused save")
    # The focus is back in the socket field: correct the last digit there.
    p.key("BackSpace")
    p.type("3")
    p.click(OK)
    expect(p.wait_exit() == 0, "exit code is not 0")
    expect("Socket=16383" in ini_lines(p.folder), "file is %r" % ini_lines(p.folder))


def enter_walks_through_the_fields(p):
    p.start()
    p.click(SOCKET)
    p.type("1")
    p.key("Return")
    p.type("73.0F.2C.8A")  # lands in the address field only if Enter moved on
    p.key("Return")
    p.expect_running()
    p.key("Return")  # now on OK
    expect(p.wait_exit() == 0, "exit code is not 0")
    lines = ini_lines(p.folder)
    expect("Socket=1" in lines and "DestNet=73.0F.2C.8A" in lines, "file is %r" % lines)


def cancel_escape_and_close_keep_the_file(p):
    content = "[Options]\r\nResolution=1\r\nSocket=5\r\n"
    for way in ("cancel", "escape", "close"):
        write_ini(p.folder, content)
        p.start()
        p.click(RES_400)
        p.click(DOS_COMPAT)
        if way == "cancel":
            p.click(CANCEL)
        elif way == "escape":
            p.key("Escape")
        else:
            p.key("alt+F4")  # the system menu's Close, as the close box sends it
        expect(p.wait_exit() == 0, "%s: exit code is not 0" % way)
        expect(read_bytes(p.folder) == content.encode(), "%s: the file changed" % way)


def unwritable_file_warns_and_stays_open(p):
    write_ini(p.folder, "[Options]\r\nSocket=5\r\n")
    before = read_bytes(p.folder)
    immutable = subprocess.run(["chattr", "+i", ini_path(p.folder)], capture_output=True).returncode == 0
    if not immutable:  # a folder in the file's place refuses writes on any file system
        os.remove(ini_path(p.folder))
        os.mkdir(ini_path(p.folder))
    try:
        p.start()
        p.replace_text(SOCKET, "77")
        p.click(OK)
        p.wait_window("Settings Not Saved")
        p.key("Return")
        p.wait_window_gone("Settings Not Saved")
        p.expect_running()
    finally:
        if immutable:
            subprocess.run(["chattr", "-i", ini_path(p.folder)])
        else:
            os.rmdir(ini_path(p.folder))
    if immutable:
        expect(read_bytes(p.folder) == before, "the refused save changed the file")
    p.click(OK)  # the user fixed the file: the retry saves
    expect(p.wait_exit() == 0, "exit code is not 0")
    expect("Socket=77" in ini_lines(p.folder), "file is %r" % ini_lines(p.folder))


SCENARIOS = {f.__name__: f for f in [
    save_into_missing_file, round_trip_keeps_foreign_lines, refused_socket_then_corrected,
    enter_walks_through_the_fields, cancel_escape_and_close_keep_the_file,
    unwritable_file_warns_and_stays_open]}


def missing_template_exits_1(args, folder):
    """A program without its dialog template ends with 1 instead of waiting forever."""
    p = Program(args, folder)
    p.process = subprocess.Popen(
        ["bash", args.wine_env, "run", args.wine_root, str(args.bits), p.exe],
        cwd=folder, env=p.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE)
    code = p.wait_exit(timeout=30)
    if code == 77:
        raise Skip(p.process.stderr.read().decode(errors="replace").strip())
    expect(code == 1, "exit code is %d, not 1" % code)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS) + ["missing_template_exits_1"])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--wine-env", required=True)
    parser.add_argument("--wine-root", required=True)
    parser.add_argument("--bits", type=int, required=True)
    parser.add_argument("--work", default=None)
    args = parser.parse_args()

    work = os.path.abspath(args.work or os.path.join(args.wine_root, "program-tests"))
    folder = os.path.join(work, args.scenario, "Halvern Game")
    if os.path.isdir(os.path.dirname(folder)):
        subprocess.run(["chattr", "-R", "-i", os.path.dirname(folder)], capture_output=True)
        shutil.rmtree(os.path.dirname(folder))
    os.makedirs(folder)
    shutil.copy(args.exe, os.path.join(folder, "hvsetup.exe"))

    program = None
    try:
        if args.scenario == "missing_template_exits_1":
            missing_template_exits_1(args, folder)
        else:
            program = Program(args, folder)
            SCENARIOS[args.scenario](program)
    except Skip as skip:
        print("skipped: %s" % skip)
        return 77
    except Failure as failure:
        print("FAIL %s: %s" % (args.scenario, failure))
        return 1
    finally:
        if program:
            program.stop()
    print("ok %s" % args.scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
