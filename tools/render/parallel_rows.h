#pragma once
// The picture's source rows shared out among threads. Each thread claims one row at a time, so
// the slow rows of an exact picture spread evenly, and computes it into a buffer of its own.

#include <cstdint>
#include <functional>

#include "app/picture_fast.h"

namespace vorlune {

// task(row, codes) with row's codes just computed, once for every source row 0 to
// LineLength() - 1, in no fixed order, on up to `threads` threads (this one among them; fewer when
// the system will not start more). The task must be safe to run on several threads at once.
using SourceRowTask = std::function<void(uint16_t row, const uint16_t* codes)>;
void ForEachSourceRow(const PictureLines& lines, int threads, const SourceRowTask& task);

// The picture of lines on the current drawing target with PlotPixel, its rows computed on up to
// `threads` threads. Where the picture lies inside the target and is stored in line, each thread
// plots the rows it computes; otherwise PlotPixel's own routine runs, on this thread alone.
void DrawPictureOnThreads(const PictureLines& lines, int threads);

}  // namespace vorlune
