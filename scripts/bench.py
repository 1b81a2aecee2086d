#!/usr/bin/python3
"""Start-up time of hvsetup.exe against a baseline with the same dialog and an empty
procedure, under Wine on a private Xvfb with a warm wineserver. Prints figures; judges
nothing. Usage: bench.py EXE BASELINE_EXE WINE_ENV WINE_ROOT BITS [RUNS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, Xatom, display

CAPTION = "HVN Windows 95 Options"


def load_env(root):
    env = dict(os.environ)
    for line in open(os.path.join(root, "env")):
        if line.startswith("export "):
            key, value = line[len("export "):].strip().split("=", 1)
            env[key] = value.strip("'")
    return env


def window_name(d, window):
    try:
        prop = window.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
    except Exception:  # the window may be gone already
        return None
    return prop.value.decode("latin-1") if prop else None


def time_to_window(exe, env, wine_env, root, bits, folder):
    """Seconds from starting the program to its dialog being mapped with its caption."""
    d = display.Display(env["DISPLAY"])
    screen_root = d.screen().root
    screen_root.change_attributes(event_mask=X.SubstructureNotifyMask)
    d.sync()
    start = time.perf_counter()
    process = subprocess.Popen(["bash", wine_env, "run", root, bits, exe], cwd=folder, env=env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    watched = set()
    elapsed = None
    deadline = start + 60
    while elapsed is None and time.perf_counter() < deadline:
        while d.pending_events() == 0 and time.perf_counter() < deadline:
            time.sleep(0.001)
        if d.pending_events() == 0:
            break
        event = d.next_event()
        if event.type == X.CreateNotify and event.window.id not in watched:
            watched.add(event.window.id)
            event.window.change_attributes(event_mask=X.PropertyChangeMask | X.StructureNotifyMask)
        elif event.type in (X.MapNotify, X.PropertyNotify):
            window = event.window
            attrs = window.get_attributes()
            if attrs.map_state == X.IsViewable and window_name(d, window) == CAPTION:
                elapsed = time.perf_counter() - start
    process.kill()
    process.wait()
    d.close()
    if elapsed is None:
        raise SystemExit("bench: %s showed no dialog within 60 s" % exe)
    return elapsed


def main():
    exe, baseline, wine_env, root = (os.path.abspath(arg) for arg in sys.argv[1:5])
    bits = sys.argv[5]
    runs = int(sys.argv[6]) if len(sys.argv) > 6 else 9
    env = load_env(root)
    work = tempfile.mkdtemp(prefix="hvbench-")
    try:
        copies = {}
        for name, source in (("hvsetup", exe), ("baseline", baseline)):
            folder = os.path.join(work, name)
            os.makedirs(folder)
            copies[name] = (os.path.join(folder, "hvsetup.exe"), folder)
            shutil.copy(source, copies[name][0])
        # One run each to warm the server, the prefix and the file cache.
        for name in copies:
            time_to_window(copies[name][0], env, wine_env, root, bits, copies[name][1])
        times = {name: [] for name in copies}
        for _ in range(runs):  # interleaved, so drift hits both alike
            for name in copies:
                times[name].append(time_to_window(copies[name][0], env, wine_env, root, bits,
                                                  copies[name][1]))
    finally:
        shutil.rmtree(work)
    median = {name: statistics.median(values) for name, values in times.items()}
    print("start-up to visible dialog, median of %d runs (%d-bit, Wine on Xvfb, warm wineserver)"
          % (runs, int(bits)))
    for name in ("hvsetup", "baseline"):
        values = sorted(times[name])
        print("  %-9s %7.1f ms   (min %.1f, max %.1f)" % (name, median[name] * 1000,
                                                          values[0] * 1000, values[-1] * 1000))
    print("  ratio     %7.3f   (target: at most 1.05)" % (median["hvsetup"] / median["baseline"]))
    print("size")
    print("  hvsetup.exe   %6d bytes" % os.path.getsize(exe))
    print("  baseline.exe  %6d bytes" % os.path.getsize(baseline))


if __name__ == "__main__":
    main()
