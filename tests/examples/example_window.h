#pragma once
// What the example tests share: an example program run as a child process and its windows found
// among the X server's, screenshots of them, and the runtime's own images to compare them with.

#include <sys/types.h>

#include <vorlune/vorlune.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/x_tools.h"

namespace vorlune::test {

inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

inline std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// Windows of a process --------------------------------------------------------------------------
// The visible ones whose name matches the regular expression (all for an empty one). Each name
// is read again: xdotool's own search by name also takes some helper windows of GTK.
inline std::vector<std::string> WindowsOf(pid_t pid, const std::string& name = "") {
    std::vector<std::string> windows;
    for (const std::string& window : Words(
             Shell("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null"))) {
        if (name.empty() ||
            std::regex_search(ShellLine("xdotool getwindowname " + window + " 2>/dev/null"),
                              std::regex(name))) {
            windows.push_back(window);
        }
    }
    return windows;
}

inline std::string WaitForWindow(pid_t pid, const std::string& name) {
    std::string window;
    WaitUntil([&] {
        const std::vector<std::string> found = WindowsOf(pid, name);
        if (!found.empty()) window = found.front();
        return !window.empty();
    });
    return window;
}

inline bool WaitForWindowCount(pid_t pid, size_t count) {
    return WaitUntil([&] { return WindowsOf(pid).size() == count; });
}

// Pictures: 8-bit RGB, rows top down -------------------------------------------------------------
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::string rgb;

    bool operator==(const Picture&) const = default;
    Picture Below(int32_t rows) const {  // without the top rows; empty when there are fewer
        if (rows < 0 || rows > height) return {};
        return {width, height - rows, rgb.substr(static_cast<size_t>(rows) * width * 3)};
    }
    Picture TopLeft(int32_t w, int32_t h) const {  // empty when the picture is smaller
        Picture part{w, h, {}};
        if (w > width || h > height) return {};
        for (int32_t y = 0; y < h; ++y)
            part.rgb.append(rgb, static_cast<size_t>(y) * width * 3, static_cast<size_t>(w) * 3);
        return part;
    }
};

// The window's content as the X server shows it; empty when it cannot be taken.
inline Picture GrabWindow(const std::string& window) {
    const std::string ppm = Shell("import -window " + window + " -depth 8 ppm:- 2>/dev/null");
    std::istringstream in(ppm);
    std::string magic;
    int32_t width = 0, height = 0, maximum = 0;
    if (!(in >> magic >> width >> height >> maximum) || magic != "P6" || maximum != 255) return {};
    const auto start = static_cast<size_t>(in.tellg()) + 1;  // one white space ends the header
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    if (ppm.size() < start + bytes) return {};
    return {width, height, ppm.substr(start, bytes)};
}

inline Picture PictureOfImage(int64_t number) {
    Picture picture{ImageWidth(number), ImageHeight(number), {}};
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) {
            const ColourValue pixel = ImagePixel(number, x, y);
            for (int shift = 0; shift < 24; shift += 8)
                picture.rgb += static_cast<char>((pixel >> shift) & 0xFF);
        }
    }
    return picture;
}

// The window shows the picture at the left edge, `top` rows down (below its menu bar), within the
// time a loaded machine needs.
inline bool WindowShows(const std::string& window, const Picture& expected, int32_t top = 0) {
    return !expected.rgb.empty() && WaitUntil([&] {
        return GrabWindow(window).Below(top).TopLeft(expected.width, expected.height) == expected;
    });
}

}  // namespace vorlune::test
