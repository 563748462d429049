// The toolkit on SDL2: native windows, their events, presenting frames, the
// message box, and text through SDL2_ttf with a system font.
#include "zarn/tavi/Windowing.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <dlfcn.h>

#include <algorithm>
#include <fstream>
#include <initializer_list>

#include "zarn/tavi/Painter.h"

namespace zarn::tavi {
namespace {

// SDL2 and SDL2_ttf are opened when a script first asks for a window or the
// font, not linked: they pull in some sixty libraries (X11, Wayland, audio),
// and loading those made every start of the interpreter several times slower
// for programs that never draw. The headers give the functions' types only.
#define ZARN_SDL_FUNCTIONS(X)                                                                      \
    X(SDL_ConvertSurfaceFormat)                                                                    \
    X(SDL_CreateRGBSurfaceWithFormatFrom)                                                          \
    X(SDL_CreateWindow)                                                                            \
    X(SDL_DestroyWindow)                                                                           \
    X(SDL_FreeSurface)                                                                             \
    X(SDL_GetWindowID)                                                                             \
    X(SDL_GetWindowSurface)                                                                        \
    X(SDL_HideWindow)                                                                              \
    X(SDL_InitSubSystem)                                                                           \
    X(SDL_LockSurface)                                                                             \
    X(SDL_Quit)                                                                                    \
    X(SDL_SetHint)                                                                                 \
    X(SDL_SetWindowPosition)                                                                       \
    X(SDL_SetWindowResizable)                                                                      \
    X(SDL_SetWindowSize)                                                                           \
    X(SDL_SetWindowTitle)                                                                          \
    X(SDL_ShowMessageBox)                                                                          \
    X(SDL_ShowWindow)                                                                              \
    X(SDL_StartTextInput)                                                                          \
    X(SDL_UnlockSurface)                                                                           \
    X(SDL_UpdateWindowSurface)                                                                     \
    X(SDL_UpperBlit)                                                                               \
    X(SDL_WaitEvent)                                                                               \
    X(SDL_WaitEventTimeout)

#define ZARN_TTF_FUNCTIONS(X)                                                                      \
    X(TTF_CloseFont)                                                                               \
    X(TTF_Init)                                                                                    \
    X(TTF_OpenFont)                                                                                \
    X(TTF_Quit)                                                                                    \
    X(TTF_RenderUTF8_Blended)

// The first of the names that the dynamic loader can open, or null. The
// library is never closed: SDL and the libraries it loads register handlers
// with the display and audio servers that must not outlive their code.
void* openLibrary(std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL)) return library;
    return nullptr;
}

// Fills every member from the library; false when one is missing.
template <typename Function>
bool lookUp(void* library, const char* name, Function& slot) {
    slot = reinterpret_cast<Function>(dlsym(library, name));
    return slot != nullptr;
}

struct SdlFunctions {
#define ZARN_DECLARE(name) decltype(&::name) name = nullptr;
    ZARN_SDL_FUNCTIONS(ZARN_DECLARE)
    ZARN_TTF_FUNCTIONS(ZARN_DECLARE)
#undef ZARN_DECLARE

    // SDL2 alone, or SDL2 with SDL2_ttf; null when either cannot be loaded.
    static std::shared_ptr<const SdlFunctions> load(bool withText) {
        void* sdl = openLibrary({"libSDL2-2.0.so.0", "libSDL2.so"});
        if (sdl == nullptr) return nullptr;
        auto functions = std::make_shared<SdlFunctions>();
        bool complete = true;
        void* library = sdl;
#define ZARN_LOOK_UP(name) complete = lookUp(library, #name, functions->name) && complete;
        ZARN_SDL_FUNCTIONS(ZARN_LOOK_UP)
        if (withText) {
            library = openLibrary({"libSDL2_ttf-2.0.so.0", "libSDL2_ttf.so"});
            if (library == nullptr) return nullptr;
            ZARN_TTF_FUNCTIONS(ZARN_LOOK_UP)
        }
#undef ZARN_LOOK_UP
        return complete ? functions : nullptr;
    }
};

using Sdl = std::shared_ptr<const SdlFunctions>;

// SDL's video side stays up while the windowing or any of its windows lives.
class SdlVideo {
public:
    static std::shared_ptr<SdlVideo> start() {
        Sdl sdl_ = SdlFunctions::load(false);
        if (!sdl_) return nullptr;
        // The interpreter keeps the default signal behaviour; SDL must not
        // turn Ctrl+C into an event nobody reads.
        sdl_->SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // The first click on an inactive window is a click, as users expect.
        sdl_->SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        if (sdl_->SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
        return std::make_shared<SdlVideo>(std::move(sdl_));
    }
    explicit SdlVideo(Sdl sdl) : sdl_(std::move(sdl)) {}
    // SDL_Quit also frees what SDL keeps besides the video side (hints, say).
    ~SdlVideo() { sdl_->SDL_Quit(); }

    const Sdl& functions() const { return sdl_; }

private:
    Sdl sdl_;
};

class SdlWindow final : public NativeWindow {
public:
    SdlWindow(std::shared_ptr<SdlVideo> video, SDL_Window* window)
        : video_(std::move(video)), sdl_(video_->functions()), window_(window) {}
    ~SdlWindow() override { sdl_->SDL_DestroyWindow(window_); }

