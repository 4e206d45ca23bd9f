#include "platform/Stream.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void TStream::ReadBuffer(void* buffer, size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (pos_ >= data_.size()) return 0;
    const size_t n = std::min(count, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = int64_t(pos_);
    else if (origin == TSeekOrigin::soEnd) base = int64_t(data_.size());
    int64_t p = base + offset;
    if (p < 0) p = 0;
    pos_ = size_t(p);
    return p;
}

void TMemoryStream::LoadFromFile(const std::string& path) {
    data_ = velmora::ReadWholeFile(path);
    pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) const {
    velmora::WriteFileReplacing(path, data_.data(), data_.size());
}

namespace velmora {

namespace {

std::string systemText(int err) { return std::strerror(err); }

[[noreturn]] void raiseOpen(const std::string& path, const std::string& reason) {
    throw EFOpenError("Cannot open file \"" + path + "\". " + reason, reason);
}
[[noreturn]] void raiseCreate(const std::string& path, const std::string& reason) {
    throw EFCreateError("Cannot create file \"" + path + "\". " + reason, reason);
}

// Closes a descriptor when the scope ends.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Gives the descriptor up without closing it.
    void Release() { fd_ = -1; }
    // Closes now and returns the close's error (0 when fine).
    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int fd_;
};

const volatile std::sig_atomic_t* interruptFlag = nullptr;
bool namedTemporariesOnly = false;

bool interruptRaised() { return interruptFlag != nullptr && *interruptFlag != 0; }

// Hidden temporary names: kTemporaryPrefix, the writer's pid, "-", 8 hex
// digits, ".tmp". At most 9 + 10 + 1 + 8 + 4 = 32 bytes, whatever the
// target's name, so a target of 255 bytes still works.
std::string temporaryName(std::mt19937& random) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%ld-%08x.tmp", kTemporaryPrefix, long(::getpid()), unsigned(random()));
    return name;
}

// The writer's pid when name has the shape temporaryName makes, else -1.
long temporaryOwner(const char* name) {
    const size_t prefix = std::strlen(kTemporaryPrefix);
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0) return -1;
    const char* p = name + prefix;
    long pid = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 10; ++p, ++digits) pid = pid * 10 + (*p - '0');
    if (digits == 0 || *p++ != '-') return -1;
    for (int i = 0; i < 8; ++i, ++p)
        if (!std::isxdigit(static_cast<unsigned char>(*p))) return -1;
    return std::strcmp(p, ".tmp") == 0 ? pid : -1;
}

// Older than this, a temporary file is stale even if a process with its
// writer's pid exists (the pid has been reused): writing one file never
// takes that long.
constexpr time_t kStaleAge = 24 * 60 * 60;

// Removes temporary files a killed writer left in the folder: only regular
// files of ours by name and owner whose writer is gone, or which are old.
// Done once per folder per process.
void sweepStaleTemporaries(int dirFd, const std::string& dir) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard lock(mutex);
        if (!swept.insert(dir).second) return;
    }
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return;
    DIR* listing = ::fdopendir(listFd);
    if (listing == nullptr) {
        ::close(listFd);
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* e = ::readdir(listing)) {
        const long pid = temporaryOwner(e->d_name);
        if (pid <= 0) continue;
        struct stat st {};
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        const bool writerGone = pid != long(::getpid()) && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
        if (writerGone || now - st.st_mtime > kStaleAge) ::unlinkat(dirFd, e->d_name, 0);
    }
    ::closedir(listing);
}

// Writes all of the bytes; 0 or the error.
int writeAll(int fd, const uint8_t* p, size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::min<size_t>(left, size_t(1) << 30));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= size_t(n);
    }
    return 0;
}

}  // namespace

void SetWriteInterruptFlag(const volatile std::sig_atomic_t* flag) { interruptFlag = flag; }

void UseNamedTemporariesOnly(bool namedOnly) { namedTemporariesOnly = namedOnly; }

