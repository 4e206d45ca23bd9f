#include "codecs/jpeg/JPEGImage.h"

#include "codecs/jpeg/JpegSession.h"
#include "platform/CheckedSize.h"
#include "platform/Picture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include <jerror.h>

TJPEGDefaults JPEGDefaults;

using namespace velmora::jpeg;

namespace {

// ---------------------------------------------------------------------------
// Decoding steps. Each runs inside RunGuarded and touches plain data only
// while libjpeg runs (see JpegSession.h).

struct DecodeOptions {
    int scaleDenom = 1;
    bool smoothing = true;
    bool grayscale = false;           // the object's own Grayscale field
    bool eightBit = false;            // PixelFormat = jf8Bit
    bool bestSpeed = false;           // Performance = jpBestSpeed
    bool progressiveDisplay = false;
};

}  // namespace

// The object's private state that the coding steps below need.
struct JpegImageAccess {
    // Forwards libjpeg's psRunning reports to the object's progress event.
    static void Report(void* owner, int percent, bool decoding, const TRect& band) {
        static_cast<TJPEGImage*>(owner)->Progress(TProgressStage::psRunning, uint8_t(percent), decoding, band);
    }
    // The decoder set-up that follows the object's properties.
    static DecodeOptions Options(const TJPEGImage& image) {
        DecodeOptions o;
        o.scaleDenom = 1 << int(image.FScale);
        o.smoothing = image.FSmoothing;
        o.grayscale = image.FGrayScale;
        o.eightBit = image.FPixelFormat == TJPEGPixelFormat::jf8Bit;
        o.bestSpeed = image.FPerformance == TJPEGPerformance::jpBestSpeed;
        o.progressiveDisplay = image.FProgressiveDisplay;
        return o;
    }
};

