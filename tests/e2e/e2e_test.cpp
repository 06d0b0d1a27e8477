// The Vorlune program as a user meets it, under a real X server with a window manager: xdotool
// presses the keys, ImageMagick takes screenshots, and vorlune-render draws what the window must
// show for the parameters those keys must have produced.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// After gtest: Xlib defines None, which gtest uses as a name.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace vorlune {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kSide = 512;
constexpr float kStartP = 1.094001f;
constexpr float kStartK = 0.29371017f;
constexpr float kStepP = 0.00023f;

std::string Shell(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

void Keys(const std::string& arguments) {
    Shell("xdotool " + arguments);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    for (const auto deadline = Clock::now() + timeout;; std::this_thread::sleep_for(50ms)) {
        if (condition()) return true;
        if (Clock::now() > deadline) return false;
    }
}

std::string Artefact(const std::string& name) {
    mkdir(VORLUNE_ARTEFACTS, 0755);
    return std::string(VORLUNE_ARTEFACTS) + "/" + name;
}

// P and K step with the sum formed in extended precision and rounded once to float.
float Next(float value, float change, float step) {
    return static_cast<float>(static_cast<long double>(value) +
                              static_cast<long double>(change) * step);
}

struct Picture {
    float p = kStartP;
    float k = kStartK;
    bool corner = false;
    bool bw = false;
};

// What vorlune-render writes for the parameters, as 8-bit RGB, rows top to bottom.
std::string Rendered(const Picture& picture) {
    char arguments[128];
    std::snprintf(arguments, sizeof arguments, " --p %.9g --k %.9g%s%s", picture.p, picture.k,
                  picture.corner ? " --corner" : "", picture.bw ? " --bw" : "");
    const std::string file = Artefact("expected.bmp");
    if (std::system((VORLUNE_RENDER + std::string(arguments) + " -o " + file).c_str()) != 0)
        return {};
    return Shell("convert " + file + " -depth 8 rgb:-");
}

int64_t Mismatches(const std::string& shot, const std::string& expected) {
    if (shot.size() != expected.size() || shot.empty()) return -1;
    int64_t mismatches = 0;
    for (size_t i = 0; i < shot.size(); i += 3)
        mismatches += shot.compare(i, 3, expected, i, 3) != 0 ? 1 : 0;
    return mismatches;
}

// The text of an X selection (PRIMARY holds what a text field has selected); empty without one.
std::string ReadSelection(const char* name) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return {};
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = XInternAtom(display, "VORLUNE_E2E", False);
    XConvertSelection(display, XInternAtom(display, name, False),
                      XInternAtom(display, "UTF8_STRING", False), property, window, CurrentTime);
    XFlush(display);
    std::string text;
    WaitUntil(
        [&] {
            XEvent event;
            if (!XCheckTypedWindowEvent(display, window, SelectionNotify, &event)) return false;
            if (event.xselection.property == None) return true;
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, window, property, 0, 4096, False, AnyPropertyType,
                                   &type, &format, &count, &after, &data) == Success &&
                data != nullptr) {
                text.assign(reinterpret_cast<char*>(data), count);
                XFree(data);
            }
            return true;
        },
        3s);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return text;
}

