#pragma once
// The malformed-file corpora under tests/data/ (bmp-malformed/, png-malformed/): a MANIFEST.tsv
// gives each file's expected outcome, and the reader's result is taken with every buffer sized
// exactly, so that the sanitizer build sees any access outside it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/core/registry.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "tests/images/codec_helpers.h"

namespace vorlune::testing {

enum class Outcome { kRefused, kPixelsRefused, kDecoded };

struct Expectation {
    std::string file;
    Outcome outcome = Outcome::kRefused;
    int64_t width = 0, height = 0;
    std::string why;
};

// "refused", "decode-refused WxH" or "decoded WxH".
inline bool ParseOutcome(const std::string& text, Expectation* expectation) {
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

inline std::vector<Expectation> ReadManifest(const std::filesystem::path& corpus) {
    std::vector<Expectation> rows;
    std::ifstream in(corpus / "MANIFEST.tsv");
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

inline Reading ReadIdentified(uint32_t tag) {
    Reading reading;
    reading.tag = tag;
    if (tag != 0) {
        reading.width = DecodedImageWidth();
        reading.height = DecodedImageHeight();
        const int64_t rowBytes = reading.width * DecodedImageDepth() / 8;
        const int32_t flags[2] = {0, kRowsAsStored};
        const size_t size = static_cast<size_t>(rowBytes * reading.height);
        for (int i = 0; i < 2; ++i) {
            std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
            reading.decoded[i] = DecodeImage(exact.get(), static_cast<int32_t>(rowBytes), flags[i]);
            reading.pixels[i].assign(exact.get(), exact.get() + size);
        }
    }
    EndImageDecoding();
    return reading;
}

// Every file is listed once, with a reason; every listed file is there.
inline void ExpectManifestListsEveryFile(const std::filesystem::path& corpus,
                                         const std::string& extension) {
    const std::vector<Expectation> rows = ReadManifest(corpus);
    EXPECT_GE(rows.size(), 40u);
    std::set<std::string> listed;
    for (const Expectation& row : rows) {
        EXPECT_TRUE(listed.insert(row.file).second) << row.file << " listed twice";
        EXPECT_TRUE(std::filesystem::is_regular_file(corpus / row.file)) << row.file << " missing";
        EXPECT_FALSE(row.why.empty()) << row.file;
    }
    for (const std::filesystem::directory_entry& entry :
         std::filesystem::directory_iterator(corpus)) {
        if (entry.path().extension() == extension) {
            EXPECT_TRUE(listed.count(entry.path().filename().string())) << entry.path();
        }
    }
}

// Each file meets its outcome from memory, from a file and as a numbered image (images 7 and
// AnyNumber are used); both sources give the same pixels.
inline void ExpectEveryFileMeetsItsOutcome(const std::filesystem::path& corpus, uint32_t tag) {
    for (const Expectation& row : ReadManifest(corpus)) {
        SCOPED_TRACE(row.file + ": " + row.why);
        const std::string path = (corpus / row.file).string();
        const std::vector<uint8_t> bytes = ReadFile(path);
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());

        const Reading memory =
            ReadIdentified(IdentifyImage(exact.get(), static_cast<int64_t>(bytes.size())));
        if (row.outcome == Outcome::kRefused) {
            EXPECT_EQ(memory.tag, 0u);
        } else {
            EXPECT_EQ(memory.tag, tag);
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

}  // namespace vorlune::testing
