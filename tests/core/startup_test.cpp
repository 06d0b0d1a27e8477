#include "runtime/core/startup.h"

#include <gtest/gtest.h>

#include <langinfo.h>
#include <locale.h>

#include <clocale>
#include <cstdio>
#include <cstring>
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
        "start PNG codec",
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

void EndWithStatusThree() {
    SetExitValue(3);
}

TEST(StartupTest, TheMainProgramChoosesTheExitValue) {
    char name[] = "tool";
    char* argv[] = {name, nullptr};
    const int status = RunProcess(1, argv, EndWithStatusThree);
    SetExitValue(0);
    EXPECT_EQ(status, 3);
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
    if (VORLUNE_THREAD_SAFE != 0) GTEST_SKIP() << "this build asked for the thread-safe mode";
    EXPECT_FALSE(IsThreadSafeBuild());
}

}  // namespace
}  // namespace vorlune
