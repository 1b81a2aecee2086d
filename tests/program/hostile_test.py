#!/usr/bin/env python3
"""Saves that only Linux can make fail for root (an immutable file or folder), symbolic
links (Wine makes none itself), and folders and program names in code pages that only Linux
locales give Wine, through the real program under Wine. (Damaged and odd settings files, a folder in the file's place, a file held open
and long install paths are rows of the test kit, which Windows users run too.)

A save the platform refuses warns "Settings Not Saved", keeps the dialog open and the file
as it was.

Usage: hostile_test.py SCENARIO --exe EXE --wine-env SCRIPT --wine-root DIR --bits N
"""
import os
import shutil
import subprocess
import sys
import tempfile

from harness import (ADVICE_READ_ONLY, FILLS, OK, SAVE_FAILED, SOCKET, Program, Skip, expect,
                     expect_save_warning, expect_saved, ini_lines, ini_path, read_bytes,
                     run_scenarios, write_ini)


def lines_kept(p, *lines):
    have = ini_lines(p.folder)
    for line in lines:
        expect(line in have, "%r was lost" % line)


# The game's own bytes around the section a save writes, as a tool of its own might leave them:
# a comment, blank lines, blanks around the '=', LF line endings. A save writing in place keeps
# them as they are.
GAMES_BEFORE = b"; Halvern\r\n\r\n[Player]\n  Name =  Ann \n\n"
GAMES_AFTER = b"\r\n\r\n[Game]\r\n  Level = 3\r\n"


def games_bytes_kept(folder):
    have = read_bytes(folder)
    expect(have.startswith(GAMES_BEFORE + b"[Options]\r\n") and have.endswith(GAMES_AFTER),
           "the bytes around [Options] were changed: %r" % have)


# --- Saves that fail --------------------------------------------------------------------

def read_only_file(p):
    """A read-only file is refused with the advice to clear the mark. Wine lets root write a
    file of mode 444, so the file is also made immutable: it still reads as read-only, and
    opening it for writing fails for root too."""
    write_ini(p.folder, "[Options]\r\nSocket=5\r\n")
    os.chmod(ini_path(p.folder), 0o444)
    if subprocess.run(["chattr", "+i", ini_path(p.folder)], capture_output=True).returncode:
        if os.geteuid() == 0:
            raise Skip("chattr +i is refused here, and Wine lets root write a read-only file")
    before = read_bytes(p.folder)
    try:
        p.start()
        p.replace_text(SOCKET, "77")
        p.click(OK)
        expect_save_warning(p.dismiss(SAVE_FAILED), p.folder, ADVICE_READ_ONLY)
        p.expect_running()
        expect(read_bytes(p.folder) == before, "the refused save changed the file")
    finally:
        subprocess.run(["chattr", "-i", ini_path(p.folder)], capture_output=True)
        os.chmod(ini_path(p.folder), 0o644)
    p.click(OK)  # the user cleared the mark: the retry saves
    expect(p.wait_exit() == 0, "exit code is not 0")
    expect_saved(p.folder, Socket="77")



def folder_not_writable(p):
    # An immutable folder refuses a new file even to root; a folder without write
    # permission only refuses other users.
    locked = subprocess.run(["chattr", "+i", p.folder], capture_output=True).returncode == 0
    if not locked:
        if os.geteuid() == 0:
            raise Skip("chattr +i is refused here, and root may make files in any folder")
        os.chmod(p.folder, 0o555)
    try:
        p.start()
        expect(p.save_or_refuse("77", None) == "refused", "saved into a folder that takes no file")
        expect(not os.path.exists(ini_path(p.folder)), "a file appeared")
    finally:
        subprocess.run(["chattr", "-i", p.folder], capture_output=True)
        os.chmod(p.folder, 0o755)
    p.click(OK)
    expect(p.wait_exit() == 0, "exit code is not 0")
    expect_saved(p.folder, Socket="77")


