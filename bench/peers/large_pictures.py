#!/usr/bin/python3
"""large_pictures.py BUILD [ROUNDS] [SIZE...]: vexlo-cli convert against netpbm and ImageMagick on
photos of phone size, each prepared for the device (fitted into 124 x 121, Floyd-Steinberg).

  vexlo     vexlo-cli convert PHOTO --fit --dither fs --out OUT.bmp
  netpbm    pngtopnm PHOTO | pamscale -xyfit 124 121 | pamditherbw -fs   (jpegtopnm for a JPEG)
  magick    convert PHOTO -resize 124x121 -dither FloydSteinberg -monochrome OUT.bmp

The peers are installed from Debian by install_peers.sh. The photos are made once by
make_photo.c (a sky-to-ground gradient, waves, thin lines and sensor noise, as a camera gives)
through netpbm's pnmtopng and pnmtojpeg, into $VEXLO_PEER_PICTURES (/tmp/vexlo-peer-pictures by
default): SIZE is 30 (6000 x 5000 PNG), 108 (12000 x 9000 PNG), 200 (16320 x 12240 PNG) or
108jpeg (12000 x 9000 JPEG, quality 90); all four by default. Each round runs the three in turn.

For each photo and program it prints the median wall time, CPU time (user and system, of every
process: steadier than the wall time on a shared machine) and peak memory (the largest resident
set of the processes; for netpbm's pipeline also their sum, as they run at once), and VEXLO's
ratio to each peer: the median of the rounds' ratios and their spread (lowest-highest).
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURES = os.environ.get('VEXLO_PEER_PICTURES', '/tmp/vexlo-peer-pictures')
SIZES = {
    '30': (6000, 5000, 'png'),
    '108': (12000, 9000, 'png'),
    '200': (16320, 12240, 'png'),
    '108jpeg': (12000, 9000, 'jpg'),
}


def make_photo(key):
    w, h, kind = SIZES[key]
    path = os.path.join(PICTURES, f'photo-{w}x{h}.{kind}')
    if os.path.exists(path):
        return path
    os.makedirs(PICTURES, exist_ok=True)
    maker = os.path.join(PICTURES, 'make_photo')
    if not os.path.exists(maker):
        subprocess.run(['cc', '-O2', '-o', maker, os.path.join(HERE, 'make_photo.c'), '-lm'], check=True)
    encoder = ['pnmtopng'] if kind == 'png' else ['pnmtojpeg', '--quality=90']
    print(f'making {path} ...', file=sys.stderr)
    with open(path + '.part', 'wb') as out:
        maker_run = subprocess.Popen([maker, str(w), str(h)], stdout=subprocess.PIPE)
        subprocess.run(encoder, stdin=maker_run.stdout, stdout=out, check=True)
        maker_run.stdout.close()
        if maker_run.wait() != 0:
            raise SystemExit('make_photo failed')
    os.rename(path + '.part', path)
    return path


def run_pipeline(commands, out_path):
    """Runs COMMANDS piped one into the next, the last into OUT_PATH: (seconds, peak KiB of the
    largest process, sum of the peaks, all ended well, CPU seconds of all of them)."""
    start = time.monotonic()
    procs = []
    with open(out_path, 'wb') as out:
        previous = None
        for i, cmd in enumerate(commands):
            last = i == len(commands) - 1
            p = subprocess.Popen(cmd, stdin=previous, stdout=out if last else subprocess.PIPE,
                                 stderr=subprocess.PIPE)
            if previous is not None:
                previous.close()
            previous = None if last else p.stdout
            procs.append(p)
        peaks, ok, cpu = [], True, 0.0
        for p in procs:
            _, status, usage = os.wait4(p.pid, 0)
            p.returncode = os.waitstatus_to_exitcode(status)
            peaks.append(usage.ru_maxrss)
            cpu += usage.ru_utime + usage.ru_stime
            if p.returncode != 0:
                ok = False
                sys.stderr.write(f'{p.args[0]}: {p.stderr.read().decode(errors="replace").strip()[:300]}\n')
            p.stderr.close()
    return time.monotonic() - start, max(peaks), sum(peaks), ok, cpu


def programs(build, photo, out_dir):
    cli = os.path.join(build, 'tools', 'cli', 'vexlo-cli')
    decoder = 'pngtopnm' if photo.endswith('.png') else 'jpegtopnm'
    return {
        'vexlo': ([[cli, 'convert', photo, '--fit', '--dither', 'fs', '--out', os.path.join(out_dir, 'vexlo.bmp')]],
                  os.path.join(out_dir, 'vexlo.log')),
        'netpbm': ([[decoder, photo], ['pamscale', '-xyfit', '124', '121'], ['pamditherbw', '-fs']],
                   os.path.join(out_dir, 'netpbm.pam')),
        'magick': ([['convert', photo, '-resize', '124x121', '-dither', 'FloydSteinberg', '-monochrome',
                     os.path.join(out_dir, 'magick.bmp')]], os.path.join(out_dir, 'magick.log')),
    }


def spread(values, fmt):
    return f'{fmt(statistics.median(values))} ({fmt(min(values))}-{fmt(max(values))})'


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    build = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    keys = sys.argv[3:] or list(SIZES)
    subprocess.run([os.path.join(HERE, 'install_peers.sh')], check=True)
    with tempfile.TemporaryDirectory() as out_dir:
        for key in keys:
            photo = make_photo(key)
            w, h, kind = SIZES[key]
            runs = {name: [] for name in ('vexlo', 'netpbm', 'magick')}
            for _ in range(rounds):
                for name, (commands, out_path) in programs(build, photo, out_dir).items():
                    runs[name].append(run_pipeline(commands, out_path))
            size_mib = os.path.getsize(photo) / 2**20
            print(f'\n{w} x {h} {kind.upper()} ({w * h / 1e6:.0f} MP, {size_mib:.0f} MiB), {rounds} rounds')
            print(f'  {"program":8} {"time s":>22} {"CPU s":>22} {"peak MiB":>22} {"sum of peaks MiB":>18}  ended well')
            for name, results in runs.items():
                secs = [r[0] for r in results]
                cpu = [r[4] for r in results]
                peak = [r[1] / 1024 for r in results]
                total = [r[2] / 1024 for r in results]
                ok = all(r[3] for r in results)
                print(f'  {name:8} {spread(secs, lambda v: f"{v:.2f}"):>22} {spread(cpu, lambda v: f"{v:.2f}"):>22} '
                      f'{spread(peak, lambda v: f"{v:.0f}"):>22} '
                      f'{statistics.median(total):>18.0f}  {"yes" if ok else "NO"}')
            for peer in ('netpbm', 'magick'):
                if not all(r[3] for r in runs[peer]) or not all(r[3] for r in runs['vexlo']):
                    continue
                t = [v[0] / p[0] for v, p in zip(runs['vexlo'], runs[peer])]
                m = [v[1] / p[1] for v, p in zip(runs['vexlo'], runs[peer])]
                c = [v[4] / p[4] for v, p in zip(runs['vexlo'], runs[peer])]
                print(f'  vexlo / {peer}: time {spread(t, lambda v: f"{v:.2f}")}, CPU time {spread(c, lambda v: f"{v:.2f}")}, '
                      f'peak memory {spread(m, lambda v: f"{v:.3f}")}')


if __name__ == '__main__':
    main()
