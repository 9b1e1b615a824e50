#include "tools/render/render_cli.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <new>
#include <ostream>
#include <set>
#include <string_view>

#include "core/render/render.h"

namespace lumivane {

namespace {

constexpr std::string_view kToolName = "lumivane-render";

constexpr std::string_view kOptionsWithValue[] = {
    "--background", "--time",   "--output",   "--screen",   "--left",   "--top",
    "--size",       "--bright", "--contrast", "--algoritm", "--frames", "--label"};

bool TakesValue(const std::string& name) {
    return std::find(std::begin(kOptionsWithValue), std::end(kOptionsWithValue), name) !=
           std::end(kOptionsWithValue);
}

// A whole decimal integer with an optional minus sign, within 32 bits.
std::optional<int32_t> ParseInt32(std::string_view text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

int32_t IntegerOption(const std::string& name, const std::string& value) {
    const std::optional<int32_t> number = ParseInt32(value);
    if (!number) {
        throw UsageError("bad number '" + value + "' for " + name);
    }
    return *number;
}

// One field of HH:MM:SS: one or two digits, at most `highest`.
std::optional<uint16_t> TimeField(std::string_view text, int32_t highest) {
    if (text.empty() || text.size() > 2 || text.front() == '-') {
        return std::nullopt;
    }
    const std::optional<int32_t> value = ParseInt32(text);
    if (!value || *value > highest) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(*value);
}

TimeOfDay ParseTime(const std::string& value) {
    const size_t first = value.find(':');
    const size_t second = first == std::string::npos ? first : value.find(':', first + 1);
    std::optional<uint16_t> hour, minute, secondOfMinute;
    if (second != std::string::npos) {
        const std::string_view text(value);
        hour = TimeField(text.substr(0, first), 23);
        minute = TimeField(text.substr(first + 1, second - first - 1), 59);
        secondOfMinute = TimeField(text.substr(second + 1), 59);
    }
    if (!hour || !minute || !secondOfMinute) {
        throw UsageError("bad time '" + value + "' (use HH:MM:SS, 00:00:00 to 23:59:59)");
    }
    return TimeOfDay{*hour, *minute, *secondOfMinute};
}

Display ParseScreen(const std::string& value) {
    const size_t cross = value.find_first_of("xX");
    std::optional<int32_t> width, height;
    if (cross != std::string::npos) {
        const std::string_view text(value);
        width = ParseInt32(text.substr(0, cross));
        height = ParseInt32(text.substr(cross + 1));
    }
    if (!width || !height || *width < 1 || *height < 1) {
        throw UsageError("bad screen size '" + value + "' (use WxH, for example 1366x768)");
    }
    return Display{*width, *height};
}

void ApplySettings(const RenderOptions& options, ClockState& state) {
    state.Size = options.size.value_or(state.Size);
    state.Bright = options.bright.value_or(state.Bright);
    state.Contrast = options.contrast.value_or(state.Contrast);
    state.Algoritm = options.algoritm.value_or(state.Algoritm);
    state.Label = options.label;
}

// The settings of a first start, with the options laid over them.
void StartState(const RenderOptions& options, Display screen, ClockState& state) {
    ApplyFirstStartDefaults(state, screen);
    ApplySettings(options, state);
}

// The screen copy: the window's area of the desktop, black where it lies outside.
void CopyScreenArea(const RgbImage& desktop, const ClockPlacement& placement, TDIB& background) {
    for (int32_t y = 0; y < placement.diameter; ++y) {
        uint8_t* to = background.ScanLine(y);
        const int64_t sourceY = int64_t{placement.top} + y;
        for (int32_t x = 0; x < placement.diameter; ++x, to += 3) {
            const int64_t sourceX = int64_t{placement.left} + x;
            if (sourceX < 0 || sourceY < 0 || sourceX >= desktop.width ||
                sourceY >= desktop.height) {
                to[0] = to[1] = to[2] = 0;
                continue;
            }
            const uint8_t* from =
                desktop.At(static_cast<int32_t>(sourceX), static_cast<int32_t>(sourceY));
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
}

std::unique_ptr<TDIB> MakeBuffer() {
    return std::make_unique<TDIB>();
}

// The tool promises one line per failure, whatever a file name holds.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

void CheckImagePath(const std::string& path) {
    try {
        RequireSupportedFormat(path);
    } catch (const Error& error) {
        throw UsageError(error.what());
    }
}

} // namespace

RenderOptions ParseRenderArguments(const std::vector<std::string>& arguments) {
    RenderOptions options;
    std::set<std::string> seen;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (!TakesValue(name)) {
            throw UsageError("unknown option '" + name + "' (see --help)");
        }
        if (!seen.insert(name).second) {
            throw UsageError("option " + name + " given twice");
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].empty() ||
            arguments[i + 1].starts_with("--")) {
            throw UsageError("option " + name + " needs a value");
        }
        const std::string& value = arguments[++i];
        if (name == "--background") {
            options.background = value;
        } else if (name == "--output") {
            options.output = value;
        } else if (name == "--time") {
            options.time = ParseTime(value);
        } else if (name == "--screen") {
            options.screen = ParseScreen(value);
        } else if (name == "--left") {
            options.left = IntegerOption(name, value);
        } else if (name == "--top") {
            options.top = IntegerOption(name, value);
        } else if (name == "--size") {
            options.size = IntegerOption(name, value);
        } else if (name == "--bright") {
            options.bright = IntegerOption(name, value);
        } else if (name == "--contrast") {
            options.contrast = IntegerOption(name, value);
        } else if (name == "--algoritm") {
            options.algoritm = IntegerOption(name, value);
        } else if (name == "--label") {
            options.label = value;
        } else if (name == "--frames") {
            options.frames = IntegerOption(name, value);
            if (options.frames < 1) {
                throw UsageError("--frames needs at least 1 frame, not " + value);
            }
        }
    }
    if (options.help) {
        return options;
    }
    for (const char* required : {"--background", "--time", "--output"}) {
        if (!seen.contains(required)) {
            throw UsageError(std::string("missing required option ") + required + " (see --help)");
        }
    }
    return options;
}

std::string RenderHelpText() {
    std::string text =
        "Usage: lumivane-render --background IN --time HH:MM:SS --output OUT\n"
        "                       [--screen WxH] [--left X] [--top Y]\n"
        "                       [--size N] [--bright B] [--contrast C] [--algoritm A]\n"
        "                       [--label TEXT] [--frames N]\n"
        "\n"
        "Composes one frame of the Lumivane clock from IN, a picture of the whole\n"
        "desktop, as the clock window does, and writes the frame (Diameter x Diameter\n"
        "pixels; black is the window's transparent colour) to OUT. IN and OUT are\n"
        "binary PPM (.ppm) or PNG (.png) files, by extension.\n"
        "\n"
        "  --background IN    the picture of the whole desktop\n"
        "  --time HH:MM:SS    the time the hands show, 00:00:00 to 23:59:59\n"
        "  --output OUT       where the frame is written\n"
        "  --screen WxH       the primary display's size (default: IN's size);\n"
        "                     the clock's diameter follows its height\n"
        "  --left X, --top Y  the window's top-left corner on the desktop (default:\n"
        "                     centred horizontally for the clock's diameter, top 0);\n"
        "                     the parts of the window outside IN copy black\n"
        "  --size N           clock size, default 19 (the settings window: 5 to 50)\n"
        "  --bright B         brightness, default 30 (0 to 30)\n"
        "  --contrast C       contrast, default 6 (0 to 15)\n"
        "  --algoritm A       hand style, default 0 (0 to 5)\n"
        "  --label TEXT       the clock's label, lit below the hub (UTF-8; its first 12\n"
        "                     characters, as capitals A-Z, digits and + - : . /)\n"
        "  --frames N         draw N frames in a row from the same copy (for timing)\n"
        "\n"
        "Settings outside those ranges are drawn as the clock draws such values read\n"
        "from the registry. A clock whose diameter comes out below 1 pixel (a size of\n"
        "0 or less, or a display 25 pixels high or less) gives no picture and is refused,\n"
        "as is one larger than 4320 pixels.\n"
        "\n"
        "Exit status: 0 done; 1 the output could not be written; 2 bad arguments or\n"
        "unreadable input (with a one-line message).\n";
    if (!PngSupported()) {
        text += "This build reads and writes PPM only.\n";
    }
    return text;
}

ClockPlacement PlaceClock(const RenderOptions& options, Display screen) {
    ClockState state;
    StartState(options, screen, state);
    ClockPlacement placement;
    placement.diameter = DiameterFor(state.Size, ScreenScaleFor(screen.height), screen.height);
    if (placement.diameter < 1) {
        throw UsageError("clock size " + std::to_string(state.Size) +
                         " gives no picture with a display height of " +
                         std::to_string(screen.height));
    }
    if (placement.diameter > kMaxRenderDiameter) {
        throw UsageError("clock diameter " + std::to_string(placement.diameter) +
                         " is larger than the " + std::to_string(kMaxRenderDiameter) +
                         " pixels this tool draws");
    }
    placement.left = options.left.value_or(
        static_cast<int32_t>(RoundQuotient(int64_t{screen.width} - placement.diameter, 2)));
    placement.top = options.top.value_or(0);
    return placement;
}

RgbImage RenderClock(const RgbImage& desktop, const RenderOptions& options) {
    const Display screen = options.screen.value_or(Display{desktop.width, desktop.height});
    const ClockPlacement placement = PlaceClock(options, screen);

    ClockState state;
    StartState(options, screen, state);
    state.SavedLeft = placement.left;
    state.SavedTop = placement.top;
    DeriveStartupState(state, screen, &MakeBuffer);

    CopyScreenArea(desktop, placement, *state.BackgroundBuffer);
    for (int32_t frame = 0; frame < options.frames; ++frame) {
        state.Hour = options.time.hour;
        state.Minute = options.time.minute;
        state.Second = options.time.second;
        RenderFrame(state);
    }
    return ImageFromTDIB(*state.FrameBuffer);
}

int RunRenderCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    const auto report = [&err](const std::string& message, int code) {
        err << kToolName << ": " << OneLine(message) << '\n';
        return code;
    };
    try {
        const RenderOptions options = ParseRenderArguments(arguments);
        if (options.help) {
            out << RenderHelpText();
            return kExitSuccess;
        }
        CheckImagePath(options.background);
        CheckImagePath(options.output);
        RgbImage desktop;
        try {
            desktop = ReadImage(options.background);
        } catch (const Error& error) {
            throw UsageError(error.what());
        }
        const RgbImage frame = RenderClock(desktop, options);
        WriteImage(options.output, frame);
        return kExitSuccess;
    } catch (const UsageError& error) {
        return report(error.what(), kExitUsage);
    } catch (const std::bad_alloc&) {
        return report("out of memory", kExitFailure);
    } catch (const std::exception& error) {
        return report(error.what(), kExitFailure);
    }
}

} // namespace lumivane
