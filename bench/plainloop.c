/* The physical limit to compare against: read a 16-bit stereo WAV's bytes
 * with fread in 1 MiB blocks and keep per-channel minimum and maximum. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef int16_t lanes __attribute__((vector_size(16)));

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    FILE* f = fopen(argv[1], "rb");
    if (!f)
        return 1;
    static int16_t buf[1 << 19];
    lanes hi, lo;
    for (int i = 0; i < 8; ++i) {
        hi[i] = INT16_MIN;
        lo[i] = INT16_MAX;
    }
    fseek(f, 44, SEEK_SET);
    size_t n;
    while ((n = fread(buf, 2, sizeof buf / 2, f)) > 0) {
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            lanes v;
            memcpy(&v, buf + i, sizeof v);
            lanes up = v > hi, down = v < lo;
            hi = (v & up) | (hi & ~up);
            lo = (v & down) | (lo & ~down);
        }
        for (; i < n; ++i) {
            if (buf[i] > hi[i & 1]) hi[i & 1] = buf[i];
            if (buf[i] < lo[i & 1]) lo[i & 1] = buf[i];
        }
    }
    fclose(f);
    int16_t mx[2] = {hi[0], hi[1]}, mn[2] = {lo[0], lo[1]};
    for (int l = 2; l < 8; ++l) {
        if (hi[l] > mx[l & 1]) mx[l & 1] = hi[l];
        if (lo[l] < mn[l & 1]) mn[l & 1] = lo[l];
    }
    printf("%d %d %d %d\n", mx[0], mn[0], mx[1], mn[1]);
    return 0;
}
