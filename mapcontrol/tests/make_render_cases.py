#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the DXF files of the side-by-side rendering test into data/:
rotated texts, mirrored arcs (extrusion 0, 0, -1), bulged polylines and
entity colours, as a CAD program would write them (ezdxf, release 2000)."""
import math
import os

import ezdxf

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")


def new():
    doc = ezdxf.new("R2000")
    return doc, doc.modelspace()


doc, msp = new()
for i, angle in enumerate((0, 30, 90, 135)):
    msp.add_text(f"Wreck {angle}", dxfattribs={"insert": (0, i * 12), "height": 4,
                                                "rotation": angle})
msp.add_line((-5, -5), (60, -5))
doc.saveas(os.path.join(here, "render_text_rotated.dxf"))

doc, msp = new()
for i in range(4):
    cx = i * 30
    msp.add_arc((cx, 0), 10, 20 + 40 * i, 200 + 30 * i)
    # The same arc seen from below: drawn mirrored about the y axis.
    msp.add_arc((-cx, -25), 10, 20 + 40 * i, 200 + 30 * i, dxfattribs={"extrusion": (0, 0, -1)})
    msp.add_circle((-cx, -50), 3 + i, dxfattribs={"extrusion": (0, 0, -1)})
doc.saveas(os.path.join(here, "render_mirrored_arcs.dxf"))

doc, msp = new()
msp.add_lwpolyline([(0, 0, 0, 0, 1), (20, 0, 0, 0, -0.5), (40, 0, 0, 0, 0), (40, 20)],
                   format="xyseb")
msp.add_lwpolyline([(0, 30, 0, 0, 0.3), (20, 40, 0, 0, 0.3), (40, 30, 0, 0, 0.3)],
                   format="xyseb", close=True)
msp.add_polyline2d([(0, -20), (30, -20), (30, -40)], dxfattribs={"flags": 0})
pl = msp.query("POLYLINE")[0]
pl.vertices[0].dxf.bulge = 0.8
doc.saveas(os.path.join(here, "render_bulges.dxf"))

doc, msp = new()
doc.layers.add("Red", color=1)
doc.layers.add("Blue", color=5)
for i in range(8):
    msp.add_line((0, i * 5), (40, i * 5 + 10), dxfattribs={"layer": "Red", "color": i + 1})
    msp.add_circle((60, i * 5), 2, dxfattribs={"layer": "Blue", "true_color": 0x00A0FF + i})
doc.saveas(os.path.join(here, "render_colours.dxf"))
