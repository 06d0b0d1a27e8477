// The requesters on the GTK platform under a real X server and window manager: the probe opens
// one dialog over its window, xdotool and wmctrl answer it as a user would, and the probe says
// what the dialog showed and what the requester returned. Screenshots of the dialogs are kept
// under the build folder.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string Shell(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        pclose(pipe);
    }
    while (!output.empty() && output.back() == '\n')
        output.pop_back();
    return output;
}

void Screenshot(const std::string& name) {
    mkdir(VORLUNE_ARTEFACT_DIR, 0755);
    Shell("import -window root " VORLUNE_ARTEFACT_DIR "/" + name + ".png");
}

// The probe as a child process whose standard output is read line by line.
class Probe {
  public:
    explicit Probe(const std::vector<std::string>& arguments) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            std::vector<char*> argv{const_cast<char*>(VORLUNE_DIALOG_PROBE)};
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(VORLUNE_DIALOG_PROBE, argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }

    ~Probe() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // The rest of the next line that starts with the word; empty when none came in time.
    std::string Value(const std::string& word, std::chrono::milliseconds timeout = 5000ms) {
        const std::string prefix = word + " ";
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            for (; next_ < lines_.size(); ++next_) {
                if (lines_[next_].rfind(prefix, 0) == 0)
                    return lines_[next_++].substr(prefix.size());
                if (lines_[next_] == word) return lines_[next_++].substr(word.size());
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms || !ReadSome(left)) return "(none)";
        }
    }

  private:
    bool ReadSome(std::chrono::milliseconds timeout) {
        pollfd descriptor{out_, POLLIN, 0};
        if (poll(&descriptor, 1, static_cast<int>(timeout.count())) <= 0) return false;
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

    pid_t pid_ = -1;
    int out_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

// Keys go to the dialog once it has the keyboard; afterwards the window must have it back, and
// the key that answered the dialog must not reach the program's keyboard as a release.
void ExpectKeyboardBack(Probe& probe, const std::string& window, const std::string& what) {
    EXPECT_EQ(probe.Value("key"), "1") << what;
    EXPECT_EQ(Shell("xdotool getactivewindow"), window) << what;
    Shell("xdotool key z");
    EXPECT_EQ(probe.Value("polled"), "122") << what;
}

TEST(RequestersDisplayTest, TheHelpBoxShowsItsTextsAndReturnClosesIt) {
    Probe probe({"message", "4"});
    const std::string window = probe.Value("ready");
    ASSERT_NE(probe.Value("shown"), "(none)");
    EXPECT_EQ(probe.Value("icon"), "dialog-information");
    EXPECT_EQ(probe.Value("headline"), "HELP|(press Return to open/close this)");
    EXPECT_EQ(probe.Value("text"),
              "|Use ARROW KEYS to VORLUNE!|with CTRL+SHIFT: SuperFaster||ESC or Q to QUIT!|");
    EXPECT_EQ(probe.Value("buttons"), "_OK");
    Screenshot("help_box");
    Shell("xdotool key Return");
    EXPECT_EQ(probe.Value("result"), "0");
    ExpectKeyboardBack(probe, window, "help box");
}

TEST(RequestersDisplayTest, ReturnAndEscapeAnswerEachButtonSet) {
    struct Case {
        const char* flags;
        const char* keys;  // each pressed after the box has the keyboard
        const char* icon;
        const char* buttons;
        const char* result;
    };
    const std::vector<Case> cases = {
        {"4", "Escape", "dialog-information", "_OK", "0"},
        {"8", "Return", "dialog-error", "_OK", "0"},
        {"2", "Escape", "-", "Cancel No Yes", "2"},
        {"3", "Return", "-", "Cancel No Yes", "6"},
        {"17", "Escape Return", "dialog-warning", "No Yes", "6"},  // Escape leaves it up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("flags ") + c.flags + ", keys " + c.keys);
        Probe probe({"message", c.flags});
        const std::string window = probe.Value("ready");
        ASSERT_NE(probe.Value("shown"), "(none)");
        EXPECT_EQ(probe.Value("icon"), c.icon);
        EXPECT_EQ(probe.Value("buttons"), c.buttons);
        if (std::string(c.flags) == "2") Screenshot("yes_no_cancel_box");
        Shell(std::string("xdotool key --delay 200 ") + c.keys);
        EXPECT_EQ(probe.Value("result"), c.result);
        ExpectKeyboardBack(probe, window, "message box");
    }
}

TEST(RequestersDisplayTest, TheInputPanelIsLaidOutAsSpecifiedAndTakesTypedText) {
    Probe probe({"input", "0"});
    const std::string window = probe.Value("ready");
    ASSERT_NE(probe.Value("shown"), "(none)");
    EXPECT_EQ(probe.Value("size"), "370 120");
    EXPECT_EQ(probe.Value("frame"), "label 10 10 350 30");
    EXPECT_EQ(probe.Value("frame"), "field 10 50 350 20");
    EXPECT_EQ(probe.Value("hidden"), "0");
    EXPECT_EQ(probe.Value("selected"), "0 37") << "the whole default text";
    EXPECT_EQ(probe.Value("frame"), "button 135 85 100 25");
    EXPECT_EQ(probe.Value("default"), "OK");
    Screenshot("values_box");
    Shell("xdotool type --delay 20 'P = 2.5'");
    Shell("xdotool key Return");
    EXPECT_EQ(probe.Value("answer"), "P = 2.5") << "typing replaced the selected text";
    ExpectKeyboardBack(probe, window, "input panel");
}

TEST(RequestersDisplayTest, TheInputPanelAnswersReturnEscapeAndItsCloseBox) {
    struct Case {
        const char* flags;
        const char* typed;
        const char* action;  // a shell command
        const char* answer;
    };
    const std::vector<Case> cases = {
        {"0", "", "xdotool key Return", "el = 1.0940010548   df = 0.2937101722"},
        {"0", "", "xdotool key Escape", ""},
        {"0", "typed", "wmctrl -c VALUES", ""},
        {"1", "secret", "xdotool key Return", "secret"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " after typing '" + c.typed + "'");
        const bool password = std::string(c.flags) == "1";
        Probe probe({"input", c.flags});
        const std::string window = probe.Value("ready");
        ASSERT_NE(probe.Value("shown"), "(none)");
        EXPECT_EQ(probe.Value("hidden"), password ? "1" : "0");
        if (c.typed[0] != 0) Shell(std::string("xdotool type --delay 20 ") + c.typed);
        if (password) Screenshot("password_panel");
        Shell(c.action);
        EXPECT_EQ(probe.Value("answer"), c.answer);
        ExpectKeyboardBack(probe, window, "input panel");
    }
}

TEST(RequestersDisplayTest, HelpBoxesOpenedBeforeAndInsideTheWaitGetTheirKeys) {
    {
        SCOPED_TRACE("right after the window opened, before it is key");
        Probe probe({"startup"});
        ASSERT_NE(probe.Value("shown"), "(none)");
        Shell("xdotool key Return");
        EXPECT_EQ(probe.Value("result"), "0");
        ExpectKeyboardBack(probe, probe.Value("ready"), "startup");
    }
    {
        SCOPED_TRACE("from a callback run inside the wait, which must leave its keys to GTK");
        Probe probe({"bound"});
        const std::string window = probe.Value("ready");
        Shell("xdotool windowmove " + window + " 20 20");
        ASSERT_NE(probe.Value("shown"), "(none)");
        Shell("xdotool key Return");
        EXPECT_EQ(probe.Value("result"), "0");
        ExpectKeyboardBack(probe, window, "bound");
    }
}

}  // namespace
