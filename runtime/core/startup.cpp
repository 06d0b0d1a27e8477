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

// Start hooks in their fixed order. A library adds its hook as one line at its step, and its
// name at the same place in the start-up test, which holds the whole order by name.
constexpr std::initializer_list<RuntimeHook> kStartHooks = {
    {1, "front", BringProcessToFront},
    {2, "application", StartApplication},
    {3, "locale", InitLocale},
    {4, "working directory", InitWorkingDirectory},
    {5, "temporary strings", InitTempStrings},
    {6, "strings", InitStrings},
    {7, "drawing state", InitDrawingState},
    {8, "image codecs", InitImageCodecs},
    {9, "BMP codec", RegisterBmpCodec},
    {10, "linked lists", InitLists},
    {11, "images", InitImageSystem},
    {12, "drawing key", CreateDrawingKey},
    {13, "maps", InitMaps},
    {14, "event queue", InitEventQueue},
    {15, "windows", InitWindowSystem},
    {16, "menus", InitMenuSystem},
    {17, "gadgets", InitGadgetSystem},
    {18, "arrays", InitArrays},
};

// End hooks in their fixed order.
constexpr std::initializer_list<RuntimeHook> kEndHooks = {
    {1, "screen", CloseScreen},
    {2, "sprites", EndScreenSystem},
    {3, "images", EndImageSystem},
};

// The process entry's last step, after the end hooks, which may still use temporary strings.
constexpr std::initializer_list<RuntimeHook> kExitSteps = {
    {4, "temporary strings", FreeTempStrings},
};

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
bool IsThreadSafeBuild() {
    return VORLUNE_THREAD_SAFE != 0;
}
void SetHookObserver(HookObserver observer) {
    hookObserver = observer;
}

}  // namespace vorlune
