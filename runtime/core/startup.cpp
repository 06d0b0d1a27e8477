#include "runtime/core/startup.h"

#include <clocale>
#include <initializer_list>

#include "runtime/core/array.h"
#include "runtime/core/list.h"
#include "runtime/core/map.h"
#include "runtime/core/strings.h"
#include "runtime/drawing/context.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/menus.h"
#include "runtime/events/windows.h"
#include "runtime/gadgets/gadgets.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "runtime/images/png.h"
#include "runtime/screen/screen.h"

namespace vorlune {

namespace {

int32_t argumentCount = 0;
char** argumentVector = nullptr;
int64_t exitValue = 0;
HookObserver hookObserver = nullptr;

// Every category from the user's environment, but numbers always with a decimal point.
void InitLocale() {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
}

// There is no application bundle on Linux: the working directory stays where the user started.
void InitWorkingDirectory() {}

// Start hooks in their fixed order. Steps leave gaps of ten, so a library adds its hook as one
// line at a free step between its neighbours (95 after 90), and its name at the same place in the
// start-up test, which holds the whole order by name.
constexpr std::initializer_list<RuntimeHook> kStartHooks = {
    {10, "front", BringProcessToFront},
    {20, "application", StartApplication},
    {30, "locale", InitLocale},
    {40, "working directory", InitWorkingDirectory},
    {50, "temporary strings", InitTempStrings},
    {60, "strings", InitStrings},
    {70, "drawing state", InitDrawingState},
    {80, "image codecs", InitImageCodecs},
    {90, "BMP codec", RegisterBmpCodec},
    {95, "PNG codec", RegisterPngCodec},
    {100, "linked lists", InitLists},
    {110, "images", InitImageSystem},
    {120, "drawing key", CreateDrawingKey},
    {130, "maps", InitMaps},
    {140, "event queue", InitEventQueue},
    {150, "windows", InitWindowSystem},
    {160, "menus", InitMenuSystem},
    {170, "gadgets", InitGadgetSystem},
    {180, "arrays", InitArrays},
};

// End hooks in their fixed order.
constexpr std::initializer_list<RuntimeHook> kEndHooks = {
    {10, "screen", CloseScreen},
    {20, "sprites", EndScreenSystem},
    {30, "images", EndImageSystem},
};

// The process entry's last step, after the end hooks, which may still use temporary strings.
constexpr std::initializer_list<RuntimeHook> kExitSteps = {
    {40, "temporary strings", FreeTempStrings},
};

// The tables run in the order written; the steps must agree with it.
constexpr bool StepsAscend(std::initializer_list<RuntimeHook> hooks) {
    int previous = 0;
    for (const RuntimeHook& hook : hooks) {
        if (hook.step <= previous) return false;
        previous = hook.step;
    }
    return true;
}
static_assert(StepsAscend(kStartHooks));
static_assert(StepsAscend(kEndHooks));
static_assert(StepsAscend(kExitSteps) && kExitSteps.begin()->step > (kEndHooks.end() - 1)->step);

void RunHooks(std::initializer_list<RuntimeHook> hooks, bool isStartHook) {
    for (const RuntimeHook& hook : hooks) {
        if (hookObserver != nullptr) hookObserver(hook, isStartHook);
        hook.run();
    }
}

}  // namespace

void InitRuntime() {
    RunHooks(kStartHooks, true);
}

void EndRuntime() {
    RunHooks(kEndHooks, false);
}

int RunProcess(int argc, char** argv, MainProgram program) {
    argumentCount = argc;
    argumentVector = argv;
    InitRuntime();
    if (program != nullptr) program();
    EndRuntime();
    RunHooks(kExitSteps, false);
    return static_cast<int>(exitValue);
}

int32_t ArgumentCount() {
    return argumentCount;
}
char** ArgumentVector() {
    return argumentVector;
}
int64_t ExitValue() {
    return exitValue;
}
void SetExitValue(int64_t value) {
    exitValue = value;
}
bool IsThreadSafeBuild() {
    return VORLUNE_THREAD_SAFE != 0;
}
void SetHookObserver(HookObserver observer) {
    hookObserver = observer;
}

}  // namespace vorlune
