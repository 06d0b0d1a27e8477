#include "runtime/core/startup.h"

#include <gtest/gtest.h>

#include <langinfo.h>
#include <locale.h>

#include <clocale>
#include <cstdio>
#include <cstring>
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

// An installed locale whose numbers use a decimal comma; empty when there is none.
std::string CommaDecimalLocale() {
    FILE* pipe = popen("locale -a 2>/dev/null", "r");
    if (pipe == nullptr) return "";
    std::string found;
    for (char line[256]; found.empty() && std::fgets(line, sizeof line, pipe) != nullptr;) {
        const std::string name(line, std::strcspn(line, "\n"));
        const locale_t locale = newlocale(LC_NUMERIC_MASK, name.c_str(), nullptr);
        if (locale == nullptr) continue;
        if (std::string(nl_langinfo_l(RADIXCHAR, locale)) == ",") found = name;
        freelocale(locale);
    }
    pclose(pipe);
    return found;
}

// Under a decimal-comma user locale: the locale is taken from the environment, all but the
// numbers, which keep their decimal point.
TEST(StartupTest, NumbersUseADecimalPointWhateverTheUserLocale) {
    const std::string userLocale = CommaDecimalLocale();
    ASSERT_FALSE(userLocale.empty())
        << "no locale with a decimal comma is installed: scripts/install-deps generates one";
    setenv("LC_ALL", userLocale.c_str(), 1);
    InitRuntime();
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", 1.5);
    const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
    const std::string characters = std::setlocale(LC_CTYPE, nullptr);
    EndRuntime();
    std::setlocale(LC_ALL, "C");
    unsetenv("LC_ALL");

    EXPECT_STREQ(text, "1.50");
    EXPECT_EQ(numeric, "C");
    EXPECT_EQ(characters, userLocale);
}

TEST(StartupTest, ThreadSafeSwitchIsOffByDefault) {
    EXPECT_FALSE(IsThreadSafeBuild());
}

}  // namespace
}  // namespace vorlune
