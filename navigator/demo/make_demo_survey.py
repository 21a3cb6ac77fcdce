#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the bundled demo survey: what a GPS receiver and a single-beam echo
sounder would send during ten minutes of survey lines in the Sea of Marmara.

survey-gps.nmea   GGA, RMC, GSA, three GSV and HDT once a second; the fix
                  quality changes along the way (RTK fixed, float, DGPS and
                  autonomous stretches), so the track shows every colour.
survey-sbes.nmea  DBT and DPT depth sentences once a second.

The logs are unstamped: nmea-replay plays the GPS log one fix per second
(--rate 1) and the sounder log one sentence per half second (--rate 2).
Everything is computed from fixed numbers (and a seeded generator for the
noise), so running the script again gives the same files byte for byte.

Usage: make_demo_survey.py [OUTPUT_FOLDER]   (default: this script's folder)
"""

import math
import os
import random
import sys

START_SECONDS = 9 * 3600  # 09:00:00 UTC
DATE_RMC = "071226"  # 7 December 2026
DURATION = 600  # seconds, one fix each
ORIGIN_LAT = 40.8600  # degrees, south-west corner of the survey block
ORIGIN_LON = 28.8400
LINE_LENGTH = 400.0  # metres
LINE_SPACING = 50.0  # metres
SPEED = 2.5  # metres per second over ground
CRAB = 2.5  # degrees between the gyro heading and the course (current from the west)

# Fix quality by elapsed second: (first second, quality).
QUALITY_SCHEDULE = [(0, 4), (90, 5), (130, 4), (200, 2), (240, 1), (270, 4), (400, 5),
                    (430, 4)]

SATELLITES = [  # PRN, elevation, azimuth at the start, base SNR
    (2, 45, 120, 44), (5, 30, 210, 41), (7, 62, 30, 47), (10, 18, 280, 33), (13, 15, 300, 35),
    (15, 8, 190, 9), (18, 50, 80, 45), (20, 22, 250, 38), (24, 70, 160, 48), (29, 12, 340, 30)]


def checksum(body):
    value = 0
    for ch in body:
        value ^= ord(ch)
    return "%02X" % value


def sentence(body):
    return "$%s*%s" % (body, checksum(body))


def quality_at(second):
    quality = QUALITY_SCHEDULE[0][1]
    for start, q in QUALITY_SCHEDULE:
        if second >= start:
            quality = q
    return quality


def track(second):
    """Position (east, north metres from the origin) and course (degrees)
    at `second`: north-south lines joined by half-circle turns."""
    turn_radius = LINE_SPACING / 2
    line_time = LINE_LENGTH / SPEED
    turn_time = math.pi * turn_radius / SPEED
    leg = 0
    t = float(second)
    while t >= line_time + turn_time:
        t -= line_time + turn_time
        leg += 1
    north_going = leg % 2 == 0
    x0 = leg * LINE_SPACING
    if t < line_time:
        along = t * SPEED
        y = along if north_going else LINE_LENGTH - along
        return x0, y, 0.0 if north_going else 180.0
    # Turn to the east at the end of the line.
    angle = (t - line_time) * SPEED / turn_radius  # radians swept
    cx = x0 + turn_radius
    if north_going:
        x = cx - turn_radius * math.cos(angle)
        y = LINE_LENGTH + turn_radius * math.sin(angle)
        course = math.degrees(angle)
    else:
        x = cx - turn_radius * math.cos(angle)
        y = -turn_radius * math.sin(angle)
        course = 180.0 - math.degrees(angle)
    return x, y, course % 360.0


def to_geographic(east, north):
    """Small offsets on a sphere of the WGS-84 mean radius: good to
    centimetres over a block of a few hundred metres."""
    radius = 6371008.8
    lat = ORIGIN_LAT + math.degrees(north / radius)
    lon = ORIGIN_LON + math.degrees(east / (radius * math.cos(math.radians(ORIGIN_LAT))))
    return lat, lon


def nmea_angle(value, degree_digits):
    degrees = int(value)
    minutes = (value - degrees) * 60.0
    text = "%0*d%010.7f" % (degree_digits, degrees, minutes)
    return text


def hhmmss(second):
    s = START_SECONDS + second
    return "%02d%02d%02d.00" % (s // 3600, (s // 60) % 60, s % 60)


def gps_epoch(second, rng):
    east, north, course = track(second)
    quality = quality_at(second)
    noise = {4: 0.01, 5: 0.15, 2: 0.6, 1: 2.5}[quality]
    east += rng.gauss(0.0, noise)
    north += rng.gauss(0.0, noise)
    lat, lon = to_geographic(east, north)
    used = 10 if quality in (4, 5) else (9 if quality == 2 else 7)
    hdop = {4: 0.7, 5: 0.8, 2: 1.0, 1: 1.6}[quality]
    height = 38.4 + rng.gauss(0.0, noise)
    age, station = {4: ("1.0", "0001"), 5: ("1.0", "0001"), 2: ("4.2", "0121"), 1: ("", "")}[quality]
    time = hhmmss(second)
    lat_text = nmea_angle(lat, 2)
    lon_text = nmea_angle(lon, 3)
    knots = SPEED / 0.514444 + rng.gauss(0.0, 0.05)
    cog = (course + rng.gauss(0.0, 0.3)) % 360.0
    gyro = (course + CRAB + rng.gauss(0.0, 0.2)) % 360.0
    mode = {4: "R", 5: "F", 2: "D", 1: "A"}[quality]
    lines = [
        sentence("GPGGA,%s,%s,N,%s,E,%d,%02d,%.1f,%.2f,M,37.10,M,%s,%s" %
                 (time, lat_text, lon_text, quality, used, hdop, height, age, station)),
        sentence("GPRMC,%s,A,%s,N,%s,E,%.2f,%.1f,%s,5.2,E,%s" %
                 (time, lat_text, lon_text, knots, cog, DATE_RMC, mode)),
    ]
    prns = [s[0] for s in SATELLITES[:used]]
    fields = ["%02d" % p for p in prns] + [""] * (12 - len(prns))
    lines.append(sentence("GPGSA,A,3,%s,%.1f,%.1f,%.1f" % (",".join(fields), hdop + 0.6, hdop,
                                                         hdop + 0.4)))
    count = len(SATELLITES)
    pages = (count + 3) // 4
    for page in range(pages):
        blocks = []
        for prn, elevation, azimuth, snr in SATELLITES[page * 4:page * 4 + 4]:
            drift = second / 240.0  # satellites move a few degrees over the survey
            el = max(1, min(89, int(round(elevation + drift * (1 if azimuth < 180 else -1)))))
            az = int(round(azimuth + drift * 4)) % 360
            level = max(0, min(60, int(round(snr + rng.gauss(0.0, 1.0)))))
            blocks.append("%02d,%02d,%03d,%02d" % (prn, el, az, level))
        lines.append(sentence("GPGSV,%d,%d,%02d,%s" % (pages, page + 1, count, ",".join(blocks))))
    lines.append(sentence("HEHDT,%.1f,T" % gyro))
    return lines


def sounder_epoch(second, rng):
    east, north, _ = track(second)
    # A gentle slope to the east with a ridge across the middle of the block.
    depth = 42.0 + east * 0.03 + 4.0 * math.exp(-((north - 200.0) / 60.0) ** 2)
    depth += rng.gauss(0.0, 0.05)
    feet = depth / 0.3048
    fathoms = depth / 1.8288
    return [
        sentence("SDDBT,%.1f,f,%.2f,M,%.1f,F" % (feet, depth, fathoms)),
        sentence("SDDPT,%.2f,0.5,100.0" % depth),
    ]


HEADER_GPS = """# Halvex demo survey, GPS receiver: written by make_demo_survey.py, not a recording.
# Ten minutes of north-south survey lines in the Sea of Marmara, 7 December 2026
# from 09:00:00 UTC, 1 Hz: GGA, RMC, GSA, GSV and HDT (gyro) per second; fix
# quality 4 (RTK fixed) with stretches of 5 (float), 2 (DGPS) and 1 (autonomous).
"""

HEADER_SBES = """# Halvex demo survey, single-beam echo sounder: written by make_demo_survey.py,
# not a recording. Depth below transducer (DBT) and depth (DPT) once a second,
# over the same ten minutes as survey-gps.nmea.
"""


def write(path, header, lines):
    with open(path, "w", newline="") as out:
        out.write(header.replace("\n", "\r\n"))
        for line in lines:
            out.write(line + "\r\n")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    rng = random.Random(20261207)
    gps, sbes = [], []
    for second in range(DURATION):
        gps.extend(gps_epoch(second, rng))
        sbes.extend(sounder_epoch(second, rng))
    write(os.path.join(folder, "survey-gps.nmea"), HEADER_GPS, gps)
    write(os.path.join(folder, "survey-sbes.nmea"), HEADER_SBES, sbes)


if __name__ == "__main__":
    main()
