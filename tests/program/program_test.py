#!/usr/bin/env python3
"""Whole-program tests: the real hvsetup.exe under Wine on the test Xvfb, driven with real
clicks and keys from xdotool, and judged by the settings file and the exit code.

Usage: program_test.py SCENARIO --exe EXE --wine-env SCRIPT --wine-root DIR --bits N
Exit 0 pass, 1 fail, 77 when this host cannot run the program (reported as skipped).
"""
import os
import shutil
import subprocess
import sys

from harness import (ADVICE_ADMINISTRATOR, ADVICE_DISC, ADVICE_DISK_FULL, ADVICE_GENERAL, CANCEL,
                     DOS_COMPAT, FILLS, OK, RES_400, SAVE_FAILED, SOCKET, Skip, expect,
                     expect_save_warning, expect_saved, fill_to_the_last_byte, ini_lines,
                     ini_path, read_bytes, run_scenarios, write_ini)


# --- Scenarios: each gets a fresh folder holding a copy of the program --------------------




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
    """A file the platform refuses to open for writing: the warning names the file, the
    system's reason and the advice that fits the Windows it runs on and the folder; the
    dialog stays open and the file as it was. Only Windows Vista to 11 keep folders for
    administrators, and only Program Files, ProgramData and the Windows folder are such:
    elsewhere the general advice. Wine has every call of Windows 10, whatever version it
    shows a program, as Windows 10 in a compatibility mode for 98 does."""
    program_files = os.path.join(p.env["WINEPREFIX"], "drive_c", "Program Files (x86)",
                                 "Halvern")
    for folder, version, advice in ((p.folder, None, ADVICE_GENERAL),
                                    (program_files, None, ADVICE_ADMINISTRATOR),
                                    (program_files, "win98", ADVICE_ADMINISTRATOR)):
        shown = "C:\\Program Files (x86)\\Halvern" if folder == program_files else None
        if folder != p.folder:
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            shutil.copy(p.exe, os.path.join(folder, "hvsetup.exe"))
            p.folder, p.exe = folder, os.path.join(folder, "hvsetup.exe")
        print("as %s in %s" % (version or "Windows 10", folder))
        write_ini(folder, "[Options]\r\nSocket=5\r\n")
        before = read_bytes(folder)
        if subprocess.run(["chattr", "+i", ini_path(folder)], capture_output=True).returncode:
            raise Skip("chattr +i is refused here, and root may write any file under Wine")
        p.set_windows_version(version)
        try:
            p.start()
            p.replace_text(SOCKET, "77")
            p.click(OK)
            expect_save_warning(p.dismiss(SAVE_FAILED), folder, advice, shown)
            p.expect_running()
        finally:
            p.set_windows_version(None)
            subprocess.run(["chattr", "-i", ini_path(folder)])
        expect(read_bytes(folder) == before, "the refused save changed the file")
        p.click(OK)  # the user fixed the file: the retry saves
        expect(p.wait_exit() == 0, "exit code is not 0")
        expect("Socket=77" in ini_lines(folder), "file is %r" % ini_lines(folder))
    shutil.rmtree(program_files, ignore_errors=True)


def full_disk_refuses_a_save_that_would_grow_the_file(p):
    """On a disk filled to the last byte, a save that would grow the file is refused before
    anything is written: the platform would cut the file and report success. Once there is
    room again, the retry saves and keeps the file's other section."""
    if os.geteuid() != 0:
        raise Skip("only root may mount the small file system this needs")
    disk = os.path.join(os.path.dirname(p.folder), "Small Disk")
    os.makedirs(disk)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk],
                             capture_output=True, text=True)
    if mounted.returncode != 0:
        raise Skip("no small file system can be mounted here: %s" % mounted.stderr.strip())
    try:
        shutil.copy(p.exe, os.path.join(disk, "hvsetup.exe"))
        p.folder, p.exe = disk, os.path.join(disk, "hvsetup.exe")
        game = "".join("Line%03d=%s\r\n" % (i, "x" * 40) for i in range(85))
        write_ini(disk, "[Options]\r\nSocket=5\r\n[Game]\r\n" + game)
        fill_to_the_last_byte(disk)
        before = read_bytes(disk)
        p.start()
        p.replace_text(SOCKET, "77")
        p.click(OK)
        # The folder is named, not Z:\, which is the root file system: another volume.
        expect_save_warning(p.dismiss(SAVE_FAILED), disk,
                            ADVICE_DISK_FULL % ("Z:%s\\" % disk.replace("/", "\\")))
        p.expect_running()
        expect(read_bytes(disk) == before, "the refused save changed the file")
        os.remove(os.path.join(disk, "filler"))
        p.click(OK)
        expect(p.wait_exit() == 0, "exit code is not 0")
        lines = ini_lines(disk)
        expect("Socket=77" in lines and lines[-1] == "Line084=" + "x" * 40,
               "file is %r" % lines)
    finally:
        p.stop()
        subprocess.run(["umount", "-l", disk], capture_output=True)



