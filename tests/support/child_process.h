#pragma once
// A program that a display test runs as a child process, its standard output read line by line.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorlune::test {

struct ChildOptions {
    bool keepErrors = false;      // standard error piped for Errors(); else it joins the test's
    bool withoutDisplay = false;  // started with DISPLAY unset
};

class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 ChildOptions options = {});
    ~ChildProcess();  // kills the child when it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Lines ---------------------------------------------------------------------------------
    // The next line that starts with the prefix; empty when none came in time. Lines passed over
    // on the way are not offered again.
    std::string WaitFor(const std::string& prefix,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::optional<std::string> WaitForLine(const std::function<bool(const std::string&)>& matches,
                                           std::chrono::milliseconds timeout);
    std::vector<std::string> Collect(std::chrono::milliseconds time);  // every line in the time

    // The process ---------------------------------------------------------------------------
    // The exit value; -1 when a signal ended it, -2 when it still runs after the timeout.
    int ExitStatus(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::string Errors();  // what standard error holds so far; keepErrors only
    pid_t pid() const { return pid_; }

  private:
    bool Finished();
    bool ReadUntil(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int status_ = 0;
    bool finished_ = false;
    std::string partial_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

}  // namespace vorlune::test