namespace {

struct HeaderStep {
    DecompressSession* s;
    TStream* data;
    DecodeOptions options;
    bool applyOptions;                // false: header only (loading)
    bool multipleScans = false;
};

// Sets up the decompressor for the object's properties. Colour output goes
// straight into bitmap rows, so libjpeg is asked for blue, green, red.
void ApplyDecodeOptions(DecompressSession& s, const DecodeOptions& o) {
    jpeg_decompress_struct& d = s.d;
    d.scale_num = 1;
    d.scale_denom = unsigned(o.scaleDenom);
    d.do_block_smoothing = o.smoothing ? TRUE : FALSE;
    // The library's default DCT is the integer one; this codec decodes with
    // the floating-point DCT unless speed is asked for.
    d.dct_method = JDCT_FLOAT;
    d.dither_mode = JDITHER_FS;
    d.two_pass_quantize = TRUE;
    d.do_fancy_upsampling = TRUE;
    if (o.grayscale) d.out_color_space = JCS_GRAYSCALE;
    if (o.eightBit || d.out_color_space == JCS_GRAYSCALE) {
        d.quantize_colors = TRUE;
        d.desired_number_of_colors = 236;
    }
    if (o.bestSpeed) {
        d.dct_method = JDCT_IFAST;
        d.two_pass_quantize = FALSE;
        d.dither_mode = JDITHER_ORDERED;
    }
    // Unquantised colour output in bitmap byte order.
    if (!d.quantize_colors && d.out_color_space == JCS_RGB) d.out_color_space = JCS_EXT_BGR;
    s.finalDct = d.dct_method;
    s.finalTwoPass = d.two_pass_quantize;
    s.finalDither = d.dither_mode;
    if (o.progressiveDisplay && jpeg_has_multiple_scans(&d)) {
        d.enable_2pass_quant = d.two_pass_quantize;
        d.dct_method = JDCT_IFAST;
        d.two_pass_quantize = FALSE;
        d.dither_mode = JDITHER_ORDERED;
        d.buffered_image = TRUE;
    }
}

void ReadHeaderStep(void* arg) {
    auto& a = *static_cast<HeaderStep*>(arg);
    CreateAndReadHeader(*a.s, *a.data, !a.applyOptions);
    a.multipleScans = jpeg_has_multiple_scans(&a.s->d) != 0;
    if (!a.applyOptions) return;
    ApplyDecodeOptions(*a.s, a.options);
    jpeg_calc_output_dimensions(&a.s->d);
}

void StartDecompressStep(void* arg) { jpeg_start_decompress(&static_cast<DecompressSession*>(arg)->d); }
void FinishDecompressStep(void* arg) { jpeg_finish_decompress(&static_cast<DecompressSession*>(arg)->d); }

// Stored C, M, Y, K bytes to blue, green, red and an opaque fourth byte.
// The stored bytes are used as they are (no inversion).
void CmykRowToBgr(uint8_t* p, size_t width) {
    for (size_t x = 0; x < width; ++x, p += 4) {
        const unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        p[0] = uint8_t(y * k / 255);
        p[1] = uint8_t(m * k / 255);
        p[2] = uint8_t(c * k / 255);
        p[3] = 255;
    }
}

// Builds the bitmap's palette from libjpeg's colour map.
void BuildPalette(const jpeg_decompress_struct& d, TBitmap& bitmap) {
    const int count = std::clamp(d.actual_number_of_colors, 0, 256);
    std::vector<TRGBQuad> palette(size_t(count), TRGBQuad{});
    for (int i = 0; i < count; ++i) {
        TRGBQuad& q = palette[size_t(i)];
        if (d.out_color_components == 1) {
            q.rgbRed = q.rgbGreen = q.rgbBlue = d.colormap[0][i];
        } else if (d.out_color_components >= 4) {
            const unsigned k = d.colormap[3][i];
            q.rgbBlue = uint8_t(d.colormap[2][i] * k / 255);
            q.rgbGreen = uint8_t(d.colormap[1][i] * k / 255);
            q.rgbRed = uint8_t(d.colormap[0][i] * k / 255);
        } else {
            // Quantised colour is decoded as red, green, blue.
            q.rgbRed = d.colormap[0][i];
            q.rgbGreen = d.colormap[1][i];
            q.rgbBlue = d.colormap[2][i];
        }
    }
    bitmap.Palette = std::move(palette);
}

struct RowsStep {
    DecompressSession* s;
    TBitmap* bitmap;
    uint8_t* topRow;                  // image row 0; rows lie bottom-up in memory
    size_t stride;
    bool cmyk;
    bool paletteBuilt = false;
    // Progressive display: whether anyone watches the passes (a progress
    // handler); the passes before the last only serve to be shown.
    bool showPasses = true;
};

// All output rows of one pass, each decoded straight into its bitmap row.
void ReadAllRows(RowsStep& a) {
    jpeg_decompress_struct& d = a.s->d;
    const JDIMENSION height = d.output_height;
    while (d.output_scanline < height) {
        const JDIMENSION y = d.output_scanline;
        JSAMPROW row = a.topRow - size_t(y) * a.stride;
        if (jpeg_read_scanlines(&d, &row, 1) != 1) break;
        if (a.cmyk) CmykRowToBgr(row, d.output_width);
    }
}

void ReadRowsStep(void* arg) {
    auto& a = *static_cast<RowsStep*>(arg);
    jpeg_decompress_struct& d = a.s->d;
    if (!d.buffered_image) {
        ReadAllRows(a);
        return;
    }
    // Progressive display: one quick output pass per completed input scan,
    // then a final pass with the quality settings. Each pass decodes the whole
    // picture, so the early ones run only when a progress handler can show
    // them: unwatched, a small file of many scans over a large frame would
    // cost scans x pixels for a result the last pass replaces anyway.
    auto outputPass = [&a, &d] {
        jpeg_start_output(&d, d.input_scan_number);
        ReadAllRows(a);
        jpeg_finish_output(&d);
        if (d.quantize_colors && d.colormap != nullptr && !a.paletteBuilt) {
            BuildPalette(d, *a.bitmap);
            a.paletteBuilt = true;
        }
    };
    for (;;) {
        int status;
        do {
            status = jpeg_consume_input(&d);
        } while (status != JPEG_SCAN_COMPLETED && status != JPEG_REACHED_EOI && status != JPEG_SUSPENDED);
        if (status != JPEG_SCAN_COMPLETED) break;
        if (d.input_scan_number > kMaxScans) throw EJPEG("JPEG error: too many scans");
        if (a.showPasses) outputPass();
    }
    d.dct_method = a.s->finalDct;
    d.dither_mode = a.s->finalDither;
    if (a.s->finalTwoPass) {
        d.two_pass_quantize = TRUE;
        d.colormap = nullptr;
        a.paletteBuilt = false;
    }
    outputPass();
}

// ---------------------------------------------------------------------------
// Compression steps.

struct CompressSetupStep {
    CompressSession* s;
    TStream* out;
    JDIMENSION width, height;
    int components;
    J_COLOR_SPACE inSpace;
    int quality;
    bool grayscale;
    bool progressive;
};

void CompressSetup(void* arg) {
    auto& a = *static_cast<CompressSetupStep*>(arg);
    CreateCompressor(*a.s, *a.out);
    jpeg_compress_struct& c = a.s->c;
    c.image_width = a.width;
    c.image_height = a.height;
    c.input_components = a.components;
    c.in_color_space = a.inSpace;
    jpeg_set_defaults(&c);
    // The library's default DCT is the integer one; files are written with
    // the floating-point DCT.
    c.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&c, a.quality, TRUE);
    if (a.grayscale) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    if (a.progressive) jpeg_simple_progression(&c);
}

