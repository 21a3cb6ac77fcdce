#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Renders each DXF file through the chart's renderer (dxf_render) and
through ezdxf's drawing add-on (matplotlib), in the same world window, and
compares the two pictures as line masks.

Usage: dxf_side_by_side.py DXF_RENDER OUT_DIR EXPECTED_TO_DIFFER FILE.dxf...

The window is computed once, by dxf_render from the drawing's extents, and
handed to both. Each picture becomes a mask of the pixels that differ from
its background (its most common colour), dilated by one pixel; the files
match when at least MIN_SHARE of each mask's pixels lie within RADIUS pixels
of the other's. The pictures and the masks side by side go to OUT_DIR.

Files named in EXPECTED_TO_DIFFER (one name a line, "#" comments) are
rendered and reported but may differ; one of them that matches is reported
too, so that it can leave the list. Exits 77 (skipped) without ezdxf or
matplotlib, 1 when a file that should match does not.
"""
import os
import subprocess
import sys

WIDTH, HEIGHT = 640, 480
RADIUS = 2
MIN_SHARE = 0.90

try:
    import numpy as np
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from ezdxf import recover
    from ezdxf.addons.drawing import Frontend, RenderContext
    from ezdxf.addons.drawing.matplotlib import MatplotlibBackend
except ImportError as e:
    print(f"skipped: {e}")
    sys.exit(77)


def ezdxf_render(path, window, png):
    # recover decodes the "\U+" escapes of older releases; readfile does not.
    doc, _ = recover.readfile(path)
    dpi = 100
    fig = plt.figure(figsize=(WIDTH / dpi, HEIGHT / dpi), dpi=dpi)
    ax = fig.add_axes([0, 0, 1, 1])
    ax.set_axis_off()
    msp = doc.modelspace()
    ctx = RenderContext(doc)
    ctx.set_current_layout(msp)
    # A background of a colour no colour index is near, so that every line
    # stands out from it: black, white (ezdxf's for layers a file does not
    # define) and the greys 8 and 9 alike.
    ctx.current_layout_properties.set_colors("#9c5ad2")
    Frontend(ctx, MatplotlibBackend(ax)).draw_layout(
        msp, finalize=False, layout_properties=ctx.current_layout_properties)
    ax.set_xlim(window[0], window[2])
    ax.set_ylim(window[1], window[3])
    ax.set_aspect("auto")
    fig.savefig(png, dpi=dpi, facecolor="#9c5ad2")
    plt.close(fig)


def mask(png):
    image = plt.imread(png)[:, :, :3]
    image = (image * 255).astype(np.int32) if image.dtype != np.uint8 else image.astype(np.int32)
    flat = image.reshape(-1, 3)
    colours, counts = np.unique(flat, axis=0, return_counts=True)
    background = colours[np.argmax(counts)]
    return np.abs(image - background).sum(axis=2) > 96


def dilate(m, radius):
    out = m.copy()
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            if dx * dx + dy * dy > radius * radius:
                continue
            shifted = np.zeros_like(m)
            ys = slice(max(dy, 0), m.shape[0] + min(dy, 0))
            yd = slice(max(-dy, 0), m.shape[0] + min(-dy, 0))
            xs = slice(max(dx, 0), m.shape[1] + min(dx, 0))
            xd = slice(max(-dx, 0), m.shape[1] + min(-dx, 0))
            shifted[ys, xs] = m[yd, xd]
            out |= shifted
    return out


def share_within(a, b):
    """The share of a's pixels within RADIUS of one of b's."""
    if not a.any():
        return 1.0 if not b.any() else 0.0
    return float((a & dilate(b, RADIUS)).sum()) / float(a.sum())


def main():
    render, out_dir, differ_list = sys.argv[1:4]
    files = sys.argv[4:]
    os.makedirs(out_dir, exist_ok=True)
    expected_to_differ = set()
    with open(differ_list) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                expected_to_differ.add(line)
    failed = []
    for path in files:
        name = os.path.basename(path)
        stem = os.path.splitext(name)[0]
        ours_png = os.path.join(out_dir, stem + ".ours.png")
        theirs_png = os.path.join(out_dir, stem + ".ezdxf.png")
        run = subprocess.run([render, path, ours_png, str(WIDTH), str(HEIGHT)],
                             capture_output=True, text=True)
        if run.returncode != 0:
            print(f"{name}: dxf_render failed: {run.stderr.strip()}")
            failed.append(name)
            continue
        window = [float(v) for v in run.stdout.split()]
        ezdxf_render(path, window, theirs_png)
        ours = dilate(mask(ours_png), 1)
        theirs = dilate(mask(theirs_png), 1)
        a = share_within(ours, theirs)
        b = share_within(theirs, ours)
        both = np.concatenate([ours, np.ones((HEIGHT, 4), bool), theirs], axis=1)
        plt.imsave(os.path.join(out_dir, stem + ".masks.png"), ~both, cmap="gray")
        ok = a >= MIN_SHARE and b >= MIN_SHARE
        note = ""
        if name in expected_to_differ:
            note = " (expected to differ" + ("; it matches now: take it off the list)" if ok else ")")
        elif not ok:
            failed.append(name)
        print(f"{name}: {a:.1%} of ours within {RADIUS} px of ezdxf's, {b:.1%} of ezdxf's "
              f"within {RADIUS} px of ours: {'match' if ok else 'DIFFER'}{note}")
    if failed:
        print("differ: " + ", ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
