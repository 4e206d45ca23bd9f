// Deterministic corruption: every byte of small files of each kind is
// replaced by a few values, and every length of truncation is tried. Loading
// and drawing may succeed or raise one of the project's exceptions; nothing
// else (a crash, a foreign exception, a hang, an out-of-bounds access under
// the sanitizers) is acceptable.
#include "tests/support/JpegTestKit.h"
#include "codecs/jpeg/JPEGImage.h"

#include <gtest/gtest.h>

using jpegkit::Bytes;
using jpegkit::Recipe;

namespace {

struct Mode {
    const char* name;
    void (*configure)(TJPEGImage&);
};

const Mode kModes[] = {
    {"Default", [](TJPEGImage&) {}},
    {"ProgressiveDisplay8Bit",
     [](TJPEGImage& j) {
         j.SetProgressiveDisplay(true);
         j.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
     }},
    {"FastHalf",
     [](TJPEGImage& j) {
         j.SetPerformance(TJPEGPerformance::jpBestSpeed);
         j.SetScale(TJPEGScale::jsHalf);
     }},
};

// Load, ask for the size, draw into a canvas of that size. Returns an empty
// string when the outcome is acceptable, else a description.
std::string TryDecode(const Bytes& bytes, const Mode& mode) {
    try {
        TJPEGImage jpg;
        mode.configure(jpg);
        TMemoryStream stream(bytes);
        jpg.LoadFromStream(stream);
        const int w = jpg.Width(), h = jpg.Height();
        if (w < 0 || h < 0) return "negative size";
        // A damaged size field can declare a large picture; decoding one is
        // correct but slow, and large sizes have their own tests.
        if (uint64_t(w) * uint64_t(h) > (1u << 18)) return "";
        std::vector<uint32_t> pixels(size_t(w) * size_t(h), 0);
        TCanvas canvas{pixels.data(), w, h};
        jpg.Draw(canvas, TRect(0, 0, w, h));
        if (jpg.Bitmap() != nullptr && jpg.Bitmap()->Width() > 0 && jpg.Bitmap()->Height() > 0 &&
            (jpg.Bitmap()->Width() != w || jpg.Bitmap()->Height() != h))
            return "decoded size differs from the reported size";
        return "";
    } catch (const Exception&) {
        return "";
    } catch (const std::exception& e) {
        return std::string("foreign exception: ") + e.what();
    } catch (...) {
        return "unknown exception";
    }
}

Recipe Small(Recipe::Kind kind, bool progressive, int restart = 0) {
    Recipe s;
    s.kind = kind;
    s.width = 19;
    s.height = 13;
    s.progressive = progressive;
    s.restartRows = restart;
    s.quality = 60;
    return s;
}

struct CorruptCase {
    const char* name;
    Recipe recipe;
};

void PrintTo(const CorruptCase& c, std::ostream* os) { *os << c.name; }

const CorruptCase kFiles[] = {
    {"Baseline", Small(Recipe::Colour, false)},
    {"Progressive", Small(Recipe::Colour, true)},
    {"Grey", Small(Recipe::Grey, false)},
    {"Cmyk", Small(Recipe::Cmyk, false)},
    {"Restarts", Small(Recipe::Colour, false, 1)},
};

class JpegCorruption : public ::testing::TestWithParam<CorruptCase> {};

TEST_P(JpegCorruption, EveryByteReplacedDecodesOrRaises) {
    const Bytes file = jpegkit::MakeJpeg(GetParam().recipe);
    for (const Mode& mode : kModes) {
        for (size_t i = 0; i < file.size(); ++i) {
            for (const uint8_t value : {uint8_t(file[i] ^ 0xFF), uint8_t(0x00), uint8_t(0xFF), uint8_t(file[i] + 1)}) {
                if (value == file[i]) continue;
                Bytes bad = file;
                bad[i] = value;
                const std::string problem = TryDecode(bad, mode);
                ASSERT_EQ(problem, "") << mode.name << ": byte " << i << " set to " << int(value);
            }
        }
    }
}

TEST_P(JpegCorruption, EveryTruncationDecodesOrRaises) {
    const Bytes file = jpegkit::MakeJpeg(GetParam().recipe);
    for (const Mode& mode : kModes)
        for (size_t keep = 0; keep < file.size(); ++keep) {
            const Bytes cut(file.begin(), file.begin() + long(keep));
            ASSERT_EQ(TryDecode(cut, mode), "") << mode.name << ": first " << keep << " bytes";
        }
}

INSTANTIATE_TEST_SUITE_P(JpegFiles, JpegCorruption, ::testing::ValuesIn(kFiles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
