#include "tests/support/JpegTestKit.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace jpegkit {

namespace {

// libjpeg error manager for the helpers: fatal errors jump back to the call.
struct KitError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void KitErrorExit(j_common_ptr cinfo) {
    auto* e = reinterpret_cast<KitError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, e->text);
    std::longjmp(e->jump, 1);
}

void KitSilent(j_common_ptr, int) {}

void InitError(KitError& e) {
    jpeg_std_error(&e.pub);
    e.pub.error_exit = KitErrorExit;
    e.pub.emit_message = KitSilent;
    e.text[0] = '\0';
}

// Compresses `rows` (top-down, components per pixel as in_color_space says)
// with the settings applied by `configure`. Returns false on a libjpeg error.
template <typename Configure>
bool CompressWith(int width, int height, int components, J_COLOR_SPACE space, const Bytes& rows,
                  Configure configure, Bytes& out, std::string& error) {
    jpeg_compress_struct c;
    KitError e;
    InitError(e);
    c.err = &e.pub;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(e.jump)) {
        error = e.text;
        jpeg_destroy_compress(&c);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    configure(c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(rows.data()) + size_t(c.next_scanline) * size_t(width) * size_t(components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    out.assign(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return true;
}

Bytes CompressOrThrow(int width, int height, int components, J_COLOR_SPACE space, const Bytes& rows,
                      const std::function<void(jpeg_compress_struct&)>& configure) {
    Bytes out;
    std::string error;
    if (!CompressWith(width, height, components, space, rows, configure, out, error))
        throw std::runtime_error("test compression failed: " + error);
    return out;
}

}  // namespace

const int kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

uint8_t Pattern(int x, int y, int c) {
    const bool edge = (x + 2 * y) % 29 < 9;
    switch (c) {
    case 0: return uint8_t((x * 7 + y * 3 + (edge ? 90 : 0)) & 0xFF);
    case 1: return uint8_t((y * 9 + 40 + (edge ? 0 : 60)) & 0xFF);
    case 2: return uint8_t((255 - x * 5 + y * 2) & 0xFF);
    default: return uint8_t((x * y + 17) & 0xFF);
    }
}

Bytes MakeJpeg(const Recipe& recipe) {
    int components = 3;
    J_COLOR_SPACE in = JCS_RGB;
    if (recipe.kind == Recipe::Grey) {
        components = 1;
        in = JCS_GRAYSCALE;
    } else if (recipe.kind == Recipe::Cmyk || recipe.kind == Recipe::Ycck) {
        components = 4;
        in = JCS_CMYK;
    }
    Bytes rows(size_t(recipe.width) * size_t(recipe.height) * size_t(components));
    for (int y = 0; y < recipe.height; ++y)
        for (int x = 0; x < recipe.width; ++x)
            for (int c = 0; c < components; ++c)
                rows[(size_t(y) * recipe.width + x) * components + c] = Pattern(x, y, c);
    return CompressOrThrow(recipe.width, recipe.height, components, in, rows, [&recipe](jpeg_compress_struct& c) {
        jpeg_set_quality(&c, recipe.quality, TRUE);
        if (recipe.kind == Recipe::Cmyk) jpeg_set_colorspace(&c, JCS_CMYK);  // writes the Adobe marker
        if (recipe.kind == Recipe::Ycck) jpeg_set_colorspace(&c, JCS_YCCK);
        if (recipe.kind == Recipe::Colour && !recipe.subsample) {
            c.comp_info[0].h_samp_factor = 1;
            c.comp_info[0].v_samp_factor = 1;
        }
        if (recipe.restartRows > 0) c.restart_in_rows = recipe.restartRows;
        if (recipe.progressive) jpeg_simple_progression(&c);
    });
}

Bytes MakeManyScanJpeg(int minScans) {
    const int width = 8, height = 8, components = 3;
    Bytes rows(size_t(width) * height * components);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c) rows[(size_t(y) * width + x) * components + c] = Pattern(x, y, c);
    // DC of every component, then each AC coefficient of each component
    // alone: first at point transform `top`, then refined one bit at a time.
    std::vector<jpeg_scan_info> script;
    int top = 1;
    while (3 + 3 * 63 * (top + 1) < minScans) ++top;
    for (int c = 0; c < components; ++c) {
        jpeg_scan_info s{};
        s.comps_in_scan = 1;
        s.component_index[0] = c;
        script.push_back(s);
    }
    for (int c = 0; c < components; ++c)
        for (int k = 1; k < 64; ++k)
            for (int al = top; al >= 0; --al) {
                jpeg_scan_info s{};
                s.comps_in_scan = 1;
                s.component_index[0] = c;
                s.Ss = k;
                s.Se = k;
                s.Ah = al == top ? 0 : al + 1;
                s.Al = al;
                script.push_back(s);
            }
    return CompressOrThrow(width, height, components, JCS_RGB, rows, [&script](jpeg_compress_struct& c) {
        jpeg_set_quality(&c, 95, TRUE);
        c.scan_info = script.data();
        c.num_scans = int(script.size());
    });
}

std::vector<uint32_t> OpaqueArgb(const Picture& rgb) {
    std::vector<uint32_t> out(size_t(rgb.width) * size_t(rgb.height));
    for (size_t i = 0; i < out.size(); ++i) {
        const uint8_t* p = &rgb.pixels[i * 3];
        out[i] = 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    return out;
}

Picture ReferenceDecode(const Bytes& jpeg, J_COLOR_SPACE space, int scaleDenom) {
    jpeg_decompress_struct d;
    KitError e;
    InitError(e);
    d.err = &e.pub;
    Picture pic;
    if (setjmp(e.jump)) {
        jpeg_destroy_decompress(&d);
        throw std::runtime_error(std::string("reference decode failed: ") + e.text);
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = space;
    d.dct_method = JDCT_FLOAT;
    d.do_fancy_upsampling = TRUE;
    d.scale_num = 1;
    d.scale_denom = unsigned(scaleDenom);
    jpeg_start_decompress(&d);
    pic.width = int(d.output_width);
    pic.height = int(d.output_height);
    pic.components = d.output_components;
    pic.pixels.assign(size_t(pic.width) * pic.height * pic.components, 0);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pic.pixels.data() + size_t(d.output_scanline) * pic.width * pic.components;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return pic;
}

Bytes ReferenceCompress(const Picture& rgb, int quality, bool progressive) {
    return CompressOrThrow(rgb.width, rgb.height, 3, JCS_RGB, rgb.pixels,
                           [quality, progressive](jpeg_compress_struct& c) {
                               jpeg_set_quality(&c, quality, TRUE);
                               c.dct_method = JDCT_FLOAT;
                               if (progressive) jpeg_simple_progression(&c);
                           });
}

std::vector<std::vector<uint16_t>> ReferenceQuantTables(int quality) {
    jpeg_compress_struct c;
    KitError e;
    InitError(e);
    c.err = &e.pub;
    if (setjmp(e.jump)) {
        jpeg_destroy_compress(&c);
        throw std::runtime_error(std::string("quant tables failed: ") + e.text);
    }
    jpeg_create_compress(&c);
    c.in_color_space = JCS_RGB;
    c.input_components = 3;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    std::vector<std::vector<uint16_t>> tables;
    for (int t = 0; t < 2; ++t)
        tables.emplace_back(c.quant_tbl_ptrs[t]->quantval, c.quant_tbl_ptrs[t]->quantval + 64);
    jpeg_destroy_compress(&c);
    return tables;
}

std::vector<Segment> ReadSegments(const Bytes& jpeg) {
    std::vector<Segment> segments;
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return segments;
    segments.push_back({0xD8, {}});
    size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        if (jpeg[pos] != 0xFF) break;
        const uint8_t marker = jpeg[pos + 1];
        const size_t length = size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
        if (length < 2 || pos + 2 + length > jpeg.size()) break;
        segments.push_back({marker, Bytes(jpeg.begin() + long(pos + 4), jpeg.begin() + long(pos + 2 + length))});
        pos += 2 + length;
        if (marker == 0xDA) break;
    }
    return segments;
}

std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    return base + "/velmora_jpeg_" + std::to_string(::getpid()) + "_" + name;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace jpegkit
