// LineInput.h on POSIX: read(2) and poll(2) on standard input, libedit for a terminal.
#include "zarn/repl/LineInput.h"

#include "zarn/runtime/StopSignal.h"

#include <histedit.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cwchar>
#include <poll.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn {

namespace {

constexpr const char* kPrompt = "zarn> ";
constexpr const char* kContinuationPrompt = "  ... ";
constexpr int kHistoryEntries = 1000;

// Standard input byte by byte, read in blocks. When no byte is waiting it
// waits in slices, so that a stop request (Ctrl+C) is seen even when no signal
// interrupts the wait.
enum class ByteStatus { Byte, Interrupted, End };
class ByteReader {
public:
    ByteStatus next(char& byte) {
        while (position_ == size_) {
            if (stopRequested()) return ByteStatus::Interrupted;
            pollfd input{STDIN_FILENO, POLLIN, 0};
            int ready = ::poll(&input, 1, 100);
            if (ready < 0 && errno != EINTR) return ByteStatus::End;
            if (ready <= 0) continue;
            ssize_t count = ::read(STDIN_FILENO, buffer_, sizeof buffer_);
            if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (count <= 0) return ByteStatus::End;
            position_ = 0;
            size_ = static_cast<size_t>(count);
        }
        byte = buffer_[position_++];
        return ByteStatus::Byte;
    }

private:
    char buffer_[4096];
    size_t position_ = 0, size_ = 0;
};

class StreamInput final : public LineInput {
public:
    LineStatus readLine(bool, std::string& line) override {
        line.clear();
        if (ended_) return LineStatus::End;
        char byte = 0;
        for (;;) {
            switch (input_.next(byte)) {
            case ByteStatus::Interrupted: return LineStatus::Interrupted;
            case ByteStatus::End:
                ended_ = true;
                // A last line without a line break is still a line.
                return line.empty() ? LineStatus::End : LineStatus::Line;
            case ByteStatus::Byte:
                if (byte == '\n') return LineStatus::Line;
                line += byte;
                break;
            }
        }
    }

private:
    ByteReader input_;
    bool ended_ = false;
};

class TerminalInput final : public LineInput {
public:
    explicit TerminalInput(std::string historyPath) : historyPath_(std::move(historyPath)) {
        // Characters beyond ASCII are read and shown as the user's locale says.
        std::setlocale(LC_CTYPE, "");
        history_ = history_init();
        HistEvent event;
        history(history_, &event, H_SETSIZE, kHistoryEntries);
        history(history_, &event, H_SETUNIQUE, 1);
        if (!historyPath_.empty()) history(history_, &event, H_LOAD, historyPath_.c_str());
        editor_ = el_init("zarn", stdin, stdout, stderr);
        if (editor_ == nullptr) return;
        el_set(editor_, EL_CLIENTDATA, this);
        el_set(editor_, EL_EDITOR, "emacs");
        el_set(editor_, EL_PROMPT, &TerminalInput::prompt);
        el_set(editor_, EL_HIST, history, history_);
        el_set(editor_, EL_GETCFN, &TerminalInput::readCharacter);
    }
    ~TerminalInput() override {
        if (editor_ != nullptr) el_end(editor_);
        history_end(history_);
    }
    bool ready() const { return editor_ != nullptr; }
    TerminalInput(const TerminalInput&) = delete;
    TerminalInput& operator=(const TerminalInput&) = delete;

    LineStatus readLine(bool continuation, std::string& line) override {
        line.clear();
        prompt_ = continuation ? kContinuationPrompt : kPrompt;
        interrupted_ = false;
        int count = 0;
        const char* text = el_gets(editor_, &count);
        if (interrupted_) {
            // What was typed stays on the screen; the next prompt starts below it.
            std::fputs("\n", stdout);
            std::fflush(stdout);
            return LineStatus::Interrupted;
        }
        if (text == nullptr || count <= 0) {
            std::fputs("\n", stdout);
            std::fflush(stdout);
            return LineStatus::End;
        }
        line.assign(text, static_cast<size_t>(count));
        if (!line.empty() && line.back() == '\n') line.pop_back();
        remember(line);
        return LineStatus::Line;
    }

private:
    static char* prompt(EditLine* editor) {
        TerminalInput* self = nullptr;
        el_get(editor, EL_CLIENTDATA, &self);
        return const_cast<char*>(self->prompt_);
    }

    // Reads one character for libedit. Ctrl+C ends the line being edited,
    // whether it arrives as a signal or, with signals off, as a key.
    static int readCharacter(EditLine* editor, wchar_t* character) {
        TerminalInput* self = nullptr;
        el_get(editor, EL_CLIENTDATA, &self);
        std::mbstate_t state{};
        char byte = 0;
        for (;;) {
            switch (self->input_.next(byte)) {
            case ByteStatus::Interrupted: self->interrupted_ = true; return -1;
            case ByteStatus::End: return 0;
            case ByteStatus::Byte: break;
            }
            if (byte == '\x03') {
                self->interrupted_ = true;
                return -1;
            }
            size_t used = std::mbrtowc(character, &byte, 1, &state);
            if (used == static_cast<size_t>(-2)) continue; // more bytes of one character
            if (used == static_cast<size_t>(-1)) {
                // Not a character of the locale: taken as the byte it is.
                *character = static_cast<unsigned char>(byte);
            }
            return 1;
        }
    }

    // Adds a line to the history and writes the history file anew: to a
    // temporary file first, so that a failed write never leaves it cut short.
    void remember(const std::string& line) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) return;
        HistEvent event;
        history(history_, &event, H_ENTER, line.c_str());
        if (historyPath_.empty()) return;
        std::string temporary = historyPath_ + ".tmp" + std::to_string(::getpid());
        FILE* file = std::fopen(temporary.c_str(), "w");
        if (file == nullptr) return;
        // What was typed may hold secrets: the file is the user's alone.
        bool written = ::fchmod(::fileno(file), S_IRUSR | S_IWUSR) == 0 &&
                       history(history_, &event, H_SAVE_FP, file) >= 0;
        written = std::fclose(file) == 0 && written;
        if (!written || std::rename(temporary.c_str(), historyPath_.c_str()) != 0)
            std::remove(temporary.c_str());
    }

    ByteReader input_;
    std::string historyPath_;
    History* history_ = nullptr;
    EditLine* editor_ = nullptr;
    const char* prompt_ = kPrompt;
    bool interrupted_ = false;
};

} // namespace

bool standardStreamsAreTerminals() {
    return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1;
}

std::unique_ptr<LineInput> openTerminalInput(const std::string& historyPath) {
    auto terminal = std::make_unique<TerminalInput>(historyPath);
    if (!terminal->ready()) return nullptr;
    return terminal;
}

std::unique_ptr<LineInput> openStreamInput() { return std::make_unique<StreamInput>(); }

} // namespace zarn
