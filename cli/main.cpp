// velmora-cli: the batch engine without windows.
//
//   velmora-cli -o DIR [-s N | -W PX | -H PX] [--overwrite ask|all|none|rename]
//               [--lang en|es|ca|key] [--no-auto-orient] [--keep-metadata]
//               [--keep-alpha] [--format FMT] [--quality Q] [--lossless]
//               [-r] [--no-enlarge] [--name PATTERN]
//               [--files-from FILE [-0]] [--base DIR] [--report FILE]
//               [--dry-run] [-j N] [--] FILE|FOLDER...
//
// Output layout, one message per line:
//   stderr  the progress line and the file name (only when stderr is a
//           terminal), the overwrite question (ask mode), one line per
//           failed file (the translated message, then the cause in
//           brackets), one per file kept under --overwrite none, one per
//           file written from a source whose data ended early; control
//           characters and bytes that are not UTF-8 are escaped;
//   stdout  the summary "written N, skipped N, failed N", followed by
//           "; interrupted, N not reached" when a signal stopped the run
//           (stderr when the report goes to stdout); a dry run's lines.
//   --report  JSON Lines: one object per file in list order, then the counts.
// Exit status: 0 every file written, 1 a file failed or was skipped, 2 usage
// error, 130 / 143 stopped by SIGINT / SIGTERM (the file in hand is
// abandoned, its old output kept).
#include "batch/FilePath.h"
#include "batch/FileTree.h"
#include "batch/OverwriteQuestion.h"
#include "batch/ResizeEngine.h"
#include "i18n/uIdiomes.h"
#include "platform/Stream.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int exitOk = 0;
constexpr int exitIncomplete = 1;
constexpr int exitUsage = 2;

const char* const kUsage =
    "Usage: velmora-cli -o DIR [-s N | -W PX | -H PX] [--overwrite ask|all|none]\n"
    "                   [--lang en|es|ca|key] [--no-auto-orient] [--keep-metadata]\n"
    "                   [--keep-alpha] [--format FMT] [--quality Q] [--lossless]\n"
    "                   [-j N] [--] FILE...\n";

// The options of whole folders, lists and reports (shown by --help after the
// first lines, which scripts may read).
const char* const kHelpTrees =
    "\n"
    "Folders, lists and reports:\n"
    "  FOLDER             the pictures in it (subfolders are left out, one line\n"
    "                     says how many); hidden names are skipped\n"
    "  -r, --recursive    also the pictures in subfolders, each output at its path\n"
    "                     below the folder given (\"-r -o out photos\" writes\n"
    "                     photos/2024/a.jpg to out/2024/a.jpg)\n"
    "  --no-enlarge       a picture that already fits keeps its size; when nothing\n"
    "                     else would change it is copied (without its metadata)\n"
    "  --overwrite rename an existing output is kept: the new one takes the first\n"
    "                     free name \"name (1).ext\", \"name (2).ext\" ...\n"
    "  --name PATTERN     the output's file name from {name} (the source's, without\n"
    "                     extension), {ext}, {w} and {h}; default {name}.{ext}\n"
    "  --files-from FILE  also the files named in FILE (- for stdin), one a line\n"
    "  -0, --null         the names in FILE end with NUL (find -print0)\n"
    "  --base DIR         listed files below DIR keep their path below DIR\n"
    "  --report FILE      one JSON object per file, then the counts (- for stdout:\n"
    "                     the summary then goes to stderr)\n"
    "  --dry-run          write nothing: say what each file would become\n";