struct CompressRowsStep {
    CompressSession* s;
    const uint8_t* topRow;            // image row 0; rows lie bottom-up in memory
    size_t stride;
    const TJPEGMarker* markers;       // written right after the JFIF header
    size_t markerCount;
};

// Starts the compressor with every table, then the extra segments right
// after the JFIF header.
void StartWithMarkers(jpeg_compress_struct& c, const TJPEGMarker* markers, size_t markerCount) {
    jpeg_start_compress(&c, TRUE);
    for (size_t i = 0; i < markerCount; ++i) {
        const TJPEGMarker& m = markers[i];
        if (m.Data.size() <= 65533)
            jpeg_write_marker(&c, m.Code, m.Data.data(), static_cast<unsigned>(m.Data.size()));
    }
}

void CompressRows(void* arg) {
    auto& a = *static_cast<CompressRowsStep*>(arg);
    jpeg_compress_struct& c = a.s->c;
    StartWithMarkers(c, a.markers, a.markerCount);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(a.topRow - size_t(c.next_scanline) * a.stride);
        if (jpeg_write_scanlines(&c, &row, 1) != 1) break;
    }
    jpeg_finish_compress(&c);
}

// Row-by-row compression: start, one row, finish.
void StartRowsStep(void* arg) {
    auto& a = *static_cast<CompressRowsStep*>(arg);
    StartWithMarkers(a.s->c, a.markers, a.markerCount);
}

struct WriteRowStep {
    CompressSession* s;
    JSAMPROW row;
};

void WriteOneRow(void* arg) {
    auto& a = *static_cast<WriteRowStep*>(arg);
    jpeg_write_scanlines(&a.s->c, &a.row, 1);
}

void FinishCompressStep(void* arg) { jpeg_finish_compress(&static_cast<CompressSession*>(arg)->c); }

struct DirectRowsStep {
    DecompressSession* s;
    TCanvas* canvas;      // rows decoded into the canvas, or
    TRowTarget* target;   // handed to the target one by one
    bool cmyk;            // four-component output, turned into colour per row
};

