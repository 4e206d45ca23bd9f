/* The floor of a 12 MP -> 640 conversion for the libraries Velmora reads the
 * newer formats through: the library's own decode of the whole source into
 * 8-bit RGB, then libjpeg's encode of a 640-wide picture at quality 90 (the
 * output every row of the comparison writes). Nothing is resampled: the 640
 * picture is every n-th pixel of the decoded one, which costs next to nothing.
 *
 *   codec-floor heif|webp|tiff SOURCE OUTPUT.jpg
 *
 * Build: cc -O2 codec-floor.c -lheif -lwebp -ltiff -ljpeg
 */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/decode.h>

static void die(const char* what) {
    fprintf(stderr, "codec-floor: %s\n", what);
    exit(1);
}

static uint8_t* readAll(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    if (!f) die("cannot open the source");
    fseek(f, 0, SEEK_END);
    long n = ftell(f);
    fseek(f, 0, SEEK_SET);
    uint8_t* data = malloc((size_t)n);
    if (!data || fread(data, 1, (size_t)n, f) != (size_t)n) die("cannot read the source");
    fclose(f);
    *size = (size_t)n;
    return data;
}

/* The decoded picture: RGB, 3 bytes a pixel, rows of `stride` bytes. */
typedef struct {
    uint8_t* rgb;
    int width, height, stride;
} Picture;

static Picture decodeHeif(const char* path) {
    Picture p = {0};
    struct heif_context* ctx = heif_context_alloc();
    if (heif_context_read_from_file(ctx, path, NULL).code != heif_error_Ok) die("libheif cannot read the file");
    struct heif_image_handle* handle;
    if (heif_context_get_primary_image_handle(ctx, &handle).code != heif_error_Ok) die("no primary image");
    struct heif_image* img;
    if (heif_decode_image(handle, &img, heif_colorspace_RGB, heif_chroma_interleaved_RGB, NULL).code != heif_error_Ok)
        die("libheif cannot decode the picture");
    int stride;
    const uint8_t* plane = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
    p.width = heif_image_get_width(img, heif_channel_interleaved);
    p.height = heif_image_get_height(img, heif_channel_interleaved);
    p.stride = stride;
    p.rgb = malloc((size_t)stride * (size_t)p.height);
    memcpy(p.rgb, plane, (size_t)stride * (size_t)p.height);
    heif_image_release(img);
    heif_image_handle_release(handle);
    heif_context_free(ctx);
    return p;
}

static Picture decodeWebp(const char* path) {
    Picture p = {0};
    size_t size;
    uint8_t* data = readAll(path, &size);
    p.rgb = WebPDecodeRGB(data, size, &p.width, &p.height);
    if (!p.rgb) die("libwebp cannot decode the picture");
    p.stride = p.width * 3;
    free(data);
    return p;
}

static Picture decodeTiff(const char* path) {
    Picture p = {0};
    TIFF* tif = TIFFOpen(path, "r");
    if (!tif) die("libtiff cannot open the file");
    uint32_t w, h;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    uint32_t* raster = _TIFFmalloc((tmsize_t)w * h * sizeof(uint32_t));
    if (!raster || !TIFFReadRGBAImageOriented(tif, w, h, raster, ORIENTATION_TOPLEFT, 0))
        die("libtiff cannot decode the picture");
    p.width = (int)w;
    p.height = (int)h;
    p.stride = p.width * 3;
    p.rgb = malloc((size_t)p.stride * h);
    for (size_t i = 0; i < (size_t)w * h; ++i) {
        p.rgb[3 * i] = (uint8_t)TIFFGetR(raster[i]);
        p.rgb[3 * i + 1] = (uint8_t)TIFFGetG(raster[i]);
        p.rgb[3 * i + 2] = (uint8_t)TIFFGetB(raster[i]);
    }
    _TIFFfree(raster);
    TIFFClose(tif);
    return p;
}

static void encodeJpeg640(const Picture* p, const char* out) {
    const int w = 640, h = (int)((long)p->height * 640 / p->width);
    struct jpeg_compress_struct c;
    struct jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    FILE* f = fopen(out, "wb");
    if (!f) die("cannot create the output");
    jpeg_stdio_dest(&c, f);
    c.image_width = (JDIMENSION)w;
    c.image_height = (JDIMENSION)h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    uint8_t* row = malloc((size_t)w * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = p->rgb + (size_t)(y * p->height / h) * (size_t)p->stride;
        for (int x = 0; x < w; ++x) memcpy(row + 3 * x, src + 3 * (size_t)(x * p->width / w), 3);
        JSAMPROW r = row;
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(f);
    free(row);
}

int main(int argc, char** argv) {
    if (argc != 4) die("usage: codec-floor heif|webp|tiff SOURCE OUTPUT.jpg");
    Picture p;
    if (!strcmp(argv[1], "heif"))
        p = decodeHeif(argv[2]);
    else if (!strcmp(argv[1], "webp"))
        p = decodeWebp(argv[2]);
    else if (!strcmp(argv[1], "tiff"))
        p = decodeTiff(argv[2]);
    else
        die("the format is heif, webp or tiff");
    encodeJpeg640(&p, argv[3]);
    free(p.rgb);
    return 0;
}