const char* const kHelp =
    "Resizes each FILE (JPEG, PNG, BMP, WebP, HEIC/HEIF, AVIF or TIFF) into the\n"
    "folder DIR, keeping its aspect ratio. A file is read by what its content\n"
    "is; its extension names the output's format (HEIC/HEIF and TIFF give\n"
    "JPEG) unless --format says otherwise.\n"
    "\n"
    "  -o DIR             output folder (required)\n"
    "  -s N               size preset 0..6 (default 0): the longer side becomes\n"
    "                     0: 640  1: 1280  2: 1600  3: 2048  4: 3008  5: 3088  6: 4064\n"
    "  -W PX              fixed width: the longer side becomes PX pixels\n"
    "  -H PX              fixed height: the shorter side becomes PX pixels\n"
    "  --overwrite MODE   when an output file exists: ask (default when stdin is a\n"
    "                     terminal), all (replace every one), none (keep every one;\n"
    "                     the default otherwise)\n"
    "  --lang LANG        messages in en (default), es, ca, or key\n"
    "  --no-auto-orient   keep pictures as stored; by default a JPEG or PNG whose\n"
    "                     EXIF says it is turned or mirrored comes out upright\n"
    "  --keep-metadata    JPEG, PNG, WebP and AVIF outputs keep the input's EXIF\n"
    "                     (orientation 1, no thumbnail), XMP and ICC colour\n"
    "                     profile; without it a picture with a colour profile\n"
    "                     other than sRGB is converted to sRGB\n"
    "  --keep-alpha       a picture with transparency keeps it in PNG, WebP and\n"
    "                     AVIF outputs instead of being laid over white\n"
    "  --format FMT       output format: same (default), jpeg, png, bmp, webp or\n"
    "                     avif; a converted output takes the extension .jpg,\n"
    "                     .png, .bmp, .webp or .avif\n"
    "  --quality Q        quality 1..100 of JPEG, WebP and AVIF outputs (defaults:\n"
    "                     JPEG 90, WebP 80, AVIF 60)\n"
    "  --lossless         WebP outputs are lossless\n"
    "  -j N               work on N pictures at once (default: the number of\n"
    "                     processor cores); messages, questions and outputs\n"
    "                     still come in list order\n"
    "  --help             this text\n"
    "  --version          the version\n"
    "  --                 ends the options (for file names that begin with '-')\n"
    "\n"
    "Messages go to stderr, one per line; the summary goes to stdout.\n"
    "Exit status: 0 every file written, 1 some file failed or was skipped,\n"
    "2 usage error, 130 or 143 interrupted (SIGINT or SIGTERM).\n";

enum class OverwriteMode { ask, all, none, rename };

enum class Action { run, help, version };

struct Options {
    Action action = Action::run;
    QString outDir;
    int preset = 0;
    std::optional<int> fixedWidth;
    std::optional<int> fixedHeight;
    OverwriteMode overwrite = OverwriteMode::none;
    int32_t language = langEnglish;  // 0 keeps the key texts
    bool autoOrient = true;
    bool keepMetadata = false;
    bool keepAlpha = false;
    TOutputFormat format = TOutputFormat::Same;
    bool formatGiven = false;
    int quality = 0;  // 0: each format's default
    bool lossless = false;
    int jobs = 0;  // 0: one per processor core
    QStringList files;
    bool recursive = false;
    bool noEnlarge = false;
    QString namePattern;
    std::optional<QString> filesFrom;
    bool nulSeparated = false;
    QString base;
    std::optional<QString> report;
    bool dryRun = false;
};

struct UsageError {
    std::string message;
};

// The text as one line of UTF-8: control characters and line separators are
// written as escapes (\n, \t, \xHH, \uHHHH), and the bytes of a file name
// that are not UTF-8 as \xHH, so a name can neither break a message into two
// lines nor lose its bytes.
QByteArray oneLine(const QString& text) {
    const auto escape = [](const char* prefix, unsigned value, int digits) {
        return QLatin1String(prefix) + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
    };
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (const int byte = velmora::EscapedByte(c); byte >= 0)
            out += escape("\\x", unsigned(byte), 2);
        else if (u == '\n')
            out += QLatin1String("\\n");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u == '\t')
            out += QLatin1String("\\t");
        else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += escape("\\x", u, 2);
        else if (u == 0x2028 || u == 0x2029 || (c.isSurrogate() && !pair))
            out += escape("\\u", u, 4);
        else if (pair) {
            out += c;
            out += text[++i];
        } else
            out += c;
    }
    return out.toUtf8();
}

void writeLine(FILE* f, const QString& text) {
    const QByteArray bytes = oneLine(text);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    std::fputc('\n', f);
    std::fflush(f);
}

