// velmora-cli: the batch engine without windows.
//
//   velmora-cli -o DIR [-s N | -W PX | -H PX] [--overwrite ask|all|none]
//               [--lang en|es|ca|key] [--] FILE...
//
// Output layout, one message per line:
//   stderr  the progress line and the file name (only when stderr is a
//           terminal), the overwrite question (ask mode), one line per
//           failed file; every one of them a translated text;
//   stdout  the summary "written N, skipped N, failed N".
// Exit status: 0 every file written, 1 a file failed or was skipped (or the
// run was interrupted), 2 usage error.
#include "batch/OverwriteQuestion.h"
#include "batch/ResizeEngine.h"
#include "i18n/uIdiomes.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include <unistd.h>

namespace {

constexpr int exitOk = 0;
constexpr int exitIncomplete = 1;
constexpr int exitUsage = 2;

const char* const kUsage =
    "Usage: velmora-cli -o DIR [-s N | -W PX | -H PX] [--overwrite ask|all|none]\n"
    "                   [--lang en|es|ca|key] [--] FILE...\n";

const char* const kHelp =
    "Resizes each FILE (JPEG, PNG or BMP, by extension) into the folder DIR,\n"
    "under the same name and in the same format, keeping its aspect ratio.\n"
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
    "  --help             this text\n"
    "  --version          the version\n"
    "  --                 ends the options (for file names that begin with '-')\n"
    "\n"
    "Messages go to stderr, one per line; the summary goes to stdout.\n"
    "Exit status: 0 every file written, 1 some file failed or was skipped,\n"
    "2 usage error.\n";

enum class OverwriteMode { ask, all, none };

struct Options {
    QString outDir;
    int preset = 0;
    std::optional<int> fixedWidth;
    std::optional<int> fixedHeight;
    OverwriteMode overwrite = OverwriteMode::none;
    int32_t language = langAngles;  // 0 keeps the key texts
    QStringList files;
};

struct UsageError {
    std::string message;
};

void writeLine(FILE* f, const QString& text) {
    const QByteArray bytes = text.toUtf8();
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

Options parseArguments(const QStringList& args) {
    Options o;
    o.overwrite = isatty(STDIN_FILENO) ? OverwriteMode::ask : OverwriteMode::none;
    bool haveOut = false;
    int sizeOptions = 0;
    bool optionsEnded = false;

    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            o.files << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        // --name=value
        QString inlineValue;
        bool hasInline = false;
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            if (eq > 0) {
                inlineValue = arg.mid(eq + 1);
                arg = arg.left(eq);
                hasInline = true;
            }
        }
        auto value = [&]() -> QString {
            if (hasInline)
                return inlineValue;
            if (i + 1 >= args.size())
                throw UsageError{"option " + arg.toStdString() + " needs a value"};
            return args[++i];
        };

        if (arg == QLatin1String("-o")) {
            o.outDir = value();
            if (o.outDir.isEmpty())
                throw UsageError{"the output folder is empty"};
            haveOut = true;
        } else if (arg == QLatin1String("-s")) {
            const auto n = parseCount(value(), 0, presetCount - 1);
            if (!n)
                throw UsageError{"-s takes a preset number from 0 to 6"};
            o.preset = *n;
            ++sizeOptions;
        } else if (arg == QLatin1String("-W")) {
            o.fixedWidth = parseCount(value(), 1, INT32_MAX);
            if (!o.fixedWidth)
                throw UsageError{"-W takes a positive whole number of pixels"};
            ++sizeOptions;
        } else if (arg == QLatin1String("-H")) {
            o.fixedHeight = parseCount(value(), 1, INT32_MAX);
            if (!o.fixedHeight)
                throw UsageError{"-H takes a positive whole number of pixels"};
            ++sizeOptions;
        } else if (arg == QLatin1String("--overwrite")) {
            const QString v = value();
            if (v == QLatin1String("ask"))
                o.overwrite = OverwriteMode::ask;
            else if (v == QLatin1String("all"))
                o.overwrite = OverwriteMode::all;
            else if (v == QLatin1String("none"))
                o.overwrite = OverwriteMode::none;
            else
                throw UsageError{"--overwrite takes ask, all or none"};
        } else if (arg == QLatin1String("--lang")) {
            const QString v = value();
            if (v == QLatin1String("en"))
                o.language = langAngles;
            else if (v == QLatin1String("es"))
                o.language = langEspanyol;
            else if (v == QLatin1String("ca"))
                o.language = langCatala;
            else if (v == QLatin1String("key"))
                o.language = langOriginal;
            else
                throw UsageError{"--lang takes en, es, ca or key"};
        } else {
            throw UsageError{"unknown option " + args[i].toStdString()};
        }
    }
    if (!haveOut)
        throw UsageError{"the output folder (-o DIR) is required"};
    if (sizeOptions > 1)
        throw UsageError{"give at most one of -s, -W and -H"};
    if (o.files.isEmpty())
        throw UsageError{"no files to resize"};
    return o;
}

