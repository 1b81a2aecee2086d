#!/usr/bin/env python3
"""Checks a built hvsetup.exe as a file, without running it: machine type, GUI subsystem and
its version, the functions it imports (each on the committed list), no TLS, relocations, its
size, the resources it carries (dialog template, strings, icon, manifest, version block), and
for the 32-bit build that its code holds no instruction a 386 lacks.

Usage: check_exe.py EXE (i686|x86_64) VERSION --allowed-imports FILE [--max-size BYTES]
Prints one line per check and exits 1 when any fails.
"""
import argparse
import re
import shutil
import struct
import subprocess
import xml.etree.ElementTree as ElementTree

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24
# Lowest Windows each build must start on: Win32s and NT 3.1 for 32 bits, XP x64 for 64 bits.
SUBSYSTEM_VERSIONS = {"i686": (3, 10), "x86_64": (5, 2)}
# Words that make Windows guess a program is an installer; the file name cannot avoid one.
INSTALLER_WORDS = ("setup", "install", "update", "patch")
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}
MACHINES = {"i686": (0x14C, 0x10B), "x86_64": (0x8664, 0x20B)}
BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82

DIALOG = {
    "style": 0x90C808C4, "exstyle": 0, "rect": (0, 0, 176, 237),
    "caption": "HVN Windows 95 Options", "font": (8, "MS Sans Serif"),
}
# id, class, style, x, y, cx, cy, text: in template order.
CONTROLS = [
    (102, BUTTON, 0x50020007, 12, 9, 152, 43, "Screen Resolution"),
    (103, BUTTON, 0x50020007, 12, 60, 152, 44, "Hardware Options"),
    (104, BUTTON, 0x50020007, 12, 112, 152, 34, "Multiplayer Compatability"),
    (110, BUTTON, 0x50020007, 12, 155, 152, 47, "Optional Information"),
    (100, BUTTON, 0x50010009, 28, 22, 120, 12, "640 x 400 pixels"),
    (101, BUTTON, 0x50010009, 28, 34, 120, 12, "640 x 480 pixels"),
    (105, BUTTON, 0x50010003, 28, 73, 120, 12, "Back buffer in Video Memory"),
    (106, BUTTON, 0x50010003, 28, 86, 120, 12, "Allow hardware filled blits"),
    (107, BUTTON, 0x50010003, 28, 125, 128, 12, "Compatable with DOS version 1.07"),
    (0xFFFF, STATIC, 0x50000000, 20, 169, 68, 8, "Socket Number:"),
    (108, EDIT, 0x50810000, 88, 167, 68, 12, ""),
    (0xFFFF, STATIC, 0x50000000, 20, 186, 68, 8, "Destination Address:"),
    (109, EDIT, 0x50810000, 88, 184, 68, 12, ""),
    (1, BUTTON, 0x50010300, 15, 215, 50, 14, "OK"),
    (2, BUTTON, 0x50010300, 108, 215, 50, 14, "Cancel"),
]
STRINGS = {
    200: "Invalid Socket Number",
    201: "A socket number must be a positive integer number between 0 and 16383.",
    202: "Invalid Destination Network Address",
    203: "A destination network address must be of the format xx.xx.xx.xx\n"
         " where xx is a hexadecimal address (ex. 73.0F.2C.8A).",
    204: "Settings Not Saved",
    205: "The settings could not be written to %s.",
    206: "Check that the file and its folder can be written to, then try again.",
    207: "The file is marked read-only. Clear Read-only in its Properties, then press OK again.",
    208: "Windows lets only administrators change files in this folder. Start hvsetup with "
         "\"Run as administrator\", or keep Halvern in a folder outside Program Files, then "
         "press OK again.",
    209: "The disk that holds %s is full. Free some space on it, then press OK again.",
}


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        (self.machine, sections, _, _, _, opt_size, self.characteristics) = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        self.subsystem_version = struct.unpack_from("<HH", data, opt + 48)
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(sections):
            s = opt + opt_size + 40 * i
            vsize, vaddr, rsize, rptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((vaddr, max(vsize, rsize), rptr))

    def offset(self, rva):
        for vaddr, size, rptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + rptr
        raise ValueError("rva %#x outside every section" % rva)

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def imports(self):
        """[(dll, function)]; a function imported by ordinal shows as '#N'."""
        rva, _ = self.dirs[1]
        wide = self.magic == 0x20B
        entry, ordinal_flag = (8, 1 << 63) if wide else (4, 1 << 31)
        found, at = [], self.offset(rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, at)
            if not any(fields):
                return found
            dll = self.cstring(fields[3])
            thunk = self.offset(fields[0] or fields[4])
            while True:
                value = struct.unpack_from("<Q" if wide else "<I", self.data, thunk)[0]
                if value == 0:
                    break
                if value & ordinal_flag:
                    found.append((dll, "#%d" % (value & 0xFFFF)))
                else:
                    found.append((dll, self.cstring((value & 0x7FFFFFFF) + 2)))
                thunk += entry
            at += 20

    def resources(self):
        """{(type, name): bytes}; names are ints or strings, first language only."""
        base_rva, _ = self.dirs[2]
        base = self.offset(base_rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                if name & 0x80000000:
                    s = base + (name & 0x7FFFFFFF)
                    n = struct.unpack_from("<H", self.data, s)[0]
                    name = self.data[s + 2:s + 2 + 2 * n].decode("utf-16-le")
                yield name, target

        found = {}
        for rtype, t in entries(base):
            for rname, n in entries(base + (t & 0x7FFFFFFF)):
                _, leaf = next(entries(base + (n & 0x7FFFFFFF)))
                data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                at = self.offset(data_rva)
                found[(rtype, rname)] = self.data[at:at + size]
        return found


def sz_or_ord(blob, at):
    first = struct.unpack_from("<H", blob, at)[0]
    if first == 0:
        return None, at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", blob, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", blob, end)[0] != 0:
        end += 2
    return blob[at:end].decode("utf-16-le"), end + 2


