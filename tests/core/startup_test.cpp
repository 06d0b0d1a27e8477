#include "runtime/core/startup.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace vorlune {
namespace {

std::vector<std::string> startHooksSeen;
std::vector<int> startStepsSeen;
std::vector<std::string> endHooksSeen;

void RecordHook(const RuntimeHook& hook, bool isStartHook) {
    if (isStartHook) {
        startHooksSeen.push_back(hook.name);
        startStepsSeen.push_back(hook.step);
    } else {
        endHooksSeen.push_back(hook.name);
    }
}

bool programRan = false;
void NoteProgramRan() {
    programRan = true;
    EXPECT_FALSE(endHooksSeen.size() > 0) << "end hooks ran before the main program";
}

TEST(StartupTest, HooksRunInAscendingStepOrderAroundTheProgram) {
    startHooksSeen.clear();
    startStepsSeen.clear();
    endHooksSeen.clear();
    programRan = false;
    SetHookObserver(RecordHook);
    char name[] = "vorlune";
    char* argv[] = {name, nullptr};
    const int status = RunProcess(1, argv, NoteProgramRan);
    SetHookObserver(nullptr);

    EXPECT_EQ(status, 0);
    EXPECT_TRUE(programRan);
    EXPECT_EQ(ArgumentCount(), 1);
    EXPECT_EQ(ArgumentVector(), argv);
    ASSERT_FALSE(startStepsSeen.empty());
    for (size_t i = 1; i < startStepsSeen.size(); ++i) {
        EXPECT_LT(startStepsSeen[i - 1], startStepsSeen[i])
            << startHooksSeen[i - 1] << " must run before " << startHooksSeen[i];
    }
    const std::vector<std::string> expectedPrefix = {
        "front", "application", "locale", "working directory", "temporary strings", "strings"};
    ASSERT_GE(startHooksSeen.size(), expectedPrefix.size());
    EXPECT_EQ(std::vector<std::string>(startHooksSeen.begin(),
                                       startHooksSeen.begin() + expectedPrefix.size()),
              expectedPrefix);
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
    if (VORLUNE_THREAD_SAFE != 0) GTEST_SKIP() << "this build asked for the thread-safe mode";
    EXPECT_FALSE(IsThreadSafeBuild());
}

}  // namespace
}  // namespace vorlune
