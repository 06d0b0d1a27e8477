// Every file of tests/data/bmp-malformed (written by scripts/make-bmp-corpus) meets the outcome
// its MANIFEST.tsv line states, from memory, from a file and as a numbered image.
#include <filesystem>

#include "runtime/images/codecs.h"
#include "tests/images/codec_helpers.h"
#include "tests/images/malformed_corpus.h"

namespace vorlune {
namespace {

const std::filesystem::path kCorpus =
    std::filesystem::path(VORLUNE_TEST_DATA_DIR) / "bmp-malformed";

using BmpMalformedTest = testing::CodecFixture;

TEST_F(BmpMalformedTest, ManifestListsEveryFileOnce) {
    testing::ExpectManifestListsEveryFile(kCorpus, ".bmp");
}

TEST_F(BmpMalformedTest, EveryFileMeetsItsOutcome) {
    testing::ExpectEveryFileMeetsItsOutcome(kCorpus, kBmpTag);
}

}  // namespace
}  // namespace vorlune
