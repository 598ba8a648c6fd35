#!/usr/bin/python3
"""picture_bombs_bench.py VEXLO_CLI [DIR]: pictures made to cost far more than their size, fed to
vexlo-cli encode, convert and export; prints the time and peak memory of each run as a table.

The pictures (written into DIR, a temporary folder by default):
  prog-5477-20000scans.jpg  a progressive JPEG of 5477 x 5477 that repeats its AC scan 20 000
                            times (1.1 MB; each scan a pass over every block)
  prog-5477-1000scans.jpg   the same with 1000 scans
  prog-64-3scans.jpg        a small progressive JPEG of 3 scans (a sane one: must be read)
  ztxt-1000x8MB.png         a 16 x 16 PNG with 1000 zTXt chunks, each inflating to 8 MB (7.8 MB)
  itxt-200x8MB.png          200 compressed iTXt chunks of the keyword Title, 8 MB each
  ztxt-1x1GB.png            one zTXt chunk of the keyword Title that inflates to 1 GiB
  iccp-bomb.png             a colour profile that inflates to 200 MB
  text-250MB.png            one uncompressed tEXt chunk of 250 MB
  claim-16320x12240-whole.png  a black 200 megapixel PNG in 200 KB (a sound picture: convert
                            reads it in rows, the others refuse it for its size)
  claim-16320x12240-2rows.png  the same claim with two rows of data (refused where the data ends)
  claim-65535x65535.png     4.3 gigapixels claimed (refused from the header)
A run that takes longer than the limit ($VEXLO_BENCH_LIMIT seconds, 60 by default) is ended
and shown as such.
"""
import json
import os
import resource
import struct
import subprocess
import sys
import tempfile
import time
import zlib

LIMIT_S = int(os.environ.get('VEXLO_BENCH_LIMIT', '60'))


def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)


def small_png(extra):
    ihdr = chunk(b'IHDR', struct.pack('>IIBBBBB', 16, 16, 1, 0, 0, 0, 0))
    idat = chunk(b'IDAT', zlib.compress(b'\0\xff\xff' * 16))
    return b'\x89PNG\r\n\x1a\n' + ihdr + extra + idat + chunk(b'IEND', b'')


def claiming_png(w, h, rows):
    """A grey PNG that claims W x H and holds ROWS rows of black: tiny for its pixels."""
    ihdr = chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 0, 0, 0, 0))
    z = zlib.compressobj(9)
    row = b'\0' * (w + 1)
    data = b''.join(z.compress(row) for _ in range(rows)) + z.flush()
    return b'\x89PNG\r\n\x1a\n' + ihdr + chunk(b'IDAT', data) + chunk(b'IEND', b'')


def segment(marker, data):
    return b'\xff' + bytes([marker]) + struct.pack('>H', len(data) + 2) + data


