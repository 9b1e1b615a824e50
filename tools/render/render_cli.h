#pragma once
// lumivane-render: one frame of the clock composed from a picture of the desktop,
// exactly as the clock window composes it. The program's main only forwards to
// RunRenderCli, so the tests drive the same code.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "core/clock/clock_state.h"
#include "core/error.h"
#include "tools/render/image_io.h"

namespace lumivane {

// Bad arguments: the tool exits with kExitUsage and the message.
class UsageError : public Error {
  public:
    using Error::Error;
};

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1; // the output could not be written, or no memory
constexpr int kExitUsage = 2;   // bad arguments or unreadable input

// The largest clock the tool draws: the height of an 8K display. Keeps a stray
// --screen or --size from asking for gigabytes of tables.
constexpr int32_t kMaxRenderDiameter = 4320;

struct TimeOfDay {
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
};

struct RenderOptions {
    std::string background;
    std::string output;
    TimeOfDay time;
    std::optional<Display> screen; // the desktop picture's size when absent
    std::optional<int32_t> left;   // centred horizontally when absent
    std::optional<int32_t> top;    // 0 when absent
    // The first-start defaults when absent. Values outside the settings window's
    // ranges are taken as they are, like values read from the registry.
    std::optional<int32_t> size;
    std::optional<int32_t> bright;
    std::optional<int32_t> contrast;
    std::optional<int32_t> algoritm;
    std::string label; // none when empty
    int32_t frames = 1;
    bool help = false;
};

// Parses the arguments after the program name; throws UsageError.
RenderOptions ParseRenderArguments(const std::vector<std::string>& arguments);

std::string RenderHelpText();

// Where the window sits on the desktop and how large the clock is.
struct ClockPlacement {
    int32_t diameter = 0;
    int32_t left = 0;
    int32_t top = 0;
};

// Throws UsageError when the settings give no picture or one larger than
// kMaxRenderDiameter.
ClockPlacement PlaceClock(const RenderOptions& options, Display screen);

// The FrameBuffer after options.frames frames over `desktop`, Diameter x Diameter.
RgbImage RenderClock(const RgbImage& desktop, const RenderOptions& options);

// The whole tool: arguments after the program name; returns the exit code.
int RunRenderCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace lumivane
