#include "codecs/jpeg/JpegSession.h"

#include "codecs/jpeg/JPEGImage.h"

#include <cstring>
#include <string>

#include <jerror.h>

namespace velmora::jpeg {

namespace {

Session& SessionOf(j_common_ptr cinfo) { return *static_cast<Session*>(cinfo->client_data); }

[[noreturn]] void Bail(j_common_ptr cinfo) { std::longjmp(SessionOf(cinfo).landing, 1); }

// Error manager: fatal errors leave through the landing point; warnings and
// trace messages are dropped so that decoding goes on as far as it can.
// The text of the library's message table for the current message, with its
// parameters put in, as the library's own formatter would.
std::string MessageText(const jpeg_error_mgr& err) {
    const int code = err.msg_code;
    if (code <= 0 || code > err.last_jpeg_message || err.jpeg_message_table == nullptr) return {};
    const char* format = err.jpeg_message_table[code];
    if (format == nullptr) return {};
    char text[JMSG_LENGTH_MAX];
    const int* i = err.msg_parm.i;
    if (std::strstr(format, "%s") != nullptr) {
        char parameter[JMSG_STR_PARM_MAX + 1];
        std::memcpy(parameter, err.msg_parm.s, JMSG_STR_PARM_MAX);
        parameter[JMSG_STR_PARM_MAX] = '\0';
        std::snprintf(text, sizeof text, format, parameter);
    } else {
        std::snprintf(text, sizeof text, format, i[0], i[1], i[2], i[3], i[4], i[5], i[6], i[7]);
    }
    return text;
}

void ErrorExit(j_common_ptr cinfo) {
    Session& s = SessionOf(cinfo);
    s.msgCode = cinfo->err->msg_code;
    s.msgText = MessageText(*cinfo->err);
    Bail(cinfo);
}
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
void ResetErrorMgr(j_common_ptr cinfo) {
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

void ProgressMonitor(j_common_ptr cinfo) {
    Session& s = SessionOf(cinfo);
    const bool decoding = cinfo->is_decompressor != 0;
    if (decoding) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > kMaxScans) {
            s.pending = std::make_exception_ptr(EJPEG("JPEG error: too many scans"));
            Bail(cinfo);
        }
    }
    if (s.report == nullptr) return;
    const jpeg_progress_mgr& p = *cinfo->progress;
    if (p.pass_limit <= 0 || p.total_passes <= 0) return;
    const double fraction = double(p.pass_counter) / double(p.pass_limit) + double(p.completed_passes);
    const int percent = int(fraction * 100.0 / double(p.total_passes));
    if (percent == s.lastPercent) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - s.lastTime < s.interval) return;

    TRect band;
    if (decoding) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        const int row = int(d->output_scanline);
        if (row < s.lastRow) s.lastRow = 0;  // a new output pass starts at the top
        band = TRect(0, s.lastRow, int(d->output_width), row);
        s.lastRow = row;
    }
    s.lastPercent = percent;
    s.lastTime = now;
    bool failed = false;
    try {
        s.report(s.owner, percent, decoding, band);
    } catch (...) {
        s.pending = std::current_exception();
        failed = true;
    }
    if (failed) Bail(cinfo);
}

// Source manager over a TStream.
SourceManager& SourceOf(j_decompress_ptr cinfo) { return *reinterpret_cast<SourceManager*>(cinfo->src); }

