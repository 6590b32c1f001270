#pragma once
// Runs a program as a child process with a time limit, and reports how it
// ended and how much memory it took (from wait4's resource usage).
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <sys/types.h>
#include <vector>

namespace kx {

struct ChildOptions {
    // Largest file the child may write, in bytes (RLIMIT_FSIZE); 0: no limit.
    // Writes past it fail with EFBIG instead of killing the child.
    uint64_t fileSizeLimit = 0;
};

struct ChildResult {
    bool started = false;
    bool timedOut = false;  // killed after the time limit
    bool signaled = false;  // ended by a signal (a crash, or our kill)
    int signal = 0;
    int exitCode = -1;
    long maxRssKb = 0;
    double seconds = 0;
    QByteArray out, err;

    bool Exited(int code) const { return started && !signaled && !timedOut && exitCode == code; }
};

class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Arguments are passed as bytes, so names need not be valid UTF-8.
    bool Start(const QByteArray& program, const std::vector<QByteArray>& args, const ChildOptions& options = {});
    // True once the child has ended (the result is then complete); false
    // when it still runs after timeoutMs.
    bool Wait(int timeoutMs);
    void Kill(int sig);
    pid_t Pid() const { return pid_; }
    const ChildResult& Result() const { return result_; }

private:
    void Collect(int status, long maxRssKb);

    pid_t pid_ = -1;
    int pidfd_ = -1;
    int outFd_ = -1, errFd_ = -1;
    int64_t startNs_ = 0;
    ChildResult result_;
};

// Starts, waits up to timeoutMs, kills on time-out and collects.
ChildResult RunChild(const QByteArray& program, const std::vector<QByteArray>& args, int timeoutMs,
                     const ChildOptions& options = {});

} // namespace kx
