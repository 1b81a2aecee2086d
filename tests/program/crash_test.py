#!/usr/bin/env python3
"""A power cut at any moment of a save must leave halvern.ini whole: byte for byte the old
file or the new one (or, where there was none, no file or the new one).

The save's file-system calls are recorded for real: strace follows the program and the
wineserver (which opens, cuts and renames files for it) while OK is pressed. Each prefix of
those calls is then a moment the power may fail. What survives is modelled as a journaling
file system keeps it: opening, cutting, renaming and removing files reach the disk in order,
and written bytes only once an fsync of their file followed (unflushed bytes read as NUL
bytes within the file's recorded size, as NTFS shows them after a crash).

Usage: crash_test.py SCENARIO --exe EXE ... (as program_test.py)
"""
import os
import re
import signal
import shutil
import subprocess
import time

from harness import (FILLS, OK, RES_400, Failure, Skip, expect,
                     ini_path, read_bytes, run_scenarios, write_ini)

BEFORE = b"[Player]\r\nName=Ann\r\n[Options]\r\nSocket=5\r\nResolution=1\r\n[Game]\r\nLevel=3\r\n"

CALLS = ("openat", "open", "creat", "ftruncate", "truncate", "write", "pwrite64", "writev",
         "pwritev", "fsync", "fdatasync", "rename", "renameat", "renameat2", "unlink",
         "unlinkat", "close", "lseek", "_llseek")


def unhex(text):
    return re.sub(rb"\\x([0-9a-f]{2})", lambda m: bytes([int(m.group(1), 16)]),
                  text.encode("latin-1"))


def real(path):
    """The path with its folder resolved: Wine names files through dosdevices\\z:."""
    path = unhex(path).decode("utf-8", "replace")
    return os.path.join(os.path.realpath(os.path.dirname(path)), os.path.basename(path))


# --- Recording ---------------------------------------------------------------------------

def wineserver_pid(env):
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if not os.readlink("/proc/%s/exe" % pid).startswith("/usr/lib/wine/wineserver"):
                continue
            environ = open("/proc/%s/environ" % pid, "rb").read().split(b"\0")
        except OSError:
            continue
        if ("WINEPREFIX=" + env["WINEPREFIX"]).encode() in environ:
            return int(pid)
    raise Failure("no wineserver runs for %s" % env["WINEPREFIX"])


def record_save(p, trace):
    """Starts the program under strace, which also follows the wineserver, changes two
    settings, presses OK, and returns once the program has ended; the record is `trace`."""
    if shutil.which("strace") is None:
        raise Failure("strace is not installed (scripts/setup installs it)")
    # Only the calls that name the two files, in any of the forms Wine uses: tracing every
    # message between the program and the wineserver slows both down enough to lose input.
    names = [os.path.join(folder, name) for name in ("halvern.ini", "hvsetup.tmp")
             for folder in (p.folder, os.path.join(p.env["WINEPREFIX"], "dosdevices", "z:")
                            + os.path.realpath(p.folder))]
    p.wrapper = ["strace", "-I", "1", "-f", "-y", "-xx", "-s", "100000000", "-o", trace,
                 "-e", "trace=" + ",".join(CALLS), *[w for n in names for w in ("-P", n)],
                 "-p", str(wineserver_pid(p.env)), "--"]
    p.start()
    tracer, p.process = p.process, None
    try:
        program = subprocess.run(["pgrep", "-P", str(tracer.pid)], capture_output=True,
                                 text=True).stdout.split()
        expect(len(program) == 1, "strace started %d programs, not one" % len(program))
        p.click(RES_400)
        p.click(FILLS)
        p.click(OK)
        # The wineserver lives on, so strace does not end by itself: the program's end is
        # read from the record.
        ended = re.compile(r"^%s +\+\+\+ exited with (\d+) \+\+\+" % program[0], re.M)
        deadline = time.time() + 30
        while time.time() < deadline:
            code = ended.search(open(trace, encoding="latin-1").read())
            if code:
                break
            time.sleep(0.2)
        expect(code is not None, "the program did not end within 30 s of OK")
        expect(code.group(1) == "0", "exit code is %s" % code.group(1))
    finally:
        tracer.send_signal(signal.SIGINT)
        try:
            tracer.wait(timeout=20)
        except subprocess.TimeoutExpired:
            tracer.kill()
            tracer.wait()
            raise Failure("strace did not stop within 20 s")


# --- Reading the record ------------------------------------------------------------------

