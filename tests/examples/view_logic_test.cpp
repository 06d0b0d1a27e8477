// vorlune-view's logic on the in-memory platform: drops, stepping, refused files, saving and
// quitting, each checked against the runtime's own reading and writing of the same files.
#include <gtest/gtest.h>
#include <vorlune/headless.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "examples/view/viewer.h"
#include "tests/examples/view_fixture.h"

namespace vorlune {
namespace {

// The logic on the in-memory platform ------------------------------------------------------------

class ViewLogicTest : public ViewTest {
  protected:
    void SetUp() override {
        ResetHeadlessPlatform();
        ResetHeadlessDialogs();
        RemoveEvents(-1, -1, -1, -1);
    }

    // Hands every pending event to the viewer; false once it asked to end.
    static bool Pump() {
        for (int64_t type; (type = WaitForEvent()) != 0;) {
            if (!viewer::HandleEvent(type)) return false;
        }
        return true;
    }

    static bool Run(viewer::Command command) {
        PostEvent(kEventMenu, command, viewer::kWindow, 0);
        return Pump();
    }

    // What the image gadget shows, as far as it shows anything.
    static Picture Shown() {
        const NativeView view = GadgetID(viewer::kGadget);
        Picture picture{0, 0, {}};
        uint8_t pixel[4];
        while (ReadImageViewPixel(view, picture.width, 0, pixel))
            ++picture.width;
        while (ReadImageViewPixel(view, 0, picture.height, pixel))
            ++picture.height;
        for (int32_t y = 0; y < picture.height; ++y) {
            for (int32_t x = 0; x < picture.width; ++x) {
                ReadImageViewPixel(view, x, y, pixel);
                picture.rgb.append(reinterpret_cast<const char*>(pixel), 3);
            }
        }
        return picture;
    }

    static std::u16string Title() {
        HeadlessWindowInfo info{};
        InspectHeadlessWindow(WindowID(viewer::kWindow), &info);
        return info.title != nullptr ? info.title : u"";
    }