namespace {

// Opens a regular file for reading. Non-blocking, so that a FIFO without a
// writer or a device cannot hold the run; anything but a regular file is
// refused. The descriptor and the file's status on success.
int openForReading(const std::string& path, struct stat& st) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.Get() < 0) raiseOpen(path, systemText(errno));
    if (::fstat(fd.Get(), &st) != 0) raiseOpen(path, systemText(errno));
    if (S_ISDIR(st.st_mode)) raiseOpen(path, systemText(EISDIR));
    if (!S_ISREG(st.st_mode)) raiseOpen(path, "Not a regular file");
    const int result = fd.Get();
    fd.Release();
    return result;
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    struct stat st {};
    FileDescriptor fd(openForReading(path, st));
    std::vector<uint8_t> bytes;
    try {
        bytes.reserve(size_t(st.st_size));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
    uint8_t chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            raiseOpen(path, systemText(errno));
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void WriteFileReplacing(const std::string& path, const void* data, size_t size) {
    TReplacingFileStream out(path);
    out.WriteBuffer(data, size);
    out.Commit();
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace velmora

TFileStream::TFileStream(const std::string& path) : path_(path) {
    struct stat st {};
    fd_ = velmora::openForReading(path, st);
    size_ = int64_t(st.st_size);
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

size_t TFileStream::readAt(int64_t offset, uint8_t* out, size_t count) {
    if (offset >= size_) return 0;
    count = size_t(std::min<int64_t>(int64_t(count), size_ - offset));
    size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(fd_, out + done, std::min<size_t>(count - done, size_t(1) << 30), off_t(offset + int64_t(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            velmora::raiseOpen(path_, velmora::systemText(errno));
        }
        if (n == 0) break;  // the file became shorter since it was opened
        done += size_t(n);
    }
    return done;
}

size_t TFileStream::Read(void* buffer, size_t count) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    // What the buffer already holds from the position on.
    if (pos_ >= bufferStart_ && pos_ < bufferStart_ + int64_t(bufferLength_)) {
        const size_t at = size_t(pos_ - bufferStart_);
        const size_t n = std::min(count, bufferLength_ - at);
        std::memcpy(out, buffer_.data() + at, n);
        done = n;
        pos_ += int64_t(n);
    }
    if (done == count) return done;
    if (count - done >= kBufferSize) {
        const size_t n = readAt(pos_, out + done, count - done);
        pos_ += int64_t(n);
        return done + n;
    }
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    bufferStart_ = pos_;
    bufferLength_ = readAt(pos_, buffer_.data(), kBufferSize);
    const size_t n = std::min(count - done, bufferLength_);
    std::memcpy(out + done, buffer_.data(), n);
    pos_ += int64_t(n);
    return done + n;
}

size_t TFileStream::Write(const void*, size_t) { return 0; }

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = pos_;
    else if (origin == TSeekOrigin::soEnd)
        base = size_;
    pos_ = std::max<int64_t>(0, base + offset);
    return pos_;
}

// ---------------------------------------------------------------------------

TReplacingFileStream::TReplacingFileStream(std::string path) : path_(std::move(path)) {
    const size_t slash = path_.rfind('/');
    dir_ = slash == std::string::npos ? std::string(".") : path_.substr(0, slash + 1);
    base_ = slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

TReplacingFileStream::~TReplacingFileStream() {
    drop();
    if (dirFd_ >= 0) ::close(dirFd_);
}

void TReplacingFileStream::drop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlinkat(dirFd_, temp_.c_str(), 0);
    temp_.clear();
}

void TReplacingFileStream::open() {
    opened_ = true;
    if (base_.empty() || base_ == "." || base_ == "..") {
        folderError_ = EISDIR;
        return;
    }
    dirFd_ = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) {
        folderError_ = errno;
        return;
    }
    velmora::sweepStaleTemporaries(dirFd_, dir_);
    // The data first goes to an unnamed file; where the file system has none,
    // to a hidden name.
    fd_ = velmora::namedTemporariesOnly ? -1 : ::openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd_ >= 0) return;
    if (!velmora::namedTemporariesOnly && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        writeError_ = errno;
        return;
    }
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        const std::string name = velmora::temporaryName(random);
        fd_ = ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0)
            temp_ = name;
        else if (errno != EEXIST)
            break;
    }
    if (fd_ < 0) writeError_ = errno;
}

size_t TReplacingFileStream::Write(const void* buffer, size_t count) {
    if (committed_) throw std::logic_error("the file is already in place");
    if (!opened_) open();
    if (fd_ >= 0 && writeError_ == 0) writeError_ = velmora::writeAll(fd_, static_cast<const uint8_t*>(buffer), count);
    size_ += int64_t(count);
    return count;
}

int64_t TReplacingFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    // Written front to back: the position can be asked, not moved.
    const int64_t to = (origin == TSeekOrigin::soBeginning ? 0 : size_) + offset;
    if (to != size_) throw std::logic_error("an output file is written in order");
    return size_;
}

void TReplacingFileStream::Commit() {
    if (committed_) throw std::logic_error("the file is already in place");
    if (!opened_) open();
    auto fail = [&](int err) {
        drop();
        velmora::raiseCreate(path_, velmora::systemText(err));
    };
    if (folderError_ != 0) fail(folderError_);
    struct stat old {};
    const bool haveOld = ::fstatat(dirFd_, base_.c_str(), &old, 0) == 0;
    if (haveOld && S_ISDIR(old.st_mode)) fail(EISDIR);
    if (velmora::interruptRaised()) {
        drop();
        throw EAbort();
    }
    if (writeError_ != 0) fail(writeError_);

    if (haveOld && S_ISREG(old.st_mode)) ::fchmod(fd_, old.st_mode & 07777);
    if (::fsync(fd_) != 0) fail(errno);
    if (velmora::interruptRaised()) {
        drop();
        throw EAbort();
    }

    if (temp_.empty()) {
        // An unnamed file (a hidden one's name is in temp_). A new name can
        // take it at once; an existing one is replaced through a hidden name
        // and a rename, which is atomic.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
        auto linkAs = [&](const std::string& name) {
            if (::linkat(AT_FDCWD, self, dirFd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
            if (errno != ENOENT) return errno;  // ENOENT: no /proc
            return ::linkat(fd_, "", dirFd_, name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
        };
        int err = haveOld ? EEXIST : linkAs(base_);
        if (err == EEXIST) {
            std::random_device seed;
            std::mt19937 random(seed());
            for (int attempt = 0; attempt < 16; ++attempt) {
                const std::string name = velmora::temporaryName(random);
                err = linkAs(name);
                if (err == 0) temp_ = name;
                if (err != EEXIST) break;
            }
        }
        if (err != 0) fail(err);
    }
    if (!temp_.empty() && ::renameat(dirFd_, temp_.c_str(), dirFd_, base_.c_str()) != 0) fail(errno);
    temp_.clear();
    ::close(fd_);
    fd_ = -1;
    committed_ = true;
    // The new name must reach the disk too; a folder that cannot be flushed
    // (some file systems refuse) has the file all the same.
    ::fsync(dirFd_);
}