void InitSource(j_decompress_ptr cinfo) { SourceOf(cinfo).startOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    SourceManager& src = SourceOf(cinfo);
    size_t n = 0;
    bool failed = false;
    try {
        n = src.stream->Read(src.buffer, kStreamBufferSize);
    } catch (...) {
        SessionOf(reinterpret_cast<j_common_ptr>(cinfo)).pending = std::current_exception();
        failed = true;
    }
    if (failed) Bail(reinterpret_cast<j_common_ptr>(cinfo));
    if (n == 0) {
        if (src.startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // Premature end: pretend the picture ends here so that decoding
        // finishes with the rows it has.
        src.ranDry = true;
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src.buffer[0] = 0xFF;
        src.buffer[1] = JPEG_EOI;
        n = 2;
    }
    src.pub.next_input_byte = src.buffer;
    src.pub.bytes_in_buffer = n;
    src.startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    SourceManager& src = SourceOf(cinfo);
    size_t left = size_t(count);
    while (left > src.pub.bytes_in_buffer) {
        left -= src.pub.bytes_in_buffer;
        FillInputBuffer(cinfo);
    }
    src.pub.next_input_byte += left;
    src.pub.bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr) {}

// Destination manager over a TStream.
DestinationManager& DestOf(j_compress_ptr cinfo) { return *reinterpret_cast<DestinationManager*>(cinfo->dest); }

void WriteOut(j_compress_ptr cinfo, size_t count) {
    DestinationManager& dest = DestOf(cinfo);
    size_t written = 0;
    bool failed = false;
    try {
        written = dest.stream->Write(dest.buffer, count);
    } catch (...) {
        SessionOf(reinterpret_cast<j_common_ptr>(cinfo)).pending = std::current_exception();
        failed = true;
    }
    if (failed) Bail(reinterpret_cast<j_common_ptr>(cinfo));
    if (written != count) ERREXIT(cinfo, JERR_FILE_WRITE);
}

void InitDestination(j_compress_ptr cinfo) {
    DestinationManager& dest = DestOf(cinfo);
    dest.pub.next_output_byte = dest.buffer;
    dest.pub.free_in_buffer = kStreamBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    WriteOut(cinfo, kStreamBufferSize);
    InitDestination(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    const size_t count = kStreamBufferSize - DestOf(cinfo).pub.free_in_buffer;
    if (count > 0) WriteOut(cinfo, count);
}

}  // namespace

Session::Session() {
    jpeg_std_error(&err);
    err.error_exit = ErrorExit;
    err.emit_message = EmitMessage;
    err.output_message = OutputMessage;
    err.format_message = FormatMessage;
    err.reset_error_mgr = ResetErrorMgr;
    std::memset(&progress, 0, sizeof progress);
    progress.progress_monitor = ProgressMonitor;
    std::memset(&landing, 0, sizeof landing);
    lastTime = std::chrono::steady_clock::now();
}

DecompressSession::DecompressSession() {
    std::memset(&d, 0, sizeof d);
    d.err = &err;
    d.client_data = static_cast<Session*>(this);
    std::memset(&src.pub, 0, sizeof src.pub);
}

DecompressSession::~DecompressSession() { jpeg_destroy_decompress(&d); }

CompressSession::CompressSession() {
    std::memset(&c, 0, sizeof c);
    c.err = &err;
    c.client_data = static_cast<Session*>(this);
    std::memset(&dest.pub, 0, sizeof dest.pub);
}

CompressSession::~CompressSession() { jpeg_destroy_compress(&c); }

bool RunGuarded(Session& session, void (*step)(void*), void* arg) {
    if (setjmp(session.landing) != 0) return false;
    step(arg);
    return true;
}

void ThrowFailure(Session& session) {
    if (session.pending) std::rethrow_exception(session.pending);
    char text[48];
    std::snprintf(text, sizeof text, "JPEG error #%d", session.msgCode);
    throw EJPEG(text, session.msgText);
}

void CreateAndReadHeader(DecompressSession& s, TStream& stream, bool keepSegments) {
    jpeg_create_decompress(&s.d);
    s.d.progress = &s.progress;
    s.src.stream = &stream;
    s.src.startOfFile = true;
    s.src.pub.init_source = InitSource;
    s.src.pub.fill_input_buffer = FillInputBuffer;
    s.src.pub.skip_input_data = SkipInputData;
    s.src.pub.resync_to_restart = jpeg_resync_to_restart;
    s.src.pub.term_source = TermSource;
    s.src.pub.bytes_in_buffer = 0;
    s.src.pub.next_input_byte = nullptr;
    s.d.src = &s.src.pub;
    if (keepSegments) {
        jpeg_save_markers(&s.d, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&s.d, JPEG_APP0 + 2, 0xFFFF);
    }
    stream.SetPosition(0);
    jpeg_read_header(&s.d, TRUE);
}

void CreateCompressor(CompressSession& s, TStream& stream) {
    jpeg_create_compress(&s.c);
    s.c.progress = &s.progress;
    s.dest.stream = &stream;
    s.dest.pub.init_destination = InitDestination;
    s.dest.pub.empty_output_buffer = EmptyOutputBuffer;
    s.dest.pub.term_destination = TermDestination;
    s.c.dest = &s.dest.pub;
}

}  // namespace velmora::jpeg
