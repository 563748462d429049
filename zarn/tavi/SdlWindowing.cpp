// The toolkit on SDL2: native windows, their events, presenting frames, the
// message box, and text through SDL2_ttf with a system font.
#include "zarn/tavi/Windowing.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <fstream>

#include "zarn/tavi/Painter.h"

namespace zarn::tavi {
namespace {

// SDL's video side stays up while the windowing or any of its windows lives.
class SdlVideo {
public:
    static std::shared_ptr<SdlVideo> start() {
        // The interpreter keeps the default signal behaviour; SDL must not
        // turn Ctrl+C into an event nobody reads.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // The first click on an inactive window is a click, as users expect.
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
        return std::make_shared<SdlVideo>();
    }
    ~SdlVideo() { SDL_QuitSubSystem(SDL_INIT_VIDEO); }
};

class SdlWindow final : public NativeWindow {
public:
    SdlWindow(std::shared_ptr<SdlVideo> video, SDL_Window* window)
        : video_(std::move(video)), window_(window) {}
    ~SdlWindow() override { SDL_DestroyWindow(window_); }

    uint32_t id() const override { return SDL_GetWindowID(window_); }
    void show() override { SDL_ShowWindow(window_); }
    void hide() override { SDL_HideWindow(window_); }
    void setTitle(const std::string& title) override { SDL_SetWindowTitle(window_, title.c_str()); }
    void setSize(int32_t width, int32_t height) override {
        SDL_SetWindowSize(window_, std::max(width, 1), std::max(height, 1));
    }
    void setResizable(bool resizable) override {
        SDL_SetWindowResizable(window_, resizable ? SDL_TRUE : SDL_FALSE);
    }
    void center() override {
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    void present(const FrameBuffer& frame) override {
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (target == nullptr || frame.width() == 0 || frame.height() == 0) return;
        SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
            const_cast<uint8_t*>(frame.data()), frame.width(), frame.height(), 32,
            frame.width() * 4, SDL_PIXELFORMAT_RGBA32);
        if (source == nullptr) return;
        SDL_BlitSurface(source, nullptr, target, nullptr);
        SDL_FreeSurface(source);
        SDL_UpdateWindowSurface(window_);
    }

private:
    std::shared_ptr<SdlVideo> video_;
    SDL_Window* window_;
};

class SdlWindowing final : public Windowing {
public:
    explicit SdlWindowing(std::shared_ptr<SdlVideo> video) : video_(std::move(video)) {
        SDL_StartTextInput();
    }

    std::unique_ptr<NativeWindow> createWindow(const std::string& title, int32_t width,
                                               int32_t height) override {
        SDL_Window* window = SDL_CreateWindow(
            title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, std::max(width, 1),
            std::max(height, 1), SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (window == nullptr) return nullptr;
        return std::make_unique<SdlWindow>(video_, window);
    }

    std::optional<WindowEvent> waitEvent(int timeoutMs) override {
        SDL_Event event;
        int got = timeoutMs < 0 ? SDL_WaitEvent(&event) : SDL_WaitEventTimeout(&event, timeoutMs);
        if (got == 0) return std::nullopt;
        return translate(event);
    }

    int messageBox(const std::string& title, const std::string& message) override {
        const SDL_MessageBoxButtonData buttons[] = {
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "OK"},
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 2, "Cancel"},
        };
        SDL_MessageBoxData data{};
        data.flags = SDL_MESSAGEBOX_INFORMATION;
        data.title = title.c_str();
        data.message = message.c_str();
        data.numbuttons = 2;
        data.buttons = buttons;
        int pressed = -1;
        if (SDL_ShowMessageBox(&data, &pressed) != 0) return 0;
        // Closing the box without a button counts as Cancel.
        return pressed == 1 ? 1 : 2;
    }

private:
    static std::optional<WindowEvent> translate(const SDL_Event& event) {
        using Type = WindowEvent::Type;
        WindowEvent out;
        switch (event.type) {
        case SDL_WINDOWEVENT:
            out.windowId = event.window.windowID;
            switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE: out.type = Type::Close; return out;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                out.type = Type::Resized;
                out.x = event.window.data1;
                out.y = event.window.data2;
                return out;
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_EXPOSED: out.type = Type::Exposed; return out;
            case SDL_WINDOWEVENT_LEAVE: out.type = Type::PointerLeave; return out;
            default: return std::nullopt;
            }
        case SDL_MOUSEMOTION:
            out.type = Type::PointerMove;
            out.windowId = event.motion.windowID;
            out.x = event.motion.x;
            out.y = event.motion.y;
            return out;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (event.button.button != SDL_BUTTON_LEFT) return std::nullopt;
            out.type = event.type == SDL_MOUSEBUTTONDOWN ? Type::PointerDown : Type::PointerUp;
            out.windowId = event.button.windowID;
            out.x = event.button.x;
            out.y = event.button.y;
            return out;
        case SDL_TEXTINPUT:
            out.type = Type::Text;
            out.windowId = event.text.windowID;
            out.text = event.text.text;
            return out;
        case SDL_KEYDOWN:
            if (event.key.keysym.sym != SDLK_BACKSPACE) return std::nullopt;
            out.type = Type::Backspace;
            out.windowId = event.key.windowID;
            return out;
        default: return std::nullopt;
        }
    }

