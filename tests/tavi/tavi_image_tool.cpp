// Helper of the real-window test: captures an X11 window into a PPM image,
// asks a window to close as a window manager would, and compares two images.
//
//   tavi_image_tool capture WINDOW_ID OUT.ppm
//   tavi_image_tool close WINDOW_ID
//   tavi_image_tool compare A.ppm B.ppm TOLERANCE MAX_PIXELS
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "zarn/tavi/Ppm.h"

using zarn::tavi::Colour;
using zarn::tavi::FrameBuffer;
using zarn::tavi::FrameDifference;

namespace {

int channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    unsigned long max = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

int capture(Display* display, ::Window window, const std::string& path) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) return 1;
    XImage* image =
        XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr) return 1;
    FrameBuffer frame(attributes.width, attributes.height);
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            Colour colour{static_cast<uint8_t>(channel(pixel, image->red_mask)),
                          static_cast<uint8_t>(channel(pixel, image->green_mask)),
                          static_cast<uint8_t>(channel(pixel, image->blue_mask)), 255};
            frame.blend(x, y, colour, 1.0f);
        }
    XDestroyImage(image);
    return zarn::tavi::writePpm(frame, path) ? 0 : 1;
}

int closeWindow(Display* display, ::Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    return 0;
}

int compare(const std::string& a, const std::string& b, int tolerance, size_t maxPixels) {
    auto first = zarn::tavi::readPpm(a);
    auto second = zarn::tavi::readPpm(b);
    if (!first || !second) {
        std::cerr << "cannot read " << (first ? b : a) << "\n";
        return 1;
    }
    FrameDifference difference = zarn::tavi::compareFrames(*first, *second, tolerance);
    std::cout << difference.differingPixels << " pixels differ by more than " << tolerance
              << " (largest difference " << difference.largestDifference << ")\n";
    return difference.differingPixels <= maxPixels ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "compare" && argc == 6)
        return compare(argv[2], argv[3], std::atoi(argv[4]), std::strtoul(argv[5], nullptr, 10));
    if ((command == "capture" && argc == 4) || (command == "close" && argc == 3)) {
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) {
            std::cerr << "cannot open the display\n";
            return 1;
        }
        ::Window window = std::strtoul(argv[2], nullptr, 0);
        int status =
            command == "capture" ? capture(display, window, argv[3]) : closeWindow(display, window);
        XCloseDisplay(display);
        return status;
    }
    std::cerr << "usage: tavi_image_tool capture ID OUT.ppm | close ID | compare A B TOL MAX\n";
    return 2;
}
