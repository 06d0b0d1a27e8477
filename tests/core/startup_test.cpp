#include "runtime/core/startup.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/core/strings.h"

namespace vorlune {
namespace {

std::vector<std::string> stepsSeen;
bool tempStringsHeldAtTheirStep = false;

void RecordHook(const RuntimeHook& hook, bool isStartHook) {
    const std::string name = hook.name;
    stepsSeen.push_back((isStartHook ? "start " : "end ") + name);
    if (!isStartHook && name == "temporary strings") {
        tempStringsHeldAtTheirStep = TempStrings().tempStore != nullptr;
    }
}

void NoteProgramRan() {
    stepsSeen.push_back("main program");
}

// The order every library relies on: each start hook finds what it needs already started.
TEST(StartupTest, TheProcessStartsRunsAndEndsInTheFixedOrder) {
    stepsSeen.clear();
    SetHookObserver(RecordHook);
    char name[] = "vorlune";
    char* argv[] = {name, nullptr};
    const int status = RunProcess(1, argv, NoteProgramRan);
    SetHookObserver(nullptr);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(ArgumentCount(), 1);
    EXPECT_EQ(ArgumentVector(), argv);
    const std::vector<std::string> expected = {
        "start front",
        "start application",
        "start locale",
        "start working directory",
        "start temporary strings",
        "start strings",
        "start drawing state",
        "start image codecs",
        "start BMP codec",
        "start linked lists",
        "start images",
        "start drawing key",
        "start maps",
        "start event queue",
        "start windows",
        "start menus",
        "start gadgets",
        "start arrays",
        "main program",
        "end screen",
        "end sprites",
        "end images",
        "end temporary strings",
    };
    EXPECT_EQ(stepsSeen, expected);
    EXPECT_TRUE(tempStringsHeldAtTheirStep);
    EXPECT_EQ(TempStrings().tempStore, nullptr) << "the temporary strings are freed at the end";
}

TEST(StartupTest, NumbersUseADecimalPointWhateverTheUserLocale) {
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    InitRuntime();
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", 1.5);
    EXPECT_STREQ(text, "1.50");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EndRuntime();
    unsetenv("LC_ALL");
}

TEST(StartupTest, ThreadSafeSwitchIsOffByDefault) {
    EXPECT_FALSE(IsThreadSafeBuild());
}

}  // namespace
}  // namespace vorlune