    std::shared_ptr<SdlVideo> video_;
};

// Lines longer than this are cut before rendering: a widget never shows more,
// and a huge text must not make a huge surface.
constexpr size_t kMaxRenderedBytes = 2048;

class TtfText final : public TextRenderer {
public:
    explicit TtfText(TTF_Font* font) : font_(font) {}
    ~TtfText() override {
        TTF_CloseFont(font_);
        TTF_Quit();
    }

    TextMask render(std::string_view utf8) override {
        std::string line(utf8.substr(0, utf8.find('\0')));
        if (line.size() > kMaxRenderedBytes) {
            size_t cut = kMaxRenderedBytes;
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
            line.resize(cut);
        }
        TextMask mask;
        if (line.empty()) return mask;
        SDL_Surface* surface =
            TTF_RenderUTF8_Blended(font_, line.c_str(), SDL_Color{255, 255, 255, 255});
        if (surface == nullptr) return mask;
        SDL_Surface* pixels = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGBA32, 0);
        SDL_FreeSurface(surface);
        if (pixels == nullptr) return mask;
        mask.width = pixels->w;
        mask.height = pixels->h;
        mask.coverage.resize(static_cast<size_t>(mask.width) * mask.height);
        SDL_LockSurface(pixels);
        for (int y = 0; y < pixels->h; ++y) {
            const auto* row = static_cast<const uint8_t*>(pixels->pixels) + y * pixels->pitch;
            for (int x = 0; x < pixels->w; ++x)
                mask.coverage[static_cast<size_t>(y) * mask.width + x] = row[x * 4 + 3];
        }
        SDL_UnlockSurface(pixels);
        SDL_FreeSurface(pixels);
        return mask;
    }

private:
    TTF_Font* font_;
};

// Where Debian and most other systems keep the font that stands in for the
// toolkit's face.
constexpr const char* kFontPaths[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/TTF/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu/DejaVuSans.ttf",
    "/usr/local/share/fonts/DejaVuSans.ttf",
};

// The toolkit's text is 16 pixels high (the em size).
constexpr int kFontPixels = 16;

} // namespace

std::unique_ptr<Windowing> openPlatformWindowing() {
    std::shared_ptr<SdlVideo> video = SdlVideo::start();
    if (!video) return nullptr;
    return std::make_unique<SdlWindowing>(std::move(video));
}

std::unique_ptr<TextRenderer> openSystemFont() {
    if (TTF_Init() != 0) return nullptr;
    for (const char* path : kFontPaths) {
        if (!std::ifstream(path)) continue;
        // Sizes are in points at 72 dots per inch, so points are pixels.
        if (TTF_Font* font = TTF_OpenFont(path, kFontPixels))
            return std::make_unique<TtfText>(font);
    }
    TTF_Quit();
    return nullptr;
}

} // namespace zarn::tavi
