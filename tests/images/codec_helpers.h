#pragma once
// The codec tests' fixture, decoding through the codec registry into plain RGB, and reading
// files through ImageMagick.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/core/memory.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "runtime/images/png.h"

namespace vorlune::testing {

// The codecs registered in their start-up order and the image registry up; decoding ended and
// images freed after.
class CodecFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        InitImageCodecs();
        RegisterBmpCodec();
        RegisterPngCodec();
        InitImageSystem();
    }
    void TearDown() override {
        EndImageDecoding();
        FreeImage(AnyNumber);
    }
};

struct Decoded {
    bool ok = false;
    int64_t width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first, tightly packed
};

// Identify and decode in memory; a file that is identified but not decoded is not ok.
inline Decoded DecodeBytes(const std::vector<uint8_t>& bytes, int32_t flags = 0) {
    Decoded result;
    if (IdentifyImage(bytes.data(), static_cast<int64_t>(bytes.size())) != kBmpTag) return result;
    result.width = DecodedImageWidth();
    result.height = DecodedImageHeight();
    result.rgb.assign(static_cast<size_t>(result.width * result.height * 3), 0);
    result.ok = DecodeImage(result.rgb.data(), static_cast<int32_t>(result.width * 3), flags) == 1;
    EndImageDecoding();
    return result;
}

// The bytes of a block an encoder answered for a memory destination (none for 0); the block is
// freed.
inline std::vector<uint8_t> TakeEncodedBlock(int64_t block) {
    if (block == 0) return {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(block);
    std::vector<uint8_t> copy(bytes, bytes + BlockLength(bytes));
    FreeBlock(reinterpret_cast<void*>(block));
    return copy;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline bool HasImageMagick() {
    return std::system("command -v convert >/dev/null 2>&1") == 0;
}

// Runs a shell command and answers what it wrote; empty when it failed.
inline std::vector<uint8_t> CommandOutput(const std::string& command) {
    std::vector<uint8_t> output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    uint8_t buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.insert(output.end(), buffer, buffer + count);
    if (pclose(pipe) != 0) output.clear();
    return output;
}

// The red, green and blue that ImageMagick reads from a file, 8 bits each, top row first.
inline std::vector<uint8_t> ImageMagickRgb(const std::string& path) {
    return CommandOutput("convert '" + path + "' -depth 8 rgb:- 2>/dev/null");
}

// The red, green, blue and alpha that ImageMagick reads from a file, 8 bits each, top row first.
// Its own 8-bit output truncates 16-bit samples, so its 16-bit output is taken and rounded to
// 8 bits as the PNG standard recommends: (v + 128) / 257, which keeps 8-bit samples (stored
// as v x 257) as they are.
inline std::vector<uint8_t> ImageMagickRgba(const std::string& path) {
    const std::vector<uint8_t> wide =
        CommandOutput("convert '" + path + "' -depth 16 -endian MSB rgba:- 2>/dev/null");
    std::vector<uint8_t> rgba;
    for (size_t i = 0; i + 1 < wide.size(); i += 2)
        rgba.push_back(static_cast<uint8_t>(((wide[i] << 8 | wide[i + 1]) + 128) / 257));
    return rgba;
}

inline bool RunConvert(const std::string& arguments) {
    return std::system(("convert " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// A fresh folder under the temporary directory, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder() {
        char name[] = "/tmp/vorlune-test-XXXXXX";
        path_ = mkdtemp(name) != nullptr ? name : "";
    }
    ~ScratchFolder() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace vorlune::testing
