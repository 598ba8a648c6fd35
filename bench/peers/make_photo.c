/* make_photo W H [SEED]: a photo-like colour picture of W x H as a binary PPM on standard output:
   a sky-to-ground gradient, soft waves, thin dark lines and sensor noise, so that it compresses
   about as a camera's picture does. Row by row: its memory is one row. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static uint32_t state = 2463534242u;

static uint32_t next(void)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

static unsigned char clamp(double v) { return v < 0 ? 0 : v > 255 ? 255 : (unsigned char)v; }

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: make_photo W H [SEED]\n");
        return 2;
    }
    const long w = atol(argv[1]), h = atol(argv[2]);
    if (argc > 3)
        state = (uint32_t)atol(argv[3]) | 1u;
    if (w <= 0 || h <= 0)
        return 2;
    unsigned char* row = malloc((size_t)w * 3);
    if (!row)
        return 1;
    printf("P6\n%ld %ld\n255\n", w, h);
    for (long y = 0; y < h; ++y) {
        const double t = (double)y / h;
        const double sky[3] = {120 + 115 * t, 170 + 65 * t, 230 - 10 * t};
        const double ground[3] = {70, 110, 50};
        const double mix = t < 0.55 ? 0 : (t - 0.55) / 0.45;
        for (long x = 0; x < w; ++x) {
            const double wave = 40 * sin(x * 0.0021 + y * 0.0013) * cos(y * 0.0017 - x * 0.0007);
            const int line = (x + 3 * y / 7) % 997 < 2 || (y * 5 + x) % 1499 < 2;
            for (int c = 0; c < 3; ++c) {
                double v = sky[c] * (1 - mix) + ground[c] * mix + wave + (int)(next() % 17) - 8;
                if (line)
                    v *= 0.2;
                row[x * 3 + c] = clamp(v);
            }
        }
        if (fwrite(row, 3, (size_t)w, stdout) != (size_t)w)
            return 1;
    }
    free(row);
    return fflush(stdout) == 0 ? 0 : 1;
}