// A positive decimal integer that fits 32 bits, digits only.
std::optional<int> parseCount(const QString& text, int minimum, int maximum) {
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const qlonglong v = text.toLongLong();
    if (v < minimum || v > maximum)
        return std::nullopt;
    return int(v);
}

// The output format a --format value names.
std::optional<TOutputFormat> outputFormatNamed(const QString& value) {
    static const std::pair<const char*, TOutputFormat> names[] = {
        {"same", TOutputFormat::Same}, {"jpeg", TOutputFormat::Jpeg}, {"png", TOutputFormat::Png},
        {"bmp", TOutputFormat::Bmp},   {"webp", TOutputFormat::Webp}, {"avif", TOutputFormat::Avif}};
    for (const auto& [text, format] : names)
        if (value == QLatin1String(text)) return format;
    return std::nullopt;
}

// The options as the parser knows them; the texts of --help are kUsage and
// kHelp, not the parser's.
struct OptionSet {
    QCommandLineOption out{QStringLiteral("o"), QString(), QStringLiteral("DIR")};
    QCommandLineOption preset{QStringLiteral("s"), QString(), QStringLiteral("N")};
    QCommandLineOption width{QStringLiteral("W"), QString(), QStringLiteral("PX")};
    QCommandLineOption height{QStringLiteral("H"), QString(), QStringLiteral("PX")};
    QCommandLineOption overwrite{QStringLiteral("overwrite"), QString(), QStringLiteral("MODE")};
    QCommandLineOption lang{QStringLiteral("lang"), QString(), QStringLiteral("LANG")};
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{QStringLiteral("version")};
    QCommandLineOption noAutoOrient{QStringLiteral("no-auto-orient")};
    QCommandLineOption keepMetadata{QStringLiteral("keep-metadata")};
    QCommandLineOption keepAlpha{QStringLiteral("keep-alpha")};
    QCommandLineOption jobs{QStringLiteral("j"), QString(), QStringLiteral("N")};
    QCommandLineOption format{QStringLiteral("format"), QString(), QStringLiteral("FMT")};
    QCommandLineOption quality{QStringLiteral("quality"), QString(), QStringLiteral("Q")};
    QCommandLineOption lossless{QStringLiteral("lossless")};
    QCommandLineOption recursive{QStringList{QStringLiteral("r"), QStringLiteral("recursive")}};
    QCommandLineOption noEnlarge{QStringLiteral("no-enlarge")};
    QCommandLineOption namePattern{QStringLiteral("name"), QString(), QStringLiteral("PATTERN")};
    QCommandLineOption filesFrom{QStringLiteral("files-from"), QString(), QStringLiteral("FILE")};
    QCommandLineOption null{QStringList{QStringLiteral("0"), QStringLiteral("null")}};
    QCommandLineOption base{QStringLiteral("base"), QString(), QStringLiteral("DIR")};
    QCommandLineOption report{QStringLiteral("report"), QString(), QStringLiteral("FILE")};
    QCommandLineOption dryRun{QStringLiteral("dry-run")};

    void addTo(QCommandLineParser& parser) const {
        for (const QCommandLineOption* o :
             {&out,     &preset,   &width,     &height,    &overwrite,   &lang,      &help,  &version,
              &noAutoOrient, &keepMetadata, &keepAlpha, &jobs, &format, &quality, &lossless, &recursive,
              &noEnlarge, &namePattern, &filesFrom, &null, &base, &report, &dryRun})
            parser.addOption(*o);
    }
    // Options that take no value.
    bool isFlag(const QString& name) const {
        for (const QCommandLineOption* o : {&help, &version, &noAutoOrient, &keepMetadata, &keepAlpha, &lossless,
                                            &recursive, &noEnlarge, &null, &dryRun})
            if (o->names().contains(name))
                return true;
        return false;
    }
};

