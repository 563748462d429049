#include "zarn/tavi/Ppm.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace zarn::tavi {

std::string encodePpm(const FrameBuffer& frame) {
    std::string out =
        "P6\n" + std::to_string(frame.width()) + " " + std::to_string(frame.height()) + "\n255\n";
    size_t count = static_cast<size_t>(frame.width()) * static_cast<size_t>(frame.height());
    out.reserve(out.size() + count * 3);
    const uint8_t* p = frame.data();
    for (size_t i = 0; i < count; ++i, p += 4) out.append(reinterpret_cast<const char*>(p), 3);
    return out;
}

namespace {

// Reads one header number after white space and comments; -1 when there is none.
int64_t headerNumber(const std::string& bytes, size_t& pos) {
    while (pos < bytes.size()) {
        if (bytes[pos] == '#') {
            while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
        } else if (std::isspace(static_cast<unsigned char>(bytes[pos]))) {
            ++pos;
        } else {
            break;
        }
    }
    int64_t value = -1;
    while (pos < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[pos]))) {
        value = std::max<int64_t>(value, 0) * 10 + (bytes[pos] - '0');
        if (value > 1'000'000) return -1;
        ++pos;
    }
    return value;
}

} // namespace

std::optional<FrameBuffer> decodePpm(const std::string& bytes) {
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') return std::nullopt;
    size_t pos = 2;
    int64_t width = headerNumber(bytes, pos);
    int64_t height = headerNumber(bytes, pos);
    int64_t maxval = headerNumber(bytes, pos);
    if (width <= 0 || height <= 0 || maxval != 255 || pos >= bytes.size()) return std::nullopt;
    ++pos; // the single white-space byte before the pixels
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (bytes.size() - pos < count * 3) return std::nullopt;
    FrameBuffer frame(static_cast<int32_t>(width), static_cast<int32_t>(height));
    uint8_t* out = frame.data();
    for (size_t i = 0; i < count; ++i, out += 4, pos += 3) {
        out[0] = static_cast<uint8_t>(bytes[pos]);
        out[1] = static_cast<uint8_t>(bytes[pos + 1]);
        out[2] = static_cast<uint8_t>(bytes[pos + 2]);
        out[3] = 255;
    }
    return frame;
}

bool writePpm(const FrameBuffer& frame, const std::string& path) {
    std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        std::string bytes = encodePpm(frame);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<FrameBuffer> readPpm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return decodePpm(bytes.str());
}

FrameDifference compareFrames(const FrameBuffer& a, const FrameBuffer& b, int tolerance) {
    FrameDifference difference;
    if (a.width() != b.width() || a.height() != b.height()) {
        difference.differingPixels = static_cast<size_t>(std::max(a.width(), b.width())) *
                                     static_cast<size_t>(std::max(a.height(), b.height()));
        difference.largestDifference = 255;
        return difference;
    }
    size_t count = static_cast<size_t>(a.width()) * static_cast<size_t>(a.height());
    const uint8_t* p = a.data();
    const uint8_t* q = b.data();
    for (size_t i = 0; i < count; ++i, p += 4, q += 4) {
        int largest = 0;
        for (int c = 0; c < 3; ++c) largest = std::max(largest, std::abs(p[c] - q[c]));
        difference.largestDifference = std::max(difference.largestDifference, largest);
        if (largest > tolerance) ++difference.differingPixels;
    }
    return difference;
}

} // namespace zarn::tavi
