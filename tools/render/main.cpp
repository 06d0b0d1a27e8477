// vorlune-render: draws the visualizer's picture into an image the way the program paints it,
// and saves the image as a BMP or PNG file, as the file's name ends. The picture's rows are
// computed on every core and written into the image with PlotPixel's store, as the program
// paints them.
#include <sched.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app/picture.h"
#include "app/picture_fast.h"
#include "app/picture_rows.h"
#include "runtime/core/startup.h"
#include "runtime/core/strings.h"
#include "runtime/core/version.h"
#include "runtime/drawing/context.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "tools/render/parallel_rows.h"

namespace {

using vorlune::PictureSettings;

constexpr char kProgram[] = "vorlune-render";
constexpr int kExitWritten = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int64_t kImageNumber = 0;
constexpr long kMostThreads = 256;

constexpr char kUsage[] =
    "Usage: vorlune-render [options] -o FILE\n"
    "Draws the picture sin((distance / K)^P) and saves it as a BMP or PNG file.\n"
    "\n"
    "  --p P       exponent (default 1.094001)\n"
    "  --k K       divisor of the pixel coordinates, not 0 (default 0.29371017)\n"
    "  --corner    origin at the top-left pixel instead of the centre\n"
    "  --bw        black and white instead of colours\n"
    "  --size N    side of the picture in pixels, 1 to 32767 (default 512)\n"
    "  --depth D   bits per pixel of the file: 1, 4, 8, 24 or 32 (default 24)\n"
    "  --threads N threads that compute the picture, 1 to 256 (default: one per core);\n"
    "              the file is the same for any number\n"
    "  -o FILE     the file to write: its name ends in .bmp or .png\n"
    "  --help      this text\n"
    "  --version   the version of the program and its runtime\n"
    "\n"
    "The exit status is 0 only when the file was written.\n";

struct Options {
    PictureSettings settings = vorlune::kStartSettings;
    int32_t depth = 24;
    int threads = 0;  // one per core
    const char* output = nullptr;
    uint32_t format = 0;  // the codec's tag
    bool help = false;
    bool version = false;
};

bool ParseFloat(const char* text, float* value) {
    char* end = nullptr;
    errno = 0;
    const float parsed = std::strtof(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

bool ParseInteger(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

// The format a file name asks for by its extension, in either case; 0 for any other.
uint32_t FormatOf(const std::string& name) {
    std::string extension = name.size() >= 4 ? name.substr(name.size() - 4) : "";
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".bmp") return vorlune::kBmpTag;
    if (extension == ".png") return vorlune::kPngTag;
    return 0;
}

// One option's value: after '=' in the same argument, or the next argument.
const char* OptionValue(const std::string& argument, int argc, char** argv, int* i) {
    const size_t equals = argument.find('=');
    if (equals != std::string::npos) return argv[*i] + equals + 1;
    if (*i + 1 >= argc) return nullptr;
    return argv[++*i];
}

// Answers an error message, or an empty one when the arguments are sound.
std::string ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::string name = argument.substr(0, argument.find('='));
        const bool takesValue = name == "--p" || name == "--k" || name == "--size" ||
                                name == "--depth" || name == "--threads" || name == "-o";
        if (!takesValue && name != argument) return "option " + name + " takes no value";
        if (name == "--help" || name == "-h") {
            options->help = true;
        } else if (name == "--version") {
            options->version = true;
        } else if (name == "--corner") {
            options->settings.origin = 0;
        } else if (name == "--bw") {
            options->settings.colour = 0;
        } else if (takesValue) {
            const char* value = OptionValue(argument, argc, argv, &i);
            if (value == nullptr) return "option " + name + " needs a value";
            long number = 0;
            if (name == "--p") {
                if (!ParseFloat(value, &options->settings.p))
                    return "--p needs a finite number, not '" + std::string(value) + "'";
            } else if (name == "--k") {
                if (!ParseFloat(value, &options->settings.k) || options->settings.k == 0.0f)
                    return "--k needs a finite number other than 0, not '" + std::string(value) +
                           "'";
            } else if (name == "--size") {
                if (!ParseInteger(value, 1, vorlune::kMaxImageSide, &number))
                    return "--size needs a whole number from 1 to 32767, not '" +
                           std::string(value) + "'";
                options->settings.size = static_cast<uint16_t>(number);
            } else if (name == "--depth") {
                if (!ParseInteger(value, 1, 32, &number) ||
                    (number != 1 && number != 4 && number != 8 && number != 24 && number != 32))
                    return "--depth needs 1, 4, 8, 24 or 32, not '" + std::string(value) + "'";
                options->depth = static_cast<int32_t>(number);
            } else if (name == "--threads") {
                if (!ParseInteger(value, 1, kMostThreads, &number))
                    return "--threads needs a whole number from 1 to 256, not '" +
                           std::string(value) + "'";
                options->threads = static_cast<int>(number);
            } else {
                if (*value == '\0') return "-o needs a file name";
                options->format = FormatOf(value);
                if (options->format == 0)
                    return "-o needs a file name ending in .bmp or .png, not '" +
                           std::string(value) + "'";
                options->output = value;
            }
        } else {
            return "unknown argument '" + argument + "'";
        }
    }
    if (!options->help && !options->version && options->output == nullptr)
        return "no output file given (-o FILE)";
    return "";
}

// The cores this process may run on.
int AvailableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// The program's own painting path: image 0, its drawing target, one PlotPixel per pixel.
int Render(const Options& options) {
    const vorlune::PictureLines lines(options.settings, vorlune::BestPicturePath());
    // The workers start on the picture while the image is made.
    vorlune::RowWorkers workers(lines, options.threads > 0 ? options.threads : AvailableCores());
    const int32_t size = options.settings.size;
    if (vorlune::CreateImage(kImageNumber, size, size) == 0) {
        std::fprintf(stderr, "%s: cannot make a %d x %d image (out of memory?)\n", kProgram, size,
                     size);
        return kExitFailed;
    }
    if (vorlune::BeginDrawing(vorlune::ImageDrawTarget(kImageNumber)) == nullptr) {
        std::fprintf(stderr, "%s: cannot draw into the image\n", kProgram);
        vorlune::FreeImage(kImageNumber);
        return kExitFailed;
    }
    vorlune::DrawPictureOnThreads(lines, workers);
    vorlune::EndDrawing();
    errno = 0;
    const int32_t saved =
        vorlune::SaveImage(kImageNumber, options.output, options.format, options.depth, 0);
    const int error = errno;
    vorlune::FreeImage(kImageNumber);
    if (saved != 1) {
        std::fprintf(stderr, "%s: cannot write %s%s%s\n", kProgram, options.output,
                     error != 0 ? ": " : "", error != 0 ? std::strerror(error) : "");
        return kExitFailed;
    }
    return kExitWritten;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string error = ParseArguments(argc, argv, &options);
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for the options.\n", kProgram, error.c_str(),
                     kProgram);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitWritten;
    }
    if (options.version) {
        std::printf("%s %s\n", kProgram, vorlune::VorluneVersion());
        return kExitWritten;
    }
    vorlune::InitRuntime();
    const int status = Render(options);
    vorlune::EndRuntime();
    vorlune::FreeTempStrings();
    return status;
}