// The program as a child process, with its main window found by title.
class Program {
  public:
    explicit Program(const char* environment = nullptr) {
        pid_ = fork();
        if (pid_ == 0) {
            // A crashed test must not leave the program running with ctest's output pipe.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (environment != nullptr) putenv(const_cast<char*>(environment));
            execl(VORLUNE_PROGRAM, VORLUNE_PROGRAM, static_cast<char*>(nullptr));
            _exit(127);
        }
        WaitUntil([this] {
            const std::vector<std::string> found =
                Words(Shell("xdotool search --onlyvisible --pid " + std::to_string(pid_) +
                            " --name '^Vorlune$'"));
            if (!found.empty()) window_ = found.front();
            return !window_.empty();
        });
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    const std::string& window() const { return window_; }
    pid_t pid() const { return pid_; }

    // The program's other visible windows, its dialogs; -1 when the search missed the main
    // window (xdotool gives up when a window goes away under it).
    int32_t DialogCount() const {
        const std::vector<std::string> found =
            Words(Shell("xdotool search --onlyvisible --pid " + std::to_string(pid_) + " 2>&1"));
        int32_t dialogs = -1;
        for (const std::string& each : found) {
            if (each == window_) dialogs += 1;
        }
        if (dialogs < 0) return -1;
        for (const std::string& each : found)
            dialogs += each != window_ && each.find_first_not_of("0123456789") == std::string::npos;
        return dialogs;
    }
    std::vector<std::string> Dialogs() const {
        std::vector<std::string> dialogs;
        for (const std::string& each :
             Words(Shell("xdotool search --onlyvisible --pid " + std::to_string(pid_)))) {
            if (each != window_) dialogs.push_back(each);
        }
        return dialogs;
    }
    bool WaitForDialogs(size_t count) const {
        return WaitUntil([&] { return DialogCount() == static_cast<int32_t>(count); });
    }
    // Return closes the help box that greets the user.
    void CloseHelp() const {
        ASSERT_TRUE(WaitForDialogs(1)) << "no help box at start";
        Keys("key Return");
        ASSERT_TRUE(WaitForDialogs(0)) << "Return did not close the help box";
    }

    // The exit status; -1 when the program did not end in time.
    int WaitForExit(std::chrono::milliseconds timeout = 5s) {
        int status = -1;
        const bool ended =
            WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!ended) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string Shot() const { return Shell("import -window " + window_ + " -depth 8 rgb:-"); }
    // The screen over the window, dialogs included.
    void SaveScreen(const std::string& name) const {
        const std::vector<std::string> geometry =
            Words(Shell("xdotool getwindowgeometry --shell " + window_));
        std::string x = "0", y = "0";
        for (const std::string& line : geometry) {
            if (line.rfind("X=", 0) == 0) x = line.substr(2);
            if (line.rfind("Y=", 0) == 0) y = line.substr(2);
        }
        Shell("import -window root -crop 512x512+" + x + "+" + y + " +repage " + Artefact(name));
    }

    // Waits until the window shows what vorlune-render draws for the picture.
    testing::AssertionResult Shows(const Picture& picture, const std::string& name) const {
        const std::string expected = Rendered(picture);
        if (expected.size() != static_cast<size_t>(kSide) * kSide * 3)
            return testing::AssertionFailure() << "vorlune-render failed";
        int64_t mismatches = -1;
        WaitUntil([&] { return (mismatches = Mismatches(Shot(), expected)) == 0; }, 15s);
        Shell("import -window " + window_ + " " + Artefact(name + ".png"));
        if (mismatches == 0) return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << mismatches << " pixels differ from the picture for P " << picture.p << " K "
               << picture.k << (picture.corner ? " corner" : "") << (picture.bw ? " bw" : "")
               << "; see " << name << ".png";
    }

    // User and system time in clock ticks.
    int64_t CpuTicks() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::vector<std::string> fields = Words(stat.substr(stat.rfind(')') + 1));
        return fields.size() > 12 ? std::stoll(fields[11]) + std::stoll(fields[12]) : -1;
    }

  private:
    pid_t pid_ = -1;
    std::string window_;
};

std::string Property(const std::string& window, const std::string& name) {
    return Shell("xprop -id " + window + " " + name);
}

