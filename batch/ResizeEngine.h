// The batch engine: one run over a list of files, the size rule and the three
// format pipelines. The desktop window and velmora-cli both drive it through a
// TResizePort; it never touches a display itself.
#pragma once

#include "batch/OverwriteAnswer.h"
#include "batch/PictureFormats.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

class TBitmap;
class TBitmap32;
class TJPEGImage;
class TPngImage;
class TStreamResampler;
class TStream;
class TReplacingFileStream;
struct TReaderEntry;

// What became of one file of a run, in list order.
enum class TFileStatus { Written, Copied, Skipped, Failed, NotReached };

struct TFileResult {
    int index = 0;
    QString source;  // as listed
    QString output;  // the output's path; empty when none was chosen
    TFileStatus status = TFileStatus::Failed;
    QString cause;  // a failure's cause in words (or its message)
    // Sides of the source (as seen, turned upright) and of the output; 0
    // where not known.
    int32_t sourceWidth = 0, sourceHeight = 0, width = 0, height = 0;
    int64_t bytes = -1;  // the output file's size; -1 when none was written
    int64_t ms = 0;      // from the file's turn to its end
    // A dry run: the output exists already (the question would be asked).
    bool outputExists = false;
};

// What the engine needs from its front end.
class TResizePort {
public:
    virtual ~TResizePort() = default;
    // The progress line ("Resizing image 3 of 10"), the file name as listed,
    // and the progress position (1..max).
    virtual void ShowProgress(const QString& line, const QString& fileName, int position, int maximum) = 0;
    // Handles pending events once; the only moment at which Cancel is seen.
    virtual void ProcessMessages() = 0;
    // The overwrite question for an output file name (without folder); a
    // value outside No, Yes and Yes to all counts as Yes.
    virtual TOverwriteAnswer AskOverwrite(const QString& fileName) = 0;
    // A modal error message (error icon, one OK button).
    virtual void ShowError(const QString& message) = 0;
    // A pipeline's failure: the message ShowError would show, and the cause
    // in the words of the layer that failed ("No space left on device", a
    // decoder's text; empty when unknown). The default shows the message.
    virtual void ShowFileError(const QString& message, const QString& /*cause*/) { ShowError(message); }
    // A file was written, but its picture had less data than its size
    // declares: the rest of the picture is filled in. name is the source
    // path. The default says nothing.
    virtual void ShowShortData(const QString& /*name*/) {}
    // The end of a file's turn (or, after a stop, of the files not reached):
    // what became of it. The default says nothing.
    virtual void FileDone(const TFileResult& /*result*/) {}
};

// Counts kept for front ends that report a summary (the desktop shows none).
struct TRunSummary {
    int written = 0;  // the pipeline finished and the output file exists
    int skipped = 0;  // answered No at the overwrite question
    int failed = 0;   // a pipeline error or an unknown format
    int shortData = 0;  // of the written ones: the source's data ended early
    int copied = 0;     // of the written ones: copied as they were (no enlarging)
    // The run stopped (Cancel, or a write abandoned at an interrupt) with
    // notReached files not done, the abandoned one included.
    bool interrupted = false;
    int notReached = 0;
};

// The size options: 0..6 the presets, 7 a fixed width, 8 a fixed height.
inline constexpr int32_t sizeFixedWidth = 7;
inline constexpr int32_t sizeFixedHeight = 8;

// The preset size options 0..6: width and height values (pixels).
inline constexpr int presetCount = 7;
inline constexpr int32_t presetWidths[presetCount] = {640, 1280, 1600, 2048, 3008, 3088, 4064};
inline constexpr int32_t presetHeights[presetCount] = {480, 960, 1200, 1536, 1960, 2056, 2704};

class TResizeEngine {
public:
    explicit TResizeEngine(TResizePort& port);
    virtual ~TResizeEngine();

    // Run inputs, set before Prepare: the names as listed, the full paths
    // (parallel to files) and the output folder.
    QStringList files;
    QStringList fileList;
    QString outDir;

    // Target values; 0 means "not used".
    int32_t dw = 0;
    int32_t dh = 0;

    bool cancelOperation = false;

    // Photo options, read by the JPEG and PNG pipelines.
    // Turn pictures upright by their EXIF orientation before sizing them.
    bool autoOrient = true;
    // Same format in and out: keep EXIF (without thumbnail), XMP and the ICC
    // profile.
    bool keepMetadata = false;
    // PNG: keep transparency (RGB + alpha output) instead of compositing
    // over white.
    bool keepAlpha = false;
    // Pictures that can be decoded row by row go through the resampler
    // without being held whole; false takes the whole-picture route for
    // every file (the same output bytes, more memory).
    bool streaming = true;
    // The format outputs are written in (Same: the one the source's
    // extension names; HEIC/HEIF and TIFF sources give JPEG).
    TOutputFormat outputFormat = TOutputFormat::Same;
    // 1..100 for the outputs that have a quality (JPEG, WebP, AVIF); 0 keeps
    // each format's default (JPEG: the quality today's runs write).
    int quality = 0;
    // WebP outputs are lossless.
    bool lossless = false;
    // Pictures worked on at once (1: one after the other). What a user sees
    // is the same either way: progress, questions and messages come in list
    // order from the thread that calls Run, and a file is written only at its
    // turn, after its question; work done ahead for a file answered No or
    // after Cancel is dropped unwritten.
    int jobs = 1;

