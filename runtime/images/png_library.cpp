#include "runtime/images/png_library.h"

#include <csetjmp>

#include "runtime/core/memory.h"

namespace vorlune {

namespace {

[[noreturn]] void JumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

png_voidp AllocateForPng(png_structp, png_alloc_size_t size) {
    return AllocRaw(size);
}

void FreeForPng(png_structp, png_voidp memory) {
    FreeMemory(memory);
}

}  // namespace

png_structp CreatePngReader(png_infop* info) {
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError,
                                               IgnoreWarning, nullptr, AllocateForPng, FreeForPng);
    *info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (*info == nullptr) DestroyPngReader(png, nullptr);
    return *info != nullptr ? png : nullptr;
}

png_structp CreatePngWriter(png_infop* info) {
    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError,
                                                IgnoreWarning, nullptr, AllocateForPng, FreeForPng);
    *info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (*info == nullptr) DestroyPngWriter(png, nullptr);
    return *info != nullptr ? png : nullptr;
}

void DestroyPngReader(png_structp png, png_infop info) {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
}

void DestroyPngWriter(png_structp png, png_infop info) {
    if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
}

// Nothing here is used once the jump has come back, so no local needs to be volatile.
bool RunPngStep(png_structp png, PngStep step, void* context) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    step(png, context);
    return true;
}

}  // namespace vorlune
