// vorlune-hello under Xvfb: it greets the user, and every way out ends it with status 0.
#include <signal.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/examples/example_window.h"
#include "tests/support/child_process.h"

namespace vorlune {
namespace {

using test::ChildProcess;
using test::Shell;

TEST(HelloTest, GreetsAndEndsWithStatusZeroOnEveryWayOut) {
    struct Exit {
        const char* name;
        std::function<void(const ChildProcess&, const std::string& window)> act;
    };
    const Exit exits[] = {
        {"Escape", [](const ChildProcess&, const std::string&) { Shell("xdotool key Escape"); }},
        {"Control+Q", [](const ChildProcess&, const std::string&) { Shell("xdotool key ctrl+q"); }},
        {"close box",
         [](const ChildProcess&, const std::string& window) { Shell("wmctrl -i -c " + window); }},
        {"SIGTERM",
         [](const ChildProcess& hello, const std::string&) { kill(hello.pid(), SIGTERM); }},
    };
    for (const Exit& exit : exits) {
        SCOPED_TRACE(exit.name);
        ChildProcess hello(VORLUNE_EXAMPLE, {});
        const std::string window = test::WaitForWindow(hello.pid(), "^Hello$");
        ASSERT_FALSE(window.empty());
        ASSERT_TRUE(test::WaitForWindowCount(hello.pid(), 2)) << "no greeting";
        Shell("xdotool key Return");
        ASSERT_TRUE(test::WaitForWindowCount(hello.pid(), 1)) << "Return left the greeting up";
        exit.act(hello, window);
        EXPECT_EQ(hello.ExitStatus(), 0);
    }
}

TEST(HelloTest, WithoutADisplayItSaysSoInOneLineAndFails) {
    ChildProcess hello(VORLUNE_EXAMPLE, {}, {.keepErrors = true, .withoutDisplay = true});
    EXPECT_EQ(hello.ExitStatus(), 1);
    EXPECT_EQ(hello.Errors(), "vorlune-hello: cannot open display\n");
}

}  // namespace
}  // namespace vorlune