// Set by SIGINT; the engine sees it at its next message pump, like Cancel.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) { interrupted = 1; }

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

    int AskOverwrite(const QString& fileName) override {
        question_.NombreFichero = fileName;
        switch (mode_) {
        case OverwriteMode::all:
            question_.FormShow();
            question_.btnSiTodoClick();
            return question_.Respuesta;
        case OverwriteMode::none:
            question_.FormShow();
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
                return TOverwriteQuestion::answerNo;  // no answer: No
            if (question_.AnswerFromText(QString::fromUtf8(typed)))
                return question_.Respuesta;
        }
    }

    void ShowError(const QString& message) override { writeLine(stderr, message); }

private:
    OverwriteMode mode_;
    bool showProgress_;
    TResizeEngine* engine_ = nullptr;
    TOverwriteQuestion question_;
};

QStringList argumentList(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QFile::decodeName(argv[i]);
    return args;
}

int run(const Options& o) {
    loadLanguages();
    if (o.language != langOriginal)
        setLanguage(o.language);

    CliPort port(o.overwrite, isatty(STDERR_FILENO) != 0);
    TResizeEngine engine(port);
    port.Attach(&engine);

    engine.fileList = o.files;
    engine.files.clear();
    for (const QString& path : o.files)
        engine.files << TResizeEngine::FileNamePart(path);
    engine.outDir = o.outDir;

    engine.Prepare();
    // The same set-up as the window: the edits' texts and the chosen option.
    if (o.fixedWidth)
        engine.SetTargetFromControls(QString::number(*o.fixedWidth), QString(), false, true);
    else if (o.fixedHeight)
        engine.SetTargetFromControls(QString(), QString::number(*o.fixedHeight), true, false);
    else
        engine.SetTargetFromControls(QString::number(presetWidths[o.preset]),
                                     QString::number(presetHeights[o.preset]), false, false);

    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sa.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the process at once
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);

    engine.Run();

    const TRunSummary& s = engine.Summary();
    std::printf("written %d, skipped %d, failed %d\n", s.written, s.skipped, s.failed);
    std::fflush(stdout);
    return s.written == int(o.files.size()) ? exitOk : exitIncomplete;
}

}  // namespace

int main(int argc, char** argv) {
    const QStringList args = argumentList(argc, argv);
    // --help and --version win wherever they stand before "--".
    for (const QString& a : args) {
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return exitOk;
        }
        if (a == QLatin1String("--version")) {
            std::puts("velmora-cli 1.0");
            return exitOk;
        }
    }

    Options options;
    try {
        options = parseArguments(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "velmora-cli: %s\n%s", e.message.c_str(), kUsage);
        return exitUsage;
    }

    try {
        return run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-cli: %s\n", e.what());
        return exitIncomplete;
    }
}