    // Where each output goes, parallel to fileList: the folder below outDir
    // ("a/b"; empty or missing: outDir itself).
    QStringList relDirs;
    // Files known to fail before the run (by index): the cause, shown at
    // their turn.
    QHash<int, QString> listErrors;
    // The output's file name from {name} (the source's, without extension),
    // {ext} (the output's extension), {w} and {h} (the output's sides);
    // empty: the source's file name.
    QString namePattern;
    // An existing output is never replaced: the output takes the first free
    // "name (N).ext" instead, also past names taken earlier in the run.
    bool renameExisting = false;
    // A picture whose sides already fit the target keeps its size; when the
    // result would be the same picture its file is copied as it is (less the
    // metadata outputs do not carry).
    bool noEnlarge = false;
    // Reads only the sources' headers and writes nothing: each file's turn
    // reports what it would become.
    bool dryRun = false;

    // Sets dw and dh for a size option (0..8) and its width and height
    // values: a fixed width leaves dh at 0, a fixed height leaves dw at 0,
    // a preset keeps both values.
    void SetTarget(int32_t sizeOption, int32_t width, int32_t height);

    // The window's adapter for SetTarget: the texts of the width and height
    // edits (a text that is not a 32-bit decimal number counts as 0) and
    // whether the fixed-height or the fixed-width option is selected.
    void SetTargetFromControls(const QString& widthText, const QString& heightText, bool fixedHeight,
                               bool fixedWidth);

    // Creates the run's working objects and clears cancelOperation.
    void Prepare();
    // Runs the whole list, then frees the working objects. cancelOperation is
    // tested before each file and again right after the message pump, so a
    // Cancel seen at the pump ends the run before that file is touched.
    void Run();

    // The size rule: target w x h for a source of ow x oh.
    // EZeroDivide for a zero source side, EMathError when a side does not fit.
    void calculateSize(int32_t ow, int32_t oh, int32_t& w, int32_t& h) const;

    // The pipelines: decode, size, resample, encode, write to OutputPath(name).
    // Each reports its own failure through the port and returns normally.
    // They return true when the output file was written. Virtual so that
    // tests can observe the dispatch without decoding anything.
    virtual bool resizeJpg(const QString& name);
    virtual bool resizeBmp(const QString& name);
    virtual bool resizePng(const QString& name);

    // The work of each pipeline on one picture in memory: the source file's
    // bytes in, the output file's bytes out (nothing is read or written on
    // disk). Failures raise; the file pipelines above report them.
    std::vector<uint8_t> resizeJpgBytes(std::vector<uint8_t> source);
    std::vector<uint8_t> resizeBmpBytes(std::vector<uint8_t> source);
    std::vector<uint8_t> resizePngBytes(std::vector<uint8_t> source);

    // The same work on a source read from a stream, from its position to its
    // end: the file pipelines hand a TFileStream, so a step may read the file
    // in pieces instead of holding all of it.
    std::vector<uint8_t> resizeJpgFrom(TStream& source);
    std::vector<uint8_t> resizeBmpFrom(TStream& source);
    std::vector<uint8_t> resizePngFrom(TStream& source);

    // The same work with the output's bytes written to out as they are made:
    // the file pipelines hand a TReplacingFileStream, so an output goes to
    // its file without being held whole first.
    void resizeJpgTo(TStream& source, TStream& out);
    void resizeBmpTo(TStream& source, TStream& out);
    void resizePngTo(TStream& source, TStream& out);
    using TStreamStep = void (TResizeEngine::*)(TStream& source, TStream& out);

    // The step for any picture file: its first bytes choose the reader
    // (the extension of the file being worked on when they match none).
    // Where content and extension agree on JPEG, PNG or BMP and the output
    // keeps the format, that format's own step above runs; everything else
    // goes from the format table's reader to its writer.
    void resizeAnyTo(TStream& source, TStream& out);
    // resizeAnyTo in memory, for a source known by the name name.
    std::vector<uint8_t> resizeBytesAs(const QString& name, std::vector<uint8_t> source);

    // outDir + "/" + the output's file name for name (OutputFileName).
    QString OutputPath(const QString& name) const;

    // The size rule with noEnlarge applied: a picture of ow x oh that the
    // rule would enlarge keeps its sides.
    void FitTarget(int32_t ow, int32_t oh, int32_t& w, int32_t& h) const;

