// The host modules: random, time, gc, os, process and filesystem. Members
// never raise script errors: a missing argument selects the member's default
// and a failed host call gives its fallback value.
#include "zarn/stdlib/SystemModules.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "zarn/runtime/NativeApi.h"
#include "zarn/stdlib/Calendar.h"
#include "zarn/stdlib/Platform.h"
#include "zarn/stdlib/RandomEngines.h"

namespace zarn::stdlib {
namespace {

// The engines are shared by the whole process, like the random device they
// are seeded from: a second `use random` continues the same sequences.
RandomEngines& processRandomEngines() {
    static RandomEngines engines;
    return engines;
}

// The process exit status for a status a script asked for: 0 to 255 as
// given, anything else 255 (taking the low byte could turn a failure into 0).
int exitStatusFor(int64_t requested) {
    return requested >= 0 && requested <= 255 ? static_cast<int>(requested) : 255;
}

// Wrapping subtraction: a script may pass any start value.
int64_t millisSince(int64_t start) {
    return static_cast<int64_t>(static_cast<uint64_t>(monotonicMillis()) -
                                static_cast<uint64_t>(start));
}

void addCalendarField(Interpreter& interp, ClassInstanceObject* module, std::string_view name,
                      CalendarField field) {
    addMember(interp, module, name, [field](Interpreter&, const NativeArgs& args) {
        return Value::fromInt(calendarField(args.intAt(0), field));
    });
}

} // namespace

void initRandomModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "random");
    addMember(interp, module, "nextInt", [](Interpreter&, const NativeArgs& args) {
        return Value::fromInt(processRandomEngines().nextInt(args.intAt(0, 0), args.intAt(1, 100)));
    });
    addMember(interp, module, "nextFloat", [](Interpreter&, const NativeArgs&) {
        return Value::fromFloat(processRandomEngines().nextFloat());
    });
}

void initTimeModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "time");
    addMember(interp, module, "now", [](Interpreter&, const NativeArgs&) {
        return Value::fromInt(wallClockUnits() / 10000);
    });
    addMember(interp, module, "nowSeconds", [](Interpreter&, const NativeArgs&) {
        return Value::fromInt(wallClockUnits() / 10000000);
    });
    addMember(interp, module, "nowMicro", [](Interpreter&, const NativeArgs&) {
        return Value::fromInt(wallClockUnits() / 10);
    });
    addMember(interp, module, "nowNano", [](Interpreter&, const NativeArgs&) {
        return Value::fromInt(wallClockUnits() * 100);
    });
    addMember(interp, module, "ticks",
              [](Interpreter&, const NativeArgs&) { return Value::fromInt(monotonicMillis()); });
    addMember(interp, module, "elapsed", [](Interpreter&, const NativeArgs& args) {
        return Value::fromInt(millisSince(args.intAt(0)));
    });
    addMember(interp, module, "format", [](Interpreter& in, const NativeArgs& args) {
        return makeString(in, formatLocalTime(args.intAt(0), args.stringAt(1)));
    });
    addMember(interp, module, "iso", [](Interpreter& in, const NativeArgs&) {
        return makeString(in, formatUtcNow("%Y-%m-%dT%H:%M:%SZ"));
    });
    addMember(interp, module, "localString", [](Interpreter& in, const NativeArgs&) {
        return makeString(in, formatLocalTime(0, "%a %b %d %H:%M:%S %Y"));
    });
    addCalendarField(interp, module, "year", CalendarField::Year);
    addCalendarField(interp, module, "month", CalendarField::Month);
    addCalendarField(interp, module, "day", CalendarField::Day);
    addCalendarField(interp, module, "hour", CalendarField::Hour);
    addCalendarField(interp, module, "minute", CalendarField::Minute);
    addCalendarField(interp, module, "second", CalendarField::Second);
    addCalendarField(interp, module, "dayOfWeek", CalendarField::DayOfWeek);
    addCalendarField(interp, module, "dayOfYear", CalendarField::DayOfYear);
    addMember(interp, module, "date", [](Interpreter&, const NativeArgs& args) {
        return Value::fromInt(localDateToTimestamp(args.intAt(0, 1970), args.intAt(1, 1),
                                                   args.intAt(2, 1), args.intAt(3, 0),
                                                   args.intAt(4, 0), args.intAt(5, 0)));
    });
    addMember(interp, module, "isLeapYear", [](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(isLeapYear(args.intAt(0, 0)));
    });
    addMember(interp, module, "daysInMonth", [](Interpreter&, const NativeArgs& args) {
        if (args.size() < 2) return Value::fromInt(31);
        return Value::fromInt(daysInMonth(args.intAt(0), args.intAt(1)));
    });
    addMember(interp, module, "timeZoneOffset", [](Interpreter&, const NativeArgs&) {
        return Value::fromInt(timeZoneOffsetMinutes());
    });
    addMember(interp, module, "sleep", [](Interpreter&, const NativeArgs& args) {
        platform::sleepMilliseconds(args.intAt(0, 0));
        return Value();
    });
    addMember(interp, module, "sleepSeconds", [](Interpreter&, const NativeArgs& args) {
        double millis = args.floatAt(0, 0.0) * 1000.0;
        // Truncated; NaN, negative and out-of-range values are no valid wait.
        if (millis >= 1.0 && millis < 9.2e18)
            platform::sleepMilliseconds(static_cast<int64_t>(millis));
        return Value();
    });
    addMember(interp, module, "measure", [](Interpreter& in, const NativeArgs& args) {
        if (!args.has(0)) return Value::fromInt(0);
        int64_t start = monotonicMillis();
        callValue(in, args[0], {}, args.location());
        return Value::fromInt(millisSince(start));
    });
}

void initGcModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "gc");
    addMember(interp, module, "collect", [](Interpreter& in, const NativeArgs&) {
        return Value::fromInt(static_cast<int64_t>(collector(in).collect()));
    });
    addMember(interp, module, "allocatedBytes", [](Interpreter& in, const NativeArgs&) {
        return Value::fromInt(static_cast<int64_t>(collector(in).bytesAllocated()));
    });
    addMember(interp, module, "objectCount", [](Interpreter& in, const NativeArgs&) {
        return Value::fromInt(static_cast<int64_t>(collector(in).objectCount()));
    });
}

void initOsModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "os");
    addMember(interp, module, "name", [](Interpreter& in, const NativeArgs&) {
        return makeString(in, std::string(platform::systemName()));
    });
    addMember(interp, module, "architecture", [](Interpreter& in, const NativeArgs&) {
        return makeString(in, std::string(platform::machineArchitecture()));
    });
    addMember(interp, module, "hostname", [](Interpreter& in, const NativeArgs&) {
        return makeString(in, platform::hostName());
    });
    addMember(interp, module, "currentDirectory", [](Interpreter& in, const NativeArgs&) {
        return makeString(in, platform::currentDirectory());
    });
    addMember(interp, module, "homeDirectory", [](Interpreter& in, const NativeArgs&) {
        return makeString(in, platform::homeDirectory());
    });
    addMember(interp, module, "getEnv", [](Interpreter& in, const NativeArgs& args) {
        if (!args[0].isString()) return makeString(in, std::string());
        return makeString(in,
                          platform::environmentVariable(args.stringAt(0)).value_or(std::string{}));
    });
    addMember(interp, module, "setEnv", [](Interpreter&, const NativeArgs& args) {
        if (args[0].isString() && args[1].isString()) {
            platform::setEnvironmentVariable(args.stringAt(0), args.stringAt(1));
        }
        return Value();
    });
}

void initProcessModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "process");
    addMember(interp, module, "execute", [](Interpreter&, const NativeArgs& args) {
        if (!args[0].isString()) return Value::fromInt(-1);
        flushStandardStreams();
        return Value::fromInt(platform::runShellCommand(args.stringAt(0)));
    });
    addMember(interp, module, "spawn", [](Interpreter&, const NativeArgs& args) {
        if (!args[0].isString()) return Value::fromInt(-1);
        flushStandardStreams();
        return Value::fromInt(platform::spawnShellCommand(args.stringAt(0)));
    });
    addMember(interp, module, "exit", [](Interpreter&, const NativeArgs& args) -> Value {
        int status = exitStatusFor(args[0].isInt() ? args[0].toInt() : 0);
        // Output that could not be written makes a successful exit a failure.
        if (!flushStandardStreams() && status == 0) status = 1;
        std::exit(status);
    });
    addMember(interp, module, "pid", [](Interpreter&, const NativeArgs&) {
        return Value::fromInt(platform::currentProcessId());
    });
    addMember(interp, module, "arguments", [](Interpreter& in, const NativeArgs&) {
        return makeStringArray(in, scriptArguments(in));
    });
}

void initFilesystemModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "filesystem");
    addMember(interp, module, "readFile", [](Interpreter& in, const NativeArgs& args) {
        if (!args.has(0)) return makeString(in, std::string());
        return makeString(in, platform::readWholeFile(args.stringAt(0)).value_or(std::string{}));
    });
    addMember(interp, module, "writeFile", [](Interpreter&, const NativeArgs& args) {
        if (args.size() < 2) return Value::fromBool(false);
        return Value::fromBool(platform::writeWholeFile(args.stringAt(0), args.stringAt(1)));
    });
    addMember(interp, module, "fileExists", [](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(args.has(0) && platform::canOpenForReading(args.stringAt(0)));
    });
}

// Output already written by the script must reach its destination before a
// child process writes to the same place or the process ends.
bool flushStandardStreams() {
    std::cout.flush();
    bool written = std::fflush(stdout) == 0 && !std::ferror(stdout) && !std::cout.fail();
    std::fflush(nullptr);
    return written;
}

void registerSystemModules(NativeModuleTable& table) {
    table.add("random", initRandomModule);
    table.add("time", initTimeModule);
    table.add("gc", initGcModule);
    table.add("os", initOsModule);
    table.add("process", initProcessModule);
    table.add("filesystem", initFilesystemModule);
    table.add("url", initUrlModule);
}

} // namespace zarn::stdlib
