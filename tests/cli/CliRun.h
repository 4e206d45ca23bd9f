// velmora-cli run as a child process: its exit status and everything it
// printed.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace clirun {

inline QString u(const char* s) { return QString::fromUtf8(s); }

struct Result {
    int exitCode = -1;  // -1 when the program did not end normally
    QString out;
    QStringList errLines;  // stderr split into lines (no final empty line)
    QString err;
};

// Runs the program with `input` on its standard input, closed afterwards
// unless closeInput is false, waiting up to timeoutMs for it to end.
inline Result RunCli(const QStringList& args, const QByteArray& input = {}, bool closeInput = true,
                     int timeoutMs = 120000) {
    QProcess p;
    p.setProgram(QStringLiteral(VELMORA_CLI));
    p.setArguments(args);
    p.start();
    EXPECT_TRUE(p.waitForStarted());
    if (!input.isEmpty()) p.write(input);
    if (closeInput) p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(timeoutMs));
    Result r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    r.errLines = r.err.split(QLatin1Char('\n'));
    if (!r.errLines.isEmpty() && r.errLines.back().isEmpty()) r.errLines.removeLast();
    return r;
}

}  // namespace clirun
