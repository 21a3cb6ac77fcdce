# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes one DXF file per release, R12 to 2018, with ezdxf, each holding the
same entities on layer "Survey": a LINE, a POINT, a CIRCLE, an ARC, a TEXT
placed by its centre, a 2D POLYLINE, an INSERT of a block holding a LINE
and, from release 2000 on, an LWPOLYLINE with a bulge and an MTEXT.

Usage: make_dxf_versions.py OUT_DIR
Prints the names of the files written, one per line.
"""
import os
import sys

import ezdxf
from ezdxf.enums import TextEntityAlignment

VERSIONS = ["R12", "R2000", "R2004", "R2007", "R2010", "R2013", "R2018"]


def write(version, path):
    doc = ezdxf.new(version)
    doc.layers.add("Survey", color=3)
    block = doc.blocks.new("MARK")
    block.add_line((0, 0), (1, 0), dxfattribs={"layer": "0"})
    msp = doc.modelspace()
    attribs = {"layer": "Survey"}
    msp.add_line((512000.5, 6012000.25), (512010.5, 6012005.25), dxfattribs=attribs)
    msp.add_point((1, 2), dxfattribs=attribs)
    msp.add_circle((3, 4), 5, dxfattribs=attribs)
    msp.add_arc((6, 7), 8, 10, 80, dxfattribs=attribs)
    msp.add_text("Buoy 7", height=2.5, dxfattribs=attribs).set_placement(
        (20, 30), align=TextEntityAlignment.MIDDLE_CENTER)
    msp.add_polyline2d([(0, 0), (4, 0), (4, 3)], close=True, dxfattribs=attribs)
    msp.add_blockref("MARK", (100, 200), dxfattribs=attribs)
    if version != "R12":
        msp.add_lwpolyline([(0, 0, 1), (10, 0, 0), (10, 5, 0)], format="xyb",
                           dxfattribs=attribs)
        msp.add_mtext("Wreck\\Pdepth 12 m", dxfattribs={**attribs, "char_height": 1.5}
                      ).set_location((40, 50))
    doc.saveas(path)


def main():
    out = sys.argv[1]
    for version in VERSIONS:
        path = os.path.join(out, version + ".dxf")
        write(version, path)
        print(path)


if __name__ == "__main__":
    main()
