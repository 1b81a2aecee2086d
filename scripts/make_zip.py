#!/usr/bin/env python3
"""Writes a release zip that comes out byte-for-byte the same from the same files: fixed
entry order and times, no owner, permissions or other host details.

Usage: make_zip.py ZIP EPOCH NAME=PATH [NAME=PATH ...]
EPOCH (seconds, from SOURCE_DATE_EPOCH) gives every entry's time; zip cannot go below 1980.
"""
import sys
import time
import zipfile

ZIP_EPOCH_FLOOR = (1980, 1, 1, 0, 0, 0)


def main():
    out, epoch = sys.argv[1], int(sys.argv[2])
    entries = [arg.split("=", 1) for arg in sys.argv[3:]]
    # Zip keeps times to two seconds; say so rather than leave it to the writer.
    stamp = max(tuple(time.gmtime(epoch - epoch % 2)[:6]), ZIP_EPOCH_FLOOR)
    with zipfile.ZipFile(out, "w") as archive:
        for name, path in entries:  # in the order given
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits
            info.external_attr = 0x20  # the MS-DOS archive bit alone (0 would get Unix bits)
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


if __name__ == "__main__":
    main()
