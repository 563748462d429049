#include "zarn/driver/Driver.h"

#include "zarn/diagnostics/Assert.h"
#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/driver/FormatCommand.h"
#include "zarn/driver/HostProcess.h"
#include "zarn/driver/TestRunner.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/ModuleResolver.h"
#include "zarn/frontend/Parser.h"
#include "zarn/lsp/LspCommand.h"
#include "zarn/repl/Repl.h"
#include "zarn/runtime/Interpreter.h"
#include "zarn/runtime/ProcessExit.h"
#include "zarn/stdlib/MathModule.h"
#include "zarn/stdlib/NetScript.h"
#include "zarn/stdlib/SystemModules.h"
#include "zarn/tavi/TaviModule.h"
#include "zarn/tools/Formatter.h"
#include "zarn/typecheck/TypeChecker.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string_view>

namespace zarn {

namespace {

constexpr const char* kVersionText = "Zarn Compiler & Runtime Toolchain v1.0.0\n"
                                     "Language: Zarn (Explicitly Typed General-Purpose Language)\n";

constexpr const char* kHelpText =
    "Usage: zarn <command> [arguments]\n\n"
    "Commands:\n"
    "  run <file.zarn>      Compile, type-check, and execute a Zarn source file\n"
    "  check <file.zarn>    Perform static type analysis and diagnostics without running\n"
    "  build <file.zarn>    Compile and verify program for production readiness\n"
    "  test [file/dir]      Run automated tests\n"
    "  format <file.zarn>   Format a Zarn source file\n"
    "  version              Display toolchain version and features\n"
    "  help                 Display this help menu\n\n"
    "Examples:\n"
    "  zarn run examples/hello.zarn\n"
    "  zarn run examples/counter_app.zarn\n"
    "  zarn check main.zarn\n"
    "  zarn test tests/\n";

// The stack of the thread that runs every command: the nesting limits of the
// parser, the checker and the interpreter (its call depth limit included, in
// every build) are far inside it, whatever stack size the process itself was
// given. Only the part a run uses is ever touched.
constexpr size_t kPipelineStackBytes = size_t{256} << 20;

// Prints every collected diagnostic: the end of a failed pipeline.
int fail(const DiagnosticEngine& engine) {
    engine.printAll(std::cout);
    return 1;
}

// The stages shared by the run and check pipelines, in order: read, lex,
// parse, type-check. Returns 0 with `program` set, or 1 after the failure has
// been reported. Each stage gets the same engine and the pipeline stops after
// the first stage that leaves an error in it.
int runStaticStages(const std::string& path, DiagnosticEngine& engine,
                    const std::shared_ptr<ModuleCache>& modules,
                    std::shared_ptr<Program>& program) {
    std::string source;
    // An unreadable path ends the pipeline here: the open error is printed.
    if (!readSourceFile(path, source)) return 1;

    // Only the diagnostics that can be printed are kept: a text full of
    // errors costs a counter for the rest.
    engine.setRetainLimit(DiagnosticEngine::kMaxPrintedDiagnostics);
    // Lexed and parsed in one pass (the source is registered with the engine
    // under the path); syntax errors are not reported after lexical ones.
    program = parseSource(std::move(source), path, engine, false);
    if (engine.hasErrors() || !program) return fail(engine);

    TypeChecker checker(engine);
    checker.setFile(path);
    checker.setModuleCache(modules);
    checker.declare(*program);
    checker.check(*program);
    if (engine.hasErrors()) return fail(engine);
    engine.setRetainLimit(DiagnosticEngine::kRetainAll);
    return 0;
}

// The native modules that `use` can load; "math" is also set up at start.
NativeModuleTable nativeModules() {
    NativeModuleTable modules;
    modules.add("math", stdlib::initMathModule);
    stdlib::registerSystemModules(modules);
    stdlib::registerNetworkModules(modules);
    modules.add("tavi", tavi::initTaviModule);
    return modules;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int missingFile(const char* command) {
    std::cerr << "Error: missing file argument for '" << command << "'. Usage: zarn " << command
              << " <file.zarn>\n";
    return 1;
}

int checkBeforeExit(const std::string& path);

int dispatch(int argc, char** argv) {
    if (argc < 2) {
        std::cout << kHelpText;
        return 0;
    }
    const std::string command = argv[1];
    if (command == "version" || command == "--version" || command == "-v") {
        std::cout << kVersionText;
        return 0;
    }
    if (command == "help" || command == "--help" || command == "-h") {
        std::cout << kHelpText;
        return 0;
    }
    if (command == "lsp") return lsp::runLanguageServer(formatSource);
    if (command == "run") {
        if (argc < 3) return missingFile("run");
        return runFile(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    if (command == "check") {
        if (argc < 3) return missingFile("check");
        return checkBeforeExit(argv[2]);
    }
    if (command == "build") {
        if (argc < 3) return missingFile("build");
        const std::string path = argv[2];
        int status = checkBeforeExit(path);
        if (status == 0)
            std::cout << "\u2713 Build complete: '" << path << "' verified successfully.\n";
        return status;
    }
    if (command == "repl") return runRepl(nativeModules());
    if (command == "test") return runTests(argc >= 3 ? argv[2] : "tests");
    if (command == "format") {
        std::vector<std::string> args(argv + 2, argv + argc);
        if (!hasFormatPath(args)) return missingFile("format");
        return runFormatCommand(args);
    }
    if (command.size() >= 6 && endsWith(command, ".zarn"))
        return runFile(command, std::vector<std::string>(argv + 2, argv + argc));
    std::cerr << "Error: unknown command '" << command
              << "'. Run 'zarn help' for available commands.\n";
    return 1;
}

} // namespace

bool readSourceFile(const std::string& path, std::string& content) {
    content.clear();
    auto openError = [&path](const char* reason) {
        std::cerr << "Error: could not open file '" << path << "'" << reason << "\n";
        return false;
    };
    std::error_code error;
    // Opening a directory may succeed on some systems; it is never a source.
    std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) return openError("");
    // A device or a pipe (/dev/zero, say) could be read without end, and
    // opening a pipe without a writer blocks: only regular files are sources.
    if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return openError(": not a regular file");
    if (std::filesystem::is_regular_file(status)) {
        std::uintmax_t size = std::filesystem::file_size(path, error);
        if (!error && size > kMaxSourceFileBytes)
            return openError(": larger than the 64 MiB limit for source files");
        // One allocation for the whole text rather than a doubling buffer.
        if (!error) content.reserve(static_cast<size_t>(size));
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return openError("");
    char buffer[1 << 16];
    // Read no more than the limit even when the file grows while it is read.
    while (content.size() <= kMaxSourceFileBytes &&
           (in.read(buffer, sizeof buffer) || in.gcount() > 0))
        content.append(buffer, static_cast<size_t>(in.gcount()));
    if (content.size() > kMaxSourceFileBytes) {
        content.clear();
        return openError(": larger than the 64 MiB limit for source files");
    }
    if (in.bad()) {
        content.clear();
        return openError("");
    }
    return true;
}

std::string readSourceFile(const std::string& path) {
    std::string content;
    readSourceFile(path, content);
    return content;
}

int runFile(const std::string& path, const std::vector<std::string>& scriptArgs) {
    DiagnosticEngine engine;
    // The checker and the interpreter share the module trees: each module file
    // is read and parsed once per run.
    auto sourceModules = std::make_shared<ModuleCache>(engine);
    std::shared_ptr<Program> program;
    if (int status = runStaticStages(path, engine, sourceModules, program); status != 0)
        return status;

    // A fresh interpreter per run (so per test file).
    Interpreter interpreter(engine, nativeModules());
    interpreter.setScriptPath(path);
    interpreter.setModuleCache(sourceModules);
    interpreter.setScriptArguments(scriptArgs);
    // ZARN_GC_STATS=1 reports what the collector did on standard error, for
    // measuring it; nothing is printed otherwise.
    const char* statsRequested = std::getenv("ZARN_GC_STATS");
    struct StatsReport {
        const GC& gc;
        bool wanted;
        ~StatsReport() {
            if (!wanted) return;
            const GcStats& stats = gc.stats();
            std::fprintf(stderr,
                         "gc: %zu collections, %.3f ms paused, longest %.3f ms, peak %zu bytes, "
                         "%zu bytes live at exit\n",
                         stats.collections, static_cast<double>(stats.totalPauseNanos) / 1e6,
                         static_cast<double>(stats.longestPauseNanos) / 1e6,
                         std::max(stats.peakBytes, gc.bytesAllocated()), gc.bytesAllocated());
        }
    } report{interpreter.gc(),
             statsRequested != nullptr && std::string_view(statsRequested) == "1"};
    try {
        interpreter.interpret(program);
    } catch (const ProcessExit& exit) {
        // The script ended the process: nothing more is printed, and a failed
        // write of standard output is checked where every command ends.
        return exit.status;
    }
    if (engine.hasErrors()) return fail(engine);
    return 0;
}

namespace {

// The check pipeline; `program` keeps the checked tree for the caller.
int checkInto(const std::string& path, std::shared_ptr<Program>& program) {
    DiagnosticEngine engine;
    auto sourceModules = std::make_shared<ModuleCache>(engine);
    if (int status = runStaticStages(path, engine, sourceModules, program); status != 0)
        return status;
    std::cout << "\u2713 Static check passed: 0 errors in '" << path << "'\n";
    return 0;
}

// The check pipeline of a command after which the process ends. A release
// build leaves the tree to the end of the process instead of freeing a large
// program's nodes one by one; Debug and sanitizer builds free it, so that
// their leak checks go on seeing every real leak.
int checkBeforeExit(const std::string& path) {
    std::shared_ptr<Program> program;
    int status = checkInto(path, program);
#if !ZARN_ASSERTIONS_LIVE && !defined(__SANITIZE_ADDRESS__)
    if (program) new std::shared_ptr<Program>(std::move(program));
#endif
    return status;
}

} // namespace

int checkFile(const std::string& path) {
    std::shared_ptr<Program> program;
    return checkInto(path, program);
}

int runCommandLine(int argc, char** argv) {
    int status = runWithStack(kPipelineStackBytes, [argc, argv]() {
        try {
            return dispatch(argc, argv);
        } catch (const std::exception& failure) {
            // Only a failure of the runtime support (memory exhaustion, say) gets here.
            std::cout.flush();
            std::cerr << "Error: " << failure.what() << "\n";
            return 1;
        }
    });
    // Output that never reached its destination is a failure, not a success.
    if (!stdlib::flushStandardStreams() && status == 0) {
        std::cerr << "Error: could not write to standard output\n";
        status = 1;
    }
    return status;
}

} // namespace zarn
