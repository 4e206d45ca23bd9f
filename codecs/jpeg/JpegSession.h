// The boundary between the JPEG image object and libjpeg.
//
// libjpeg reports a fatal error by calling error_exit, which must not return.
// Ours longjmps back to a landing point set by RunGuarded, the one function
// that calls into libjpeg. Two rules keep this sound:
//  - nothing between RunGuarded and the libjpeg call that fails may own an
//    object with a destructor (the jump skips those frames), so the steps
//    passed to RunGuarded use plain data only while libjpeg runs;
//  - no C++ exception may travel through libjpeg's C frames, so every callback
//    that runs C++ code (stream access, the progress handler) catches what it
//    raises, parks it in the session and longjmps like an error.
// After a failed step the caller lets the session destroy the libjpeg object
// and calls ThrowFailure, which raises the parked exception or EJPEG.
// Internal to the codec; not part of its public interface.
#pragma once

#include "platform/Rect.h"
#include "platform/Stream.h"

#include <chrono>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include <jpeglib.h>

namespace velmora::jpeg {

// Reads and writes go through buffers of this size.
inline constexpr size_t kStreamBufferSize = 4096;

// A progressive file may have at most this many scans. Each scan of a large
// picture costs a pass over all its blocks, so a tiny hostile file with
// thousands of scans would otherwise keep the decoder busy for hours.
inline constexpr int kMaxScans = 1000;

// Receives psRunning reports: percent done and, while decoding, the band of
// output rows finished since the previous report.
using ProgressReport = void (*)(void* owner, int percent, bool decoding, const TRect& band);

struct Session {
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    jpeg_error_mgr err;
    jpeg_progress_mgr progress;
    std::jmp_buf landing;
    int msgCode = 0;                     // libjpeg's code of the fatal error
    std::string msgText;                 // and its text, parameters filled in
    std::exception_ptr pending;          // exception caught inside a callback

    // Progress throttling: at most one report per interval, and only when the
    // whole-number percentage changed.
    ProgressReport report = nullptr;
    void* owner = nullptr;
    std::chrono::steady_clock::duration interval{};
    std::chrono::steady_clock::time_point lastTime{};
    int lastPercent = -1;
    int lastRow = 0;
};

struct SourceManager {
    jpeg_source_mgr pub;                 // first member: libjpeg sees only this
    TStream* stream = nullptr;
    bool startOfFile = true;
    bool ranDry = false;                 // the data ended before the picture did
    JOCTET buffer[kStreamBufferSize];
};

struct DestinationManager {
    jpeg_destination_mgr pub;
    TStream* stream = nullptr;
    JOCTET buffer[kStreamBufferSize];
};

// A decompressor with its error manager, progress monitor and source manager.
// The decompression object is destroyed with the session on every path.
struct DecompressSession : Session {
    DecompressSession();
    ~DecompressSession();

    jpeg_decompress_struct d;
    SourceManager src;
    // Settings of the final output pass of a progressive display.
    J_DCT_METHOD finalDct = JDCT_FLOAT;
    boolean finalTwoPass = FALSE;
    J_DITHER_MODE finalDither = JDITHER_FS;
};

struct CompressSession : Session {
    CompressSession();
    ~CompressSession();

    jpeg_compress_struct c;
    DestinationManager dest;
};

// Runs step(arg) with the session's landing point armed. Returns false when
// libjpeg (or a callback) bailed out; exceptions raised by the step's own C++
// code outside libjpeg pass through unchanged.
bool RunGuarded(Session& session, void (*step)(void*), void* arg);

// Raises the exception parked by a callback, or EJPEG "JPEG error #%d".
[[noreturn]] void ThrowFailure(Session& session);

// Creates the decompressor and reads the header from `stream`, position 0;
// with keepSegments the APP1 and APP2 segments are kept in the decompressor's
// marker list. Meant to run inside RunGuarded.
void CreateAndReadHeader(DecompressSession& s, TStream& stream, bool keepSegments = false);
// Creates the compressor writing to `stream`. Meant to run inside RunGuarded.
void CreateCompressor(CompressSession& s, TStream& stream);

}  // namespace velmora::jpeg
