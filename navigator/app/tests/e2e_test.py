#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""marnav end to end, offscreen, on the bundled demo survey.

nmea-replay plays the GPS log and the echo-sounder log into two
pseudo-terminals that the settings map to COM21 and COM22, twenty times
faster than recorded, after a short lead-in that lets marnav start; marnav
runs with --quit-after in a program folder of its own. The GPS replay plays the first
320 fixes, ends (the port disappears, as an unplugged receiver would), and
after a pause a second replay plays the next 60 fixes through the same link:
reception must resume by itself. Afterwards:

- both raw logs hold every sentence from the first one received, in order
  and in the line format "dd.MM.yyyy hhnnsszzz sentence" CR LF;
- the final project's vessel layer holds five lines and two circles centred
  on the grid position that geokit-cli to-grid gives for the last fix;
- the track layers hold one line per fix after the first (interval 1), in
  "track_fix" for qualities 2, 4 and 5 and "track_nofix" for the others;
- the automatic save at the 302nd fix went to D_0, the closing save to D_1,
  and "Last File Saved" names D_1;
- a final save that cannot be written ends marnav with status 1 and the
  reason on standard error.

Usage: e2e_test.py MARNAV NMEA_REPLAY HXV_DXF GEOKIT_CLI DEMO_FOLDER
"""

import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

PHASE1_FIXES = 320
PHASE2_FIXES = 60
SPEED = 20
LEAD_IN = 80  # recorded seconds before the first fix: 4 s at SPEED
QUIT_AFTER = 36
LINE = re.compile(r"^(\d\d\.\d\d\.\d{4}) (\d{9}) (\$[^\r\n]*)\r\n$")


def fail(message):
    print("e2e: " + message, file=sys.stderr)
    sys.exit(1)


def sentences_of(path):
    with open(path, newline="") as f:
        return [line.rstrip("\r\n") for line in f if line.startswith("$")]


def fixes(sentences, first, count):
    """The sentences of fixes first .. first+count-1 (a fix starts at GGA)."""
    starts = [i for i, s in enumerate(sentences) if s[3:6] == "GGA"]
    end = starts[first + count] if first + count < len(starts) else len(sentences)
    return sentences[starts[first]:end]


def write_lines(path, sentences):
    with open(path, "w", newline="") as f:
        for s in sentences:
            f.write(s + "\r\n")


def checksum(body):
    value = 0
    for ch in body:
        value ^= ord(ch)
    return "%02X" % value


def lead_in(talker):
    body = talker + "TXT,01,01,02,replay starts"
    return "$%s*%s" % (body, checksum(body))


def write_stamped(path, groups, period):
    """A raw log with date and time: a lead-in sentence, then after
    LEAD_IN recorded seconds one group of sentences every `period` seconds.
    The lead-in gives marnav time to start and open the port before the
    survey begins, whatever the speed of the machine."""
    def stamp(ms):
        return "07.12.2026 %02d%02d%02d%03d " % (9 + ms // 3600000, ms // 60000 % 60,
                                                 ms // 1000 % 60, ms % 1000)
    with open(path, "w", newline="") as f:
        f.write(stamp(0) + groups[0][0] + "\r\n")
        for k, group in enumerate(groups[1:]):
            for s in group:
                f.write(stamp(int(LEAD_IN * 1000 + k * period * 1000)) + s + "\r\n")


def wait_for(path, seconds=5.0):
    deadline = time.monotonic() + seconds
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            fail("no pty link " + path)
        time.sleep(0.02)


def read_log(path):
    """The sentences of a raw log, checking the line format."""
    if not os.path.exists(path):
        fail("no raw log " + path)
    out = []
    with open(path, newline="") as f:
        for n, line in enumerate(f, 1):
            m = LINE.match(line)
            if not m:
                fail("%s line %d is not 'dd.MM.yyyy hhnnsszzz sentence' CR LF: %r" %
                     (path, n, line))
            out.append((m.group(1), m.group(3)))
    return out


def check_contiguous(name, logged, source):
    """`logged` must be `source` from some point on, without a gap."""
    if not logged:
        fail(name + ": nothing logged")
    try:
        start = source.index(logged[0])
    except ValueError:
        fail(name + ": the first logged sentence is not in the source: " + logged[0])
    expected = source[start:start + len(logged)]
    if logged != expected:
        for i, (a, b) in enumerate(zip(logged, expected)):
            if a != b:
                fail("%s: sentence %d differs: logged %r, sent %r" % (name, i, a, b))
        fail(name + ": more sentences logged than sent")
    if start + len(logged) != len(source):
        fail("%s: the last %d sentences are missing" % (name, len(source) - start - len(logged)))
    if start > len(source) // 10:
        fail("%s: the first %d sentences were lost" % (name, start))
    return start


def info(hxv_dxf, project):
    r = subprocess.run([hxv_dxf, "info", project], capture_output=True, text=True)
    if r.returncode != 0:
        fail("project %s does not load: %s" % (project, r.stderr))
    return {layer["name"]: layer["shapes"] for layer in json.loads(r.stdout)["layers"]}


def circles(hxv_dxf, project, layer, tmp):
    dxf = os.path.join(tmp, "final.dxf")
    subprocess.run([hxv_dxf, "export", project, dxf], check=True, capture_output=True)
    with open(dxf) as f:
        lines = [l.strip() for l in f]
    found = []
    for i, code in enumerate(lines):
        if code == "CIRCLE" and lines[i - 1] == "0":
            group = {}
            for j in range(i + 1, len(lines) - 1, 2):
                if lines[j] == "0":
                    break  # the next entity
                group[lines[j]] = lines[j + 1]
            if group.get("8") == layer:
                found.append((float(group["10"]), float(group["20"]), float(group["40"])))
    return found


def nmea_degrees(value, hemisphere):
    dot = value.index(".")
    degrees = int(value[:dot - 2]) + float(value[dot - 2:]) / 60.0
    return -degrees if hemisphere in "SW" else degrees


def main():
    marnav, replay, hxv_dxf, geokit, demo = sys.argv[1:6]
    tmp = tempfile.mkdtemp(prefix="marnav-e2e.")
    root = os.path.join(tmp, "HXV")
    with open(os.path.join(demo, "marnav-demo.INI")) as f:
        ini_text = f.read().replace("@DEMO_DIR@", tmp)
    ini = os.path.join(tmp, "marnav.INI")
    with open(ini, "w") as f:
        f.write(ini_text)

    gps_all = sentences_of(os.path.join(demo, "survey-gps.nmea"))
    phase1 = fixes(gps_all, 0, PHASE1_FIXES)
    phase2 = fixes(gps_all, PHASE1_FIXES, PHASE2_FIXES)
    starts = [i for i, s in enumerate(phase1) if s[3:6] == "GGA"] + [len(phase1)]
    groups = [phase1[a:b] for a, b in zip(starts, starts[1:])]
    write_stamped(os.path.join(tmp, "phase1.nmea"), [[lead_in("GP")]] + groups, 1.0)
    phase1 = [lead_in("GP")] + phase1
    write_lines(os.path.join(tmp, "phase2.nmea"), phase2)
    sounder = sentences_of(os.path.join(demo, "survey-sbes.nmea"))[:2 * (PHASE1_FIXES + 60)]
    write_stamped(os.path.join(tmp, "sounder.nmea"), [[lead_in("SD")]] + [[s] for s in sounder],
                  0.5)
    sounder = [lead_in("SD")] + sounder

    gps_link = os.path.join(tmp, "gps-port")
    sounder_link = os.path.join(tmp, "sounder-port")
    env = dict(os.environ, HXV_ROOT=root, QT_QPA_PLATFORM="offscreen")
    players = []

    def play(link, name, rate):
        p = subprocess.Popen([replay, "--pty", "--link", link, "--rate", str(rate), "--speed",
                              str(SPEED), os.path.join(tmp, name)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        players.append(p)
        wait_for(link)
        return p

    try:
        gps1 = play(gps_link, "phase1.nmea", 1)
        play(sounder_link, "sounder.nmea", 2)
        shot = os.path.join(tmp, "marnav.png")
        app = subprocess.Popen([marnav, "--ini", ini, "--quit-after", str(QUIT_AFTER),
                                "--screenshot", shot], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
        # Unplug: the first replay ends and takes its pty with it.
        gps1.wait(timeout=(LEAD_IN + PHASE1_FIXES) / SPEED + 15)
        time.sleep(2.5)
        # Plug back in: the same link, new data.
        play(gps_link, "phase2.nmea", 1)
        try:
            out, err = app.communicate(timeout=QUIT_AFTER + 60)
        except subprocess.TimeoutExpired:
            app.kill()
            fail("marnav did not end after --quit-after")
        if app.returncode != 0:
            fail("marnav ended with status %d: %s" % (app.returncode, err))
    finally:
        for p in players:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                p.wait(timeout=10)

    if not os.path.exists(shot):
        fail("no screenshot")
    days = [d for d in os.listdir(root) if re.fullmatch(r"\d\d\.\d\d\.\d{4}", d)]
    if len(days) != 1:
        fail("expected one day folder, found %r" % days)
    day = days[0]
    folder = os.path.join(root, day)

    # Raw logs: every sentence, in order, from the first one received.
    gps_log = read_log(os.path.join(folder, day + " HalvexNV_GPS.log"))
    sounder_log = read_log(os.path.join(folder, day + " HalvexNV_SBES.log"))
    if any(d != day for d, _ in gps_log + sounder_log):
        fail("a log line carries a date other than the day folder's")
    gps_sentences = [s for _, s in gps_log]
    try:
        split = gps_sentences.index(phase2[0]) if phase2[0] in gps_sentences else next(
            i for i, s in enumerate(gps_sentences) if s in phase2)
    except StopIteration:
        fail("reception did not resume after the GPS port came back")
    check_contiguous("GPS log before the unplug", gps_sentences[:split], phase1)
    check_contiguous("GPS log after the plug", gps_sentences[split:], phase2)
    check_contiguous("sounder log", [s for _, s in sounder_log], sounder)

    # Expected track from the fixes received.
    ggas = [s.split(",") for s in gps_sentences if s[3:6] == "GGA"]
    fix_lines = sum(1 for g in ggas[1:] if g[6] in ("2", "4", "5"))
    nofix_lines = len(ggas) - 1 - fix_lines
    if len(ggas) < 302:
        fail("only %d fixes received; the automatic save needs 302" % len(ggas))

    # Rotation: the automatic save is D_0, the closing save D_1.
    d0 = os.path.join(folder, day + "_0.hxv")
    d1 = os.path.join(folder, day + "_1.hxv")
    for p in (d0, d1):
        if not os.path.exists(p):
            fail("missing project " + p)
    info(hxv_dxf, d0)
    with open(ini) as f:
        saved = re.findall(r"^Last File Saved\s*=\s*(.*?)\s*$", f.read(), re.M)
    if saved != [d1]:
        fail("'Last File Saved' is %r, not %s" % (saved, d1))
    final = info(hxv_dxf, d1)
    if final["track_fix"]["line"] != fix_lines or final["track_nofix"]["line"] != nofix_lines:
        fail("track lines %d fixed, %d unfixed; expected %d and %d from the %d fixes logged" %
             (final["track_fix"]["line"], final["track_nofix"]["line"], fix_lines, nofix_lines,
              len(ggas)))
    vessel = final["Halvex Vessel"]
    if vessel["line"] != 5 or vessel["circle"] != 2 or sum(vessel.values()) != 7:
        fail("vessel layer holds %r" % vessel)

    # The vessel sits on the grid position of the last fix.
    last = ggas[-1]
    lat = nmea_degrees(last[2], last[3])
    lon = nmea_degrees(last[4], last[5])
    point = os.path.join(tmp, "last.txt")
    with open(point, "w") as f:
        f.write("%.12f %.12f 0\n" % (lat, lon))
    ini_values = dict(re.findall(r"^([A-Za-z ]+?)\s*=(.*)$", ini_text, re.M))
    ellipsoid = " ".join(ini_values["Ellipsoids Set"].split()[2:4])
    grid = subprocess.run([geokit, "to-grid", "--pair", ini_values["Datum Parameters Set"], "--tm",
                           ini_values["Transverse Mercator Set"], "--ellipsoid", ellipsoid, point],
                          capture_output=True, text=True, check=True).stdout.split()
    east, north = float(grid[0]), float(grid[1])
    rings = circles(hxv_dxf, d1, "Halvex Vessel", tmp)
    if sorted(r for _, _, r in rings) != [10.0, 20.0]:
        fail("vessel circles %r" % rings)
    for x, y, _ in rings:
        if abs(x - east) > 0.001 or abs(y - north) > 0.001:
            fail("vessel at %.3f %.3f, the last fix is at %.3f %.3f on the grid" %
                 (x, y, east, north))
    # A final save that cannot land: standard error and exit status 1.
    blocked = os.path.join(tmp, "not-a-folder")
    with open(blocked, "w") as f:
        f.write("a file where the program folder should be\n")
    r = subprocess.run([marnav, "--ini", ini, "--quit-after", "0.3"],
                       env=dict(env, HXV_ROOT=blocked), capture_output=True, text=True,
                       timeout=60)
    if r.returncode != 1 or "cannot save project" not in r.stderr:
        fail("a failed final save gave status %d and %r" % (r.returncode, r.stderr))

    print("e2e: %d fixes (%d fixed, %d unfixed track lines), %d sounder sentences, resumed "
          "after the unplug; vessel at %.3f %.3f" %
          (len(ggas), fix_lines, nofix_lines, len(sounder_log), east, north))


if __name__ == "__main__":
    main()
