// The run with helper threads. The calling thread does everything a user can
// see, in list order and exactly as the one-thread run does it: progress, the
// message pump, Cancel, the overwrite question, messages and the writing of
// each output. Helper threads, each with its own engine and working objects,
// read, decode, resize and encode the files ahead of that turn into memory:
// a file takes room on the disk only at its turn, as one after the other, so
// a nearly full disk takes the same files either way.
// A file whose input is the output of an earlier file in the list is not
// worked on ahead: it waits for its turn, as it would one after the other.
#include "batch/ResizeEngine.h"

#include "batch/FilePath.h"
#include "batch/PictureFormats.h"
#include "platform/Stream.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

// A helper's engine shows nothing: its failures travel in the work result.
class TSilentPort : public TResizePort {
public:
    void ShowProgress(const QString&, const QString&, int, int) override {}
    void ProcessMessages() override {}
    TOverwriteAnswer AskOverwrite(const QString&) override { return TOverwriteAnswer::No; }
    void ShowError(const QString&) override {}
};

// The pipeline step of a picture file; none for an unknown kind.
TResizeEngine::TStreamStep stepFor(const QString& name) {
    return IsPictureExtension(name) ? &TResizeEngine::resizeAnyTo : nullptr;
}

// A file's work done ahead: the output's bytes, or the failure.
struct TWorkResult {
    bool done = false;
    std::exception_ptr error;
    std::vector<uint8_t> bytes;
    bool shortData = false;
    bool copied = false;
    int32_t sizes[4] = {0, 0, 0, 0};
};

}  // namespace

void TResizeEngine::runParallel() {
    const int n = fileCount();
    const int helpers = std::min(jobs, n);
    // Results held at once: enough to keep every helper busy while the
    // calling thread waits on the oldest.
    const int window = 2 * helpers;

    // Which files may be worked on ahead.
    std::vector<bool> ahead(static_cast<size_t>(n), false);
    {
        std::set<QString> outputsBefore;
        for (int i = 0; i < n; ++i) {
            const QString name = fileList.value(i);
            ahead[size_t(i)] = stepFor(name) != nullptr && outputsBefore.count(name) == 0;
            const QString rel = relDirs.value(i);
            outputsBefore.insert((rel.isEmpty() ? outDir : outDir + QLatin1Char('/') + rel) + QLatin1Char('/') +
                                 OutputFileName(FileNamePart(name), outputFormat));
        }
    }

    std::vector<TWorkResult> results(static_cast<size_t>(n));
    std::mutex mutex;
    std::condition_variable changed;
    int nextToTake = 0;  // the next file a helper may take
    int turn = 0;        // the file the calling thread is at
    bool stop = false;

    auto helper = [&](TResizeEngine& engine) {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || nextToTake >= n || nextToTake < turn + window; });
            if (stop || nextToTake >= n)
                return;
            const int i = nextToTake++;
            if (!ahead[size_t(i)])
                continue;
            const QString name = fileList.value(i);
            lock.unlock();
            TWorkResult result;
            try {
                engine.shortData_ = false;
                engine.copied_ = false;
                result.bytes = engine.resizeFromFile(name, stepFor(name));
                result.shortData = engine.shortData_;
                result.copied = engine.copied_;
                std::copy(std::begin(engine.sizes_), std::end(engine.sizes_), result.sizes);
            } catch (...) {
                result.error = std::current_exception();
            }
            lock.lock();
            // A file the turn has passed (answered No) is dropped at once.
            if (i < turn) continue;
            result.done = true;
            results[size_t(i)] = std::move(result);
            changed.notify_all();
        }
    };

    std::vector<std::unique_ptr<TSilentPort>> ports;
    std::vector<std::unique_ptr<TResizeEngine>> engines;
    for (int h = 0; h < helpers; ++h) {
        ports.push_back(std::make_unique<TSilentPort>());
        auto e = std::make_unique<TResizeEngine>(*ports.back());
        e->outDir = outDir;
        e->dw = dw;
        e->dh = dh;
        e->autoOrient = autoOrient;
        e->keepMetadata = keepMetadata;
        e->keepAlpha = keepAlpha;
        e->streaming = streaming;
        e->outputFormat = outputFormat;
        e->quality = quality;
        e->lossless = lossless;
        e->noEnlarge = noEnlarge;
        e->Prepare();
        engines.push_back(std::move(e));
    }
    std::vector<std::thread> threads;
    for (auto& e : engines)
        threads.emplace_back(helper, std::ref(*e));

    // However the loop ends, the helpers stop taking files and are waited
    // for; their unfinished work is dropped unwritten.
    auto finish = [&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : threads)
            t.join();
    };

    int i = 0;
    try {
        bool yesToAll = false;
        for (; i < n && !cancelOperation; ++i) {
            {
                std::lock_guard lock(mutex);
                turn = i;
            }
            changed.notify_all();
            const TTurn next = startFile(i, n, yesToAll);
            if (next == TTurn::Stop) break;
            if (next == TTurn::Skip) {
                // Work done ahead for it is dropped unwritten, and work still
                // under way is dropped when it ends.
                std::lock_guard lock(mutex);
                results[size_t(i)] = TWorkResult{};
                turn = i + 1;
                continue;
            }

            const QString name = fileList.value(i);
            bool written = false;
            if (!ahead[size_t(i)]) {
                // Unknown kinds, and files that wait for an earlier output.
                written = resizeByKind(name);
            } else {
                TWorkResult result;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return results[size_t(i)].done; });
                    result = std::move(results[size_t(i)]);
                }
                try {
                    if (result.error)
                        std::rethrow_exception(result.error);
                    shortData_ = result.shortData;
                    copied_ = result.copied;
                    std::copy(std::begin(result.sizes), std::end(result.sizes), sizes_);
                    makeTargetFolder();
                    velmora::WriteFileReplacing(velmora::EncodePath(target_), result.bytes.data(), result.bytes.size());
                    written = true;
                } catch (...) {
                    reportFailure(name, std::current_exception());
                }
            }
            if (abandoned_)
                break;
            countFile(name, written);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (i < n) {
        summary_.interrupted = true;
        summary_.notReached = n - i;
        reportNotReached(i, n);
    }
}
