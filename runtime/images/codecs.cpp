#include "runtime/images/codecs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/core/registry.h"
#include "runtime/images/image.h"

namespace vorlune {

namespace {

// One of each is registered today; the room keeps a stray registration from writing past it.
constexpr int32_t kMaxCodecs = 16;

struct DecoderRegistry {
    int32_t count;
    const ImageDecoderEntry* entries[kMaxCodecs];
};

struct EncoderRegistry {
    int32_t count;
    const ImageEncoderEntry* entries[kMaxCodecs];
};

DecoderRegistry decoders;
EncoderRegistry encoders;
ImageCodecState* codecState = nullptr;

void ResetState(ImageCodecState* state) {
    std::memset(state, 0, sizeof *state);
    state->frameCount = 1;
}

uint32_t RunChecks(ImageCodecState* state) {
    for (int32_t i = 0; i < decoders.count; ++i) {
        std::memset(state->decoderArea, 0, sizeof state->decoderArea);
        if (decoders.entries[i]->check(state) != 0) {
            state->acceptedDecoder = decoders.entries[i];
            return decoders.entries[i]->tag;
        }
    }
    return 0;
}

void CloseSourceFile(ImageCodecState* state) {
    if (state->sourceFile != nullptr) std::fclose(state->sourceFile);
    state->sourceFile = nullptr;
}

// Only a regular file is read: opening a named pipe or a device for reading could wait forever,
// and a folder holds no image. errno says why a path was refused.
FILE* OpenRegularFile(const char* path) {
    const int descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) return nullptr;
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int reason = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        close(descriptor);
        errno = reason;
        return nullptr;
    }
    FILE* file = fdopen(descriptor, "rb");
    if (file == nullptr) close(descriptor);
    return file;
}

// Spreads width x height pixels of 3 bytes at the front of the memory into 4 bytes with alpha
// 255, from the back so that no pixel is overwritten before it is read.
void SpreadToFourBytes(uint8_t* pixels, int64_t count) {
    for (int64_t i = count - 1; i >= 0; --i) {
        pixels[i * 4 + 3] = 0xFF;
        pixels[i * 4 + 2] = pixels[i * 3 + 2];
        pixels[i * 4 + 1] = pixels[i * 3 + 1];
        pixels[i * 4] = pixels[i * 3];
    }
}

// Decodes the identified image into new RGBA memory (AllocRaw'd): the file's alpha at depth 32,
// 255 at depth 24. Ends the decoding.
uint8_t* DecodeToPixels(int32_t* width, int32_t* height, int32_t* fileDepth) {
    const int64_t w = DecodedImageWidth(), h = DecodedImageHeight(), depth = DecodedImageDepth();
    *fileDepth = static_cast<int32_t>(DecodedImageFileDepth());
    uint8_t* pixels = nullptr;
    if (w >= 1 && h >= 1 && w <= kMaxImageSide && h <= kMaxImageSide &&
        (depth == 24 || depth == 32)) {
        pixels = static_cast<uint8_t*>(AllocRaw(static_cast<uint64_t>(w * h * 4)));
    }
    if (pixels != nullptr && DecodeImage(pixels, static_cast<int32_t>(w * depth / 8), 0) != 0) {
        if (depth == 24) SpreadToFourBytes(pixels, w * h);
    } else {
        FreeMemory(pixels);
        pixels = nullptr;
    }
    EndImageDecoding();
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return pixels;
}

// Only a decoded image replaces what the number holds.
int64_t CreateDecodedImage(int64_t number) {
    int32_t width = 0, height = 0, fileDepth = 0;
    uint8_t* pixels = DecodeToPixels(&width, &height, &fileDepth);
    if (pixels == nullptr) return 0;
    ImageRecord* record = NewImageRecord(number, width, height, kImageFillNone, 0);
    if (record != nullptr) {
        std::memcpy(record->bitmap, pixels, static_cast<size_t>(width) * height * 4);
        record->createdDepth = static_cast<int16_t>(fileDepth);
    }
    FreeMemory(pixels);
    if (record == nullptr) return 0;
    if (number == AnyNumber) return static_cast<int64_t>(reinterpret_cast<intptr_t>(record));
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(record->image));
}

}  // namespace

// Start-up and registries -------------------------------------------------------------------------

void InitImageCodecs() {
    decoders.count = 0;
    encoders.count = 0;
    if (codecState == nullptr) {
        codecState = static_cast<ImageCodecState*>(AllocBlock(sizeof(ImageCodecState)));
    } else {
        EndImageDecoding();
        std::memset(codecState, 0, sizeof *codecState);
    }
}