TEST(EndToEndTest, TheWindowIsBorderlessCentredFixedAndGreetsWithTheHelpBox) {
    Program program;
    ASSERT_FALSE(program.window().empty());
    const std::string geometry = Shell("xwininfo -id " + program.window());
    EXPECT_NE(geometry.find("Absolute upper-left X:  384\n"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Absolute upper-left Y:  256\n"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Width: 512\n"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Height: 512\n"), std::string::npos) << geometry;
    EXPECT_NE(Property(program.window(), "_NET_FRAME_EXTENTS").find("= 0, 0, 0, 0"),
              std::string::npos)
        << "the window manager drew a frame";
    const std::string hints = Property(program.window(), "WM_NORMAL_HINTS");
    EXPECT_NE(hints.find("minimum size: 512 by 512"), std::string::npos) << hints;
    EXPECT_NE(hints.find("maximum size: 512 by 512"), std::string::npos) << hints;

    ASSERT_TRUE(program.WaitForDialogs(1)) << "no help box at start";
    const std::string help = program.Dialogs().front();
    EXPECT_NE(Property(help, "_NET_WM_WINDOW_TYPE").find("_NET_WM_WINDOW_TYPE_DIALOG"),
              std::string::npos);
    EXPECT_NE(Property(help, "WM_TRANSIENT_FOR").find("window id #"), std::string::npos);
    std::this_thread::sleep_for(300ms);  // drawn
    program.SaveScreen("help.png");
    program.CloseHelp();
    EXPECT_TRUE(program.Shows({}, "picture"));

    // Idle: no key held, so no pass and no painting (once the exposures of the closed box
    // have been drawn, which takes a while on a loaded machine).
    std::this_thread::sleep_for(1s);
    const int64_t before = program.CpuTicks();
    std::this_thread::sleep_for(2s);
    const int64_t idle = program.CpuTicks() - before;
    EXPECT_LE(idle, 1) << "clock ticks used in 2 s of idling";
    RecordProperty("idle_ticks_in_2s", static_cast<int>(idle));

    // Return opens the help box again; Escape closes it and the keyboard is the window's again.
    Keys("key Return");
    ASSERT_TRUE(program.WaitForDialogs(1));
    Keys("key Escape");
    ASSERT_TRUE(program.WaitForDialogs(0));
    Keys("key c");
    EXPECT_TRUE(program.Shows({.bw = true}, "picture-bw"));
    Keys("key Escape");
    EXPECT_EQ(program.WaitForExit(), 0);
}

TEST(EndToEndTest, TheKeysChangeThePictureAsSpecified) {
    Program program;
    ASSERT_FALSE(program.window().empty());
    program.CloseHelp();
    Picture picture;

    constexpr int kPresses = 3;
    Keys("keydown shift");
    for (int i = 0; i < kPresses; ++i) {
        Keys("key Left");
        picture.p = Next(picture.p, kStepP, 5);
    }
    // Shift stays down until every press was handled: the step reads the modifiers live.
    EXPECT_TRUE(program.Shows(picture, "shift-left"));
    Keys("keyup shift");

    Keys("key c");
    picture.bw = true;
    EXPECT_TRUE(program.Shows(picture, "c"));
    Keys("key o");
    picture.corner = true;
    EXPECT_TRUE(program.Shows(picture, "o"));
    Keys("key r");
    EXPECT_TRUE(program.Shows({}, "r"));

    // Z: the values box tells the new P and K; 10 decimals pin a float down from 0.01 on.
    Picture randomised;
    for (int attempt = 0; attempt < 12; ++attempt) {
        Keys("key z");
        Keys("key i");
        ASSERT_TRUE(program.WaitForDialogs(1));
        const std::string values = ReadSelection("PRIMARY");
        Keys("key Escape");
        ASSERT_TRUE(program.WaitForDialogs(0));
        ASSERT_EQ(std::sscanf(values.c_str(), "el = %f   df = %f", &randomised.p, &randomised.k), 2)
            << values;
        EXPECT_GE(randomised.p, 1.0f / 999999);
        EXPECT_LE(randomised.p, 5.5f);
        EXPECT_GE(randomised.k, 1.0f / 999999);
        EXPECT_LE(randomised.k, 3.5f);
        if (randomised.p >= 0.01f && randomised.k >= 0.01f) break;
    }
    // Colour pictures have no black pixel; black and white ones have hardly any other.
    const std::string shot = program.Shot();
    for (size_t i = 0; i + 3 <= shot.size() && !randomised.bw; i += 3)
        randomised.bw = shot.compare(i, 3, std::string(3, '\0')) == 0;
    EXPECT_TRUE(program.Shows(randomised, "z"));
    Keys("key q");
    EXPECT_EQ(program.WaitForExit(), 0);
}

TEST(EndToEndTest, TheValuesBoxShowsPAndKAndGivesTheKeyboardBack) {
    Program program;
    ASSERT_FALSE(program.window().empty());
    program.CloseHelp();
    Keys("key i");
    ASSERT_TRUE(program.WaitForDialogs(1));
    EXPECT_EQ(ReadSelection("PRIMARY"), "el = 1.0940010548   df = 0.2937101722");
    program.SaveScreen("values.png");
    Keys("key Return");
    ASSERT_TRUE(program.WaitForDialogs(0)) << "Return did not close the values box";
    Keys("key Left");
    EXPECT_TRUE(program.Shows({.p = Next(kStartP, kStepP, 1)}, "after-values"));
    Keys("key Escape");
    EXPECT_EQ(program.WaitForExit(), 0);
}

TEST(EndToEndTest, EveryWayOutEndsTheProgramWithStatusZero) {
    struct Exit {
        const char* name;
        std::function<void(const Program&)> act;
    };
    const Exit exits[] = {
        {"Q", [](const Program&) { Keys("key q"); }},
        {"Control+Q", [](const Program&) { Keys("key ctrl+q"); }},
        {"close request", [](const Program& p) { Shell("wmctrl -i -c " + p.window()); }},
        {"SIGTERM", [](const Program& p) { kill(p.pid(), SIGTERM); }},
    };
    for (const Exit& exit : exits) {
        SCOPED_TRACE(exit.name);
        Program program;
        ASSERT_FALSE(program.window().empty());
        program.CloseHelp();
        exit.act(program);
        EXPECT_EQ(program.WaitForExit(), 0);
    }
}

// Key presses of the window and the windows inside it (GDK takes the focus on a child of its
// own), as XInput 2 events: the server hands a key event to a window's XInput 2 listeners, the
// program among them, and then to no core listener.
bool SelectKeyPresses(Display* display, Window window) {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_KeyPress);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    if (XISelectEvents(display, window, &mask, 1) != Success) return false;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return false;
    bool selected = true;
    for (unsigned int i = 0; i < count; ++i)
        selected = SelectKeyPresses(display, children[i]) && selected;
    if (children != nullptr) XFree(children);
    return selected;
}

bool ListenToKeyPresses(Display* display, Window window) {
    int opcode = 0, event = 0, error = 0, major = 2, minor = 0;
    return XQueryExtension(display, "XInputExtension", &opcode, &event, &error) &&
           XIQueryVersion(display, &major, &minor) == Success && SelectKeyPresses(display, window);
}

int CountKeyPresses(Display* display, KeySym key) {
    const KeyCode code = XKeysymToKeycode(display, key);
    int presses = 0;
    for (XEvent event; XPending(display) > 0;) {
        XNextEvent(display, &event);
        if (!XGetEventData(display, &event.xcookie)) continue;
        const auto* device = static_cast<const XIDeviceEvent*>(event.xcookie.data);
        presses += event.xcookie.evtype == XI_KeyPress && device->detail == code;
        XFreeEventData(display, &event.xcookie);
    }
    return presses;
}

// Key repeat at 60 a second (as "xset r rate 250 60" sets it) while Left is held for 5 s: a
// second client counts the key presses the server delivers to the window, and the values box
// tells how many steps P moved. Every press must step P, and the picture must keep up: a
// program slower than key repeat would still be painting seconds after the release.
TEST(EndToEndTest, HoldingLeftStepsPOnEveryKeyRepeat) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a sanitized program is too slow to keep up with key repeat";
#endif
    Program program;
    ASSERT_FALSE(program.window().empty());
    program.CloseHelp();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    ASSERT_TRUE(ListenToKeyPresses(display, static_cast<Window>(std::stoul(program.window()))));
    unsigned int delay = 0, interval = 0;
    XkbGetAutoRepeatRate(display, XkbUseCoreKbd, &delay, &interval);
    XkbSetAutoRepeatRate(display, XkbUseCoreKbd, 250, 1000 / 60);
    XSync(display, False);

    const auto pressed = Clock::now();
    Keys("keydown Left");
    std::this_thread::sleep_for(5s);
    Keys("keyup Left");
    const auto released = Clock::now();
    XSync(display, False);
    const int presses = CountKeyPresses(display, XK_Left);
    XkbSetAutoRepeatRate(display, XkbUseCoreKbd, delay, interval);
    XCloseDisplay(display);
    const auto ms = [](auto duration) {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
    };
    // Caught up from the start of the first 100 ms in which the program used no CPU.
    auto quietFrom = Clock::now();
    int64_t ticks = program.CpuTicks();
    const bool caughtUp = WaitUntil(
        [&] {
            std::this_thread::sleep_for(100ms);
            const int64_t now = program.CpuTicks();
            if (now == ticks) return true;
            ticks = now;
            quietFrom = Clock::now();
            return false;
        },
        2s);
    const int lag = ms(quietFrom - released);
    std::printf(
        "held Left %d ms at 60 repeats/s: %d key presses delivered; the program was idle "
        "%d ms after the release\n",
        ms(released - pressed), presses, lag);
    EXPECT_GE(presses, 100) << "the server hardly repeated the key";
    ASSERT_TRUE(caughtUp) << "the picture lagged behind the keyboard: still painting 2 s later";

    Keys("key i");
    ASSERT_TRUE(program.WaitForDialogs(1));
    float p = 0, k = 0;
    const std::string values = ReadSelection("PRIMARY");
    ASSERT_EQ(std::sscanf(values.c_str(), "el = %f   df = %f", &p, &k), 2) << values;
    Keys("key Escape");
    int steps = 0;
    float stepped = kStartP;
    for (; stepped < p && steps <= presses; ++steps)
        stepped = Next(stepped, kStepP, 1);
    std::printf("P moved %d steps for %d key presses (%.1f%%)\n", steps, presses,
                presses > 0 ? 100.0 * steps / presses : 0.0);
    RecordProperty("presses", presses);
    RecordProperty("steps", steps);
    RecordProperty("lag_ms", lag);
    EXPECT_EQ(stepped, p) << "P is not a number of steps of dP from the start";
    EXPECT_GE(steps, presses * 95 / 100);
    EXPECT_LE(steps, presses);
    Keys("key Escape");
    EXPECT_EQ(program.WaitForExit(), 0);
}

