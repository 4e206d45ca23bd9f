// Byte streams and the file edge. Codecs decode from and encode to memory;
// files are read whole and written whole through the helpers at the bottom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes count bytes; returns how many were written.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position; returns the new position.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size() = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
    int64_t Remaining() { return Size() - Position(); }

    // Exactly count bytes or EReadError ("Stream read error").
    void ReadBuffer(void* buffer, size_t count);
    // Exactly count bytes or EWriteError ("Stream write error").
    void WriteBuffer(const void* buffer, size_t count);
};

// A growable block of bytes with a position.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return int64_t(data_.size()); }

    void SetSize(size_t n) { data_.resize(n); if (pos_ > n) pos_ = n; }
    void Clear() { data_.clear(); pos_ = 0; }
    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    std::vector<uint8_t> TakeBytes() { pos_ = 0; return std::move(data_); }

    // Reads the whole file (EFOpenError when it cannot be opened or read).
    void LoadFromFile(const std::string& path);
    // Writes the whole content through WriteFileReplacing.
    void SaveToFile(const std::string& path) const;

private:
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
};

namespace velmora {

// The whole content of a file. Failure: EFOpenError with
// "Cannot open file \"<path>\". <reason>".
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Writes the bytes to a temporary file in the target's folder and renames it
// over the target only when everything has been written and flushed, so a
// failed write never truncates or loses an existing file. Failure:
// EFCreateError with "Cannot create file \"<path>\". <reason>" (nothing left behind).
void WriteFileReplacing(const std::string& path, const void* data, size_t size);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

}  // namespace velmora
