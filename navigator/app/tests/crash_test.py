#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""marnav killed with SIGKILL while it saves its project, many times: the
last project saved must always load.

Each run loads the project named by "Last File Saved" (a chart of some
150,000 track segments, so that a save takes a while), and closes after a
random fraction of a second (--quit-after), which saves it again to D_0 of
the day folder in the background. The run is killed at a random moment
around that save: before it, during it, or after the program ended. After
every kill the project the settings name must load (hxv-dxf info), and
every tenth time each project in the day folder too. The test reports how
many kills hit a save in progress (a temporary file left beside the
project) and requires some.

Usage: crash_test.py MARNAV HXV_DXF [RUNS]
"""

import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time

SEGMENTS = 150000


def fail(message):
    print("crash: " + message, file=sys.stderr)
    sys.exit(1)


def write_dxf(path, rng):
    with open(path, "w") as f:
        f.write("0\nSECTION\n2\nENTITIES\n")
        x, y = 400000.0, 4520000.0
        for _ in range(SEGMENTS):
            nx, ny = x + rng.uniform(-3, 3), y + rng.uniform(-3, 3)
            f.write("0\nLINE\n8\ntrack_fix\n10\n%.3f\n20\n%.3f\n30\n0.0\n11\n%.3f\n21\n%.3f\n31\n0.0\n"
                    % (x, y, nx, ny))
            x, y = nx, ny
        f.write("0\nENDSEC\n0\nEOF\n")


def loads(hxv_dxf, project):
    r = subprocess.run([hxv_dxf, "info", project], capture_output=True, text=True)
    return r.returncode == 0, r.stderr.strip()


def last_saved(ini):
    with open(ini) as f:
        found = re.findall(r"^Last File Saved\s*=\s*(.*?)\s*$", f.read(), re.M)
    return found[-1] if found else None


def main():
    marnav, hxv_dxf = sys.argv[1:3]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    rng = random.Random(0x5EED)
    tmp = tempfile.mkdtemp(prefix="marnav-crash.")
    root = os.path.join(tmp, "HXV")
    dxf = os.path.join(tmp, "track.dxf")
    start_project = os.path.join(tmp, "start.hxv")
    write_dxf(dxf, rng)
    subprocess.run([hxv_dxf, "import", dxf, start_project], check=True, capture_output=True)
    ini = os.path.join(tmp, "marnav.INI")
    with open(ini, "w") as f:
        f.write("[GPS1 COMUNICATION SETTINGS]\nPort No=COM250\n[SENSOR COMUNICATION SETTINGS]\n"
                "Sensor Enabled=0\n[FILE]\nLast File Saved=%s\n" % start_project)
    env = dict(os.environ, HXV_ROOT=root, QT_QPA_PLATFORM="offscreen")

    # One undisturbed run: how long a start, load and save take here.
    began = time.monotonic()
    r = subprocess.run([marnav, "--ini", ini, "--quit-after", "0.2"], env=env,
                       capture_output=True, text=True, timeout=120)
    whole = time.monotonic() - began
    if r.returncode != 0:
        fail("an undisturbed run failed: " + r.stderr)
    saved = last_saved(ini)
    if saved is None or saved == start_project or not loads(hxv_dxf, saved)[0]:
        fail("the undisturbed run did not save a loadable project: %r" % saved)
    day_folder = os.path.dirname(saved)

    interrupted = 0
    seen = {}  # temporary files left beside the projects: name -> modification time
    for run in range(runs):
        # A run is its start (with the load), the wait, then the closing
        # save; the kill falls in the part after the wait, scaled by what
        # the undisturbed run took, so that it meets the save on a fast
        # machine as on a slow one.
        quit_after = rng.uniform(0.0, 0.15)
        kill_at = quit_after + rng.uniform(0.3, 1.15) * max(whole - 0.2, 0.05)
        app = subprocess.Popen([marnav, "--ini", ini, "--quit-after", "%.3f" % quit_after],
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(kill_at)
        if app.poll() is None:
            app.send_signal(signal.SIGKILL)
        app.wait()
        # A write cut short leaves its temporary file (new or rewritten);
        # it stays there, so the next runs also meet a stale one.
        leftovers = {n: os.stat(os.path.join(day_folder, n)).st_mtime_ns
                     for n in os.listdir(day_folder) if not n.endswith((".hxv", ".log"))}
        if any(seen.get(n) != t for n, t in leftovers.items()):
            interrupted += 1
        seen = leftovers
        name = last_saved(ini)
        ok, why = loads(hxv_dxf, name)
        if not ok:
            fail("run %d (killed at %.2f s): the last project saved, %s, does not load: %s" %
                 (run, kill_at, name, why))
        for n in os.listdir(day_folder) if run % 10 == 9 else []:
            if n.endswith(".hxv"):
                ok, why = loads(hxv_dxf, os.path.join(day_folder, n))
                if not ok:
                    fail("run %d: %s does not load: %s" % (run, n, why))
    print("crash: %d kills, %d during a save (a run takes %.2f s); every project loads" %
          (runs, interrupted, whole))
    if interrupted == 0:
        fail("no kill landed during a save; the test proved nothing")


if __name__ == "__main__":
    main()
