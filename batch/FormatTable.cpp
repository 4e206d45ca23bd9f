#include "batch/FormatTable.h"

#include "batch/ClassicFormats.h"

#include <array>

namespace {

// The readers, tried in this order on a file's first bytes.
constexpr std::array kReaders{
    TReaderEntry{TPictureFormat::Jpeg, IsJpeg, NewJpegReader},
    TReaderEntry{TPictureFormat::Png, IsPng, NewPngReader},
    TReaderEntry{TPictureFormat::Bmp, IsBmp, NewBmpReader},
};

constexpr std::array kWriters{
    //          format                writer         alpha  profile quality
    TWriterEntry{TPictureFormat::Jpeg, NewJpegWriter, false, true, true},
    TWriterEntry{TPictureFormat::Png, NewPngWriter, true, true, false},
    TWriterEntry{TPictureFormat::Bmp, NewBmpWriter, false, false, false},
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