// The first argument before "--" that the parser refused as an option: one of
// the unknown names, or a flag given a value ("--help=x"). The message quotes
// it as typed.
QString refusedArgument(const QStringList& args, const QStringList& unknownNames, const OptionSet& known) {
    for (const QString& arg : args) {
        if (arg == QLatin1String("--"))
            break;
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-"))
            continue;
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
            if (unknownNames.contains(name) || (known.isFlag(name) && eq >= 0))
                return arg;
        } else {
            // Compacted short options: "-xy" is -x -y.
            for (const QString& unknown : unknownNames)
                if (unknown.size() == 1 && arg.mid(1).contains(unknown))
                    return arg;
        }
    }
    return {};
}

// --help and --version win wherever they stand before "--", whatever else is
// wrong; the first of them given is answered.
Action requestedAction(const QStringList& args) {
    for (const QString& a : args) {
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            return Action::help;
        if (a == QLatin1String("--version"))
            return Action::version;
    }
    return Action::run;
}

// The options are read in the order they were given, so that the first wrong
// one is the one reported and a repeated option keeps its last value.
Options parseArguments(const QStringList& args) {
    Options o;
    o.action = requestedAction(args);
    if (o.action != Action::run)
        return o;

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const OptionSet known;
    known.addTo(parser);
    if (!parser.parse(QStringList{QStringLiteral("velmora-cli")} + args)) {
        const QString refused = refusedArgument(args, parser.unknownOptionNames(), known);
        if (!refused.isEmpty())
            throw UsageError{"unknown option " + refused.toStdString()};
        // Otherwise a value option ends the line.
        throw UsageError{"option " + args.back().toStdString() + " needs a value"};
    }

    o.overwrite = isatty(STDIN_FILENO) ? OverwriteMode::ask : OverwriteMode::none;
    bool haveOut = false;
    bool overwriteGiven = false;
    int sizeOptions = 0;
    QHash<QString, qsizetype> seen;  // occurrences read so far, by option name
    for (const QString& name : parser.optionNames()) {
        const QStringList values = parser.values(name);
        const QString value = values.value(seen[name]++);
        if (known.out.names().contains(name)) {
            o.outDir = value;
            if (o.outDir.isEmpty())
                throw UsageError{"the output folder is empty"};
            haveOut = true;
        } else if (known.preset.names().contains(name)) {
            const auto n = parseCount(value, 0, presetCount - 1);
            if (!n)
                throw UsageError{"-s takes a preset number from 0 to 6"};
            o.preset = *n;
            ++sizeOptions;
        } else if (known.width.names().contains(name)) {
            o.fixedWidth = parseCount(value, 1, INT32_MAX);
            if (!o.fixedWidth)
                throw UsageError{"-W takes a positive whole number of pixels"};
            ++sizeOptions;
        } else if (known.height.names().contains(name)) {
            o.fixedHeight = parseCount(value, 1, INT32_MAX);
            if (!o.fixedHeight)
                throw UsageError{"-H takes a positive whole number of pixels"};
            ++sizeOptions;
        } else if (known.overwrite.names().contains(name)) {
            if (value == QLatin1String("ask"))
                o.overwrite = OverwriteMode::ask;
            else if (value == QLatin1String("all"))
                o.overwrite = OverwriteMode::all;
            else if (value == QLatin1String("none"))
                o.overwrite = OverwriteMode::none;
            else if (value == QLatin1String("rename"))
                o.overwrite = OverwriteMode::rename;
            else
                throw UsageError{"--overwrite takes ask, all, none or rename"};
            overwriteGiven = true;
        } else if (known.lang.names().contains(name)) {
            if (value == QLatin1String("en"))
                o.language = langEnglish;
            else if (value == QLatin1String("es"))
                o.language = langSpanish;
            else if (value == QLatin1String("ca"))
                o.language = langCatalan;
            else if (value == QLatin1String("key"))
                o.language = langOriginal;
            else
                throw UsageError{"--lang takes en, es, ca or key"};
        } else if (known.noAutoOrient.names().contains(name)) {
            o.autoOrient = false;
        } else if (known.keepMetadata.names().contains(name)) {
            o.keepMetadata = true;
        } else if (known.keepAlpha.names().contains(name)) {
            o.keepAlpha = true;
        } else if (known.jobs.names().contains(name)) {
            const auto n = parseCount(value, 1, 1024);
            if (!n)
                throw UsageError{"-j takes a number of pictures from 1 to 1024"};
            o.jobs = *n;
        } else if (known.format.names().contains(name)) {
            const auto f = outputFormatNamed(value);
            if (!f) throw UsageError{"--format takes same, jpeg, png, bmp, webp or avif"};
            o.format = *f;
            o.formatGiven = true;
        } else if (known.quality.names().contains(name)) {
            const auto q = parseCount(value, 1, 100);
            if (!q) throw UsageError{"--quality takes a number from 1 to 100"};
            o.quality = *q;
        } else if (known.lossless.names().contains(name)) {
            o.lossless = true;
        } else if (known.recursive.names().contains(name)) {
            o.recursive = true;
        } else if (known.noEnlarge.names().contains(name)) {
            o.noEnlarge = true;
        } else if (known.namePattern.names().contains(name)) {
            if (value.isEmpty() || value == QLatin1String(".") || value == QLatin1String("..") ||
                value.contains(QLatin1Char('/')))
                throw UsageError{"--name takes a file name pattern without /, not empty, . or .."};
            o.namePattern = value == QLatin1String("{name}.{ext}") ? QString() : value;
        } else if (known.filesFrom.names().contains(name)) {
            if (value.isEmpty()) throw UsageError{"--files-from takes a file name or -"};
            o.filesFrom = value;
        } else if (known.null.names().contains(name)) {
            o.nulSeparated = true;
        } else if (known.base.names().contains(name)) {
            if (value.isEmpty()) throw UsageError{"--base takes a folder"};
            o.base = value;
        } else if (known.report.names().contains(name)) {
            if (value.isEmpty()) throw UsageError{"--report takes a file name or -"};
            o.report = value;
        } else if (known.dryRun.names().contains(name)) {
            o.dryRun = true;
        }
    }
    o.files = parser.positionalArguments();
    if (!haveOut)
        throw UsageError{"the output folder (-o DIR) is required"};
    if (sizeOptions > 1)
        throw UsageError{"give at most one of -s, -W and -H"};
    if (o.quality > 0 && (o.format == TOutputFormat::Png || o.format == TOutputFormat::Bmp))
        throw UsageError{"--quality does not apply to PNG and BMP outputs"};
    if (o.lossless && o.formatGiven && o.format != TOutputFormat::Webp && o.format != TOutputFormat::Same)
        throw UsageError{"--lossless applies to WebP outputs only"};
    if (o.files.isEmpty() && !o.filesFrom) throw UsageError{"no files to resize"};
    const bool listOnStdin = o.filesFrom && *o.filesFrom == QLatin1String("-");
    if (listOnStdin && o.overwrite == OverwriteMode::ask) {
        // Both would read standard input.
        if (overwriteGiven) throw UsageError{"--files-from - and --overwrite ask both read standard input"};
        o.overwrite = OverwriteMode::none;
    }
    if (o.nulSeparated && !o.filesFrom) throw UsageError{"-0 goes with --files-from"};
    return o;
}

