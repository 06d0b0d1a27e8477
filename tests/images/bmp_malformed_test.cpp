// Every file of tests/data/bmp-malformed (written by scripts/make-bmp-corpus) meets the outcome
// its MANIFEST.tsv line states, from memory, from a file and as a numbered image, with every
// buffer sized exactly so that the sanitizer build sees any access outside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/core/registry.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "tests/images/codec_helpers.h"

namespace vorlune {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(VORLUNE_TEST_DATA_DIR) / "bmp-malformed";

enum class Outcome { kRefused, kPixelsRefused, kDecoded };

struct Expectation {
    std::string file;
    Outcome outcome = Outcome::kRefused;
    int64_t width = 0, height = 0;
    std::string why;
};

// "refused", "decode-refused WxH" or "decoded WxH".
bool ParseOutcome(const std::string& text, Expectation* expectation) {
    if (text == "refused") return true;
    std::istringstream in(text);
    std::string word;
    char times = 0;
    in >> word >> expectation->width >> times >> expectation->height;
    if (!in || times != 'x' || expectation->width < 1 || expectation->height < 1) return false;
    if (word == "decoded") {
        expectation->outcome = Outcome::kDecoded;
    } else if (word == "decode-refused") {
        expectation->outcome = Outcome::kPixelsRefused;
    } else {
        return false;
    }
    return true;
}

std::vector<Expectation> ReadManifest() {
    std::vector<Expectation> rows;
    std::ifstream in(kCorpus / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Expectation row;
        std::string outcome;
        std::getline(fields, row.file, '\t');
        std::getline(fields, outcome, '\t');
        std::getline(fields, row.why);
        EXPECT_TRUE(ParseOutcome(outcome, &row)) << line;
        rows.push_back(row);
    }
    return rows;
}

// What the reader made of one source: identified size, and the pixels of both row orders.
struct Reading {
    uint32_t tag = 0;
    int64_t width = 0, height = 0;
    int64_t decoded[2] = {};
    std::vector<uint8_t> pixels[2];
};

Reading ReadIdentified(uint32_t tag) {
    Reading reading;
    reading.tag = tag;
    if (tag != 0) {
        reading.width = DecodedImageWidth();
        reading.height = DecodedImageHeight();
        const int32_t flags[2] = {0, kRowsAsStored};
        const size_t size = static_cast<size_t>(reading.width * reading.height * 3);
        for (int i = 0; i < 2; ++i) {
            std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
            reading.decoded[i] =
                DecodeImage(exact.get(), static_cast<int32_t>(reading.width * 3), flags[i]);
            reading.pixels[i].assign(exact.get(), exact.get() + size);
        }
    }
    EndImageDecoding();
    return reading;
}

using BmpMalformedTest = testing::CodecFixture;

TEST_F(BmpMalformedTest, ManifestListsEveryFileOnce) {
    const std::vector<Expectation> rows = ReadManifest();
    EXPECT_GE(rows.size(), 40u);
    std::set<std::string> listed;
    for (const Expectation& row : rows) {
        EXPECT_TRUE(listed.insert(row.file).second) << row.file << " listed twice";
        EXPECT_TRUE(fs::is_regular_file(kCorpus / row.file)) << row.file << " missing";
        EXPECT_FALSE(row.why.empty()) << row.file;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(kCorpus)) {
        if (entry.path().extension() == ".bmp") {
            EXPECT_TRUE(listed.count(entry.path().filename().string())) << entry.path();
        }
    }
}

TEST_F(BmpMalformedTest, EveryFileMeetsItsOutcome) {
    for (const Expectation& row : ReadManifest()) {
        SCOPED_TRACE(row.file + ": " + row.why);
        const std::string path = (kCorpus / row.file).string();
        const std::vector<uint8_t> bytes = testing::ReadFile(path);
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());

        const Reading memory =
            ReadIdentified(IdentifyImage(exact.get(), static_cast<int64_t>(bytes.size())));
        if (row.outcome == Outcome::kRefused) {
            EXPECT_EQ(memory.tag, 0u);
        } else {
            EXPECT_EQ(memory.tag, kBmpTag);
            EXPECT_EQ(memory.width, row.width);
            EXPECT_EQ(memory.height, row.height);
            const int64_t expected = row.outcome == Outcome::kDecoded ? 1 : 0;
            EXPECT_EQ(memory.decoded[0], expected);
            EXPECT_EQ(memory.decoded[1], expected);
        }

        const Reading file = ReadIdentified(IdentifyImageFile(path.c_str()));
        EXPECT_EQ(file.tag, memory.tag);
        EXPECT_EQ(file.width, memory.width);
        EXPECT_EQ(file.height, memory.height);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(file.decoded[i], memory.decoded[i]);
            if (memory.decoded[i] == 1) {
                EXPECT_EQ(file.pixels[i], memory.pixels[i]);
            }
        }

        // A numbered image appears only for a decoded file, and a failure keeps what was there.
        ASSERT_NE(CreateImage(7, 2, 2), 0);
        const bool loaded = LoadImage(7, path.c_str()) != 0;
        EXPECT_EQ(loaded, row.outcome == Outcome::kDecoded);
        EXPECT_EQ(ImageWidth(7), loaded ? row.width : 2);
        EXPECT_EQ(ImageHeight(7), loaded ? row.height : 2);
        const int64_t fromMemory =
            LoadImageFromMemory(AnyNumber, exact.get(), static_cast<int64_t>(bytes.size()));
        EXPECT_EQ(fromMemory != 0, loaded);
        if (fromMemory != 0) FreeImage(fromMemory);
    }
}

}  // namespace
}  // namespace vorlune