def folder_refusing_new_files_still_saves_the_file(p):
    """A folder where no file can be made but the settings file can be written: the save's
    copy cannot be made, so the keys go into the file itself, and the save is done."""
    write_ini(p.folder, GAMES_BEFORE + b"[Options]\r\nSocket=5" + GAMES_AFTER)
    if subprocess.run(["chattr", "+i", p.folder], capture_output=True).returncode != 0:
        raise Skip("chattr +i is refused here, so no folder can refuse new files to root")
    try:
        p.start()
        expect(p.save_or_refuse("77", None) == "saved", "the save was refused")
    finally:
        subprocess.run(["chattr", "-i", p.folder], capture_output=True)
    games_bytes_kept(p.folder)
    expect_saved(p.folder, Socket="77")
    expect(sorted(os.listdir(p.folder)) == ["halvern.ini", "hvsetup.exe"],
           "files beside the settings file: %s" % sorted(os.listdir(p.folder)))






def symbolic_links(p):
    """halvern.ini a symbolic link to a file elsewhere (one file for two installs): the save
    writes through it, and the link stays a link. A program folder reached through a link is
    no link of the file's: there the save still renames a flushed copy over the file."""
    keep = os.path.join(os.path.dirname(p.folder), "keep")
    os.makedirs(keep)
    write_ini(keep, GAMES_BEFORE + b"[Options]\r\nSocket=5" + GAMES_AFTER)
    os.symlink(os.path.join("..", "keep", "halvern.ini"), ini_path(p.folder))
    p.start()
    p.click(FILLS)
    p.click(OK)
    expect(p.wait_exit() == 0, "exit code is not 0")
    expect(os.path.islink(ini_path(p.folder)), "halvern.ini is no longer a link")
    expect_saved(keep, HardwareFills="1", Socket="5")
    games_bytes_kept(keep)

    through = os.path.join(os.path.dirname(p.folder), "through a link")
    os.symlink(os.path.basename(keep), through)
    shutil.copy(p.exe, os.path.join(keep, "hvsetup.exe"))
    before = os.stat(ini_path(keep)).st_ino
    run = Program(p.args, through)
    try:
        run.start()
        run.click(FILLS)
        run.click(OK)
        expect(run.wait_exit() == 0, "through a linked folder: exit code is not 0")
    finally:
        run.stop()
    expect(os.stat(ini_path(keep)).st_ino != before,
           "through a linked folder the file was written in place, not replaced")
    expect_saved(keep, HardwareFills="0", Socket="5")


def folders_the_code_page_cannot_spell(p):
    """Folders named in Cyrillic and in Chinese, which a Western ANSI code page has no bytes
    for: the program's ANSI path shows '?' there, yet it reads the file beside it, saves
    into that file, and leaves no settings file anywhere else."""
    for name in ("\u0418\u0433\u0440\u044b", "\u6e38\u620f Halvern"):  # Игры, 游戏
        saves_beside_itself(p, name, "hvsetup.exe", None, 1252)


# A program renamed in the local script, in a folder named in it, under the double-byte
# code pages where the second byte of a character can be 0x5C, the backslash: 表 95 5C,
# 乗 81 5C, 功 A5 5C. A program that split its path by bytes would use a file named after
# the front of its own name (表halvern.ini).
RENAMED = {
    932: ("ja_JP.UTF-8", "\u30b2\u30fc\u30e0\u8868", "\u8868\u793a\u8a2d\u5b9a.exe"),
    936: ("zh_CN.UTF-8", "\u6e38\u620f \u4e57", "\u4e57\u5ba2\u8bbe\u7f6e.exe"),
    950: ("zh_TW.UTF-8", "\u904a\u6232\u529f", "\u529f\u80fd\u8a2d\u5b9a.exe"),
}  # ゲーム表 表示設定.exe; 游戏 乗 乗客设置.exe; 遊戲功 功能設定.exe


