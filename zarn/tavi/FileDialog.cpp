// The open-file dialog, drawn by the toolkit itself: a modal window with the
// path in a text box, the entries of the folder, and Up, Open and Cancel.
#include <algorithm>
#include <filesystem>

#include "zarn/tavi/Toolkit.h"

namespace zarn::tavi {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kDialogWidth = 560;
constexpr int32_t kDialogHeight = 420;
constexpr int32_t kRowTop = 64;
constexpr int32_t kRowHeight = 28;
constexpr int32_t kRowStep = 30;
// Rows that fit between the path box and the buttons.
constexpr size_t kVisibleRows = 9;

struct Entry {
    std::string name;
    bool folder;
};

// The entries of a folder that are not hidden, folders first, each group by name.
std::vector<Entry> listFolder(const fs::path& folder) {
    std::vector<Entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeError;
        entries.push_back(Entry{name, it->is_directory(typeError)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) return a.folder;
        return a.name < b.name;
    });
    return entries;
}

// The dialog's widgets and what a click on each of them does.
class FileDialog final : public HandlerRunner {
public:
    FileDialog(Window& window, const fs::path& folder) : window_(window) {
        pathBox_ = addWidget(WidgetKind::TextBox, Rect{16, 16, kDialogWidth - 32, 36});
        int32_t bottom = kDialogHeight - 52;
        up_ = addWidget(WidgetKind::Button, Rect{16, bottom, 120, 36}, "Up");
        open_ = addWidget(WidgetKind::Button, Rect{kDialogWidth - 272, bottom, 120, 36}, "Open");
        cancel_ =
            addWidget(WidgetKind::Button, Rect{kDialogWidth - 136, bottom, 120, 36}, "Cancel");
        enter(folder);
    }

    bool done() const { return done_ || !window_.visible; }
    const std::string& chosen() const { return chosen_; }

    void click(Widget& widget) override {
        if (&widget == cancel_.get()) return finish("");
        if (&widget == up_.get()) return enter(folder_.parent_path());
        if (&widget == open_.get()) return openTyped();
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (&widget != rows_[i].get()) continue;
            if (entries_[i].folder) return enter(folder_ / entries_[i].name);
            pathBox_->setText((folder_ / entries_[i].name).string());
        }
    }
    void input(Widget&, const std::string&) override {}

private:
    std::shared_ptr<Widget> addWidget(WidgetKind kind, Rect rect, std::string text = "") {
        auto widget = std::make_shared<Widget>(kind, std::move(text));
        window_.add(widget);
        widget->rect = rect;
        return widget;
    }

    void finish(std::string path) {
        chosen_ = std::move(path);
        done_ = true;
    }

    // Shows a folder: the fixed widgets, then one row per entry.
    void enter(const fs::path& folder) {
        folder_ = folder;
        entries_ = listFolder(folder_);
        if (entries_.size() > kVisibleRows) entries_.resize(kVisibleRows);
        window_.widgets = {pathBox_, up_, open_, cancel_};
        rows_.clear();
        for (size_t i = 0; i < entries_.size(); ++i) {
            auto row = addWidget(WidgetKind::Button,
                                 Rect{16, kRowTop + static_cast<int32_t>(i) * kRowStep,
                                      kDialogWidth - 32, kRowHeight},
                                 entries_[i].name + (entries_[i].folder ? "/" : ""));
            row->background = Colour{30, 30, 46, 255};
            rows_.push_back(row);
        }
        pathBox_->setText(folder_.string());
        window_.focused = pathBox_;
        window_.invalidate();
    }

    // Open with the typed path: a file ends the dialog, a folder is entered.
    void openTyped() {
        fs::path typed = pathBox_->text;
        std::error_code error;
        if (fs::is_regular_file(typed, error)) return finish(typed.string());
        if (fs::is_directory(typed, error)) enter(typed);
    }

    Window& window_;
    fs::path folder_;
    std::shared_ptr<Widget> pathBox_, up_, open_, cancel_;
    std::vector<std::shared_ptr<Widget>> rows_;
    std::vector<Entry> entries_;
    std::string chosen_;
    bool done_ = false;
};

} // namespace

std::string Toolkit::openFileDialog(const std::string& startFolder) {
    if (options_.headless || windowing() == nullptr) return "";
    // The dialog's window belongs to no application, so closing it never
    // ends the application's loop.
    auto window = std::make_shared<Window>("Open File", kDialogWidth, kDialogHeight);
    attachNative(*window);
    if (!window->native) return "";
    windows_.push_back(window);
    FileDialog dialog(*window, startFolder.empty() ? fs::path(".") : fs::path(startFolder));
    window->native->setResizable(false);
    window->native->center();
    show(*window);
    uint32_t id = window->native->id();
    while (!dialog.done()) {
        paintDirtyWindows();
        std::optional<WindowEvent> event = windowing_->waitEvent(-1);
        if (!event) continue;
        // Modal: other windows only repaint and follow their size.
        bool mine = event->windowId == id;
        if (mine || event->type == WindowEvent::Type::Exposed ||
            event->type == WindowEvent::Type::Resized)
            dispatch(*event, dialog);
    }
    window->visible = false;
    window->native.reset();
    std::erase_if(windows_, [&](const auto& weak) { return weak.lock() == window; });
    return dialog.chosen();
}

} // namespace zarn::tavi