// Colour output as blue, green, red and an opaque fourth byte, each row
// decoded straight into its canvas row or the target's next row.
void DirectRows(void* arg) {
    auto& a = *static_cast<DirectRowsStep*>(arg);
    jpeg_decompress_struct& d = a.s->d;
    if (!a.cmyk) d.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        const int32_t y = int32_t(d.output_scanline);
        JSAMPROW row = reinterpret_cast<JSAMPROW>(a.canvas ? a.canvas->Row(y) : a.target->NextRow());
        if (jpeg_read_scanlines(&d, &row, 1) != 1) break;
        if (a.cmyk) CmykRowToBgr(row, d.output_width);
        if (a.target) a.target->Push();
    }
    jpeg_finish_decompress(&d);
}

}  // namespace

// ---------------------------------------------------------------------------

TJPEGImage::TJPEGImage()
    : FImage(std::make_shared<TJPEGData>()),
      FSmoothing(JPEGDefaults.Smoothing),
      FGrayScale(JPEGDefaults.Grayscale),
      FPixelFormat(JPEGDefaults.PixelFormat),
      FQuality(std::clamp(JPEGDefaults.CompressionQuality, 1, 100)),
      FProgressiveDisplay(JPEGDefaults.ProgressiveDisplay),
      FProgressiveEncoding(JPEGDefaults.ProgressiveEncoding),
      FPerformance(JPEGDefaults.Performance),
      FScale(JPEGDefaults.Scale) {}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Changed() {
    if (OnChange) OnChange(*this);
}

void TJPEGImage::Progress(TProgressStage stage, uint8_t percent, bool redraw, const TRect& r) {
    if (OnProgress) OnProgress(*this, stage, percent, redraw, r, std::string());
}

// The psEnding report of a run that is ending with an exception; a handler
// that raises now must not replace the exception already in flight.
void TJPEGImage::ProgressEndQuietly(uint8_t percent) {
    try {
        Progress(TProgressStage::psEnding, percent, false, TRect());
    } catch (...) {
    }
}

int32_t TJPEGImage::Width() {
    if (FBitmap) return FBitmap->Width();
    if (FScale == TJPEGScale::jsFullSize) return FImage->FWidth;
    CalcScaledSize();
    return FScaledWidth;
}

int32_t TJPEGImage::Height() {
    if (FBitmap) return FBitmap->Height();
    if (FScale == TJPEGScale::jsFullSize) return FImage->FHeight;
    CalcScaledSize();
    return FScaledHeight;
}

