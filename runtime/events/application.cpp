#include "runtime/events/application.h"

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/core/startup.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/menus.h"

namespace vorlune {

namespace {

ZkApplication application;
ZkApplicationDelegate applicationDelegate;
ZkApplication* sharedApplication = nullptr;
OpenFilesHook openFilesHook = nullptr;

// The edit action a key press with exactly these modifiers asks for.
bool EditActionFor(const PlatformEvent& event, EditAction* action) {
    if (event.characterCount != 1) return false;
    const uint32_t flags = event.modifierFlags & kDeviceIndependentFlagsMask;
    const char16_t key = event.characters[0];
    if (flags == kAcceleratorKeyFlag) {
        switch (key) {
            case u'x':
                *action = EditAction::kCut;
                return true;
            case u'c':
                *action = EditAction::kCopy;
                return true;
            case u'v':
                *action = EditAction::kPaste;
                return true;
            case u'a':
                *action = EditAction::kSelectAll;
                return true;
            case u'z':
                *action = EditAction::kUndo;
                return true;
            default:
                return false;
        }
    }
    if (flags == (kAcceleratorKeyFlag | kShiftKeyFlag) && key == u'Z') {
        *action = EditAction::kRedo;
        return true;
    }
    return false;
}

#if VORLUNE_THREAD_SAFE
void* RunIdleWorker(void*) {
    applicationDelegate.theadedAction();
    return nullptr;
}

// Thread-safe builds keep one detached worker, which has nothing to do.
void StartIdleWorker() {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, RunIdleWorker, nullptr) == 0) {
        pthread_detach(thread);
    }
}
#endif

}  // namespace

void ZkApplication::sendEvent(const PlatformEvent& event) {
    EditAction action;
    if (event.type == kKeyDown && EditActionFor(event, &action)) {
        // Undo is passed on whether or not the focus took it.
        if (SendEditAction(action) && action != EditAction::kUndo) return;
    }
    if (event.type == kKeyDown && PerformKeyEquivalent(MainMenu(), event)) return;
    SendPlatformEvent(event);
}

void ZkApplicationDelegate::applicationOpenFiles(const char* const* paths, int32_t count) {
    std::string joined;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) joined += '\t';
        joined += paths[i] != nullptr ? paths[i] : "";
    }
    if (openFilesHook != nullptr) openFilesHook(joined.c_str());
}

TerminateReply ZkApplicationDelegate::applicationShouldTerminate() {
    PostEvent(kEventMenu, kMenuItemQuit, -1, 0);
    return TerminateReply::kTerminateCancel;
}

// Windows are presented when they are created; there is no process to bring forward.
void BringProcessToFront() {}

void StartApplication() {
    if (sharedApplication != nullptr) return;
    StartPlatformApplication();
    sharedApplication = &application;
    if (GetApplicationDelegate() == nullptr) {
        SetDefaultMenuBar(BuildMenuBar());
        InstallMenuBar(DefaultMenuBar(), -1);
        SetApplicationDelegate(&applicationDelegate);
    }
#if VORLUNE_THREAD_SAFE
    StartIdleWorker();
#endif
    FinishLaunchingApplication();
}

ZkApplication* SharedApplication() {
    return sharedApplication;
}

void SendEventToApplication(const PlatformEvent& event) {
    if (sharedApplication != nullptr) {
        sharedApplication->sendEvent(event);
    } else {
        SendPlatformEvent(event);
    }
}

const char* ApplicationName() {
    const char* path = ArgumentCount() > 0 && ArgumentVector() != nullptr ? ArgumentVector()[0]
                                                                          : program_invocation_name;
    if (path == nullptr) return "";
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void SetOpenFilesHook(OpenFilesHook hook) {
    openFilesHook = hook;
}

int32_t ReportApplicationFailure() {
    const char* reason = PlatformApplicationFailure();
    if (reason == nullptr) return 0;
    std::fprintf(stderr, "%s: %s\n", ApplicationName(), reason);
    return 1;
}

}  // namespace vorlune
