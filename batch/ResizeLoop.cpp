// The run over the listed files: progress, the one message pump per file, the
// overwrite question, the dispatch by extension and the freeing at the end.
#include "batch/ResizeEngine.h"

#include "batch/FilePath.h"
#include "batch/FormatTable.h"
#include "i18n/uIdiomes.h"
#include "platform/Stream.h"

#include <algorithm>
#include <iterator>

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
    const QString target = target_.isEmpty() ? OutputPath(name) : target_;
    if (yesToAll || !outputExists(target)) return true;
    const TOverwriteAnswer answer = port_.AskOverwrite(FileNamePart(target));
    if (answer == TOverwriteAnswer::YesToAll) yesToAll = true;
    return answer != TOverwriteAnswer::No;
}

TResizeEngine::TTurn TResizeEngine::startFile(int i, int n, bool& yesToAll) {
    port_.ShowProgress(progressLine(i + 1, n), displayName(i), i + 1, n);
    port_.ProcessMessages();
    // A Cancel seen at the pump stops here: the file on display is not
    // touched (no question, no output).
    if (cancelOperation) return TTurn::Stop;
    const QString name = fileList.value(i);
    turnTimer_.start();
    result_ = TFileResult{};
    result_.index = i;
    result_.source = name;
    target_.clear();
    abandoned_ = false;
    shortData_ = false;
    copied_ = false;
    std::fill(std::begin(sizes_), std::end(sizes_), 0);
    QString cause = listErrors.value(i);
    if (cause.isEmpty()) {
        try {
            target_ = resolveTarget(i, cause);
        } catch (...) {
            reportFailure(name, std::current_exception());
            ++summary_.failed;
            finishFile(TFileStatus::Failed);
            return TTurn::Skip;
        }
    }
    if (!cause.isEmpty()) {
        lastCause_ = cause;
        port_.ShowFileError(translate(QStringLiteral("Error redimensionando ")) + name, cause);
        ++summary_.failed;
        finishFile(TFileStatus::Failed);
        return TTurn::Skip;
    }
    if (dryRun) {
        dryRunFile(i);
        return TTurn::Skip;
    }
    if (!mayWrite(name, yesToAll)) {
        ++summary_.skipped;
        finishFile(TFileStatus::Skipped);
        return TTurn::Skip;
    }
    return TTurn::Go;
}

bool TResizeEngine::resizeByKind(const QString& name) {
    const TPictureFormat named = FormatOfExtension(name);
    if (named == TPictureFormat::Unknown) {
        port_.ShowError(translate(QStringLiteral("Fichero: ")) + name +
                        translate(QStringLiteral(" - Formato desconocido.")));
        lastCause_ = QStringLiteral("unknown format");
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
        finishFile(TFileStatus::Failed);
        return;
    }
    ++summary_.written;
    written_.emplace_back(target_.isEmpty() ? OutputPath(name) : target_, name);
    if (copied_) ++summary_.copied;
    if (shortData_) {
        ++summary_.shortData;
        port_.ShowShortData(name);
    }
    finishFile(copied_ ? TFileStatus::Copied : TFileStatus::Written);
}

void TResizeEngine::Run() {
    ScopeExit freeAtEnd{[this] {
        freeWorkingObjects();
        target_.clear();
        madeFolder_.clear();
        claims_.clear();
    }};
    summary_ = TRunSummary{};
    written_.clear();
    if (jobs > 1 && fileCount() > 1 && !dryRun) {
        runParallel();
        return;
    }

    const int n = fileCount();
    bool yesToAll = false;
    int i = 0;
    for (; i < n && !cancelOperation; ++i) {
        const TTurn turn = startFile(i, n, yesToAll);
        if (turn == TTurn::Stop) break;
        if (turn == TTurn::Skip) continue;
        const QString name = fileList.value(i);
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
        reportNotReached(i, n);
    }
}