def progressive_jpeg(w, h, scans):
    """Grey, all blocks empty: a DC scan, then SCANS identical AC scans of one EOB run each."""
    blocks = ((w + 7) // 8) * ((h + 7) // 8)
    eob_syms = [k << 4 for k in range(14, -1, -1)]  # EOBRUN of 2^k blocks, one symbol a length

    def codes():
        out, code = {}, 0
        for i, sym in enumerate(eob_syms):
            out[sym] = format(code, '0%db' % (i + 1))
            code = (code + 1) << 1
        return out

    def eob_runs(n):
        c, bits, left = codes(), [], n
        while left > 0:
            run = min(left, 32767)
            k = run.bit_length() - 1
            bits.append(c[k << 4] + (format(run - (1 << k), '0%db' % k) if k else ''))
            left -= run
        s = ''.join(bits)
        s += '1' * ((8 - len(s) % 8) % 8)
        return bytes(int(s[i:i + 8], 2) for i in range(0, len(s), 8)).replace(b'\xff', b'\xff\x00')

    def zeros(nbits):
        data = bytearray((nbits + 7) // 8)
        pad = len(data) * 8 - nbits
        if pad:
            data[-1] |= (1 << pad) - 1
        return bytes(data)

    def sos(ss, se):
        return segment(0xDA, b'\x01\x01\x00' + bytes([ss, se, 0]))

    dqt = segment(0xDB, b'\x00' + b'\x01' * 64)
    sof = segment(0xC2, struct.pack('>BHHB', 8, h, w, 1) + b'\x01\x11\x00')
    dht_dc = segment(0xC4, bytes([0x00, 1] + [0] * 15 + [0]))
    dht_ac = segment(0xC4, bytes([0x10] + [1] * 15 + [0]) + bytes(eob_syms))
    ac = sos(1, 63) + eob_runs(blocks)
    return b'\xff\xd8' + dqt + sof + dht_dc + dht_ac + sos(0, 0) + zeros(blocks) + ac * scans + b'\xff\xd9'


def write_pictures(folder):
    ztxt8 = chunk(b'zTXt', b'Comment\0\0' + zlib.compress(b'A' * 8_000_000, 9))
    itxt8 = chunk(b'iTXt', b'Title\0\1\0\0\0' + zlib.compress(b'B' * 8_000_000, 9))
    pictures = {
        'prog-5477-20000scans.jpg': lambda: progressive_jpeg(5477, 5477, 20000),
        'prog-5477-1000scans.jpg': lambda: progressive_jpeg(5477, 5477, 1000),
        'prog-64-3scans.jpg': lambda: progressive_jpeg(64, 64, 3),
        'ztxt-1000x8MB.png': lambda: small_png(ztxt8 * 1000),
        'itxt-200x8MB.png': lambda: small_png(itxt8 * 200),
        'ztxt-1x1GB.png': lambda: small_png(chunk(b'zTXt', b'Title\0\0' + zlib.compress(b'A' * (1 << 30), 9))),
        'iccp-bomb.png': lambda: small_png(chunk(b'iCCP', b'icc\0\0' + zlib.compress(b'\0' * 200_000_000, 9))),
        'text-250MB.png': lambda: small_png(chunk(b'tEXt', b'Title\0' + b'C' * 250_000_000)),
        'claim-16320x12240-whole.png': lambda: claiming_png(16320, 12240, 12240),
        'claim-16320x12240-2rows.png': lambda: claiming_png(16320, 12240, 2),
        'claim-65535x65535.png': lambda: claiming_png(65535, 65535, 1),
    }
    names = []
    for name, make in pictures.items():
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            with open(path, 'wb') as f:
                f.write(make())
        names.append(name)
    return names


def measure(argv):
    """(seconds, peak MB, exit status or 'killed', last line of standard error) of one run."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        _, err = proc.communicate(timeout=LIMIT_S)
        status = proc.returncode
    except subprocess.TimeoutExpired:
        proc.kill()
        _, err = proc.communicate()
        status = 'killed'
    seconds = time.monotonic() - start
    peak_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    lines = err.decode('utf-8', 'replace').strip().splitlines()
    return seconds, peak_mb, status, (lines[-1] if lines else '')


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    cli = sys.argv[1]
    folder = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix='vexlo-bombs-')
    os.makedirs(folder, exist_ok=True)
    names = write_pictures(folder)
    out = tempfile.mkdtemp(prefix='vexlo-bombs-out-')
    commands = {
        'encode': lambda p: [cli, 'encode', p, '--title', 't', '--reading', 't', '--fit'],
        'convert': lambda p: [cli, 'convert', p, '--fit', '--out', os.path.join(out, 'c.bmp')],
        'export': lambda p: [cli, 'export', p, '--out', os.path.join(out, 'e.png')],
    }
    print('| picture | command | seconds | peak MB | exit | message |')
    print('|---|---|---|---|---|---|')
    for name in names:
        for command, argv in commands.items():
            # The peak of the children is the largest so far: each run is measured in a child
            # of its own, so that an earlier run's peak does not hide a smaller one.
            read, write = os.pipe()
            pid = os.fork()
            if pid == 0:
                os.close(read)
                seconds, peak, status, message = measure(argv(os.path.join(folder, name)))
                os.write(write, json.dumps([seconds, peak, status, message]).encode())
                os._exit(0)
            os.close(write)
            data = b''
            while chunk_ := os.read(read, 65536):
                data += chunk_
            os.close(read)
            os.waitpid(pid, 0)
            seconds, peak, status, message = json.loads(data.decode())
            print('| %s | %s | %.2f | %.0f | %s | %s |' % (name, command, seconds, peak, status, message[:110]))
            sys.stdout.flush()


if __name__ == '__main__':
    main()
