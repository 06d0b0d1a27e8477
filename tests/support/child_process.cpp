#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace vorlune::test {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           ChildOptions options) {
    // Built before the fork: the child only calls what is safe between fork and exec.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int out[2];
    int err[2] = {-1, -1};
    if (pipe(out) != 0) return;
    if (options.keepErrors && pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        // A test that crashes must not leave its child holding the output pipe ctest reads.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        if (options.keepErrors) {
            dup2(err[1], STDERR_FILENO);
            close(err[0]);
        }
        if (options.withoutDisplay) unsetenv("DISPLAY");
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    if (options.keepErrors) {
        close(err[1]);
        err_ = err[0];
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !Finished()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

std::string ChildProcess::WaitFor(const std::string& prefix, std::chrono::milliseconds timeout) {
    const auto line =
        WaitForLine([&](const std::string& each) { return each.rfind(prefix, 0) == 0; }, timeout);
    return line.value_or(std::string());
}

std::optional<std::string> ChildProcess::WaitForLine(
    const std::function<bool(const std::string&)>& matches, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        for (; next_ < lines_.size(); ++next_) {
            if (matches(lines_[next_])) return lines_[next_++];
        }
        if (!ReadUntil(deadline)) return std::nullopt;
    }
}

std::vector<std::string> ChildProcess::Collect(std::chrono::milliseconds time) {
    const auto deadline = Clock::now() + time;
    while (ReadUntil(deadline)) {
    }
    std::vector<std::string> fresh(lines_.begin() + static_cast<long>(next_), lines_.end());
    next_ = lines_.size();
    return fresh;
}

int ChildProcess::ExitStatus(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (Finished()) return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
        std::this_thread::sleep_for(20ms);
    }
    return -2;
}

std::string ChildProcess::Errors() {
    std::string text;
    if (err_ < 0) return text;
    char buffer[256];
    fcntl(err_, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = read(err_, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

bool ChildProcess::Finished() {
    if (finished_) return true;
    if (pid_ <= 0) return false;
    finished_ = waitpid(pid_, &status_, WNOHANG) == pid_;
    return finished_;
}

// Reads what has arrived by the deadline into lines; false when nothing more came in time.
bool ChildProcess::ReadUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd descriptor{out_, POLLIN, 0};
    if (left <= 0ms || poll(&descriptor, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;
    partial_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
        lines_.push_back(partial_.substr(0, end));
        partial_.erase(0, end + 1);
    }
    return true;
}

}  // namespace vorlune::test