def parse_dialog(blob):
    style, exstyle, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", blob, 0)
    if style >> 16 == 0xFFFF:
        raise ValueError("an extended (DIALOGEX) template")
    menu, at = sz_or_ord(blob, 18)
    cls, at = sz_or_ord(blob, at)
    caption, at = sz_or_ord(blob, at)
    points = struct.unpack_from("<H", blob, at)[0]
    face, at = sz_or_ord(blob, at + 2)
    dialog = {"style": style, "exstyle": exstyle, "rect": (x, y, cx, cy), "menu": menu,
              "class": cls, "caption": caption, "font": (points, face)}
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        cstyle, cex, x, y, cx, cy, cid = struct.unpack_from("<IIhhhhH", blob, at)
        ccls, at = sz_or_ord(blob, at + 18)
        text, at = sz_or_ord(blob, at)
        extra = struct.unpack_from("<H", blob, at)[0]
        at += 2 + extra
        controls.append(((cid, ccls, cstyle, x, y, cx, cy, text or ""), cex))
    return dialog, controls


def string_table(resources):
    strings = {}
    for (rtype, block), blob in resources.items():
        if rtype != RT_STRING:
            continue
        at = 0
        for i in range(16):
            n = struct.unpack_from("<H", blob, at)[0]
            if n:
                strings[(block - 1) * 16 + i] = blob[at + 2:at + 2 + 2 * n].decode("utf-16-le")
            at += 2 + 2 * n
    return strings


