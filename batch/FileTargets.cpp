// Where each file of a run goes and what its turn reports: the output path
// (folders below the output folder, the name pattern, numbered names instead
// of replacing), pictures kept at their size and copied, and the dry run.
#include "batch/ResizeEngine.h"

#include "batch/FilePath.h"
#include "batch/FileTree.h"
#include "batch/PictureFormats.h"
#include "batch/SmallCopy.h"
#include "i18n/uIdiomes.h"
#include "platform/Stream.h"

#include <system_error>

#include <sys/stat.h>

namespace {

bool pathExists(const QString& path) { return velmora::FileExists(velmora::EncodePath(path)); }

// The name before its last dot, and the part after it (empty without a dot;
// a leading dot starts no extension).
void splitName(const QString& name, QString& stem, QString& ext) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    stem = dot > 0 ? name.left(dot) : name;
    ext = dot > 0 ? name.mid(dot + 1) : QString();
}

int64_t fileSize(const QString& path) {
    struct stat st {};
    return ::stat(velmora::EncodePath(path).c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

}  // namespace

int TResizeEngine::fileCount() const { return int(std::max(files.size(), fileList.size())); }

QString TResizeEngine::displayName(int i) const {
    return i < files.size() ? files[i] : FileNamePart(fileList.value(i));
}

void TResizeEngine::FitTarget(int32_t ow, int32_t oh, int32_t& w, int32_t& h) const {
    calculateSize(ow, oh, w, h);
    if (noEnlarge && (w > ow || h > oh)) {
        w = ow;
        h = oh;
    }
    sizes_[0] = ow, sizes_[1] = oh, sizes_[2] = w, sizes_[3] = h;
}

void TResizeEngine::probeSizes(const QString& path, int32_t& sw, int32_t& sh, int32_t& w, int32_t& h, bool& copyable) {
    TFileStream in(velmora::EncodePath(path));
    const TSourceInfo info = ProbeSource(in, path);
    const int orientation = autoOrient ? info.orientation : 0;
    const bool swap = orientation >= 5 && orientation <= 8;
    sw = swap ? info.height : info.width;
    sh = swap ? info.width : info.height;
    FitTarget(sw, sh, w, h);
    if (w <= 0 || h <= 0) throw EInvalidGraphicOperation("The target size is empty");
    // The copy is the picture the pipeline would write only when nothing
    // but the size would change, and the size does not.
    const TPictureFormat named = FormatOfExtension(path);
    copyable = noEnlarge && w == sw && h == sh && info.format == named &&
               OutputFormatFor(named, outputFormat) == named && quality == 0 && orientation < 2 &&
               (!info.alpha || keepAlpha) && !info.profile;
}

bool TResizeEngine::copySmall(const QString& name, TStream& source, TStream& out) {
    const int64_t start = source.Position();
    bool copyable = false;
    try {
        int32_t sw = 0, sh = 0, w = 0, h = 0;
        probeSizes(name, sw, sh, w, h, copyable);
    } catch (...) {
        // The pipeline meets the same fault and reports it in its words.
        copyable = false;
    }
    if (!copyable) return false;
    std::vector<uint8_t> bytes(size_t(source.Remaining()));
    const size_t got = source.Read(bytes.data(), bytes.size());
    bytes.resize(got);
    auto kept = CopiedPictureBytes(FormatOfExtension(name), std::move(bytes), keepMetadata);
    if (!kept) {
        source.SetPosition(start);
        return false;
    }
    out.WriteBuffer(kept->data(), kept->size());
    copied_ = true;
    return true;
}

QString TResizeEngine::resolveTarget(int i, QString& cause) {
    const QString source = fileList.value(i);
    const QString rel = relDirs.value(i);
    const QString dir = rel.isEmpty() ? outDir : outDir + QLatin1Char('/') + rel;
    const QString sourceName = FileNamePart(source);
    QString name = OutputFileName(sourceName, outputFormat);
    if (!namePattern.isEmpty()) {
        QString stem, ext, sourceStem, sourceExt;
        splitName(name, stem, ext);
        splitName(sourceName, sourceStem, sourceExt);
        QString pattern = namePattern;
        if (pattern.contains(QLatin1String("{w}")) || pattern.contains(QLatin1String("{h}"))) {
            int32_t sw = 0, sh = 0, w = 0, h = 0;
            bool copyable = false;
            probeSizes(source, sw, sh, w, h, copyable);
            pattern.replace(QLatin1String("{w}"), QString::number(w));
            pattern.replace(QLatin1String("{h}"), QString::number(h));
        }
        pattern.replace(QLatin1String("{name}"), sourceStem);
        pattern.replace(QLatin1String("{ext}"), ext);
        name = pattern;
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
            name.contains(QLatin1Char('/'))) {
            cause = QStringLiteral("the name pattern gives no file name");
            return {};
        }
    }
    QString path = dir + QLatin1Char('/') + name;
    if (!renameExisting) {
        // A converted or patterned name never replaces an output written
        // earlier in this run from a source of another name; sources of one
        // name write one output, as they always have (the question, or the
        // overwrite choice, decides).
        for (const auto& [out, from] : written_)
            if (out == path && FileNamePart(from) != sourceName) {
                cause = FileNamePart(path) + QLatin1String(" was already written from ") + from +
                        QLatin1String(" in this run");
                return {};
            }
    }
    if (namePattern.isEmpty() && !renameExisting) return path;
    const auto claim = claims_.constFind(path);
    if (claim != claims_.cend() && *claim != sourceName && !renameExisting) {
        cause = QStringLiteral("its output name is taken by ") + *claim + QStringLiteral(" earlier in this run");
        return {};
    }
    if (renameExisting && (claim != claims_.cend() || pathExists(path))) {
        QString stem, ext;
        splitName(name, stem, ext);
        const QString dot = ext.isEmpty() ? QString() : QLatin1Char('.') + ext;
        for (int k = 1;; ++k) {
            path = dir + QLatin1Char('/') + stem + QStringLiteral(" (") + QString::number(k) + QLatin1Char(')') + dot;
            if (!claims_.contains(path) && !pathExists(path)) break;
        }
    }
    claims_.insert(path, sourceName);
    return path;
}

