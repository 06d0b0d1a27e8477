#pragma once
// Windows, images and gadgets on the headless platform, cleared around every test.

#include <cstdint>
#include <vector>

#include "platform/headless/control.h"
#include "runtime/gadgets/gadgets.h"
#include "runtime/images/image.h"
#include "tests/events/events_fixture.h"

namespace vorlune {

class GadgetsTest : public EventsTest {
  protected:
    void SetUp() override {
        EventsTest::SetUp();
        InitImageSystem();
        InitGadgetSystem();
    }
    void TearDown() override {
        EventsTest::TearDown();
        FreeImage(AnyNumber);
    }

    // A borderless window at (100, 50) with its gadget list current; its events are dropped.
    static NativeWindow OpenWindow(int64_t number, uint32_t flags = kWindowBorderless) {
        CreateWindow(number, 100, 50, 640, 480, u"gadgets", flags);
        Drain();
        return WindowID(number);
    }

    // An image whose pixel (x, y) is (x, y, x + y, 255), low bytes.
    static NativeImage PatternImage(int64_t number, int32_t width, int32_t height) {
        CreateImage(number, width, height);
        const ImageRecord* image = FindImage(number);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* pixel = image->bitmap + (static_cast<int64_t>(y) * width + x) * 4;
                pixel[0] = static_cast<uint8_t>(x);
                pixel[1] = static_cast<uint8_t>(y);
                pixel[2] = static_cast<uint8_t>(x + y);
                pixel[3] = 255;
            }
        }
        return image->image;
    }

    // Hands every pending platform event to the runtime; the runtime events, oldest first.
    static std::vector<QueuedEvent> Pump() {
        std::vector<QueuedEvent> events;
        for (int64_t result; (result = PollWindowEvent()) != 0;) {
            if (result > 0) {
                events.push_back(
                    {static_cast<int32_t>(result), EventMenuID(), EventWindow(), EventSubtype()});
            }
        }
        return events;
    }
};

}  // namespace vorlune