// The number of the signal (SIGINT or SIGTERM) that asked the run to stop,
// 0 until then. The engine sees it at its next message pump, like Cancel, and
// a write in progress sees it before putting its file in place.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int signal) { interrupted = signal; }

// SIGINT and SIGTERM stop the run between files; a second one ends the
// process at once. SIGXFSZ is ignored so that a write beyond the file-size
// limit fails with EFBIG and is reported like any failed write.
void installSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sa.sa_flags = SA_RESETHAND;  // no SA_RESTART: a pending question read ends too
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
    velmora::SetWriteInterruptFlag(&interrupted);
}

// A cause as the CLI shows it after the message: one line, in lower case
// where it is ordinary text ("No space left on device" -> "no space left on
// device", but "JPEG ..." stays), without a final full stop.
QString tidyCause(const QString& cause) {
    QString c = cause.simplified();
    while (c.endsWith(QLatin1Char('.')))
        c.chop(1);
    if (c.size() >= 2 && c[0].isUpper() && !c[1].isUpper())
        c[0] = c[0].toLower();
    return c;
}

class CliPort : public TResizePort {
public:
    CliPort(OverwriteMode mode, bool showProgress) : mode_(mode), showProgress_(showProgress) {}

    void Attach(TResizeEngine* engine) { engine_ = engine; }

