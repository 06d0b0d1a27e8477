#pragma once
// The picture formula: the sine of a power of the distance from the origin, per pixel.