    static std::string Reason() {
        const ShownMessageBox* box = LastMessageBox();
        if (box == nullptr) return {};
        return std::string(box->text.begin(), box->text.end());  // ASCII in these tests
    }
};

TEST_F(ViewLogicTest, DroppedFilesOpenAndThePageKeysStepThroughThem) {
    struct Case {
        const char* name;
        bool zoomOutFirst;  // leaves some of the window's background free to drop on
        double x, y;
    };
    const Case cases[] = {{"on the image gadget", false, 60, 30},
                          {"on the window's background", true, 120, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(viewer::StartViewer({kColourful}));
        ASSERT_EQ(Shown(), Expected(kColourful));
        if (c.zoomOutFirst) {
            ASSERT_TRUE(Run(viewer::kZoomOut));
            ASSERT_EQ(Shown(), Expected(kColourful, 1 / viewer::kZoomStep));
        }
        const std::u16string first(kTwoColours.begin(), kTwoColours.end());
        const std::u16string second(kColourful.begin(), kColourful.end());
        const char16_t* names[] = {first.c_str(), second.c_str()};
        DragInfo drop{};
        drop.sourceOperationMask = kDragOperationCopy;
        drop.x = c.x;
        drop.y = c.y;
        drop.kinds = kDragFileNames;
        drop.fileNames = names;
        drop.fileNameCount = 2;
        ASSERT_TRUE(InjectDrop(WindowID(viewer::kWindow), drop));
        ASSERT_TRUE(Pump());
        EXPECT_EQ(Shown(), Expected(kTwoColours));
        EXPECT_EQ(Title(), u"pal1bg.bmp (127 x 64, 100%) - vorlune-view");
        InjectKeyEvent(WindowID(viewer::kWindow), kKeyDown, u"\uF72D", 0);  // Page Down
        ASSERT_TRUE(Pump());
        EXPECT_EQ(Shown(), Expected(kColourful));
        InjectKeyEvent(WindowID(viewer::kWindow), kKeyDown, u"\uF72C", 0);  // Page Up
        ASSERT_TRUE(Pump());
        EXPECT_EQ(Shown(), Expected(kTwoColours));
    }
}

TEST_F(ViewLogicTest, AFileThatCannotBeReadGetsAMessageAndTheImageStays) {
    struct Case {
        const char* name;
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {"damaged pixels", kDamaged, "Its image data is damaged"},
        {"no image", kNoImage, "No image format the viewer reads accepts it"},
        {"missing", folder_ + "/missing.bmp", std::strerror(ENOENT)},
        {"a folder", folder_, "It is a folder or another file that is not a regular one."},
    };
    ASSERT_TRUE(viewer::StartViewer({kColourful}));
    const std::u16string title = Title();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string path(c.path.begin(), c.path.end());
        TypeInInputPanel(path.c_str());
        ASSERT_TRUE(Run(viewer::kOpen));
        ASSERT_NE(LastMessageBox(), nullptr);
        EXPECT_EQ(LastMessageBox()->headline, u"Cannot open the image");
        EXPECT_EQ(Reason().rfind(c.path + "\n\n" + c.reason, 0), 0u) << Reason();
        EXPECT_EQ(Shown(), Expected(kColourful));
        EXPECT_EQ(Title(), title);
        ResetHeadlessDialogs();
    }
}

TEST_F(ViewLogicTest, SaveAsWritesTheFormatAndDepthThePathNames) {
    struct Case {
        const char* answer;
        const char* file;
        int32_t depth;  // 0: refused with the reason
        std::string reason;
    };
    const Case cases[] = {
        {"plain.bmp", "plain.bmp", 24, ""},
        {"one.BMP:1", "one.BMP", 1, ""},
        {"four.bmp:4", "four.bmp", 4, ""},
        {"eight.bmp:8", "eight.bmp", 8, ""},
        {"all.bmp:32", "all.bmp", 32, ""},
        {"odd.bmp:16", "odd.bmp", 0, "The format does not write images of 16 bits."},
        {"plain", "plain", 0, "The name has no extension to say the format."},
        {"picture.xyz", "picture.xyz", 0, "No image format the viewer writes has the extension"},
        {"missing/a.bmp", "missing/a.bmp", 0, std::strerror(ENOENT)},
        {"folder.bmp", "folder.bmp", 0, std::strerror(EISDIR)},
    };
    ASSERT_TRUE(viewer::StartViewer({kColourful}));
    ASSERT_NE(LoadImage(kDecoded, kColourful.c_str()), 0);
    std::filesystem::create_directory(folder_ + "/folder.bmp");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        const std::string answer = folder_ + "/" + c.answer;
        const std::string file = folder_ + "/" + c.file;
        const std::u16string typed(answer.begin(), answer.end());
        TypeInInputPanel(typed.c_str());
        ASSERT_TRUE(Run(viewer::kSaveAs));
        if (c.depth == 0) {
            ASSERT_NE(LastMessageBox(), nullptr);
            EXPECT_EQ(LastMessageBox()->headline, u"Cannot save the image");
            EXPECT_NE(Reason().find(c.reason), std::string::npos) << Reason();
            EXPECT_FALSE(std::filesystem::is_regular_file(file));
            ResetHeadlessDialogs();
            continue;
        }
        EXPECT_EQ(MessageBoxesShown(), 0);
        const std::string expected = folder_ + "/expected.bmp";
        const int32_t options = c.depth == 4 || c.depth == 8 ? kPaletteDither : 0;
        ASSERT_NE(SaveImage(kDecoded, expected.c_str(), kBmpTag, c.depth, options), 0);
        EXPECT_EQ(ReadFile(file), ReadFile(expected));
    }
}

TEST_F(ViewLogicTest, TheQuitItemAndItsShortcutEndTheViewer) {
    ASSERT_TRUE(viewer::StartViewer({kColourful}));
    ASSERT_TRUE(Pump());  // the wait hands the menu bar to the platform
    ASSERT_TRUE(ChooseHeadlessMenuItem(WindowID(viewer::kWindow), {u"File", u"Quit"}));
    EXPECT_FALSE(Pump());

    ASSERT_TRUE(viewer::StartViewer({kColourful}));
    InjectKeyEvent(WindowID(viewer::kWindow), kKeyDown, u"q", kControlKeyFlag);
    EXPECT_FALSE(Pump());
}

}  // namespace
}  // namespace vorlune