def disc_cannot_be_written(p):
    """Started from the game's CD (drive D:, a CD-ROM drive, over a full file system that
    cannot be written, as a pressed disc is): the warning says the disc cannot be written and
    to copy the Halvern folder to the hard disk. A disc reports no free space and its files
    cannot be opened for writing, yet neither "full" nor "read-only" is the remedy."""
    if os.geteuid() != 0:
        raise Skip("only root may mount the file system that stands in for a disc")
    disc = os.path.join(os.path.abspath(p.args.wine_root), "disc")
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disc],
                             capture_output=True, text=True)
    if mounted.returncode != 0:
        raise Skip("no small file system can be mounted here: %s" % mounted.stderr.strip())
    try:
        folder = os.path.join(disc, "Halvern")
        os.makedirs(folder)
        os.makedirs(os.path.join(disc, "elsewhere"))  # where the harness starts it from
        shutil.copy(p.exe, os.path.join(folder, "hvsetup.exe"))
        write_ini(folder, "[Options]\r\nSocket=5\r\n[Game]\r\nLevel=3\r\n")
        fill_to_the_last_byte(disc)
        subprocess.run(["mount", "-o", "remount,ro", disc], check=True, capture_output=True)
        before = read_bytes(folder)
        p.folder, p.exe = folder, "D:\\Halvern\\hvsetup.exe"
        p.start()
        p.replace_text(SOCKET, "77")
        p.click(OK)
        text = p.dismiss(SAVE_FAILED)
        expect_save_warning(text, folder, ADVICE_DISC % "D:\\Halvern\\", "D:\\Halvern")
        expect("full" not in text.split("\n")[1].lower(),
               "the reason given is a full disk: %r" % text)
        p.expect_running()
        expect(read_bytes(folder) == before, "the refused save changed the file")
        p.click(CANCEL)
        expect(p.wait_exit() == 0, "exit code is not 0")
    finally:
        p.stop()
        subprocess.run(["umount", "-l", disc], capture_output=True)


def legacy_windows_versions(p):
    """Told it runs on Win32s under Windows 3.1 (where it centres the dialog itself) or on the
    first Windows 95, the 32-bit program opens, loads and saves just the same."""
    for version in ("win31", "win95"):
        write_ini(p.folder, "[Options]\r\nResolution=0\r\nVideoBackBuffer=1\r\n"
                            "Compatibility=1\r\nSocket=213\r\nDestNet=73.0F\r\n")
        p.set_windows_version(version)
        try:
            p.start()
            x, y, width, height = p.window_geometry()
            screen_width, screen_height = p.screen_size()
            expect(abs(x - (screen_width - width) // 2) <= 1 and
                   abs(y - (screen_height - height) // 2) <= 1,
                   "%s: dialog at %d,%d is not centred" % (version, x, y))
            p.click(FILLS)
            p.click(OK)
            expect(p.wait_exit() == 0, "%s: exit code is not 0" % version)
        finally:
            p.set_windows_version(None)
        expect_saved(p.folder, Resolution="0", VideoBackBuffer="1", HardwareFills="1",
                     Compatibility="1", Socket="213", DestNet="73.0F")


SCENARIOS = {f.__name__: f for f in [
    enter_walks_through_the_fields, cancel_escape_and_close_keep_the_file,
    unwritable_file_warns_and_stays_open, full_disk_refuses_a_save_that_would_grow_the_file,
    disc_cannot_be_written, legacy_windows_versions]}

if __name__ == "__main__":
    sys.exit(run_scenarios(SCENARIOS))
