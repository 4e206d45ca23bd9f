// Byte streams and the file edge. Codecs decode from and encode to memory or
// read a TFileStream; files are written whole through the helpers at the
// bottom.
#pragma once

#include <csignal>
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

// A regular file opened read-only, read in pieces through a small buffer, with
// a position that can move anywhere (reads past the end give 0 bytes). Size is
// the file's size when it was opened. Opening refuses what ReadWholeFile
// refuses, with the same EFOpenError; a failing read raises EFOpenError too
// ("Cannot open file \"<path>\". <reason>"). Writing is refused (0 bytes).
class TFileStream : public TStream {
public:
    explicit TFileStream(const std::string& path);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return size_; }

private:
    // Up to count bytes at offset (fewer only at the end of the file).
    size_t readAt(int64_t offset, uint8_t* out, size_t count);

    // Reads smaller than this go through the buffer; larger ones go straight
    // into the caller's memory.
    static constexpr size_t kBufferSize = size_t(1) << 16;

    std::string path_;
    int fd_ = -1;
    int64_t size_ = 0;
    int64_t pos_ = 0;
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0;  // file offset of buffer_[0]
    size_t bufferLength_ = 0;  // valid bytes in buffer_
};

// A file written front to back that takes the place of the file at path only
// once complete, with the guarantees WriteFileReplacing gives (it writes
// through one). Nothing is created before the first byte (or Commit): the
// bytes go to an unnamed file in the target's folder, or where the file
// system has none, to a hidden temporary name. Commit flushes them to the
// disk and puts the file under its name; an object destroyed without Commit
// leaves nothing behind and the old file untouched.
//
// A failing write does not stop the writer feeding the stream: the rest is
// taken and dropped, and Commit raises the failure (EFCreateError, "Cannot
// create file \"<path>\". <reason>"). So a writer that meets an error of its
// own further on (a damaged source) reports that one, as it would if the
// file were written whole at the end. Reading is refused (0 bytes); the
// position can be asked but not moved (std::logic_error).
class TReplacingFileStream : public TStream {
public:
    explicit TReplacingFileStream(std::string path);
    ~TReplacingFileStream() override;
    TReplacingFileStream(const TReplacingFileStream&) = delete;
    TReplacingFileStream& operator=(const TReplacingFileStream&) = delete;

    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return size_; }

    // Puts the file in place (see WriteFileReplacing for the failures and the
    // interrupt flag). Once only.
    void Commit();

private:
    void open();
    void drop();

    std::string path_, dir_, base_;
    bool opened_ = false;
    bool committed_ = false;
    int dirFd_ = -1;
    int fd_ = -1;
    std::string temp_;     // the hidden name in use, if any
    int folderError_ = 0;  // the target's folder cannot take the file
    int writeError_ = 0;   // the first failure of the temporary file
    int64_t size_ = 0;
};

namespace velmora {

// The whole content of a regular file. Anything else (a folder, a FIFO, a
// device) is refused without blocking. Failure: EFOpenError with
// "Cannot open file \"<path>\". <reason>".
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Replaces the file at path with the bytes so that, whatever happens (a full
// disk, a kill, a power cut), the name holds either the complete old content
// or the complete new one:
//   - the data goes to an unnamed file in the target's folder (O_TMPFILE), or
//     where the file system has none, to a short hidden name
//     ".velmora-<pid>-<random>.tmp" that the next write into that folder
//     removes once its writer is gone;
//   - it is flushed to the disk, then linked under the target name (a new
//     file) or renamed over it (an existing one), and the folder is flushed;
//   - an existing file keeps its permission bits.
// Failure: EFCreateError with "Cannot create file \"<path>\". <reason>",
// nothing left behind and the old file untouched. When the interrupt flag
// (SetWriteInterruptFlag) is raised before the new content is put in place,
// the new content is dropped and EAbort is raised.
void WriteFileReplacing(const std::string& path, const void* data, size_t size);

// A flag, typically set by a signal handler, that makes WriteFileReplacing
// abandon the file in hand. Null (the default) means never.
void SetWriteInterruptFlag(const volatile std::sig_atomic_t* flag);

// Makes WriteFileReplacing use hidden names even where unnamed files exist,
// so tests can cover the route other file systems take.
void UseNamedTemporariesOnly(bool namedOnly);

// The prefix of the hidden temporary names WriteFileReplacing may leave
// behind when killed.
inline constexpr const char* kTemporaryPrefix = ".velmora-";

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

}  // namespace velmora
