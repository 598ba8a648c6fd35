#!/usr/bin/python3
"""PDF export benchmark: `vexlo-cli export` of MEMOS memo files (124 x 121, handwriting-like
strokes, a Japanese title each) against its peers from Debian (bench/peers/install.sh):

  one memo a page   vexlo-cli export --per-page 1 (A4)   against  img2pdf
  contact sheet     vexlo-cli export --per-page 12 (A4)  against  gm montage -tile 3x4, each
                                                                memo labelled with its name

Prints, for each, the file sizes and the size ratio, and the wall time of ROUNDS runs taken in
turn (VEXLO, peer, VEXLO, peer, ...) as the ratio of the medians with the spread of the
ratios round by round (min-max). Targets: size <= 1.1 x the peer, time <= the peer's.

    bench/peers/install.sh
    bench/export/pdf_bench.py [BUILD_DIR] [ROUNDS] [MEMOS]
"""
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageDraw
from PIL.PngImagePlugin import PngInfo


# gm's own font list names Type 1 files that Debian 12 no longer has: its labels get a font by path.
FONT = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"


def make_memos(folder, count):
    """Memo files as the library keeps them: 1-bit PNG, title and time in iTXt chunks."""
    rng = random.Random(1)
    paths = []
    for i in range(count):
        img = Image.new("1", (124, 121), 1)
        draw = ImageDraw.Draw(img)
        for _ in range(rng.randint(6, 20)):
            x, y = rng.randint(5, 118), rng.randint(5, 115)
            points = [(x, y)]
            for _ in range(rng.randint(3, 10)):
                x = min(122, max(1, x + rng.randint(-9, 9)))
                y = min(119, max(1, y + rng.randint(-9, 9)))
                points.append((x, y))
            draw.line(points, fill=0, width=rng.choice([1, 1, 2]))
        info = PngInfo()
        info.add_itxt("Title", f"メモ {i}: 会議")
        info.add_itxt("Arrived", f"2026-12-{1 + i % 28:02}T10:{i % 60:02}:00+01:00")
        path = os.path.join(folder, f"m{i:04}.png")
        img.save(path, pnginfo=info, optimize=True)
        paths.append(path)
    return paths


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def compare(name, ours, peer, out_ours, out_peer, rounds):
    times_ours, times_peer = [], []
    for _ in range(rounds):
        times_ours.append(timed(ours))
        times_peer.append(timed(peer))
    size_ours, size_peer = os.path.getsize(out_ours), os.path.getsize(out_peer)
    ratios = [a / b for a, b in zip(times_ours, times_peer)]
    print(f"{name}:")
    print(f"  size  VEXLO {size_ours} B, peer {size_peer} B: {size_ours / size_peer:.2f} x")
    print(f"  time  VEXLO {statistics.median(times_ours):.3f} s, peer {statistics.median(times_peer):.3f} s: "
          f"{statistics.median(times_ours) / statistics.median(times_peer):.2f} x "
          f"(round by round {min(ratios):.2f}-{max(ratios):.2f})")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    cli = os.path.abspath(os.path.join(build, "tools/cli/vexlo-cli"))
    env_ok = all(subprocess.run(["which", p], stdout=subprocess.DEVNULL).returncode == 0 for p in ("img2pdf", "gm"))
    if not os.access(cli, os.X_OK) or not env_ok:
        sys.exit("pdf_bench: needs a built vexlo-cli and the peers (bench/peers/install.sh)")
    with tempfile.TemporaryDirectory() as work:
        folder = os.path.join(work, "memos")
        os.mkdir(folder)
        memos = make_memos(folder, count)
        print(f"{count} memos, {sum(os.path.getsize(p) for p in memos)} B of PNG files, {rounds} rounds")
        page = [os.path.join(work, "vexlo-page.pdf"), os.path.join(work, "img2pdf.pdf")]
        compare("one memo a page (img2pdf)",
                [cli, "export", *memos, "--per-page", "1", "--out", page[0]],
                ["img2pdf", *memos, "-o", page[1]], *page, rounds)
        sheet = [os.path.join(work, "vexlo-sheet.pdf"), os.path.join(work, "gm.pdf")]
        compare("contact sheet, 12 a page (gm montage)",
                [cli, "export", *memos, "--per-page", "12", "--out", sheet[0]],
                ["gm", "montage", "-font", FONT, "-label", "%f", "-tile", "3x4", "-geometry", "+8+8", *memos, sheet[1]],
                *sheet, rounds)


if __name__ == "__main__":
    main()
