/* The zlib floors of the PNG rows in bench/compare.sh, as small as a program can be:
 *
 *   zlib-floor inflate FILE.png        inflates the pixel data of FILE.png (64 KiB at a time)
 *   zlib-floor rows FILE.png OUT.raw   writes the inflated pixel data (the filtered rows) to OUT.raw
 *   zlib-floor deflate ROWS.raw        deflates ROWS.raw at level 7 (64 KiB of output at a time)
 *
 * Nothing is written by `inflate` and `deflate`: they time zlib itself. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

static unsigned char* readAll(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    if (!f) { perror(path); exit(1); }
    fseek(f, 0, SEEK_END);
    *size = (size_t)ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char* data = malloc(*size ? *size : 1);
    if (!data || fread(data, 1, *size, f) != *size) { perror(path); exit(1); }
    fclose(f);
    return data;
}

static unsigned long be32(const unsigned char* p) {
    return ((unsigned long)p[0] << 24) | ((unsigned long)p[1] << 16) | ((unsigned long)p[2] << 8) | p[3];
}

/* The concatenated data of the IDAT chunks. */
static unsigned char* imageData(const char* path, size_t* size) {
    size_t n;
    unsigned char* png = readAll(path, &n);
    unsigned char* out = malloc(n);
    size_t used = 0;
    for (size_t i = 8; i + 12 <= n;) {
        size_t len = be32(png + i);
        if (len > n - i - 12) break;
        if (!memcmp(png + i + 4, "IDAT", 4)) { memcpy(out + used, png + i + 8, len); used += len; }
        i += 12 + len;
    }
    free(png);
    *size = used;
    return out;
}

int main(int argc, char** argv) {
    static unsigned char buffer[1 << 16];
    z_stream z;
    memset(&z, 0, sizeof z);
    if (argc >= 3 && (!strcmp(argv[1], "inflate") || !strcmp(argv[1], "rows"))) {
        size_t size;
        unsigned char* data = imageData(argv[2], &size);
        FILE* out = argc == 4 && !strcmp(argv[1], "rows") ? fopen(argv[3], "wb") : NULL;
        inflateInit(&z);
        z.next_in = data;
        z.avail_in = (uInt)size;
        int r;
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            r = inflate(&z, Z_NO_FLUSH);
            if (out) fwrite(buffer, 1, sizeof buffer - z.avail_out, out);
        } while (r == Z_OK);
        if (out) fclose(out);
        return r == Z_STREAM_END ? 0 : 1;
    }
    if (argc == 3 && !strcmp(argv[1], "deflate")) {
        size_t size;
        unsigned char* data = readAll(argv[2], &size);
        deflateInit(&z, 7);
        z.next_in = data;
        z.avail_in = (uInt)size;
        int r;
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            r = deflate(&z, Z_FINISH);
        } while (r == Z_OK);
        return r == Z_STREAM_END ? 0 : 1;
    }
    fprintf(stderr, "usage: zlib-floor inflate FILE.png | rows FILE.png OUT.raw | deflate ROWS.raw\n");
    return 2;
}