def version_node(blob, at):
    """One VS_VERSIONINFO-style node: (key, value, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", blob, at)
    end = at + length
    key_end = at + 6
    while struct.unpack_from("<H", blob, key_end)[0] != 0:
        key_end += 2
    key = blob[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    size = value_length * 2 if kind == 1 else value_length
    value = blob[value_at:value_at + size]
    if kind == 1:
        value = value.decode("utf-16-le").rstrip("\0")
    children, child = [], (value_at + size + 3) & ~3
    while child < end:
        node = version_node(blob, child)
        children.append(node)
        child = (node[3] + 3) & ~3
    return key, value, children, end


def check_version(expect, blob, version):
    key, fixed, children, _ = version_node(blob, 0)
    signature, _, ms, ls, _, _, _, _, file_os, file_type = struct.unpack_from("<10I", fixed, 0)
    want = [int(part) for part in version.split(".")] + [0]
    expect("version block VS_VERSION_INFO", key == "VS_VERSION_INFO" and signature == 0xFEEF04BD)
    expect("file version %s" % version, [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF] == want[:4],
           repr((ms, ls)))
    expect("VOS__WINDOWS32, VFT_APP", (file_os, file_type) == (4, 1), repr((file_os, file_type)))
    blocks = {node[0]: node for node in children}
    tables = blocks.get("StringFileInfo", ("", "", [], 0))[2]
    translation = [v for k, v, _, _ in blocks.get("VarFileInfo", ("", "", [], 0))[2]
                   if k == "Translation"]
    expect("string block 040904B0 matches the translation 0409/1200",
           [t[0] for t in tables] == ["040904B0"] and translation == [struct.pack("<HH", 0x409, 1200)],
           repr(([t[0] for t in tables], translation)))
    strings = {k: v for k, v, _, _ in (tables[0][2] if tables else [])}
    for name in ("FileDescription", "OriginalFilename", "FileVersion", "ProductVersion"):
        expect("version string %s" % name, bool(strings.get(name)), repr(strings))
    expect("FileVersion and ProductVersion are %s" % version,
           strings.get("FileVersion") == version == strings.get("ProductVersion"), repr(strings))
    for name, text in strings.items():
        if name != "OriginalFilename":
            expect("version string %s avoids installer words" % name,
                   not any(word in text.lower() for word in INSTALLER_WORDS), text)


def check_manifest(expect, blob):
    try:
        root = ElementTree.fromstring(blob)
    except ElementTree.ParseError as error:
        expect("manifest is well-formed XML", False, str(error))
        return
    expect("manifest is well-formed XML", root.tag == ASM_V1 + "assembly", root.tag)
    tags = [element.tag for element in root.iter() if not element.tag.endswith("supportedOS")]
    repeated = sorted({tag for tag in tags if tags.count(tag) > 1})
    expect("each manifest element once", not repeated, repr(repeated))
    levels = list(root.iter(ASM_V3 + "requestedExecutionLevel"))
    expect("runs asInvoker without uiAccess",
           [(e.get("level"), e.get("uiAccess")) for e in levels] == [("asInvoker", "false")],
           repr([e.attrib for e in levels]))
    ids = [e.get("Id") for e in root.iter(COMPAT + "supportedOS")]
    expect("supportedOS Vista to 10/11, each once", sorted(ids) == sorted(SUPPORTED_OS), repr(ids))
    dpi = [e.text for e in root.iter() if e.tag.endswith("}dpiAware")]
    expect("system DPI aware", dpi == ["true"], repr(dpi))
    expect("no dependency on Common Controls 6",
           not any(e.tag.endswith("dependency") for e in root.iter()))


# Instructions the 386 lacks, as binutils' objdump names them: the 486's, the Pentium's and
# the Pentium Pro's (cmov and the rest: GCC's default for i686). MMX and SSE instructions are
# caught by their registers.
NEWER_THAN_386 = re.compile(
    r"^(bswap|cmpxchg\w*|xadd\w*|invd|wbinvd|invlpg"  # 486
    r"|cpuid|rdtsc|rdmsr|wrmsr|rsm"  # Pentium (cmpxchg8b above)
    r"|cmov\w+|fcmov\w+|f?u?comip?|fucomip?|nop[wl]|ud2\w*|rdpmc|sysenter|sysexit"  # P6
    r"|emms|[lsm]fence|prefetch\w*|movnti|clflush|fxsave|fxrstor|ldmxcsr|stmxcsr)$")
PREFIXES = {"lock", "rep", "repz", "repnz", "repe", "repne", "data16", "addr16", "data32",
            "addr32", "cs", "ds", "es", "ss", "fs", "gs"}
VECTOR_REGISTER = re.compile(r"%[xyz]?mm\d")


def newer_instructions(exe, objdump):
    """The lines of the disassembled code that hold an instruction a 386 lacks."""
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", exe], check=True,
                             capture_output=True, text=True).stdout
    found = []
    for line in listing.splitlines():
        parts = line.split("\t", 1)
        if len(parts) != 2 or not parts[0].strip().endswith(":"):
            continue
        words = [w for w in parts[1].split() if w not in PREFIXES]
        if words and (NEWER_THAN_386.match(words[0]) or VECTOR_REGISTER.search(parts[1])):
            found.append(line.strip())
    return found


def check_cpu_floor(expect, exe, objdump):
    if not objdump or not shutil.which(objdump):
        expect("a disassembler for the 386 check", False, "no %s" % objdump)
        return
    found = newer_instructions(exe, objdump)
    expect("no instruction newer than the 386 (%s)" % objdump, not found,
           "%d, such as %s" % (len(found), "; ".join(found[:5])))


def read_allowed_imports(path):
    """{(dll lower-case, function)} from the committed list; '#' starts a comment."""
    allowed = set()
    for line in open(path):
        words = line.split("#", 1)[0].split()
        if words:
            allowed.add((words[0].lower(), words[1]))
    return allowed


def check(exe, arch, version, max_size, allowed_imports, objdump):
    failures = []

    def expect(what, ok, detail=""):
        print(("ok    " if ok else "FAIL  ") + what + ("" if ok else ": " + detail))
        if not ok:
            failures.append(what)

    data = open(exe, "rb").read()
    pe = Pe(data)
    machine, magic = MACHINES[arch]
    expect("machine is %s" % arch, (pe.machine, pe.magic) == (machine, magic),
           "machine %#x, optional header %#x" % (pe.machine, pe.magic))
    expect("GUI subsystem", pe.subsystem == 2, "subsystem %d" % pe.subsystem)
    expect("subsystem version %d.%d" % SUBSYSTEM_VERSIONS[arch],
           pe.subsystem_version == SUBSYSTEM_VERSIONS[arch], repr(pe.subsystem_version))
    if max_size:
        expect("at most %d bytes" % max_size, len(data) <= max_size, "%d bytes" % len(data))
    if arch == "i686":
        check_cpu_floor(expect, exe, objdump)
    imports = {(dll.lower(), function) for dll, function in pe.imports()}
    dlls = sorted({dll for dll, _ in imports})
    expect("imports from KERNEL32 and USER32 only", set(dlls) <= {"kernel32.dll", "user32.dll"},
           str(dlls))
    unlisted = sorted(imports - allowed_imports)
    expect("every imported function is on the allowed list", not unlisted, repr(unlisted))
    expect("no TLS directory (nothing of a C runtime)", pe.dirs[9] == (0, 0), repr(pe.dirs[9]))
    expect("base relocations kept", pe.dirs[5][1] > 0 and not pe.characteristics & 1,
           "relocation directory %r, characteristics %#x" % (pe.dirs[5], pe.characteristics))

    res = pe.resources()
    blob = res.get((RT_DIALOG, "HVSETUP"))
    expect("dialog template HVSETUP present", blob is not None)
    if blob is not None:
        dialog, controls = parse_dialog(blob)
        for key, value in DIALOG.items():
            expect("dialog %s" % key, dialog[key] == value, repr(dialog[key]))
        expect("dialog has no menu and the standard class",
               dialog["menu"] is None and dialog["class"] is None, repr(dialog))
        expect("%d controls" % len(CONTROLS), len(controls) == len(CONTROLS), str(len(controls)))
        for i, (want, (got, exstyle)) in enumerate(zip(CONTROLS, controls)):
            expect("control %d (%s)" % (i + 1, want[7] or want[0]), got == want and exstyle == 0,
                   repr((got, exstyle)))

    strings = string_table(res)
    for sid, text in STRINGS.items():
        expect("string %d" % sid, strings.get(sid) == text, repr(strings.get(sid)))

    manifests = [name for (rtype, name) in res if rtype == RT_MANIFEST]
    expect("one manifest, id 1", manifests == [1], repr(manifests))
    if manifests == [1]:
        check_manifest(expect, res[(RT_MANIFEST, 1)])
    expect("version block present", (RT_VERSION, 1) in res)
    if (RT_VERSION, 1) in res:
        check_version(expect, res[(RT_VERSION, 1)], version)

    groups = [name for (rtype, name) in res if rtype == RT_GROUP_ICON]
    expect("one icon group, ICON_1", groups == ["ICON_1"], repr(groups))
    group = res.get((RT_GROUP_ICON, "ICON_1"))
    if group is not None:
        _, _, count = struct.unpack_from("<HHH", group, 0)
        w, h, colours, _, planes, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
        expect("icon group holds one 32x32 image of 16 colours",
               (count, w, h, colours, bits) == (1, 32, 32, 16, 4), repr((count, w, h, colours, bits)))
        image = res.get((RT_ICON, icon_id), b"")
        header = struct.unpack_from("<IiiHH", image, 0) if len(image) >= 16 else None
        expect("icon image is a 32x32, 4-bit bitmap", header == (40, 32, 64, 1, 4), repr(header))
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("arch", choices=sorted(MACHINES))
    parser.add_argument("version")
    parser.add_argument("--allowed-imports", required=True)
    parser.add_argument("--max-size", type=int, default=0)
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump",
                        help="the disassembler for the 386 check of an i686 exe")
    parser.add_argument("--cpu-floor-only", action="store_true",
                        help="only the 386 check, for any i686 exe")
    args = parser.parse_args()
    if args.cpu_floor_only:
        failures = []
        check_cpu_floor(lambda what, ok, detail="": (
            print(("ok    " if ok else "FAIL  ") + what + ("" if ok else ": " + detail)),
            ok or failures.append(what)), args.exe, args.objdump)
        raise SystemExit(1 if failures else 0)
    failures = check(args.exe, args.arch, args.version, args.max_size,
                     read_allowed_imports(args.allowed_imports), args.objdump)
    print("%s: %d checks failed" % (args.exe, len(failures)) if failures
          else "%s: all checks passed" % args.exe)
    raise SystemExit(1 if failures else 0)


if __name__ == "__main__":
    main()
