// The JPEG image object: a TGraphic that holds one JPEG picture in up to two
// forms, the compressed bytes (shared TJPEGData) and the decoded platform
// bitmap. Each form is derived from the other on demand: DIBNeeded decodes,
// JPEGNeeded compresses. All coding goes through libjpeg (version-62 API).
#pragma once

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/Graphic.h"
#include "platform/Rect.h"
#include "platform/Stream.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Any fatal libjpeg error: "JPEG error #%d" with libjpeg's message code.
class EJPEG : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
    EJPEG(const std::string& message, std::string detail)
        : EInvalidGraphic(message), detail_(std::move(detail)) {}
    // The library's own words for the error ("Not a JPEG file: starts with
    // 0x89 0x50"), when it raised it; empty otherwise.
    const std::string& Detail() const { return detail_; }

private:
    std::string detail_;
};

enum class TJPEGPixelFormat { jf24Bit, jf8Bit };
enum class TJPEGPerformance { jpBestQuality, jpBestSpeed };
// Output size divided by 1, 2, 4 or 8.
enum class TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum class TProgressStage { psStarting, psRunning, psEnding };

using TJPEGQualityRange = int;  // 1..100

// The process-wide defaults copied into every new TJPEGImage. There is no
// display to ask for its colour depth, so PixelFormat stays jf24Bit unless a
// front end changes it at start-up.
struct TJPEGDefaults {
    TJPEGQualityRange CompressionQuality = 90;
    bool Grayscale = false;
    TJPEGPerformance Performance = TJPEGPerformance::jpBestQuality;
    TJPEGPixelFormat PixelFormat = TJPEGPixelFormat::jf24Bit;
    bool ProgressiveDisplay = false;
    bool ProgressiveEncoding = false;
    TJPEGScale Scale = TJPEGScale::jsFullSize;
    bool Smoothing = true;
};
extern TJPEGDefaults JPEGDefaults;

// One marker segment of a file: the marker code (JPEG_APP0 + n) and its
// payload, without the marker and length bytes (at most 65533 bytes).
struct TJPEGMarker {
    int Code = 0;
    std::vector<uint8_t> Data;
};

// The compressed side of a picture, shared by every TJPEGImage assigned from
// the same source (shared_ptr provides the reference count). It is never
// changed once another object may see it: compressing builds a fresh one.
class TJPEGData {
public:
    std::unique_ptr<TMemoryStream> FData;  // the whole JPEG file, or none
    int32_t FHeight = 0;
    int32_t FWidth = 0;
    bool FGrayscale = false;  // the file is single-component grey
    // The file's APP1 and APP2 segments (EXIF, XMP, ICC profile), in file
    // order; segments cut short by the end of the file are left out.
    std::vector<TJPEGMarker> FMarkers;
};

class TJPEGImage;

namespace velmora::jpeg {
struct CompressSession;
}

// Progress: stage, whole-number percentage, whether the band R of decoded
// rows may be shown now, and a message (always empty here). A handler that
// raises EAbort ends the work quietly.
using TProgressEvent = std::function<void(TJPEGImage& Sender, TProgressStage Stage, uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::string& Msg)>;

