#pragma once
// The application object, its delegate that turns quit requests into menu events, and the
// start of the application shell.

#include <cstdint>

#include "platform/application.h"
#include "platform/events.h"

namespace vorlune {

// The shared application: edit-action shortcuts, then menu key equivalents, then the toolkit.
class ZkApplication {
  public:
    void sendEvent(const PlatformEvent& event);
};

// Answers the platform: a quit request becomes the Quit menu event and is refused.
class ZkApplicationDelegate : public ApplicationDelegate {
  public:
    void applicationOpenFiles(const char* const* paths, int32_t count) override;
    TerminateReply applicationShouldTerminate() override;
    void theadedAction() {}  // the worker of thread-safe builds has nothing to do
};

using OpenFilesHook = void (*)(const char* tabSeparatedPaths);

// Start hooks ----------------------------------------------------------------------------------
void BringProcessToFront();
void StartApplication();  // the application, its menu bar and delegates, once

// The application ------------------------------------------------------------------------------
ZkApplication* SharedApplication();  // null before StartApplication
void SendEventToApplication(const PlatformEvent& event);
const char* ApplicationName();  // the last component of the executable's path
void SetOpenFilesHook(OpenFilesHook hook);
// 0 when the platform started; otherwise writes the reason to standard error and answers 1,
// for the process entry to exit with.
int32_t ReportApplicationFailure();

}  // namespace vorlune