    void ShowProgress(const QString& line, const QString& fileName, int, int) override {
        if (!showProgress_)
            return;
        writeLine(stderr, line);
        writeLine(stderr, fileName);
    }

    void ProcessMessages() override {
        if (interrupted && engine_)
            engine_->cancelOperation = true;
    }

    TOverwriteAnswer AskOverwrite(const QString& fileName) override {
        question_.NombreFichero = fileName;
        switch (mode_) {
        case OverwriteMode::all:
            question_.FormShow();
            question_.btnSiTodoClick();
            return question_.Respuesta;
        case OverwriteMode::none:
            // Kept without asking: say so, so the file is not silently missing.
            writeLine(stderr, question_.FormShow() + QLatin1String(" (kept: --overwrite none)"));
            return question_.Respuesta;
        case OverwriteMode::rename:
            // Only an output made meanwhile by someone else is asked about.
            writeLine(stderr, question_.FormShow() + QLatin1String(" (kept: --overwrite rename)"));
            return question_.Respuesta;
        case OverwriteMode::ask:
            break;
        }
        const QString line = question_.FormShow();
        for (;;) {
            writeLine(stderr, line);
            writeLine(stderr, TOverwriteQuestion::SecondLine());
            writeLine(stderr, TOverwriteQuestion::YesText());
            writeLine(stderr, TOverwriteQuestion::YesToAllText());
            writeLine(stderr, TOverwriteQuestion::NoText());
            std::string typed;
            if (!std::getline(std::cin, typed))
                return TOverwriteAnswer::No;  // no answer: No
            if (question_.AnswerFromText(QString::fromUtf8(typed)))
                return question_.Respuesta;
        }
    }

    void ShowError(const QString& message) override { writeLine(stderr, message); }

    void ShowFileError(const QString& message, const QString& cause) override {
        const QString c = tidyCause(cause);
        writeLine(stderr, c.isEmpty() ? message : message + QLatin1String(" (") + c + QLatin1Char(')'));
    }

    void ShowShortData(const QString& name) override {
        writeLine(stderr, QLatin1String("Written with a warning: ") + name +
                              QLatin1String(" (the data ends before the picture does; the rest is filled in)"));
    }

    // Where the report goes (nullptr: none) and whether this is a dry run,
    // whose lines go to stdout when there is no report.
    void SetReport(FILE* report, bool dryRun) {
        report_ = report;
        dryRun_ = dryRun;
    }

    void FileDone(const TFileResult& r) override {
        const QString status = statusText(r);
        ++counts_[status];
        if (report_) {
            QJsonObject line;
            putName(line, QStringLiteral("source"), r.source);
            if (!r.output.isEmpty()) putName(line, QStringLiteral("output"), r.output);
            line.insert(QStringLiteral("status"), status);
            if (r.status == TFileStatus::Failed) line.insert(QStringLiteral("cause"), tidyCause(r.cause));
            if (r.width > 0) {
                line.insert(QStringLiteral("source_width"), r.sourceWidth);
                line.insert(QStringLiteral("source_height"), r.sourceHeight);
                line.insert(QStringLiteral("width"), r.width);
                line.insert(QStringLiteral("height"), r.height);
            }
            if (r.bytes >= 0) line.insert(QStringLiteral("bytes"), qint64(r.bytes));
            if (r.status != TFileStatus::NotReached) line.insert(QStringLiteral("ms"), qint64(r.ms));
            writeJson(line);
        } else if (dryRun_) {
            QString text = r.source + QLatin1String(" -> ") + (r.output.isEmpty() ? QStringLiteral("-") : r.output);
            if (r.width > 0)
                text += QLatin1Char(' ') + QString::number(r.width) + QLatin1Char('x') + QString::number(r.height);
            text += QLatin1Char(' ') + status;
            if (r.status == TFileStatus::Failed) text += QLatin1String(" (") + tidyCause(r.cause) + QLatin1Char(')');
            writeLine(stdout, text);
        }
    }