def renamed_under_code_page(code_page):
    def scenario(p):
        locale, folder, exe_name = RENAMED[code_page]
        saves_beside_itself(p, folder, exe_name, locale, code_page)
    scenario.__name__ = "renamed_under_code_page_%d" % code_page
    scenario.__doc__ = "The program as %s in %s, under code page %d." % (
        RENAMED[code_page][2], RENAMED[code_page][1], code_page)
    return scenario


def started_from_a_share(p):
    """Started by its network path, \\\\hvserver\\games\\Halvern\\hvsetup.exe, as every player
    of a game on one PC's share starts it (Wine serves \\\\SERVER\\SHARE from the prefix's
    dosdevices/unc/SERVER/SHARE). Wine 8 reports such a module path as UNC\\hvserver\\...,
    without its leading backslashes."""
    saves_beside_itself(p, "Halvern", "hvsetup.exe", None, 1252, share=("hvserver", "games"))


def saves_beside_itself(p, name, exe_name, locale, code_page, share=None):
    """Runs the program as `exe_name` from a fresh folder `name`, with the ANSI code page of
    `locale` (None: the tests' own, Western 1252), by its path on the share (SERVER, SHARE)
    of that folder's parent where `share` is given: it must show the file's values, save
    into that file, and write no other settings file, neither near it nor in the Windows
    folder."""
    base = tempfile.mkdtemp(prefix="hv-", dir="/tmp")
    windows_folder = os.path.join(p.env["WINEPREFIX"], "drive_c", "windows")
    windows_inis = ini_files(windows_folder, recursive=False)
    server = None
    try:
        folder = os.path.join(base, name)
        os.makedirs(folder)
        shutil.copy(p.exe, os.path.join(folder, exe_name))
        write_ini(folder, "[Options]\r\nResolution=0\r\nSocket=123\r\n[Player]\r\nName=Ann\r\n")
        run = Program(p.args, folder, exe_name)
        if share:
            server = os.path.join(p.env["WINEPREFIX"], "dosdevices", "unc", share[0])
            os.makedirs(server, exist_ok=True)
            os.symlink(base, os.path.join(server, share[1]))
            run.exe = "\\\\%s\\%s\\%s\\%s" % (share[0], share[1], name, exe_name)
        if locale:
            run.env["HV_WINE_LOCALE"] = locale
        before = os.stat(ini_path(folder)).st_ino
        try:
            run.start()
            expect(run.code_page == code_page, "the program ran under code page %s, not %d"
                   % (run.code_page, code_page))
            run.click(FILLS)
            run.click(OK)
            expect(run.wait_exit() == 0, "%s: exit code is not 0" % name)
        finally:
            run.stop()
        found = ini_files(base, recursive=True)
        expect(found == {ini_path(folder)}, "%s: settings files %r" % (name, sorted(found)))
        expect(ini_files(windows_folder, recursive=False) == windows_inis,
               "%s: a settings file landed in the Windows folder" % name)
        # Resolution and Socket come back only if the file was read.
        expect_saved(folder, Resolution="0", HardwareFills="1", Socket="123", DestNet="")
        lines_kept(run, "[Player]", "Name=Ann")
        # Wherever it runs, a save renames a flushed copy over the file.
        expect(os.stat(ini_path(folder)).st_ino != before, "%s: written in place" % name)
    finally:
        if server:
            shutil.rmtree(server, ignore_errors=True)
        shutil.rmtree(base, ignore_errors=True)


def ini_files(folder, recursive):
    found = set()
    for top, _, files in os.walk(folder):
        found.update(os.path.join(top, f) for f in files if f.lower().endswith(".ini"))
        if not recursive:
            break
    return found


SCENARIOS = {f.__name__: f for f in [
    read_only_file, folder_not_writable, folder_refusing_new_files_still_saves_the_file,
    symbolic_links, folders_the_code_page_cannot_spell, started_from_a_share,
    renamed_under_code_page(932), renamed_under_code_page(936), renamed_under_code_page(950)]}

if __name__ == "__main__":
    sys.exit(run_scenarios(SCENARIOS))