    uint32_t id() const override { return sdl_->SDL_GetWindowID(window_); }
    void show() override { sdl_->SDL_ShowWindow(window_); }
    void hide() override { sdl_->SDL_HideWindow(window_); }
    void setTitle(const std::string& title) override {
        sdl_->SDL_SetWindowTitle(window_, title.c_str());
    }
    void setSize(int32_t width, int32_t height) override {
        sdl_->SDL_SetWindowSize(window_, std::max(width, 1), std::max(height, 1));
    }
    void setResizable(bool resizable) override {
        sdl_->SDL_SetWindowResizable(window_, resizable ? SDL_TRUE : SDL_FALSE);
    }
    void center() override {
        sdl_->SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    void present(const FrameBuffer& frame) override {
        SDL_Surface* target = sdl_->SDL_GetWindowSurface(window_);
        if (target == nullptr || frame.width() == 0 || frame.height() == 0) return;
        SDL_Surface* source = sdl_->SDL_CreateRGBSurfaceWithFormatFrom(
            const_cast<uint8_t*>(frame.data()), frame.width(), frame.height(), 32,
            frame.width() * 4, SDL_PIXELFORMAT_RGBA32);
        if (source == nullptr) return;
        sdl_->SDL_UpperBlit(source, nullptr, target, nullptr);
        sdl_->SDL_FreeSurface(source);
        sdl_->SDL_UpdateWindowSurface(window_);
    }

private:
    std::shared_ptr<SdlVideo> video_;
    const Sdl& sdl_;
    SDL_Window* window_;
};

class SdlWindowing final : public Windowing {
public:
    explicit SdlWindowing(std::shared_ptr<SdlVideo> video)
        : video_(std::move(video)), sdl_(video_->functions()) {
        sdl_->SDL_StartTextInput();
    }

    std::unique_ptr<NativeWindow> createWindow(const std::string& title, int32_t width,
                                               int32_t height) override {
        SDL_Window* window = sdl_->SDL_CreateWindow(
            title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, std::max(width, 1),
            std::max(height, 1), SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (window == nullptr) return nullptr;
        return std::make_unique<SdlWindow>(video_, window);
    }

    std::optional<WindowEvent> waitEvent(int timeoutMs) override {
        SDL_Event event;
        int got = timeoutMs < 0 ? sdl_->SDL_WaitEvent(&event)
                                : sdl_->SDL_WaitEventTimeout(&event, timeoutMs);
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
        if (sdl_->SDL_ShowMessageBox(&data, &pressed) != 0) return 0;
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
    const Sdl& sdl_;
};

// Lines longer than this are cut before rendering: a widget never shows more,
// and a huge text must not make a huge surface.
constexpr size_t kMaxRenderedBytes = 2048;

class TtfText final : public TextRenderer {
public:
    TtfText(Sdl sdl, TTF_Font* font) : sdl_(std::move(sdl)), font_(font) {}
    ~TtfText() override {
        sdl_->TTF_CloseFont(font_);
        sdl_->TTF_Quit();
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
            sdl_->TTF_RenderUTF8_Blended(font_, line.c_str(), SDL_Color{255, 255, 255, 255});
        if (surface == nullptr) return mask;
        SDL_Surface* pixels = sdl_->SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGBA32, 0);
        sdl_->SDL_FreeSurface(surface);
        if (pixels == nullptr) return mask;
        mask.width = pixels->w;
        mask.height = pixels->h;
        mask.coverage.resize(static_cast<size_t>(mask.width) * mask.height);
        sdl_->SDL_LockSurface(pixels);
        for (int y = 0; y < pixels->h; ++y) {
            const auto* row = static_cast<const uint8_t*>(pixels->pixels) + y * pixels->pitch;
            for (int x = 0; x < pixels->w; ++x)
                mask.coverage[static_cast<size_t>(y) * mask.width + x] = row[x * 4 + 3];
        }
        sdl_->SDL_UnlockSurface(pixels);
        sdl_->SDL_FreeSurface(pixels);
        return mask;
    }

private:
    Sdl sdl_;
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
    Sdl sdl_ = SdlFunctions::load(true);
    if (!sdl_ || sdl_->TTF_Init() != 0) return nullptr;
    for (const char* path : kFontPaths) {
        if (!std::ifstream(path)) continue;
        // Sizes are in points at 72 dots per inch, so points are pixels.
        if (TTF_Font* font = sdl_->TTF_OpenFont(path, kFontPixels))
            return std::make_unique<TtfText>(sdl_, font);
    }
    sdl_->TTF_Quit();
    return nullptr;
}

} // namespace zarn::tavi