    // The last report line: how many files ended in each state.
    void WriteCounts() {
        if (!report_) return;
        QJsonObject counts;
        const QStringList names =
            dryRun_ ? QStringList{QStringLiteral("written"), QStringLiteral("copied"), QStringLiteral("would-ask"),
                                  QStringLiteral("skipped"), QStringLiteral("failed")}
                    : QStringList{QStringLiteral("written"), QStringLiteral("copied"), QStringLiteral("skipped"),
                                  QStringLiteral("failed"), QStringLiteral("not-reached")};
        int total = 0;
        for (const QString& n : names) {
            counts.insert(n, counts_.value(n));
            total += counts_.value(n);
        }
        counts.insert(QStringLiteral("files"), total);
        if (dryRun_) counts.insert(QStringLiteral("dry_run"), true);
        writeJson(QJsonObject{{QStringLiteral("counts"), counts}});
    }

    int Count(const char* status) const { return counts_.value(QLatin1String(status)); }

private:
    QString statusText(const TFileResult& r) const {
        switch (r.status) {
        case TFileStatus::Written:
        case TFileStatus::Copied:
            if (dryRun_ && r.outputExists) {
                if (mode_ == OverwriteMode::ask) return QStringLiteral("would-ask");
                if (mode_ != OverwriteMode::all) return QStringLiteral("skipped");
            }
            return r.status == TFileStatus::Copied ? QStringLiteral("copied") : QStringLiteral("written");
        case TFileStatus::Skipped: return QStringLiteral("skipped");
        case TFileStatus::Failed: return QStringLiteral("failed");
        case TFileStatus::NotReached: break;
        }
        return QStringLiteral("not-reached");
    }

    // A name as text; one that is not valid UTF-8 has each such byte
    // replaced by U+FFFD, and its exact bytes in base64 beside it.
    static void putName(QJsonObject& line, const QString& key, const QString& name) {
        QString text = name;
        bool exact = true;
        for (QChar& c : text) {
            if (velmora::EscapedByte(c) >= 0) {
                c = QChar(0xFFFD);
                exact = false;
            }
        }
        line.insert(key, text);
        if (!exact) {
            const std::string bytes = velmora::EncodePath(name);
            line.insert(key + QLatin1String("_b64"),
                        QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toBase64()));
        }
    }

    void writeJson(const QJsonObject& line) {
        const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), report_);
        std::fputc('\n', report_);
        std::fflush(report_);
    }

    FILE* report_ = nullptr;
    bool dryRun_ = false;
    QHash<QString, int> counts_;

    OverwriteMode mode_;
    bool showProgress_;
    TResizeEngine* engine_ = nullptr;
    TOverwriteQuestion question_;
};

QStringList argumentList(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << velmora::DecodePath(argv[i]);
    return args;
}

// Reads the whole list named by --files-from (- for standard input).
QByteArray readList(const QString& name) {
    if (name == QLatin1String("-")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) throw UsageError{"cannot read the list from standard input"};
        return in.readAll();
    }
    const std::string path = velmora::EncodePath(name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    QFile in;
    if (fd < 0 || !in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        throw UsageError{"cannot read the list " + path + " (" + ErrnoText(error).toStdString() + ")"};
    }
    QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw UsageError{"cannot read the list " + path + " (" + in.errorString().toStdString() + ")"};
    return bytes;
}

// The output folder, created with its parents unless it exists; a dry run
// creates nothing. A folder that cannot be had or written is the run's one
// error: nothing is touched.
std::optional<std::string> outputFolderError(const Options& o) {
    const std::string dir = velmora::EncodePath(o.outDir);
    if (o.dryRun) return std::nullopt;
    int error = MakeFolders(dir);
    if (error == 0 && ::access(dir.c_str(), W_OK | X_OK) != 0) error = errno;
    if (error == 0) return std::nullopt;
    return "the output folder " + dir + " cannot be used (" + ErrnoText(error).toStdString() + ")";
}

