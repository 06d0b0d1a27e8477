#pragma once
// libpng as the PNG reader and writer use it: its memory from the runtime's allocator, no
// messages, and every error jumping back to the step that was running.

#include <png.h>

namespace vorlune {

// The structures (each with its info structure) or null when memory is short; destroy with
// DestroyPngReader or DestroyPngWriter, which accept null.
png_structp CreatePngReader(png_infop* info);
png_structp CreatePngWriter(png_infop* info);
void DestroyPngReader(png_structp png, png_infop info);
void DestroyPngWriter(png_structp png, png_infop info);

// Runs step(png, context) and answers false when libpng reports an error during it (or a
// callback calls png_error). libpng then leaves by longjmp, skipping every frame between: a step
// and the callbacks it reaches must hold no object with a destructor across a png_* call.
using PngStep = void (*)(png_structp png, void* context);
bool RunPngStep(png_structp png, PngStep step, void* context);

}  // namespace vorlune
