#!/usr/bin/env python3
"""Hostile settings files and failing saves, through the real program under Wine.

Every file must open the dialog; OK then saves the six keys and ends with 0, or, where a
stored text breaks a field rule, warns, and saves once the field is corrected. Whatever
else the file holds that the platform's file functions can represent stays. A save the
platform refuses warns "Settings Not Saved", keeps the dialog open and the file as it was.

Usage: hostile_test.py SCENARIO --exe EXE [--helper EXE] --wine-env SCRIPT --wine-root DIR --bits N
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

from harness import (ADVICE_READ_ONLY, BAD_ADDRESS, BAD_SOCKET, DEST_NET, FILLS, OK,
                     SAVE_FAILED, SAVED_DEFAULTS, SOCKET, Failure, Program, Skip, expect,
                     expect_save_warning, expect_saved, ini_lines, ini_path, read_bytes,
                     run_scenarios, write_ini)

DEFAULTS = dict(Resolution="1", VideoBackBuffer="0", HardwareFills="0", Compatibility="0",
                Socket="", DestNet="")


def lines_kept(p, *lines):
    have = ini_lines(p.folder)
    for line in lines:
        expect(line in have, "%r was lost" % line)


# --- Hostile files ------------------------------------------------------------------------

def binary_garbage(p):
    noise = bytes(random.Random(7).randrange(256) for _ in range(64 * 1024))
    write_ini(p.folder, noise + b"\0\0\0" + noise[:100])
    p.start()
    p.ok_until_saved()
    expect_saved(p.folder, **DEFAULTS)


def five_megabyte_file(p):
    chunk = "".join("[Section%05d]\r\nKey=%s\r\nOther=%d\r\n" % (i, "v" * 80, i) for i in range(52000))
    write_ini(p.folder, chunk + "[Options]\r\nResolution=0\r\nSocket=42\r\nDestNet=73.0F.2C.8A\r\n")
    expect(os.path.getsize(ini_path(p.folder)) > 5 * 1000 * 1000, "the file is too small")
    p.start()
    p.ok_until_saved()
    expect_saved(p.folder, Resolution="0", Socket="42", DestNet="73.0F.2C.8A")
    lines = ini_lines(p.folder)
    expect(sum(1 for line in lines if line.startswith("[Section")) == 52000, "sections were lost")
    lines_kept(p, "[Section00000]", "[Section51999]", "Other=51999")


def line_of_100000_characters(p):
    big = "Big=" + "".join(chr(ord("a") + i % 26) for i in range(100000 - 4))
    write_ini(p.folder, "[Other]\r\n%s\r\n[Options]\r\nSocket=7\r\n" % big)
    p.start()
    p.ok_until_saved()
    expect_saved(p.folder, Socket="7")
    lines_kept(p, big)


def values_of_254_to_300_characters(p):
    for length in (254, 255, 256, 300):
        content = "[Options]\r\n" + "".join(
            "%s=%s\r\n" % (key, fill * length) for key, fill in
            (("Resolution", "0"), ("VideoBackBuffer", "1"), ("HardwareFills", "1"),
             ("Compatibility", "1"), ("Socket", "7"), ("DestNet", "A")))
        write_ini(p.folder, content)
        p.start()
        # Too long for either rule: each is refused, never cut to something that passes.
        p.ok_until_saved(fixes=[(BAD_SOCKET, SOCKET), (BAD_ADDRESS, DEST_NET)])
        expect_saved(p.folder, **DEFAULTS)


def line_endings(p):
    body = ["[Foreign]", "A=1", "[Options]", "Resolution=0", "HardwareFills=1", "Socket=12",
            "DestNet=73.0F"]
    for name, ending, tail in (("CR only", "\r", "\r"), ("LF only", "\n", "\n"),
                               ("no final newline", "\r\n", "")):
        write_ini(p.folder, ending.join(body) + tail)
        p.start()
        p.ok_until_saved()
        try:
            expect_saved(p.folder, Resolution="0", HardwareFills="1", Socket="12",
                         DestNet="73.0F", VideoBackBuffer="0")
            lines_kept(p, "[Foreign]", "A=1")
        except Failure as failure:
            raise type(failure)("%s: %s" % (name, failure))


def duplicate_sections_and_keys(p):
    write_ini(p.folder, "[Options]\r\nResolution=0\r\nResolution=1\r\nSocket=1\r\n"
                        "[Other]\r\nX=1\r\n[Options]\r\nSocket=2\r\nCompatibility=1\r\n")
    p.start()
    p.ok_until_saved()
    # The first section and the first key are the ones read, and the ones written.
    expect_saved(p.folder, Resolution="0", Socket="1", Compatibility="0")
    lines_kept(p, "[Other]", "X=1", "Socket=2", "Compatibility=1")


def other_letter_cases_and_blanks(p):
    write_ini(p.folder, "[oPTIONS]\r\n  resolution =  0 \r\nVIDEOBACKBUFFER=1\r\nsocket = 99\r\n")
    p.start()
    p.ok_until_saved()
    expect_saved(p.folder, Resolution="0", VideoBackBuffer="1", Socket="99")
    sections = [line for line in ini_lines(p.folder) if line.strip().lower() == "[options]"]
    expect(len(sections) == 1, "a second Options section appeared: %r" % ini_lines(p.folder))


def high_bytes_in_values(p):
    write_ini(p.folder, b"[Options]\r\nSocket=1\r\nDestNet=73.0F.2C.8\xc4\r\n"
                        b"[Player]\r\nName=J\xf6rg \xa9\x80\xff\r\n")
    p.start()
    p.ok_until_saved(fixes=[(BAD_ADDRESS, DEST_NET)])
    expect_saved(p.folder, Socket="1", DestNet="")
    expect(b"Name=J\xf6rg \xa9\x80\xff" in read_bytes(p.folder), "the high bytes changed")


def empty_file(p):
    write_ini(p.folder, b"")
    p.start()
    p.ok_until_saved()
    expect(ini_lines(p.folder) == SAVED_DEFAULTS, "file is %r" % ini_lines(p.folder))


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


def folder_in_place_of_file(p):
    os.mkdir(ini_path(p.folder))
    p.start()
    expect(p.save_or_refuse("77", None) == "refused", "a folder was taken for the file")
    os.rmdir(ini_path(p.folder))
    p.click(OK)
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
    write_ini(p.folder, "[Options]\r\nSocket=5\r\n[Game]\r\nLevel=3\r\n")
    if subprocess.run(["chattr", "+i", p.folder], capture_output=True).returncode != 0:
        raise Skip("chattr +i is refused here, so no folder can refuse new files to root")
    try:
        p.start()
        expect(p.save_or_refuse("77", None) == "saved", "the save was refused")
    finally:
        subprocess.run(["chattr", "-i", p.folder], capture_output=True)
    lines_kept(p, "Level=3")
    expect(sorted(os.listdir(p.folder)) == ["halvern.ini", "hvsetup.exe"],
           "files beside the settings file: %s" % sorted(os.listdir(p.folder)))


def file_held_open_by_another_program(p):
    if not p.args.helper:
        raise Failure("needs --helper (the file-holding program)")
    write_ini(p.folder, "[Options]\r\nSocket=5\r\nResolution=0\r\n")
    before = read_bytes(p.folder)
    holder = subprocess.Popen(
        ["bash", p.args.wine_env, "run", p.args.wine_root, str(p.args.bits), p.args.helper,
         ini_path(p.folder)], env=p.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    try:
        if holder.stdout.readline().strip() != b"holding":
            if holder.wait() == 77:
                raise Skip("this host cannot run the %d-bit helper" % p.args.bits)
            raise Failure("the helper could not open the file")
        p.start()
        expect(p.save_or_refuse("77", before) == "refused", "saved into a file held open")
    finally:
        holder.kill()
        holder.wait()
    time.sleep(0.5)
    p.click(OK)
    expect(p.wait_exit() == 0, "exit code is not 0")
    expect_saved(p.folder, Socket="77", Resolution="0")


def installed_under_long_and_foreign_paths(p):
    """Windows paths of 100, 200 and 259 characters to the program, and a folder whose
    name holds characters above 0x7F in the ANSI code page."""
    # The lengths must not depend on where the checkout lives, so the folders grow from a
    # short scratch folder of their own rather than from the build folder.
    base = tempfile.mkdtemp(prefix="hv-", dir="/tmp")
    try:
        install_under(p, base, long_folders(base, (100, 200, 259))
                      + [os.path.join(base, "Spiele \u00c4\u00f6\u00e9 \u00a9")])
    finally:
        shutil.rmtree(base, ignore_errors=True)


def long_folders(base, lengths):
    """Folders under base whose exe path, as Wine names it ("Z:" + Unix path), has each length."""
    exe_part = len("Z:") + len("/hvsetup.exe")
    folders = []
    for length in lengths:
        folder = base
        room = length - exe_part - len(folder)
        while room > 0:
            part = min(room - 1, 60) if room > 61 else room - 1
            folder = os.path.join(folder, "d" * max(part, 1))
            room = length - exe_part - len(folder)
        expect(room == 0, "no folder gives a %d-character path" % length)
        folders.append(folder)
    return folders


def install_under(p, base, folders):
    exe_bytes = open(p.exe, "rb").read()
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "hvsetup.exe"), "wb") as f:
            f.write(exe_bytes)
        run = Program(p.args, folder)
        try:
            run.start()
            outcome = run.save_or_refuse("77", None)
            # Every one of these settings paths fits the platform's limit (MAX_PATH with its
            # terminator), so refusing would be the very fault this scenario is here for.
            expect(len("Z:") + len(folder) + len("/halvern.ini") < 260, "path too long to judge")
            expect(outcome == "saved", "the save was refused although the path fits")
            expect(os.path.isfile(ini_path(folder)), "the file is not beside the program")
        except Failure as failure:
            raise type(failure)("%s (%d bytes): %s" % (folder, len(folder), failure))
        finally:
            run.stop()
        started_in = os.path.join(os.path.dirname(folder), "elsewhere")
        stray = [os.path.join(d, "halvern.ini") for d in (base, started_in)]
        expect(not any(os.path.exists(s) for s in stray), "a settings file landed elsewhere")


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


def saves_beside_itself(p, name, exe_name, locale, code_page):
    """Runs the program as `exe_name` from a fresh folder `name`, with the ANSI code page of
    `locale` (None: the tests' own, Western 1252): it must show the file's values, save
    into that file, and write no other settings file, neither near it nor in the Windows
    folder."""
    base = tempfile.mkdtemp(prefix="hv-", dir="/tmp")
    windows_folder = os.path.join(p.env["WINEPREFIX"], "drive_c", "windows")
    windows_inis = ini_files(windows_folder, recursive=False)
    try:
        folder = os.path.join(base, name)
        os.makedirs(folder)
        shutil.copy(p.exe, os.path.join(folder, exe_name))
        write_ini(folder, "[Options]\r\nResolution=0\r\nSocket=123\r\n[Player]\r\nName=Ann\r\n")
        run = Program(p.args, folder, exe_name)
        if locale:
            run.env["HV_WINE_LOCALE"] = locale
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
    finally:
        shutil.rmtree(base, ignore_errors=True)


def ini_files(folder, recursive):
    found = set()
    for top, _, files in os.walk(folder):
        found.update(os.path.join(top, f) for f in files if f.lower().endswith(".ini"))
        if not recursive:
            break
    return found


SCENARIOS = {f.__name__: f for f in [
    binary_garbage, five_megabyte_file, line_of_100000_characters,
    values_of_254_to_300_characters, line_endings, duplicate_sections_and_keys,
    other_letter_cases_and_blanks, high_bytes_in_values, empty_file, read_only_file,
    folder_in_place_of_file, folder_not_writable, folder_refusing_new_files_still_saves_the_file,
    file_held_open_by_another_program,
    installed_under_long_and_foreign_paths, folders_the_code_page_cannot_spell,
    renamed_under_code_page(932), renamed_under_code_page(936), renamed_under_code_page(950)]}

if __name__ == "__main__":
    sys.exit(run_scenarios(SCENARIOS))
