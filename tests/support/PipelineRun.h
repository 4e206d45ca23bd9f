// Running files through the resize engine as the window and velmora-cli do:
// a port that answers every overwrite question alike and keeps the messages,
// and the list of files the engine is given before a run.
#pragma once

#include "batch/ResizeEngine.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace pipelinerun {

class CollectingPort : public TResizePort {
public:
    explicit CollectingPort(TOverwriteAnswer answer = TOverwriteAnswer::Yes) : answer_(answer) {}

    std::vector<std::string> errors;
    void ShowProgress(const QString&, const QString&, int, int) override {}
    void ProcessMessages() override {}
    TOverwriteAnswer AskOverwrite(const QString&) override { return answer_; }
    void ShowError(const QString& message) override { errors.push_back(message.toStdString()); }

private:
    TOverwriteAnswer answer_;
};

// The files by path, listed under their file-name parts, and the output
// folder.
inline void ListFiles(TResizeEngine& engine, const QStringList& paths, const QString& outDir) {
    engine.fileList = paths;
    engine.files.clear();
    for (const QString& p : paths) engine.files << TResizeEngine::FileNamePart(p);
    engine.outDir = outDir;
}

}  // namespace pipelinerun
