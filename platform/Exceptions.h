// The exception classes raised by the raster, the codecs and the file layer.
// Every message is UTF-8 and is the exact text the class documents; the
// pipelines catch all of them per file and show their own message instead.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Raster errors: "Destination bitmap is nil", "Can't allocate the DIB handle", ...
class EBitmapException : public Exception { using Exception::Exception; };

// Stream layer: "Stream read error" / "Stream write error".
class EStreamError : public Exception { using Exception::Exception; };
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};
// "Cannot open file "%s". %s" / "Cannot create file "%s". %s". Reason() is
// the second %s alone (the system's text for what went wrong), so a front end
// can show the cause without repeating the path.
class EFileError : public EStreamError {
public:
    explicit EFileError(const std::string& message, std::string reason = {})
        : EStreamError(message), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }

private:
    std::string reason_;
};
class EFOpenError : public EFileError { using EFileError::EFileError; };
class EFCreateError : public EFileError { using EFileError::EFileError; };

// Picture errors: "Bitmap image is not valid", codec base classes.
class EInvalidGraphic : public Exception { using Exception::Exception; };
class EInvalidGraphicOperation : public Exception { using Exception::Exception; };

// A picture or buffer too large for this machine. Raised before allocating.
class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception("Out of memory") {}
    using Exception::Exception;
};

// Arithmetic errors (a zero divisor in the size rule, a result out of range).
class EMathError : public Exception { using Exception::Exception; };
class EZeroDivide : public EMathError {
public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
    using EMathError::EMathError;
};
class EInvalidOp : public EMathError {
public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
    using EMathError::EMathError;
};

// Index out of range in a string list.
class EListError : public Exception { using Exception::Exception; };

// The silent exception: raised by a progress handler to stop the work in hand
// quietly. Code that honours it ends the operation without reporting an error.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    using Exception::Exception;
};