int32_t RegisterImageDecoder(const ImageDecoderEntry* entry) {
    if (entry != nullptr && codecState != nullptr && decoders.count < kMaxCodecs)
        decoders.entries[decoders.count++] = entry;
    return decoders.count;
}

int32_t RegisterImageEncoder(const ImageEncoderEntry* entry) {
    if (entry != nullptr && codecState != nullptr && encoders.count < kMaxCodecs)
        encoders.entries[encoders.count++] = entry;
    return encoders.count;
}

int32_t ImageDecoderCount() {
    return decoders.count;
}

int32_t ImageEncoderCount() {
    return encoders.count;
}

const ImageEncoderEntry* FindImageEncoder(uint32_t tag) {
    for (int32_t i = 0; i < encoders.count; ++i) {
        if (encoders.entries[i]->tag == tag) return encoders.entries[i];
    }
    return nullptr;
}

ImageCodecState* ImageCodecStateBlock() {
    return codecState;
}

// Decoding ----------------------------------------------------------------------------------------

// A decoding left open is ended first, so that its file and memory are not lost.
uint32_t IdentifyImage(const void* address, int64_t length) {
    if (codecState == nullptr) return 0;
    EndImageDecoding();
    ResetState(codecState);
    if (address == nullptr || length < 0 || length > INT32_MAX) return 0;
    codecState->sourceMemory = static_cast<const uint8_t*>(address);
    codecState->sourceLength = static_cast<int32_t>(length);
    codecState->fromMemory = 1;
    const uint32_t tag = RunChecks(codecState);
    if (tag == 0) ResetState(codecState);
    return tag;
}

uint32_t IdentifyImageFile(const char* path) {
    if (codecState == nullptr || path == nullptr) return 0;
    EndImageDecoding();
    ResetState(codecState);
    codecState->sourceFile = OpenRegularFile(path);
    if (codecState->sourceFile == nullptr) return 0;
    const uint32_t tag = RunChecks(codecState);
    if (tag == 0) {
        CloseSourceFile(codecState);
        ResetState(codecState);
    }
    return tag;
}

int64_t DecodeImage(uint8_t* pixels, int32_t pitch, int32_t flags) {
    if (codecState == nullptr || codecState->acceptedDecoder == nullptr) return 0;
    return codecState->acceptedDecoder->decode(codecState, pixels, pitch, flags);
}

void EndImageDecoding() {
    if (codecState == nullptr || codecState->acceptedDecoder == nullptr) return;
    codecState->acceptedDecoder->finish(codecState);
    codecState->acceptedDecoder = nullptr;
    CloseSourceFile(codecState);
}

// What the accepting decoder found ----------------------------------------------------------------

int64_t DecodedImageWidth() {
    return codecState != nullptr ? codecState->width : 0;
}
int64_t DecodedImageHeight() {
    return codecState != nullptr ? codecState->height : 0;
}
int64_t DecodedImageDepth() {
    return codecState != nullptr ? codecState->depth : 0;
}
int64_t DecodedImageFileDepth() {
    return codecState != nullptr ? codecState->fileDepth : 0;
}
int64_t DecodedImageFrameCount() {
    return codecState != nullptr ? codecState->frameCount : 0;
}
int64_t DecodedImageCurrentFrame() {
    return codecState != nullptr ? codecState->currentFrame : 0;
}

// Numbered images ---------------------------------------------------------------------------------

int64_t LoadImage(int64_t number, const char* path) {
    if (IdentifyImageFile(path) == 0) return 0;
    return CreateDecodedImage(number);
}

int64_t LoadImageFromMemory(int64_t number, const void* address, int64_t length) {
    if (IdentifyImage(address, length) == 0) return 0;
    return CreateDecodedImage(number);
}

int32_t SaveImage(int64_t number, const char* path, uint32_t tag, int32_t depth, int32_t options) {
    const ImageRecord* record = FindImage(number);
    const ImageEncoderEntry* encoder = FindImageEncoder(tag);
    if (record == nullptr || encoder == nullptr || path == nullptr) return 0;
    const int64_t result =
        encoder->encodeFrom32(path, record->bitmap, record->pixelWidth, record->pixelHeight,
                              record->pixelWidth * 4, 0, options, depth);
    return result != 0 ? 1 : 0;
}

}  // namespace vorlune