// A quit or a close that arrives while a dialog is up ends the dialog, and the program acts on
// it.
TEST(EndToEndTest, AQuitOrCloseWhileADialogIsUpEndsTheProgram) {
    struct Case {
        const char* name;
        bool valuesBox;  // otherwise the help box that greets the user
        std::function<void(const Program&)> act;
    };
    const auto term = [](const Program& p) { kill(p.pid(), SIGTERM); };
    const Case cases[] = {
        {"SIGTERM, help box", false, term},
        {"close request, help box", false,
         [](const Program& p) { Shell("wmctrl -i -c " + p.window()); }},
        {"SIGTERM, values box", true, term},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        Program program;
        ASSERT_FALSE(program.window().empty());
        if (each.valuesBox) {
            program.CloseHelp();
            Keys("key i");
        }
        ASSERT_TRUE(program.WaitForDialogs(1));
        std::this_thread::sleep_for(200ms);  // the box runs its modal loop
        each.act(program);
        EXPECT_EQ(program.WaitForExit(3s), 0);
    }
}

// Under GDK_SCALE=2 each image pixel covers 2 x 2 device pixels of its exact colour.
TEST(EndToEndTest, ThePictureStaysCrispOnADisplayScaledByTwo) {
    Program program("GDK_SCALE=2");
    ASSERT_FALSE(program.window().empty());
    program.CloseHelp();
    const std::string picture = Rendered({});
    ASSERT_EQ(picture.size(), static_cast<size_t>(kSide) * kSide * 3);
    std::string doubled(picture.size() * 4, '\0');
    for (int y = 0; y < 2 * kSide; ++y) {
        for (int x = 0; x < 2 * kSide; ++x) {
            doubled.replace((static_cast<size_t>(y) * 2 * kSide + x) * 3, 3, picture,
                            (static_cast<size_t>(y / 2) * kSide + x / 2) * 3, 3);
        }
    }
    int64_t mismatches = -1;
    WaitUntil([&] { return (mismatches = Mismatches(program.Shot(), doubled)) == 0; });
    EXPECT_EQ(mismatches, 0);
    Shell("import -window " + program.window() + " " + Artefact("scaled.png"));
}

TEST(EndToEndTest, WithoutADisplayTheProgramSaysWhyInOneLine) {
    const std::string output = Shell("env -u DISPLAY -u WAYLAND_DISPLAY " VORLUNE_RUN_PROGRAM
                                     " " VORLUNE_PROGRAM " 2>&1 >/dev/null; echo \"status $?\"");
    const size_t end = output.find('\n');
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(output.substr(0, end), "vorlune: cannot open display");
    EXPECT_EQ(output.substr(end + 1), "status 1\n");
}

}  // namespace
}  // namespace vorlune
