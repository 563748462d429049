// Frames as binary PPM images (P6, 8 bits per channel): snapshots of painted
// windows, the golden images of the tests, and their comparison.
#pragma once

#include <optional>
#include <string>

#include "zarn/tavi/Painter.h"

namespace zarn::tavi {

// The frame as a P6 image (alpha dropped).
std::string encodePpm(const FrameBuffer& frame);
// A P6 image with maxval 255 as a frame, or nothing when the bytes are not one.
std::optional<FrameBuffer> decodePpm(const std::string& bytes);
// Writes the image through a temporary file and a rename, so a reader never
// sees half an image; false when it could not be written.
bool writePpm(const FrameBuffer& frame, const std::string& path);
std::optional<FrameBuffer> readPpm(const std::string& path);

// How two frames differ: pixels whose largest channel difference exceeds the
// tolerance. Frames of different sizes differ in every pixel of the larger.
struct FrameDifference {
    size_t differingPixels = 0;
    int largestDifference = 0;
};
FrameDifference compareFrames(const FrameBuffer& a, const FrameBuffer& b, int tolerance);

} // namespace zarn::tavi
