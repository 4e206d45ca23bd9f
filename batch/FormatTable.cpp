#include "batch/FormatTable.h"

#include "batch/ClassicFormats.h"
#include "codecs/heif/HeifFormat.h"
#include "codecs/tiff/TiffFormat.h"
#include "codecs/webp/WebpFormat.h"

#include <array>
#include <string_view>

namespace {

// A HEIF file whose brand says AV1 (the same reader takes both kinds).
bool IsAvif(const uint8_t* head, size_t n) {
    if (!IsHeif(head, n) || n < 12) return false;
    const std::string_view brand(reinterpret_cast<const char*>(head) + 8, 4);
    return brand == "avif" || brand == "avis";
}

// The readers, tried in this order on a file's first bytes.
constexpr std::array kReaders{
    TReaderEntry{TPictureFormat::Jpeg, IsJpeg, NewJpegReader},
    TReaderEntry{TPictureFormat::Png, IsPng, NewPngReader},
    TReaderEntry{TPictureFormat::Bmp, IsBmp, NewBmpReader},
    TReaderEntry{TPictureFormat::Webp, IsWebp, NewWebpReader},
    TReaderEntry{TPictureFormat::Tiff, IsTiff, NewTiffReader},
    TReaderEntry{TPictureFormat::Avif, IsAvif, NewHeifReader},
    TReaderEntry{TPictureFormat::Heif, IsHeif, NewHeifReader},
};

constexpr std::array kWriters{
    //          format                writer         alpha  profile quality
    TWriterEntry{TPictureFormat::Jpeg, NewJpegWriter, false, true, true},
    TWriterEntry{TPictureFormat::Png, NewPngWriter, true, true, false},
    TWriterEntry{TPictureFormat::Bmp, NewBmpWriter, false, false, false},
    TWriterEntry{TPictureFormat::Webp, NewWebpWriter, true, true, true},
    TWriterEntry{TPictureFormat::Avif, NewAvifWriter, true, true, true},
};

}  // namespace

const TReaderEntry* ReaderByContent(const uint8_t* head, size_t n) {
    for (const TReaderEntry& e : kReaders)
        if (e.sniff(head, n)) return &e;
    return nullptr;
}

const TReaderEntry* ReaderOf(TPictureFormat format) {
    for (const TReaderEntry& e : kReaders)
        if (e.format == format) return &e;
    return nullptr;
}

const TWriterEntry* WriterOf(TPictureFormat format) {
    for (const TWriterEntry& e : kWriters)
        if (e.format == format) return &e;
    return nullptr;
}