FD = r"(-?\d+)<([^>]*)>"
STRING = r'"((?:\\x[0-9a-f]{2})*)"'
PATTERNS = {
    "openat": re.compile(r"openat\([^,]+, " + STRING + r", ([A-Z_|]+)(?:, \d+)?\) = " + FD),
    "open": re.compile(r"open\(" + STRING + r", ([A-Z_|]+)(?:, \d+)?\) = " + FD),
    "ftruncate": re.compile(r"ftruncate(?:64)?\(" + FD + r", (\d+)\) = 0"),
    "write": re.compile(r"write\(" + FD + r", " + STRING + r"(?:\.\.\.)?, \d+\) = (\d+)"),
    "pwrite64": re.compile(r"pwrite64\(" + FD + r", " + STRING
                           + r"(?:\.\.\.)?, \d+, (\d+)\) = (\d+)"),
    "fsync": re.compile(r"f(?:data)?sync\(" + FD + r"\) = 0"),
    "rename": re.compile(r"rename(?:at2?)?\((?:[^,]+, )?" + STRING + r", (?:[^,]+, )?" + STRING
                         + r"(?:, [^)]*)?\) = 0"),
    "unlink": re.compile(r"unlink(?:at)?\((?:[^,]+, )?" + STRING + r"(?:, [^)]*)?\) = 0"),
    "close": re.compile(r"close\(" + FD + r"\) = 0"),
    "lseek": re.compile(r"lseek\(" + FD + r", -?\d+, (SEEK_[A-Z]+)\) = (\d+)"),
    # The 32-bit form: the new position is the third argument.
    "_llseek": re.compile(r"_llseek\(" + FD + r", -?\d+, \[(\d+)\], SEEK_[A-Z]+\) = 0"),
}
# Calls that change a file which the model does not follow; none may touch the folder.
UNSUPPORTED = re.compile(r"^(?:writev|pwritev)\(" + FD + r"|^(?:truncate|creat)\(" + STRING)


def calls_of(trace):
    """The completed calls in the order they ended: (pid, text of the whole call)."""
    pending = {}
    for line in open(trace, encoding="latin-1"):
        pid, _, rest = line.rstrip("\n").partition(" ")
        rest = rest.strip()
        if rest.endswith("<unfinished ...>"):
            pending[pid] = rest[:-len("<unfinished ...>")].rstrip()
            continue
        resumed = re.match(r"<\.\.\. \w+ resumed>(.*)", rest)
        if resumed:
            rest = pending.pop(pid, "") + resumed.group(1)
        yield pid, rest


def events_in(trace, folder):
    """The record's changes to files in `folder`, as ("open", path, truncate, pid, fd),
    ("truncate", path, size), ("write", path, pid, fd, offset or None, data),
    ("fsync", path), ("rename", old, new), ("unlink", path), ("close", pid, fd) and
    ("seek", pid, fd, position)."""
    inside = lambda path: os.path.dirname(path) == folder
    for pid, call in calls_of(trace):
        other = UNSUPPORTED.match(call)
        if other and inside(real(other.group(2) or other.group(3))):
            raise Failure("the model does not know this call: %s" % call[:200])
        for name, pattern in PATTERNS.items():
            m = pattern.match(call)
            if not m:
                continue
            if name in ("openat", "open"):
                path = real(m.group(4))
                if inside(path):
                    yield ("open", path, "O_TRUNC" in m.group(2), pid, m.group(3))
            elif name == "ftruncate" and inside(real(m.group(2))):
                yield ("truncate", real(m.group(2)), int(m.group(3)))
            elif name in ("write", "pwrite64") and inside(real(m.group(2))):
                data = unhex(m.group(3))
                done = int(m.groups()[-1])
                offset = int(m.group(4)) if name == "pwrite64" else None
                yield ("write", real(m.group(2)), pid, m.group(1), offset, data[:done])
            elif name == "fsync" and inside(real(m.group(2))):
                yield ("fsync", real(m.group(2)))
            elif name == "rename" and (inside(real(m.group(1))) or inside(real(m.group(2)))):
                yield ("rename", real(m.group(1)), real(m.group(2)))
            elif name == "unlink" and inside(real(m.group(1))):
                yield ("unlink", real(m.group(1)))
            elif name == "close" and inside(real(m.group(2))):
                yield ("close", pid, m.group(1))
            elif name == "lseek" and inside(real(m.group(2))):
                yield ("seek", pid, m.group(1), int(m.group(4)))
            elif name == "_llseek" and inside(real(m.group(2))):
                yield ("seek", pid, m.group(1), int(m.group(3)))
            break


# --- The disk after a power cut -----------------------------------------------------------