int run(const Options& o) {
    loadLanguages();
    if (o.language != langOriginal)
        setLanguage(o.language);

    if (const auto error = outputFolderError(o)) {
        std::fprintf(stderr, "velmora-cli: %s\n", error->c_str());
        return exitUsage;
    }
    FILE* report = nullptr;
    const bool reportToStdout = o.report && *o.report == QLatin1String("-");
    if (reportToStdout) {
        report = stdout;
    } else if (o.report) {
        const std::string path = velmora::EncodePath(*o.report);
        report = std::fopen(path.c_str(), "we");
        if (!report) throw UsageError{"cannot write the report " + path + " (" + ErrnoText(errno).toStdString() + ")"};
    }
    FILE* summaryTo = reportToStdout ? stderr : stdout;

    // The whole list, made before the run.
    TFileListBuilder list;
    list.recursive = o.recursive;
    list.outDir = o.outDir;
    list.base = o.base;
    list.note = [](const QString& line) { writeLine(stderr, line); };
    for (const QString& name : o.files) list.Add(name);
    if (o.filesFrom) list.AddList(readList(*o.filesFrom), o.nulSeparated);

    CliPort port(o.overwrite, isatty(STDERR_FILENO) != 0);
    port.SetReport(report, o.dryRun);
    TResizeEngine engine(port);
    port.Attach(&engine);

    const int total = int(list.sources.size());
    engine.fileList = std::move(list.sources);
    engine.relDirs = std::move(list.relDirs);
    engine.listErrors = std::move(list.errors);
    engine.outDir = o.outDir;
    engine.autoOrient = o.autoOrient;
    engine.keepMetadata = o.keepMetadata;
    engine.keepAlpha = o.keepAlpha;
    engine.outputFormat = o.format;
    engine.quality = o.quality;
    engine.lossless = o.lossless;
    engine.noEnlarge = o.noEnlarge;
    engine.namePattern = o.namePattern;
    engine.renameExisting = o.overwrite == OverwriteMode::rename;
    engine.dryRun = o.dryRun;
    engine.jobs = o.jobs > 0 ? o.jobs : std::max(1, QThread::idealThreadCount());

    engine.Prepare();
    if (o.fixedWidth)
        engine.SetTarget(sizeFixedWidth, *o.fixedWidth, 0);
    else if (o.fixedHeight)
        engine.SetTarget(sizeFixedHeight, 0, *o.fixedHeight);
    else
        engine.SetTarget(o.preset, presetWidths[o.preset], presetHeights[o.preset]);

    installSignalHandlers();
    engine.Run();
    port.WriteCounts();
    if (report && report != stdout) std::fclose(report);

    const TRunSummary& s = engine.Summary();
    if (o.dryRun) {
        std::fprintf(summaryTo, "dry run: written %d, copied %d, would ask %d, skipped %d, failed %d\n",
                     port.Count("written"), port.Count("copied"), port.Count("would-ask"), port.Count("skipped"),
                     port.Count("failed"));
        std::fflush(summaryTo);
        return port.Count("failed") == 0 ? exitOk : exitIncomplete;
    }
    std::fprintf(summaryTo, "written %d, skipped %d, failed %d", s.written, s.skipped, s.failed);
    if (interrupted && s.interrupted) std::fprintf(summaryTo, "; interrupted, %d not reached", s.notReached);
    std::fprintf(summaryTo, "\n");
    std::fflush(summaryTo);
    // As shells report a process ended by the signal.
    if (interrupted)
        return 128 + int(interrupted);
    return s.written == total ? exitOk : exitIncomplete;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseArguments(argumentList(argc, argv));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "velmora-cli: %s\n%s", e.message.c_str(), kUsage);
        return exitUsage;
    }
    switch (options.action) {
    case Action::help:
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        std::fputs(kHelpTrees, stdout);
        return exitOk;
    case Action::version: std::puts("velmora-cli " VELMORA_VERSION); return exitOk;
    case Action::run:
        break;
    }

    try {
        return run(options);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "velmora-cli: %s\n%s", e.message.c_str(), kUsage);
        return exitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-cli: %s\n", e.what());
        return exitIncomplete;
    }
}
