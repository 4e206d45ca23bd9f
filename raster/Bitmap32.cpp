#include "raster/Bitmap32.h"

#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"
#include "raster/NearestResampler.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace {
#if defined(__SANITIZE_ADDRESS__)
// Under the address sanitizer every block comes from calloc, so reads past
// the end of a large picture are caught too.
constexpr size_t kMapThreshold = SIZE_MAX;
#else
constexpr size_t kMapThreshold = size_t(4) << 20;
#endif
}  // namespace

void TPixelBlockDeleter::operator()(TColor32* p) const noexcept {
    if (mappedBytes != 0)
        ::munmap(p, mappedBytes);
    else
        std::free(p);
}

void TGDIBackend::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight,
                             bool /*ClearBuffer: the block always starts zeroed*/) {
    bits_.reset();
    Width = 0;
    Height = 0;
    if (NewWidth > 0 && NewHeight > 0) {
        size_t bytes = 0;
        if (!velmora::PixelCountOk(NewWidth, NewHeight) ||
            !velmora::CheckedMul(uint64_t(NewWidth) * uint64_t(NewHeight), 4, bytes))
            throw EBitmapException("Can't allocate the DIB handle");
        if (bytes >= kMapThreshold) {
            void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE,
                                 -1, 0);
            if (block == MAP_FAILED) throw EBitmapException("Can't allocate the DIB handle");
            bits_ = std::unique_ptr<TColor32, TPixelBlockDeleter>(static_cast<TColor32*>(block), TPixelBlockDeleter{bytes});
        } else {
            auto* block = static_cast<TColor32*>(std::calloc(bytes / 4, 4));
            if (block == nullptr) throw EBitmapException("Can't allocate the DIB handle");
            bits_ = std::unique_ptr<TColor32, TPixelBlockDeleter>(block, TPixelBlockDeleter{0});
        }
    }
    Width = NewWidth;
    Height = NewHeight;
}

TBitmap32::TBitmap32() { resampler_ = std::make_unique<TNearestResampler>(this); }

TBitmap32::~TBitmap32() {
    SetSize(0, 0);
    resampler_.reset();
}

bool TBitmap32::SetSize(int32_t NewWidth, int32_t NewHeight) {
    NewWidth = std::max(NewWidth, 0);
    NewHeight = std::max(NewHeight, 0);
    if (NewWidth == width_ && NewHeight == height_) return false;
    try {
        backend_.ChangeSize(width_, height_, NewWidth, NewHeight, true);
    } catch (...) {
        width_ = 0;
        height_ = 0;
        ResetClipRect();
        throw;
    }
    ResetClipRect();
    Changed();
    if (OnResize) OnResize(*this);
    return true;
}

void TBitmap32::SetClipRect(const TRect& r) {
    clipRect_ = IntersectRect(r, BoundsRect());
    clipping_ = !(clipRect_ == BoundsRect());
}

void TBitmap32::ResetClipRect() {
    clipRect_ = BoundsRect();
    clipping_ = false;
}

namespace {

std::atomic<const TBitmap32Reader*> installedReader{nullptr};

const TBitmap32Reader& reader() {
    const TBitmap32Reader* r = installedReader.load();
    if (r == nullptr) throw EInvalidGraphicOperation("No bitmap file reader is installed");
    return *r;
}

}  // namespace

void TBitmap32::SetReader(const TBitmap32Reader* Reader) { installedReader.store(Reader); }

void TBitmap32::LoadFromFile(const std::string& FileName) { reader().LoadFromFile(*this, FileName); }

void TBitmap32::LoadFromStream(TStream& Stream) { reader().LoadFromStream(*this, Stream); }

void TBitmap32::Changed() {
    if (updateCount_ == 0 && OnChange) OnChange(*this);
}

void TBitmap32::Clear(TColor32 FillColor) {
    if (Empty()) return;
    if (!clipping_) {
        std::fill_n(Bits(), size_t(width_) * size_t(height_), FillColor);
    } else {
        for (int32_t y = clipRect_.Top; y < clipRect_.Bottom; ++y)
            std::fill(ScanLine(y) + clipRect_.Left, ScanLine(y) + clipRect_.Right, FillColor);
    }
    Changed();
}

void TBitmap32::ResetAlpha(uint8_t AlphaValue) {
    if (!Empty()) {
        // Only the fourth byte of each pixel is written.
        auto* bytes = reinterpret_cast<uint8_t*>(Bits());
        const size_t n = size_t(width_) * size_t(height_);
        for (size_t i = 0; i < n; ++i) bytes[4 * i + 3] = AlphaValue;
    }
    Changed();
}

void TBitmap32::pictureRule(TGraphic& picture, TColor32 fill, bool resetAlpha) {
    SetSize(picture.Width(), picture.Height());
    if (Empty()) return;
    // Over an opaque fill with alpha reset, a picture that paints every pixel
    // opaque gives the same raster without the fill and reset passes.
    if (resetAlpha && (fill >> 24) == 0xFF) {
        TCanvas canvas = Canvas();
        if (picture.DrawOpaque(canvas)) {
            Changed();
            return;
        }
    }
    Clear(fill);
    TCanvas canvas = Canvas();
    picture.Draw(canvas, BoundsRect());
    if (resetAlpha) ResetAlpha(255);
}

void TBitmap32::Assign(const TBitmap32* Source) {
    BeginUpdate();
    if (Source == nullptr) {
        SetSize(0, 0);
    } else if (Source != this) {
        SetSize(Source->Width(), Source->Height());
        if (!Empty()) std::memcpy(Bits(), Source->Bits(), size_t(width_) * size_t(height_) * 4);
        DrawMode = Source->DrawMode;
        CombineMode = Source->CombineMode;
        WrapMode = Source->WrapMode;
        MasterAlpha = Source->MasterAlpha;
        OuterColor = Source->OuterColor;
    }
    EndUpdate();
    Changed();
}

void TBitmap32::Assign(TBitmap& Source) {
    BeginUpdate();
    pictureRule(Source, 0x00000000u, Source.PixelFormat() != TPixelFormat::pf32bit);
    if (!Empty() && Source.Transparent()) {
        // Colour reference 0x00BBGGRR -> raster order 0xRRGGBB.
        const uint32_t ref = Source.TransparentColor;
        const uint32_t key = (ref & 0xFF) << 16 | (ref & 0xFF00) | ((ref >> 16) & 0xFF);
        TColor32* p = Bits();
        const size_t n = size_t(width_) * size_t(height_);
        for (size_t i = 0; i < n; ++i)
            if ((p[i] & 0x00FFFFFFu) == key) p[i] &= 0x00FFFFFFu;
    }
    EndUpdate();
    Changed();
}

void TBitmap32::Assign(TGraphic& Source) {
    if (auto* bitmap = dynamic_cast<TBitmap*>(&Source)) {
        Assign(*bitmap);
        return;
    }
    BeginUpdate();
    pictureRule(Source, clWhite32, true);
    EndUpdate();
    Changed();
}

void TBitmap32::Assign(TPicture& Source) {
    if (Source.Graphic() == nullptr)
        Assign(nullptr);
    else
        Assign(*Source.Graphic());
}

void TBitmap32::AssignTo(TBitmap& Dest) const {
    Dest.HandleType = THandleType::bmDIB;
    Dest.SetPixelFormat(TPixelFormat::pf32bit);
    Dest.SetSize(width_, height_);
    if (Empty()) return;
    for (int32_t y = 0; y < height_; ++y) std::memcpy(Dest.ScanLine(y), ScanLine(y), size_t(width_) * 4);
}
