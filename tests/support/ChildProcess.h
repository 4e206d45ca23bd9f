// A program run as a child with arguments passed as raw bytes (names that are
// not UTF-8 included), its output collected in files, an optional file-size
// limit, and the means to signal or kill it mid-run.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace childprocess {

struct Result {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string out, err;
};

class Child {
public:
    struct Options {
        // RLIMIT_FSIZE in bytes (0: none); SIGXFSZ is left at its default so
        // the program must ignore it itself.
        rlim_t fileSizeLimit = 0;
        // Where stdout and stderr go (files; "" discards).
        std::string outPath, errPath;
        // Run as this user and group instead (needs root); -1 keeps ours.
        long runAsUser = -1;
    };

    Child(const std::string& program, const std::vector<std::string>& args, const Options& o)
        : outPath_(o.outPath), errPath_(o.errPath) {
        std::vector<char*> argv;
        std::string prog = program;
        argv.push_back(prog.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(o.outPath.empty() ? "/dev/null" : o.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(o.errPath.empty() ? "/dev/null" : o.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            if (o.fileSizeLimit != 0) {
                const rlimit limit{o.fileSizeLimit, o.fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (o.runAsUser >= 0) {
                if (setgroups(0, nullptr) != 0 || setgid(gid_t(o.runAsUser)) != 0 || setuid(uid_t(o.runAsUser)) != 0)
                    _exit(126);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void Signal(int sig) { kill(pid_, sig); }

    // Waits up to the timeout (then kills it: status -1).
    Result Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        Result r;
        const auto end = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        for (;;) {
            const pid_t got = waitpid(pid_, &status, WNOHANG);
            if (got == pid_) break;
            if (std::chrono::steady_clock::now() > end) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                reaped_ = true;
                return r;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        reaped_ = true;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = ReadAll(outPath_);
        r.err = ReadAll(errPath_);
        return r;
    }

    static std::string ReadAll(const std::string& path) {
        if (path.empty()) return {};
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::string outPath_, errPath_;
};

}  // namespace childprocess
