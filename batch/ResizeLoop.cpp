// The run over the listed files: progress, the one message pump per file, the
// overwrite question, the dispatch by extension and the freeing at the end.
#include "batch/ResizeEngine.h"

#include "batch/FilePath.h"
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
    const TOverwriteAnswer answer = port_.AskOverwrite(FileNamePart(name));
    if (answer == TOverwriteAnswer::YesToAll) yesToAll = true;
    return answer != TOverwriteAnswer::No;
}

void TResizeEngine::Run() {
    ScopeExit freeAtEnd{[this] { freeWorkingObjects(); }};
    summary_ = TRunSummary{};
    if (jobs > 1 && files.size() > 1) {
        runParallel();
        return;
    }

    const int n = int(files.size());
    bool yesToAll = false;
    int i = 0;
    for (; i < n && !cancelOperation; ++i) {
        port_.ShowProgress(progressLine(i + 1, n), files[i], i + 1, n);

        port_.ProcessMessages();
        // A Cancel seen at the pump stops here: the file on display is not
        // touched (no question, no output).
        if (cancelOperation)
            break;

        const QString name = fileList.value(i);
        if (!mayWrite(name, yesToAll)) {
            ++summary_.skipped;
            continue;
        }

        const QString ext = ExtensionOf(name);
        bool written = false;
        abandoned_ = false;
        shortData_ = false;
        if (ext == QLatin1String(".JPG") || ext == QLatin1String(".JPEG")) {
            written = resizeJpg(name);
        } else if (ext == QLatin1String(".BMP")) {
            written = resizeBmp(name);
        } else if (ext == QLatin1String(".PNG")) {
            written = resizePng(name);
        } else {
            port_.ShowError(translate(QStringLiteral("Fichero: ")) + name +
                            translate(QStringLiteral(" - Formato desconocido.")));
        }
        // A write abandoned at an interrupt leaves the old output and ends
        // the run; the file counts as not reached.
        if (abandoned_)
            break;
        if (written) {
            ++summary_.written;
            if (shortData_) {
                ++summary_.shortData;
                port_.ShowShortData(name);
            }
        } else {
            ++summary_.failed;
        }
    }
    if (i < n) {
        summary_.interrupted = true;
        summary_.notReached = n - i;
    }
}
