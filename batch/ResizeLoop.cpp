// The run over the listed files: progress, the one message pump per file, the
// overwrite question, the dispatch by extension and the freeing at the end.
#include "batch/ResizeEngine.h"

#include "batch/FilePath.h"
#include "batch/FormatTable.h"
#include "i18n/uIdiomes.h"
#include "platform/Stream.h"

namespace {

// Frees the working objects however the run ends.
template <class F>
struct ScopeExit {
    F f;
    ~ScopeExit() { f(); }
};
template <class F>
ScopeExit(F) -> ScopeExit<F>;

// Paths reach the file layer as the bytes they were given as.
bool outputExists(const QString& path) { return velmora::FileExists(velmora::EncodePath(path)); }

}  // namespace

QString TResizeEngine::progressLine(int i, int n) {
    return translate(QStringLiteral("Redimensionando imagen ")) + QString::number(i) + QLatin1Char(' ') +
           translate(QStringLiteral("de")) + QLatin1Char(' ') + QString::number(n);
}

bool TResizeEngine::mayWrite(const QString& name, bool& yesToAll) {
    if (yesToAll || !outputExists(OutputPath(name))) return true;
    const TOverwriteAnswer answer = port_.AskOverwrite(FileNamePart(OutputPath(name)));
    if (answer == TOverwriteAnswer::YesToAll) yesToAll = true;
    return answer != TOverwriteAnswer::No;
}

TResizeEngine::TTurn TResizeEngine::startFile(int i, int n, bool& yesToAll) {
    port_.ShowProgress(progressLine(i + 1, n), files[i], i + 1, n);
    port_.ProcessMessages();
    // A Cancel seen at the pump stops here: the file on display is not
    // touched (no question, no output).
    if (cancelOperation) return TTurn::Stop;
    if (replacesEarlierOutput(fileList.value(i))) return TTurn::Fail;
    if (!mayWrite(fileList.value(i), yesToAll)) {
        ++summary_.skipped;
        return TTurn::Skip;
    }
    return TTurn::Go;
}

bool TResizeEngine::replacesEarlierOutput(const QString& name) {
    const QString out = OutputPath(name);
    for (const auto& [path, from] : written_) {
        // Sources of one name write one output, as they always have (the
        // question, or the overwrite choice, decides).
        if (path != out || FileNamePart(from) == FileNamePart(name)) continue;
        // A policy that renames would take the next free number for out here.
        port_.ShowFileError(
            translate(QStringLiteral("Error redimensionando ")) + name,
            FileNamePart(out) + QLatin1String(" was already written from ") + from + QLatin1String(" in this run"));
        return true;
    }
    return false;
}

bool TResizeEngine::resizeByKind(const QString& name) {
    const TPictureFormat named = FormatOfExtension(name);
    if (named == TPictureFormat::Unknown) {
        port_.ShowError(translate(QStringLiteral("Fichero: ")) + name +
                        translate(QStringLiteral(" - Formato desconocido.")));
        return false;
    }
    // The file's own pipeline where content, name and output agree; a file
    // that cannot be opened fails in the pipeline its name calls for.
    TStreamStep step = nullptr;
    try {
        TFileStream in(velmora::EncodePath(name));
        const TReaderEntry* entry = readerFor(in, name);
        step = classicStep(entry ? entry->format : named, name);
    } catch (...) {
        step = classicStep(named, name);
    }
    if (step == &TResizeEngine::resizeJpgTo) return resizeJpg(name);
    if (step == &TResizeEngine::resizeBmpTo) return resizeBmp(name);
    if (step == &TResizeEngine::resizePngTo) return resizePng(name);
    return resizeFile(name, &TResizeEngine::resizeAnyTo);
}

void TResizeEngine::countFile(const QString& name, bool written) {
    if (!written) {
        ++summary_.failed;
        return;
    }
    ++summary_.written;
    written_.emplace_back(OutputPath(name), name);
    if (shortData_) {
        ++summary_.shortData;
        port_.ShowShortData(name);
    }
}

void TResizeEngine::Run() {
    ScopeExit freeAtEnd{[this] { freeWorkingObjects(); }};
    summary_ = TRunSummary{};
    written_.clear();
    if (jobs > 1 && files.size() > 1) {
        runParallel();
        return;
    }

    const int n = int(files.size());
    bool yesToAll = false;
    int i = 0;
    for (; i < n && !cancelOperation; ++i) {
        const TTurn turn = startFile(i, n, yesToAll);
        if (turn == TTurn::Stop) break;
        if (turn == TTurn::Skip) continue;
        const QString name = fileList.value(i);
        if (turn == TTurn::Fail) {
            countFile(name, false);
            continue;
        }
        abandoned_ = false;
        shortData_ = false;
        const bool written = resizeByKind(name);
        // A write abandoned at an interrupt leaves the old output and ends
        // the run; the file counts as not reached.
        if (abandoned_)
            break;
        countFile(name, written);
    }
    if (i < n) {
        summary_.interrupted = true;
        summary_.notReached = n - i;
    }
}