void TResizeEngine::makeTargetFolder() {
    const QString folder = target_.left(target_.lastIndexOf(QLatin1Char('/')));
    if (folder == outDir || folder == madeFolder_) return;
    if (const int error = MakeFolders(velmora::EncodePath(folder)); error != 0)
        throw std::system_error(error, std::generic_category());
    madeFolder_ = folder;
}

void TResizeEngine::finishFile(TFileStatus status) {
    result_.status = status;
    result_.output = target_;
    if (status == TFileStatus::Failed) result_.cause = lastCause_;
    if (status == TFileStatus::Written || status == TFileStatus::Copied) {
        result_.sourceWidth = sizes_[0], result_.sourceHeight = sizes_[1];
        result_.width = sizes_[2], result_.height = sizes_[3];
        result_.bytes = fileSize(target_);
    }
    result_.ms = turnTimer_.elapsed();
    port_.FileDone(result_);
}

void TResizeEngine::reportNotReached(int from, int n) {
    for (int k = from; k < n; ++k) {
        TFileResult r;
        r.index = k;
        r.source = fileList.value(k);
        r.status = TFileStatus::NotReached;
        port_.FileDone(r);
    }
}

void TResizeEngine::dryRunFile(int i) {
    const QString source = fileList.value(i);
    try {
        if (FormatOfExtension(source) == TPictureFormat::Unknown) throw EInvalidGraphic("Unknown format");
        bool copyable = false;
        probeSizes(source, result_.sourceWidth, result_.sourceHeight, result_.width, result_.height, copyable);
        if (copyable) {
            // Only the end of the file is read to know whether it is whole.
            TFileStream in(velmora::EncodePath(source));
            const int64_t size = in.Size();
            uint8_t tail[12] = {};
            const int64_t n = std::min<int64_t>(size, 12);
            in.SetPosition(size - n);
            in.Read(tail, size_t(n));
            const TPictureFormat format = FormatOfExtension(source);
            if (format == TPictureFormat::Jpeg)
                copyable = n >= 2 && tail[n - 2] == 0xFF && tail[n - 1] == 0xD9;
            else if (format == TPictureFormat::Png)
                copyable = n == 12 && std::equal(tail + 4, tail + 8, "IEND");
        }
        result_.output = target_;
        result_.outputExists = pathExists(target_);
        result_.status = copyable ? TFileStatus::Copied : TFileStatus::Written;
    } catch (const std::exception& e) {
        result_.status = TFileStatus::Failed;
        result_.cause = QString::fromUtf8(e.what());
    }
    result_.output = target_;
    result_.ms = turnTimer_.elapsed();
    port_.FileDone(result_);
}