class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;
    TJPEGImage(const TJPEGImage&) = delete;
    TJPEGImage& operator=(const TJPEGImage&) = delete;

    // The bitmap's size when decoded; otherwise the frame header's size (at
    // jsFullSize) or the scaled output size.
    int32_t Width() override;
    int32_t Height() override;
    // Sizes follow the picture: EInvalidGraphicOperation
    // "Cannot change the size of a JPEG image".
    void SetWidth(int32_t value);
    void SetHeight(int32_t value);
    bool Empty() override;

    // Decodes (when needed) and copies the bitmap into rect of the canvas.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    // Colour and CMYK pictures not yet decoded, at full size, without progressive
    // display: decodes straight into the canvas rows as opaque 32-bit pixels
    // (the same colours Draw gives) without building the cached bitmap.
    bool DrawOpaque(TCanvas& canvas) override;
    // The same decode, each row sent to the target as it is decoded.
    bool DrawOpaqueRows(int32_t width, int32_t height, TRowTarget& target) override;

    // Takes the rest of the stream as the new picture and parses its header.
    void LoadFromStream(TStream& stream) override;
    // Compresses (when needed) and writes the JPEG bytes. A picture without
    // any bytes to write (nothing assigned, an empty bitmap, an empty file)
    // raises EJPEG instead of producing an empty output.
    void SaveToStream(TStream& stream) override;

    // Shares the source's compressed data; copies its decoded bitmap if any.
    void Assign(const TJPEGImage& source);
    // A copy of the bitmap becomes the picture; no compressed data yet.
    void Assign(const TBitmap& source);
    // The decoded bitmap (decoding first) into dest; an empty object gives an
    // empty bitmap.
    void AssignTo(TBitmap& dest);

    void DIBNeeded();
    void JPEGNeeded();
    void Compress();

    // Compression of a picture handed over one row at a time, top row first,
    // never held whole. Each row is width 32-bit pixels (blue, green, red and
    // a fourth byte that is ignored); the bytes are those that assigning a
    // 32-bit bitmap of the same rows and compressing give, with the current
    // quality, Grayscale, ProgressiveEncoding and extra markers. EndRows
    // makes them the picture's compressed data, without a bitmap. Until then
    // the object keeps its picture (a decode from it may run meanwhile); a
    // failure, AbandonRows or destruction drops the partial output.
    void BeginRows(int32_t width, int32_t height);
    void WriteRow(const uint32_t* row);
    void EndRows();
    void AbandonRows();
    bool WritingRows() const { return FRowSession != nullptr; }
    // Whether a picture of width x height fits a JPEG frame (1..65500 a side).
    static bool CanWriteRows(int32_t width, int32_t height);

    // Properties. Changing Grayscale, PixelFormat, Performance, Scale or
    // Smoothing drops a decoded bitmap so that the next draw decodes again.
    bool Grayscale() const;
    void SetGrayscale(bool value);
    TJPEGPixelFormat PixelFormat() const { return FPixelFormat; }
    void SetPixelFormat(TJPEGPixelFormat value);
    TJPEGPerformance Performance() const { return FPerformance; }
    void SetPerformance(TJPEGPerformance value);
    TJPEGScale Scale() const { return FScale; }
    void SetScale(TJPEGScale value);
    bool Smoothing() const { return FSmoothing; }
    void SetSmoothing(bool value);
    TJPEGQualityRange CompressionQuality() const { return FQuality; }
    void SetCompressionQuality(TJPEGQualityRange value);
    bool ProgressiveEncoding() const { return FProgressiveEncoding; }
    void SetProgressiveEncoding(bool value) { FProgressiveEncoding = value; }
    bool ProgressiveDisplay() const { return FProgressiveDisplay; }
    void SetProgressiveDisplay(bool value) { FProgressiveDisplay = value; }

    // The APP1 and APP2 segments of the file loaded last.
    const std::vector<TJPEGMarker>& Markers() const { return FImage->FMarkers; }
    // Segments written after the JFIF header by the next compression, in
    // this order; payloads longer than 65533 bytes are left out. Loading a
    // file or assigning a picture clears them.
    void SetExtraMarkers(std::vector<TJPEGMarker> markers);
    const std::vector<TJPEGMarker>& ExtraMarkers() const { return FExtraMarkers; }

    // The decoded bitmap, or nullptr when there is none (no decoding here).
    const TBitmap* Bitmap() const { return FBitmap.get(); }
    // The compressed bytes, or nullptr when there are none.
    const TMemoryStream* Data() const { return FImage->FData.get(); }
    // True when two objects share the same compressed data.
    bool SharesDataWith(const TJPEGImage& other) const { return FImage == other.FImage; }

    bool PaletteModified() const { return FPaletteModified; }
    void SetPaletteModified(bool value) { FPaletteModified = value; }

    TProgressEvent OnProgress;
    std::function<void(TJPEGImage&)> OnChange;
    // Shortest time between two psRunning reports.
    std::chrono::milliseconds ProgressInterval{500};

private:
    friend struct JpegImageAccess;

    void Changed();
    void FreeBitmap() { FBitmap.reset(); }
    void DropBitmapForPropertyChange();
    template <typename T>
    void SetDecodeProperty(T& field, T value, bool paletteChanges);
    void Decode();
    void CalcScaledSize();
    void Progress(TProgressStage stage, uint8_t percent, bool redraw, const TRect& r);
    void ProgressEndQuietly(uint8_t percent);
    bool DecodeOpaque(int32_t width, int32_t height, TCanvas* canvas, TRowTarget* target);
    [[noreturn]] void FailRows();

    std::shared_ptr<TJPEGData> FImage;
    std::unique_ptr<TBitmap> FBitmap;
    // Row-by-row compression in progress: its session and its output.
    std::unique_ptr<velmora::jpeg::CompressSession> FRowSession;
    std::shared_ptr<TJPEGData> FRowImage;
    std::vector<TJPEGMarker> FExtraMarkers;
    int32_t FScaledWidth = 0;
    int32_t FScaledHeight = 0;
    bool FSmoothing;
    bool FGrayScale;
    TJPEGPixelFormat FPixelFormat;
    TJPEGQualityRange FQuality;
    bool FProgressiveDisplay;
    bool FProgressiveEncoding;
    TJPEGPerformance FPerformance;
    TJPEGScale FScale;
    bool FNeedRecalc = true;
    bool FPaletteModified = false;
};

// Registers ".jpeg" and ".jpg" ("JPEG Image File") with the picture holder.
void RegisterJPEGFormat();
