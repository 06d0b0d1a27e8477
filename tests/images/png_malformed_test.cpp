// Every file of tests/data/png-malformed (written by scripts/make-png-corpus) meets the outcome
// its MANIFEST.tsv line states, from memory, from a file and as a numbered image; the files that
// decode show what ImageMagick shows.
#include <filesystem>

#include "runtime/images/codecs.h"
#include "tests/images/codec_helpers.h"
#include "tests/images/malformed_corpus.h"

namespace vorlune {
namespace {

const std::filesystem::path kCorpus =
    std::filesystem::path(VORLUNE_TEST_DATA_DIR) / "png-malformed";

using PngMalformedTest = testing::CodecFixture;

TEST_F(PngMalformedTest, ManifestListsEveryFileOnce) {
    testing::ExpectManifestListsEveryFile(kCorpus, ".png");
}

TEST_F(PngMalformedTest, EveryFileMeetsItsOutcome) {
    testing::ExpectEveryFileMeetsItsOutcome(kCorpus, kPngTag);
}

TEST_F(PngMalformedTest, DecodedFilesShowWhatImageMagickShows) {
    ASSERT_TRUE(testing::HasImageMagick()) << "ImageMagick's convert is needed";
    for (const testing::Expectation& row : testing::ReadManifest(kCorpus)) {
        if (row.outcome != testing::Outcome::kDecoded) continue;
        const std::string path = (kCorpus / row.file).string();
        ASSERT_NE(LoadImage(1, path.c_str()), 0) << row.file;
        const ImageRecord* image = FindImage(1);
        const std::vector<uint8_t> pixels(image->bitmap,
                                          image->bitmap + row.width * row.height * 4);
        EXPECT_EQ(pixels, testing::ImageMagickRgba(path)) << row.file << ": " << row.why;
    }
}

}  // namespace
}  // namespace vorlune
