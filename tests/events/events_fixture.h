#pragma once
// A clean runtime event layer on the headless platform for every test.

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "platform/application.h"
#include "platform/headless/control.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/menus.h"
#include "runtime/events/windows.h"

namespace vorlune {

struct QueuedEvent {
    int32_t type;
    int64_t object, window, subtype;
    bool operator==(const QueuedEvent&) const = default;
};

inline void PrintTo(const QueuedEvent& event, std::ostream* out) {
    *out << "(" << event.type << ", " << event.object << ", " << event.window << ", "
         << event.subtype << ")";
}

class EventsTest : public testing::Test {
  protected:
    void SetUp() override {
        StartApplication();
        InitEventQueue();
        InitWindowSystem();
        InitMenuSystem();
        SetHeadlessDisplayAvailable(true);
        ASSERT_TRUE(StartPlatformApplication());
        Reset();
    }
    void TearDown() override { Reset(); }

    static void Reset() {
        CloseWindow(AnyNumber);
        FreeAllMenus();
        InstallMenuBar(DefaultMenuBar(), -1);
        RemoveEvents(-1, -1, -1, -1);
        FetchEvent();  // frees the current payload
        ResetHeadlessPlatform();
        SetKeyboardHook(nullptr);
        SetMouseHook(nullptr);
        SetKeyboardPolled(0);
    }

    // The types in the queue, oldest first, fetching them all.
    static std::vector<int32_t> DrainTypes() {
        std::vector<int32_t> types;
        while (int32_t type = FetchEvent())
            types.push_back(type);
        return types;
    }

    static std::vector<QueuedEvent> Drain() {
        std::vector<QueuedEvent> events;
        while (int32_t type = FetchEvent()) {
            events.push_back({type, EventMenuID(), EventWindow(), EventSubtype()});
        }
        return events;
    }
};

}  // namespace vorlune