class Disk:
    """Files by inode: the live bytes, the bytes an fsync last made durable, and names."""

    def __init__(self, files):
        self.inodes = []
        self.names = {}
        self.positions = {}
        for path, data in files.items():
            self.names[path] = self.new_inode(data, durable=True)

    def new_inode(self, data=b"", durable=False):
        self.inodes.append({"live": bytearray(data),
                            "durable": bytearray(data if durable else b"")})
        return len(self.inodes) - 1

    def apply(self, event):
        kind = event[0]
        if kind == "open":
            _, path, truncate, pid, fd = event
            if path not in self.names:
                self.names[path] = self.new_inode()
            elif truncate:
                self.cut(self.names[path], 0)
            self.positions[(pid, fd)] = 0
        elif kind == "truncate":
            self.cut(self.names[event[1]], event[2])
        elif kind == "write":
            _, path, pid, fd, offset, data = event
            if path not in self.names:
                return
            live = self.inodes[self.names[path]]["live"]
            at = offset if offset is not None else self.positions.get((pid, fd), 0)
            if len(live) < at:
                live.extend(bytes(at - len(live)))
            live[at:at + len(data)] = data
            if offset is None:
                self.positions[(pid, fd)] = at + len(data)
        elif kind == "fsync":
            inode = self.inodes[self.names[event[1]]]
            inode["durable"] = bytearray(inode["live"])
        elif kind == "rename":
            self.names[event[2]] = self.names.pop(event[1])
        elif kind == "unlink":
            self.names.pop(event[1], None)
        elif kind == "close":
            self.positions.pop((event[1], event[2]), None)
        elif kind == "seek":
            self.positions[(event[1], event[2])] = event[3]

    def cut(self, inode_id, size):
        inode = self.inodes[inode_id]
        del inode["live"][size:]
        inode["live"].extend(bytes(size - len(inode["live"])))
        del inode["durable"][size:]

    def after_power_cut(self, path):
        """What reading `path` gives after a power cut now; None when no file has the name."""
        if path not in self.names:
            return None
        inode = self.inodes[self.names[path]]
        size, durable = len(inode["live"]), inode["durable"]
        return bytes(durable[:size]) + bytes(max(0, size - len(durable)))

    def live(self, path):
        return bytes(self.inodes[self.names[path]]["live"]) if path in self.names else None


def check_every_moment(p, before):
    folder = p.folder
    path = ini_path(folder)
    if before is None:
        if os.path.exists(path):
            os.remove(path)
    else:
        write_ini(folder, before.decode("latin-1"))
    trace = os.path.join(os.path.dirname(folder), "save.strace")
    record_save(p, trace)
    after = read_bytes(folder)
    expect(after != before and b"Resolution=0" in after and b"HardwareFills=1" in after,
           "the save did not write the new settings: %r" % after)

    events = list(events_in(trace, os.path.realpath(folder)))
    disk = Disk({path: before} if before is not None else {})
    allowed = {before, after}
    moments = 0
    for count in range(len(events) + 1):
        if count:
            disk.apply(events[count - 1])
        moments += 1
        seen = disk.after_power_cut(path)
        if seen not in allowed:
            raise Failure("a power cut after call %d of %d (%s) leaves %r" % (
                count, len(events), describe(events[count - 1]) if count else "none",
                seen if seen is None or len(seen) < 300 else seen[:300] + b"..."))
    # The record must hold the whole save, or the check above proved nothing.
    expect(disk.live(path) == after, "the recorded calls do not end in the saved file")
    expect(any(e[0] in ("write", "rename") for e in events), "no write was recorded")
    strays = sorted(set(os.listdir(folder)) - {"hvsetup.exe", "halvern.ini"})
    expect(not strays, "files left beside the settings file: %s" % strays)
    # With nobody else about, the looks at the file before the rename change nothing: one
    # copy, flushed once, renamed once.
    kinds = [e[0] for e in events]
    expect(kinds.count("rename") == 1 and kinds.count("fsync") == 1,
           "%d renames and %d flushes, not one each" % (kinds.count("rename"), kinds.count("fsync")))
    print("%d moments of a power cut checked across %d recorded calls; each leaves the old "
          "file or the new one" % (moments, len(events)))


def describe(event):
    return " ".join(str(part) if not isinstance(part, bytes) else "%d bytes" % len(part)
                    for part in event)


def power_cut_during_a_save_into_an_existing_file(p):
    check_every_moment(p, BEFORE)


def power_cut_during_a_save_into_a_missing_file(p):
    check_every_moment(p, None)


if __name__ == "__main__":
    raise SystemExit(run_scenarios({
        f.__name__: f for f in (power_cut_during_a_save_into_an_existing_file,
                                power_cut_during_a_save_into_a_missing_file)}))
