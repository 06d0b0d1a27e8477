#pragma once
// The application and its process: start of the toolkit, the delegate that answers quit
// requests, actions sent to the first responder.

#include <cstdint>

namespace vorlune {

enum class TerminateReply : int32_t { kTerminateCancel = 0, kTerminateNow = 1 };

// What the toolkit asks of the application; the runtime supplies the behaviour.
class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    // Files the user asked the application to open, as UTF-8 paths.
    virtual void applicationOpenFiles(const char* const* paths, int32_t count) = 0;
    // The platform's quit request (SIGTERM, SIGINT and SIGHUP on Linux).
    virtual TerminateReply applicationShouldTerminate() = 0;
};

enum class EditAction : int32_t { kCut, kCopy, kPaste, kSelectAll, kUndo, kRedo };

// Start-up ---------------------------------------------------------------------------------------
bool StartPlatformApplication();           // false when the toolkit cannot start (no display)
const char* PlatformApplicationFailure();  // why it could not start; null when it did
void FinishLaunchingApplication();         // quit requests are delivered from now on
bool IsPlatformApplicationRunning();

// Delegate -------------------------------------------------------------------------------------
void SetApplicationDelegate(ApplicationDelegate* delegate);  // not owned; null removes it
ApplicationDelegate* GetApplicationDelegate();

// Actions of the application ----------------------------------------------------------------
bool SendEditAction(EditAction action);  // true when the key window's focus handled it
void HideApplication();                  // every window out of the way (minimised)

}  // namespace vorlune