void TJPEGImage::SetWidth(int32_t) {
    throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

void TJPEGImage::SetHeight(int32_t) {
    throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

bool TJPEGImage::Empty() { return !FImage->FData && (!FBitmap || FBitmap->Empty()); }

bool TJPEGImage::Grayscale() const { return FGrayScale || FImage->FGrayscale; }

// A decoded bitmap is dropped so that the next draw decodes with the new
// setting. A bitmap that was assigned (no compressed bytes to decode from)
// is the picture itself and stays.
void TJPEGImage::DropBitmapForPropertyChange() {
    if (FImage->FData) FreeBitmap();
}

// Stores a decode property; a change drops a decoded bitmap and signals it.
template <typename T>
void TJPEGImage::SetDecodeProperty(T& field, T value, bool paletteChanges) {
    if (field == value) return;
    DropBitmapForPropertyChange();
    field = value;
    if (paletteChanges) FPaletteModified = true;
    Changed();
}

void TJPEGImage::SetGrayscale(bool value) { SetDecodeProperty(FGrayScale, value, true); }
void TJPEGImage::SetPixelFormat(TJPEGPixelFormat value) { SetDecodeProperty(FPixelFormat, value, true); }
void TJPEGImage::SetPerformance(TJPEGPerformance value) { SetDecodeProperty(FPerformance, value, true); }

void TJPEGImage::SetScale(TJPEGScale value) {
    if (FScale != value) FNeedRecalc = true;
    SetDecodeProperty(FScale, value, true);
}

void TJPEGImage::SetSmoothing(bool value) { SetDecodeProperty(FSmoothing, value, false); }

void TJPEGImage::SetCompressionQuality(TJPEGQualityRange value) { FQuality = std::clamp(value, 1, 100); }

void TJPEGImage::LoadFromStream(TStream& stream) {
    const int64_t remaining = std::max<int64_t>(0, stream.Size() - stream.Position());
    FImage = std::make_shared<TJPEGData>();
    FreeBitmap();
    ShortData = false;
    FExtraMarkers.clear();
    FNeedRecalc = true;
    FImage->FData = std::make_unique<TMemoryStream>();
    TMemoryStream& data = *FImage->FData;
    data.SetSize(size_t(remaining));
    if (remaining > 0) stream.ReadBuffer(data.Memory(), size_t(remaining));

    if (remaining > 0) {
        DecompressSession s;
        HeaderStep step{&s, &data, DecodeOptions{}, false};
        if (!RunGuarded(s, ReadHeaderStep, &step)) ThrowFailure(s);
        FImage->FWidth = int32_t(s.d.image_width);
        FImage->FHeight = int32_t(s.d.image_height);
        FImage->FGrayscale = s.d.jpeg_color_space == JCS_GRAYSCALE;
        FProgressiveEncoding = step.multipleScans;
        for (jpeg_saved_marker_ptr m = s.d.marker_list; m != nullptr; m = m->next)
            if (m->data_length == m->original_length)
                FImage->FMarkers.push_back(
                    TJPEGMarker{int(m->marker), std::vector<uint8_t>(m->data, m->data + m->data_length)});
    }
    FPaletteModified = true;
    Changed();
}

void TJPEGImage::SaveToStream(TStream& stream) {
    JPEGNeeded();
    const TMemoryStream* data = FImage->FData.get();
    // An empty output file would look like a successful save of nothing.
    if (data == nullptr || data->Bytes().empty()) throw EJPEG("Cannot save an empty JPEG image");
    stream.WriteBuffer(data->Memory(), data->Bytes().size());
}

void TJPEGImage::Assign(const TJPEGImage& source) {
    if (&source == this) return;
    FImage = source.FImage;
    FBitmap = source.FBitmap ? std::make_unique<TBitmap>(*source.FBitmap) : nullptr;
    FNeedRecalc = true;
    FPaletteModified = true;
    Changed();
}

void TJPEGImage::Assign(const TBitmap& source) {
    auto bitmap = std::make_unique<TBitmap>(source);
    FExtraMarkers.clear();
    FImage = std::make_shared<TJPEGData>();
    FBitmap = std::move(bitmap);
    FNeedRecalc = true;
    FPaletteModified = true;
    Changed();
}

void TJPEGImage::SetExtraMarkers(std::vector<TJPEGMarker> markers) {
    FExtraMarkers = std::move(markers);
    // Bytes compressed before no longer match: compress again on saving.
    if (FBitmap && FImage->FData) FImage = std::make_shared<TJPEGData>();
}

void TJPEGImage::AssignTo(TBitmap& dest) {
    DIBNeeded();
    if (FBitmap)
        dest.Assign(*FBitmap);
    else
        dest.Assign(TBitmap());
}

void TJPEGImage::DIBNeeded() {
    if (FBitmap || !FImage->FData) return;
    Decode();
}

void TJPEGImage::JPEGNeeded() {
    if (FImage->FData) return;
    Compress();
}

void TJPEGImage::CalcScaledSize() {
    if (!FNeedRecalc) return;
    FScaledWidth = FScaledHeight = 0;
    TMemoryStream* data = FImage->FData.get();
    if (data != nullptr && data->Size() > 0) {
        DecompressSession s;
        const DecodeOptions o = JpegImageAccess::Options(*this);
        HeaderStep step{&s, data, o, true};
        if (!RunGuarded(s, ReadHeaderStep, &step)) ThrowFailure(s);
        FScaledWidth = int32_t(s.d.output_width);
        FScaledHeight = int32_t(s.d.output_height);
        FProgressiveEncoding = step.multipleScans;
    }
    FNeedRecalc = false;
}

void TJPEGImage::Decode() {
    if (!FBitmap) FBitmap = std::make_unique<TBitmap>();
    TMemoryStream& data = *FImage->FData;

    DecompressSession s;
    s.report = JpegImageAccess::Report;
    s.owner = this;
    s.interval = ProgressInterval;

    const DecodeOptions o = JpegImageAccess::Options(*this);
    HeaderStep header{&s, &data, o, true};
    if (!RunGuarded(s, ReadHeaderStep, &header)) ThrowFailure(s);

    jpeg_decompress_struct& d = s.d;
    // Whole-picture buffers (progressive coefficients, the bitmap) grow with
    // the declared size: refuse what cannot reasonably be held.
    if (!velmora::PixelCountOk(d.image_width, d.image_height)) throw EOutOfMemory();

    TPixelFormat format;
    int bytesPerPixel;
    if (d.quantize_colors) {
        format = TPixelFormat::pf8bit;
        bytesPerPixel = 1;
    } else if (d.out_color_space == JCS_CMYK || d.out_color_space == JCS_YCCK) {
        format = TPixelFormat::pf32bit;
        bytesPerPixel = 4;
    } else {
        format = TPixelFormat::pf24bit;
        bytesPerPixel = 3;
    }
    // Only these layouts fit the bitmap rows; anything else (a file with an
    // unusual component count) would overrun them.
    const J_COLOR_SPACE space = d.out_color_space;
    const int colours = d.out_color_components;
    bool supported = false;
    if (format == TPixelFormat::pf8bit)
        supported = (space == JCS_GRAYSCALE && colours == 1) || (space == JCS_RGB && colours == 3) ||
                    (space == JCS_CMYK && colours == 4);
    else if (format == TPixelFormat::pf32bit)
        supported = colours == 4;
    else
        supported = space == JCS_EXT_BGR && colours == 3;
    if (!supported || d.output_components != bytesPerPixel) {
        char text[48];
        std::snprintf(text, sizeof text, "JPEG error #%d", int(JERR_CONVERSION_NOTIMPL));
        throw EJPEG(text);
    }

    try {
        Progress(TProgressStage::psStarting, 0, false, TRect());
        if (!RunGuarded(s, StartDecompressStep, &s)) ThrowFailure(s);
        if (d.output_components != bytesPerPixel || !velmora::PixelCountOk(d.output_width, d.output_height))
            throw EOutOfMemory();

        FBitmap->SetPixelFormat(format);
        FBitmap->SetSize(int32_t(d.output_width), int32_t(d.output_height));

        RowsStep rows{&s, FBitmap.get(), nullptr, FBitmap->Stride(), format == TPixelFormat::pf32bit};
        rows.showPasses = bool(OnProgress);
        if (FBitmap->Height() > 0) rows.topRow = FBitmap->ScanLine(0);
        const bool ok = RunGuarded(s, ReadRowsStep, &rows);
        // Rows decoded before a failure stay in the bitmap, and so does the
        // palette they refer to.
        if (d.quantize_colors && d.colormap != nullptr && !rows.paletteBuilt) {
            BuildPalette(d, *FBitmap);
            rows.paletteBuilt = true;
        }
        if (rows.paletteBuilt) FPaletteModified = true;
        if (!ok) ThrowFailure(s);
        if (!RunGuarded(s, FinishDecompressStep, &s)) ThrowFailure(s);
        ShortData = s.src.ranDry;
    } catch (const EAbort&) {
        ProgressEndQuietly(0);
        if (FPaletteModified) Changed();
        return;
    } catch (...) {
        ProgressEndQuietly(0);
        throw;
    }
    Progress(TProgressStage::psEnding, 100, false, TRect());
    if (FPaletteModified) Changed();
}

void TJPEGImage::Compress() {
    // A fresh data block: another object may share the current one.
    auto fresh = std::make_shared<TJPEGData>();
    fresh->FData = std::make_unique<TMemoryStream>();
    FImage = fresh;
    if (!FBitmap || FBitmap->Width() == 0 || FBitmap->Height() == 0) return;

    // Rows go to libjpeg as they lie in the bitmap: 24-bit as blue, green,
    // red; 32-bit with the fourth byte skipped by libjpeg itself. Other
    // formats are expanded into a private 24-bit copy.
    TBitmap* source = FBitmap.get();
    TBitmap converted;
    int components = 3;
    J_COLOR_SPACE space = JCS_EXT_BGR;
    switch (source->PixelFormat()) {
    case TPixelFormat::pf24bit:
        break;
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfDevice:
    case TPixelFormat::pfCustom:
        components = 4;
        space = JCS_EXT_BGRX;
        break;
    default:
        converted = *source;
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        source = &converted;
        break;
    }

    const int32_t width = source->Width(), height = source->Height();
    try {
        CompressSession s;
        s.report = JpegImageAccess::Report;
        s.owner = this;
        s.interval = ProgressInterval;
        CompressSetupStep setup{&s, fresh->FData.get(), JDIMENSION(width), JDIMENSION(height), components,
                                space, FQuality, FGrayScale, FProgressiveEncoding};
        if (!RunGuarded(s, CompressSetup, &setup)) ThrowFailure(s);
        fresh->FWidth = width;
        fresh->FHeight = height;
        if (FGrayScale) fresh->FGrayscale = true;

        Progress(TProgressStage::psStarting, 0, false, TRect());
        CompressRowsStep rows{&s, source->ScanLine(0), source->Stride(), FExtraMarkers.data(),
                              FExtraMarkers.size()};
        if (!RunGuarded(s, CompressRows, &rows)) ThrowFailure(s);
    } catch (const EAbort&) {
        FImage = std::make_shared<TJPEGData>();
        ProgressEndQuietly(0);
        return;
    } catch (...) {
        // No half-written stream stays behind.
        FImage = std::make_shared<TJPEGData>();
        ProgressEndQuietly(0);
        throw;
    }
    Progress(TProgressStage::psEnding, 100, false, TRect());
}

bool TJPEGImage::CanWriteRows(int32_t width, int32_t height) {
    return width > 0 && height > 0 && width <= JPEG_MAX_DIMENSION && height <= JPEG_MAX_DIMENSION;
}

void TJPEGImage::BeginRows(int32_t width, int32_t height) {
    AbandonRows();
    if (width <= 0 || height <= 0) throw EJPEG("Cannot save an empty JPEG image");
    auto fresh = std::make_shared<TJPEGData>();
    fresh->FData = std::make_unique<TMemoryStream>();
    auto s = std::make_unique<CompressSession>();
    s->report = JpegImageAccess::Report;
    s->owner = this;
    s->interval = ProgressInterval;
    // The same set-up Compress gives a 32-bit bitmap.
    CompressSetupStep setup{s.get(),      fresh->FData.get(), JDIMENSION(width), JDIMENSION(height),  4,
                            JCS_EXT_BGRX, FQuality,           FGrayScale,        FProgressiveEncoding};
    if (!RunGuarded(*s, CompressSetup, &setup)) ThrowFailure(*s);
    fresh->FWidth = width;
    fresh->FHeight = height;
    if (FGrayScale) fresh->FGrayscale = true;
    Progress(TProgressStage::psStarting, 0, false, TRect());
    CompressRowsStep start{s.get(), nullptr, 0, FExtraMarkers.data(), FExtraMarkers.size()};
    if (!RunGuarded(*s, StartRowsStep, &start)) ThrowFailure(*s);
    FRowSession = std::move(s);
    FRowImage = std::move(fresh);
}

void TJPEGImage::WriteRow(const uint32_t* row) {
    if (!FRowSession) throw std::logic_error("no rows are being compressed");
    CompressSession& s = *FRowSession;
    if (s.c.next_scanline >= s.c.image_height) throw std::logic_error("every row has been compressed");
    // libjpeg only reads the row.
    WriteRowStep step{&s, reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(row))};
    if (!RunGuarded(s, WriteOneRow, &step)) FailRows();
}

void TJPEGImage::EndRows() {
    if (!FRowSession) throw std::logic_error("no rows are being compressed");
    // Missing rows are libjpeg's error (JERR_TOO_LITTLE_DATA).
    if (!RunGuarded(*FRowSession, FinishCompressStep, FRowSession.get())) FailRows();
    FRowSession.reset();
    FImage = std::move(FRowImage);
    FreeBitmap();
    FNeedRecalc = true;
    FPaletteModified = true;
    Changed();
    Progress(TProgressStage::psEnding, 100, false, TRect());
}

void TJPEGImage::AbandonRows() {
    FRowSession.reset();
    FRowImage.reset();
}

// The session leaves the object before the failure is raised; it is
// destroyed on the way out.
void TJPEGImage::FailRows() {
    std::unique_ptr<CompressSession> s = std::move(FRowSession);
    FRowImage.reset();
    ProgressEndQuietly(0);
    ThrowFailure(*s);
}

bool TJPEGImage::DrawOpaque(TCanvas& canvas) { return DecodeOpaque(canvas.Width, canvas.Height, &canvas, nullptr); }

bool TJPEGImage::DrawOpaqueRows(int32_t width, int32_t height, TRowTarget& target) {
    return DecodeOpaque(width, height, nullptr, &target);
}

bool TJPEGImage::DecodeOpaque(int32_t width, int32_t height, TCanvas* canvas, TRowTarget* target) {
    if (FBitmap || !FImage->FData || FImage->FData->Size() == 0 || FProgressiveDisplay) return false;
    // The rows' receiver may replace the picture while it is being read.
    const std::shared_ptr<TJPEGData> image = FImage;
    DecompressSession s;
    s.report = JpegImageAccess::Report;
    s.owner = this;
    s.interval = ProgressInterval;
    const DecodeOptions o = JpegImageAccess::Options(*this);
    HeaderStep header{&s, image->FData.get(), o, true};
    if (!RunGuarded(s, ReadHeaderStep, &header)) ThrowFailure(s);
    const jpeg_decompress_struct& d = s.d;
    // Colour in bitmap byte order, or stored C, M, Y, K bytes turned into
    // colour row by row as a decoded bitmap's are.
    const bool cmyk = d.out_color_space == JCS_CMYK && d.out_color_components == 4;
    if (d.quantize_colors || (d.out_color_space != JCS_EXT_BGR && !cmyk) || d.buffered_image ||
        int64_t(d.output_width) != width || int64_t(d.output_height) != height)
        return false;
    try {
        Progress(TProgressStage::psStarting, 0, false, TRect());
        DirectRowsStep rows{&s, canvas, target, cmyk};
        if (!RunGuarded(s, DirectRows, &rows)) ThrowFailure(s);
        ShortData = s.src.ranDry;
    } catch (const EAbort&) {
        ProgressEndQuietly(0);
        return true;
    } catch (...) {
        ProgressEndQuietly(0);
        throw;
    }
    Progress(TProgressStage::psEnding, 100, false, TRect());
    return true;
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) {
    DIBNeeded();
    if (FBitmap) FBitmap->Draw(canvas, rect);
}

void RegisterJPEGFormat() {
    for (const char* ext : {"jpeg", "jpg"})
        TPicture::RegisterFileFormat(ext, "JPEG Image File", [] { return std::make_unique<TJPEGImage>(); });
}
