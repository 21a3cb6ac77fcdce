#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a DXF file of 2-D entities in object coordinate systems of many
extrusions, and beside it the world coordinates ezdxf gives for them
(ezdxf's OCS.to_wcs, and for INSERTs its virtual entities).

Usage: make_ocs_cases.py OUT.dxf OUT.txt

Each entity lies on its own layer "E<n>"; each line of OUT.txt is
"E<n> <kind> <numbers...>":
  circle  cx cy
  arc     start_x start_y end_x end_y mid_x mid_y   (counter-clockwise in
          its own plane; mirrored planes reverse it in the world)
  text    x y                                     (its insertion point)
  poly    x1 y1 x2 y2 ...
  line    x1 y1 x2 y2                             (of an INSERT's block)
  skip    -                                       (not placeable)
"""
import math
import random
import sys

import ezdxf
from ezdxf.math import OCS, Vec3

random.seed(12)
doc = ezdxf.new("R2000")
msp = doc.modelspace()
block = doc.blocks.new("MARK", base_point=(0.5, 0.25))
block.add_line((1, 0), (2, 1))
block.add_line((0, 0), (0, 3))

extrusions = [
    (0, 0, 1), (0, 0, -1), (0, 0, 2.5), (0, 0, -0.3),
    # near the poles, both sides of the 1/64 bound of the algorithm
    (0.01, 0, -1), (0, 0.012, -1), (0.02, 0.0, 1),
]
tilted = [(0.6, 0.8, 0), (1, 1, 1), (0.3, -0.2, -1)]

out = []
n = 0


def layer():
    global n
    n += 1
    return f"E{n}"


def fmt(*values):
    return " ".join(f"{v:.12f}" for v in values)


for ext in extrusions:
    ocs = OCS(ext)
    parallel = abs(Vec3(ext).normalize().z) > 1 - 1e-12
    if not parallel:  # an ellipse in plan view: counted, not drawn
        for kind in ("circle", "arc", "text", "insert"):
            name = layer()
            if kind == "circle":
                msp.add_circle((1, 2), 3, dxfattribs={"layer": name, "extrusion": ext})
            elif kind == "arc":
                msp.add_arc((1, 2), 3, 10, 20, dxfattribs={"layer": name, "extrusion": ext})
            elif kind == "text":
                msp.add_text("T", dxfattribs={"layer": name, "extrusion": ext, "insert": (1, 2)})
            else:
                msp.add_blockref("MARK", (1, 2), dxfattribs={"layer": name, "extrusion": ext})
            out.append(f"{name} skip -")
        continue
    cx, cy = random.uniform(-50, 50), random.uniform(-50, 50)
    name = layer()
    msp.add_circle((cx, cy), 3, dxfattribs={"layer": name, "extrusion": ext})
    c = Vec3(ocs.to_wcs((cx, cy, 0)))
    out.append(f"{name} circle {fmt(c.x, c.y)}")

    a1, a2 = random.uniform(0, 360), random.uniform(0, 360)
    r = random.uniform(1, 10)
    name = layer()
    msp.add_arc((cx, cy), r, a1, a2, dxfattribs={"layer": name, "extrusion": ext})
    span = (a2 - a1) % 360
    pts = []
    for ang in (a1, a2, a1 + span / 2):
        p = Vec3(ocs.to_wcs((cx + r * math.cos(math.radians(ang)), cy + r * math.sin(math.radians(ang)), 0)))
        pts += [p.x, p.y]
    out.append(f"{name} arc {fmt(*pts)}")

    name = layer()
    msp.add_text("T", dxfattribs={"layer": name, "extrusion": ext, "insert": (cx, cy), "height": 2})
    p = Vec3(ocs.to_wcs((cx, cy, 0)))
    out.append(f"{name} text {fmt(p.x, p.y)}")

    name = layer()
    ins = (random.uniform(-20, 20), random.uniform(-20, 20))
    msp.add_blockref("MARK", ins, dxfattribs={
        "layer": name, "extrusion": ext, "rotation": 30, "xscale": 1.5, "yscale": -2})
    for e in msp.query(f'INSERT[layer=="{name}"]')[0].virtual_entities():
        out.append(f"{name} line {fmt(e.dxf.start.x, e.dxf.start.y, e.dxf.end.x, e.dxf.end.y)}")

for ext in extrusions + tilted:
    ocs = OCS(ext)
    elevation = random.uniform(-5, 5)
    pts = [(random.uniform(-30, 30), random.uniform(-30, 30)) for _ in range(4)]
    name = layer()
    msp.add_lwpolyline(pts, dxfattribs={"layer": name, "extrusion": ext, "elevation": elevation})
    world = [Vec3(ocs.to_wcs((x, y, elevation))) for x, y in pts]
    out.append(f"{name} poly " + fmt(*[v for p in world for v in (p.x, p.y)]))
    name = layer()
    msp.add_polyline2d(pts, dxfattribs={"layer": name, "extrusion": ext, "elevation": (0, 0, elevation)})
    out.append(f"{name} poly " + fmt(*[v for p in world for v in (p.x, p.y)]))

for ext in tilted:
    name = layer()
    msp.add_circle((1, 2), 3, dxfattribs={"layer": name, "extrusion": ext})
    out.append(f"{name} skip -")
    name = layer()
    msp.add_text("T", dxfattribs={"layer": name, "extrusion": ext, "insert": (1, 2)})
    out.append(f"{name} skip -")

doc.saveas(sys.argv[1])
with open(sys.argv[2], "w") as f:
    f.write("\n".join(out) + "\n")
