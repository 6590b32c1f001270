#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kx {

namespace {

int64_t NowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QByteArray ReadAll(int fd)
{
    QByteArray all;
    if (fd < 0 || lseek(fd, 0, SEEK_SET) < 0)
        return all;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        all.append(buffer, n);
    return all;
}

} // namespace

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !result_.started)
        Kill(SIGKILL);
    if (pid_ > 0)
        Wait(10000);
    for (int fd : {pidfd_, outFd_, errFd_})
        if (fd >= 0)
            close(fd);
}

bool ChildProcess::Start(const QByteArray& program, const std::vector<QByteArray>& args, const ChildOptions& options)
{
    // Output goes to anonymous files, so a chatty child never blocks on a pipe.
    outFd_ = memfd_create("child-out", 0);
    errFd_ = memfd_create("child-err", 0);
    std::vector<QByteArray> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    startNs_ = NowNs();
    pid_ = fork();
    if (pid_ == 0) {
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(outFd_, 1);
        dup2(errFd_, 2);
        setpgid(0, 0);
        if (options.fileSizeLimit > 0) {
            const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            // Ignored signals stay ignored across exec: writes fail with EFBIG.
            signal(SIGXFSZ, SIG_IGN);
        }
        execv(program.constData(), argv.data());
        _exit(127);
    }
    if (pid_ < 0)
        return false;
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    return true;
}

bool ChildProcess::Wait(int timeoutMs)
{
    if (result_.started)
        return true;
    if (pid_ <= 0)
        return false;
    const int64_t deadline = NowNs() + int64_t(timeoutMs) * 1000000;
    for (;;) {
        int status = 0;
        rusage usage{};
        const pid_t done = wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) {
            Collect(status, usage.ru_maxrss);
            return true;
        }
        const int64_t left = deadline - NowNs();
        if (left <= 0)
            return false;
        // The pid file descriptor becomes readable when the child ends.
        if (pidfd_ >= 0) {
            pollfd p{pidfd_, POLLIN, 0};
            poll(&p, 1, static_cast<int>(left / 1000000) + 1);
        } else {
            usleep(2000);
        }
    }
}

void ChildProcess::Kill(int sig)
{
    if (pid_ > 0 && !result_.started)
        kill(-pid_, sig);  // the whole group: helpers the child started go too
}

void ChildProcess::Collect(int status, long maxRssKb)
{
    result_.started = true;
    result_.seconds = double(NowNs() - startNs_) / 1e9;
    result_.maxRssKb = maxRssKb;
    result_.signaled = WIFSIGNALED(status);
    result_.signal = result_.signaled ? WTERMSIG(status) : 0;
    result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result_.out = ReadAll(outFd_);
    result_.err = ReadAll(errFd_);
}

ChildResult RunChild(const QByteArray& program, const std::vector<QByteArray>& args, int timeoutMs,
                     const ChildOptions& options)
{
    ChildProcess child;
    if (!child.Start(program, args, options))
        return {};
    bool timedOut = false;
    if (!child.Wait(timeoutMs)) {
        timedOut = true;
        child.Kill(SIGKILL);
        child.Wait(10000);
    }
    ChildResult r = child.Result();
    r.timedOut = timedOut;
    return r;
}

} // namespace kx