    // The part of a path after its last "/" (a backslash is an ordinary
    // character in a file name).
    static QString FileNamePart(const QString& path);
    // The file name's part from its last dot on, dot included, with the ASCII
    // letters a-z in upper case; empty when the file name has no dot.
    static QString ExtensionOf(const QString& path);

    const TRunSummary& Summary() const { return summary_; }

    // The working objects (exist between Prepare and the end of Run).
    std::unique_ptr<TBitmap32> img, src;
    std::unique_ptr<TBitmap> bmp;
    std::unique_ptr<TJPEGImage> jpg;
    std::unique_ptr<TPngImage> png;

private:
    // The output path of file i by relDirs, namePattern and renameExisting;
    // empty with cause set when the file cannot have one.
    QString resolveTarget(int i, QString& cause);
    // The sides of the source at path as the run would size it.
    void probeSizes(const QString& path, int32_t& sw, int32_t& sh, int32_t& w, int32_t& h, bool& copyable);
    // Copies the source when noEnlarge keeps its size and the copy is the
    // picture the pipeline would write; false, with the source where it was,
    // otherwise.
    bool copySmall(const QString& name, TStream& source, TStream& out);
    // Creates the target's folder below outDir when it has one.
    void makeTargetFolder();
    void dryRunFile(int i);
    void finishFile(TFileStatus status);
    void reportNotReached(int from, int n);
    QString displayName(int i) const;
    int fileCount() const;
    // The output path of the file in its turn; empty outside a run.
    QString target_;
    QString madeFolder_;              // the last folder makeTargetFolder made
    QHash<QString, QString> claims_;  // outputs of this run: path -> source file name
    TFileResult result_;              // the file in its turn
    QElapsedTimer turnTimer_;
    QString lastCause_;  // the last failure's cause as reported
    // Sides of the last picture sized, and whether it was copied.
    mutable int32_t sizes_[4] = {0, 0, 0, 0};
    bool copied_ = false;
    void reportFailure(const QString& name, std::exception_ptr error);
    // The file the steps are working on (its extension decides what its
    // bytes do not).
    QString sourceName_;
    // The reader the source's first bytes (or else name's extension) call
    // for; the source's position is left where it was. nullptr for none.
    static const TReaderEntry* readerFor(TStream& source, const QString& name);
    // The JPEG, PNG or BMP pipeline's step when the content, name and
    // output all are that format; nullptr otherwise.
    TStreamStep classicStep(TPictureFormat content, const QString& name) const;
    // Outputs written in this run, each with the source it came from: a
    // later source that reaches one only by a conversion of its name is
    // refused (see resolveTarget).
    std::vector<std::pair<QString, QString>> written_;
    // The row-by-row pipelines' resampler, kept from picture to picture.
    std::unique_ptr<TStreamResampler> rowResampler_;
    bool abandoned_ = false;  // the last pipeline's write met the interrupt flag
    bool shortData_ = false;  // the last pipeline's source had less data than its picture
    template <typename Codec>
    void resizeWith(Codec& codec, TStream& source, TStream& out);
    // A PNG decoded row by row into the resampler and its rows encoded as
    // they come; false, with nothing written to out and the source to be read
    // again, for a picture that takes the whole-picture route.
    bool resizePngByRows(TStream& source, TStream& out);
    // The output for the source file at name, read through a TFileStream
    // that is closed on return, written into the output file still to be put
    // in place (Commit); dropping it leaves nothing behind.
    std::unique_ptr<TReplacingFileStream> resizeToFile(const QString& name, TStreamStep step);
    // The same output's bytes in memory (the work done ahead of its turn).
    std::vector<uint8_t> resizeFromFile(const QString& name, TStreamStep step);
    bool resizeFile(const QString& name, TStreamStep step);
    void freeWorkingObjects();
    void runParallel();
    // "Resizing image i of n" in the current language (i counts from 1).
    static QString progressLine(int i, int n);
    // Asks before replacing an existing output unless Yes to all was given;
    // false when the answer is No. Sets yesToAll on Yes to all.
    bool mayWrite(const QString& name, bool& yesToAll);
    // The start of file i of n in both run loops: its progress line, the one
    // message pump, then the overwrite question. Stop when a Cancel was seen
    // at the pump (the file is not touched), Skip when the answer was No.
    enum class TTurn { Stop, Skip, Go };  // Skip: the file is done (skipped or failed)
    TTurn startFile(int i, int n, bool& yesToAll);
    // Resizes name by its extension; an unknown kind is reported. True when
    // the output was written.
    bool resizeByKind(const QString& name);
    // Counts a file that was tried: written (with its short-data note) or failed.
    void countFile(const QString& name, bool written);

    TResizePort& port_;
    TRunSummary summary_;
};
