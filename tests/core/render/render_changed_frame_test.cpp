// RenderChangedFrame draws only what can have changed since its last frame. Over
// sequences of frames (the hands moving, the background changing in patches, pixels
// written by the window, size and settings changing) its frames must equal whole frames
// pixel for pixel, and the parts it reports must hold every pixel that changed.
#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/render/render.h"
#include "tests/core/render/render_fixture.h"

using namespace lumivane;
using namespace lumivane::testing_support;

namespace {

// Fills part of a buffer with noise, so that no pass profits from repeated colours.
void Scribble(TDIB& buffer, Rect part, uint32_t seed) {
    for (int32_t y = std::max(part.top, 0); y < std::min(part.bottom, buffer.Height()); ++y) {
        for (int32_t x = std::max(part.left, 0); x < std::min(part.right, buffer.Width()); ++x) {
            seed = seed * 1664525u + 1013904223u;
            SetPixel(buffer, x, y,
                     {static_cast<int32_t>(seed >> 24), static_cast<int32_t>(seed >> 16 & 0xFF),
                      static_cast<int32_t>(seed >> 8 & 0xFF)});
        }
    }
}

void Resize(ClockState& state, int32_t diameter) {
    state.Size = diameter;
    RecomputeGeometry(state, diameter + 1);
    for (TDIB* buffer : {state.FrameBuffer.get(), state.BackgroundBuffer.get()}) {
        buffer->SetSize(diameter, diameter);
        Fill(*buffer, {0, 0, 0});
    }
    Scribble(*state.BackgroundBuffer, {0, 0, diameter, diameter}, 99);
}

struct Step {
    std::string what;
    std::function<void(ClockState&)> change;
    bool pointer = false; // the window blackened the pixel under the pointer
    bool quiet = false;   // the platform knows that nothing beneath changed
};

bool Inside(std::span<const Rect> parts, int32_t x, int32_t y) {
    for (const Rect& part : parts) {
        if (x >= part.left && x < part.right && y >= part.top && y < part.bottom) {
            return true;
        }
    }
    return false;
}

int64_t AreaOf(std::span<const Rect> parts) {
    int64_t area = 0;
    for (const Rect& part : parts) {
        area += int64_t{part.right - part.left} * (part.bottom - part.top);
    }
    return area;
}

void Tick(ClockState& state) {
    state.Second = static_cast<uint16_t>((state.Second + 1) % 60);
}

const std::vector<Step> kSteps = {
    {"first frame", [](ClockState&) {}},
    {"nothing changed", [](ClockState&) {}},
    {"second hand", Tick},
    {"second hand, nothing beneath changed", Tick, false, true},
    {"background patch",
     [](ClockState& s) {
         const int32_t c = s.Diameter / 2;
         Scribble(*s.BackgroundBuffer, {c - 20, c + 10, c + 12, c + 17}, 1);
     }},
    {"pointer pixel", Tick, true},
    {"patch across the rim",
     [](ClockState& s) {
         Scribble(*s.BackgroundBuffer, {0, s.Diameter / 2 - 3, 12, s.Diameter / 2 + 40}, 2);
     }},
    {"new minute",
     [](ClockState& s) {
         s.Minute = static_cast<uint16_t>((s.Minute + 1) % 60);
         Tick(s);
     }},
    {"new hour", [](ClockState& s) { s.Hour = static_cast<uint16_t>((s.Hour + 1) % 24); }, false,
     true},
    {"pixel between hands", [](ClockState&) {}, true, true},
    {"brightness",
     [](ClockState& s) {
         s.Bright = 47;
         s.BrightFactor = s.Bright / 30.0L;
         RecomputeShading(s);
     }},
    {"contrast",
     [](ClockState& s) {
         s.Contrast = 13;
         s.ContrastFactor = s.Contrast / 30.0L;
         RecomputeShading(s);
     }},
    {"hand style", [](ClockState& s) { s.Algoritm = 3; }},
    {"label", [](ClockState& s) { s.Label = "Zürich +1"; }},
    {"second hand over the label", Tick},
    {"another label", [](ClockState& s) { s.Label = "UTC"; }},
    {"second hand again", Tick},
    {"whole background",
     [](ClockState& s) {
         Scribble(*s.BackgroundBuffer, {0, 0, 9999, 9999}, 3);
     }},
    {"smaller clock", [](ClockState& s) { Resize(s, 37); }},
    {"second hand on the small clock", Tick},
    // Beads light pixels off its dome there, which no frame resets: each lights them again.
    {"nothing changed on the small clock", [](ClockState&) {}},
    {"patch on the small clock",
     [](ClockState& s) {
         Scribble(*s.BackgroundBuffer, {3, 3, 20, 9}, 4);
     }},
    {"larger clock", [](ClockState& s) { Resize(s, 160); }},
    {"a minute of seconds",
     [](ClockState& s) {
         s.Minute = static_cast<uint16_t>((s.Minute + 7) % 60);
         s.Second = 0;
     }},
};

void ExpectChangedFramesAreWholeFrames(int32_t diameter) {
    ClockState changed = MakeClock(diameter);
    ClockState whole = MakeClock(diameter);
    for (ClockState* state : {&changed, &whole}) {
        Scribble(*state->BackgroundBuffer, {0, 0, diameter, diameter}, 7);
        state->Hour = 10;
        state->Minute = 10;
        state->Second = 30;
    }
    for (const Step& step : kSteps) {
        SCOPED_TRACE(step.what + " at Diameter " + std::to_string(diameter));
        step.change(changed);
        step.change(whole);
        if (step.pointer) {
            const int32_t x = changed.Diameter / 2 + 3;
            const int32_t y = changed.Diameter / 2 - 11;
            for (ClockState* state : {&changed, &whole}) {
                state->FrameBuffer->PutPixel(x, y, 0);
            }
            NoteFrameWritten(changed, {x, y, x + 1, y + 1});
        }
        ClockState before = MakeClock(changed.FrameBuffer->Width());
        CopyPicture(*changed.FrameBuffer, *before.FrameBuffer);

        const std::span<const Rect> drawn = RenderChangedFrame(changed, !step.quiet);
        RenderFrame(whole);

        ASSERT_TRUE(SamePicture(*changed.FrameBuffer, *whole.FrameBuffer));
        TDIB& frame = *changed.FrameBuffer;
        for (int32_t y = 0; y < frame.Height(); ++y) {
            for (int32_t x = 0; x < frame.Width(); ++x) {
                if (!(PixelAt(frame, x, y) == PixelAt(*before.FrameBuffer, x, y))) {
                    ASSERT_TRUE(Inside(drawn, x, y)) << x << ", " << y;
                }
            }
        }
        const int64_t frameArea = int64_t{frame.Width()} * frame.Height();
        if (step.what == "nothing changed") {
            EXPECT_EQ(AreaOf(drawn), 0);
        }
        if (step.what == "second hand" || step.what == "background patch") {
            EXPECT_GT(AreaOf(drawn), 0);
            EXPECT_LT(AreaOf(drawn), frameArea / 2);
        }
    }
}

} // namespace

TEST(RenderChangedFrame, EqualsWholeFramesOverASequenceOfChanges) {
    for (int32_t diameter : {95, 286}) {
        ExpectChangedFramesAreWholeFrames(diameter);
    }
}

TEST(RenderChangedFrame, DrawsWholeAfterAWholeFrameOrTooManyNotes) {
    ClockState state = MakeClock(120);
    Scribble(*state.BackgroundBuffer, {0, 0, 120, 120}, 5);
    const Rect all{0, 0, 120, 120};
    EXPECT_EQ(AreaOf(RenderChangedFrame(state)), AreaOf({&all, 1}));
    EXPECT_EQ(AreaOf(RenderChangedFrame(state)), 0);
    RenderFrame(state);
    EXPECT_EQ(AreaOf(RenderChangedFrame(state)), AreaOf({&all, 1}));
    for (int32_t i = 0; i < 100; ++i) {
        NoteFrameWritten(state, {i, i, i + 1, i + 1});
    }
    EXPECT_EQ(AreaOf(RenderChangedFrame(state)), AreaOf({&all, 1}));
}

TEST(CopyShowsFrame, TellsACopyThatStillHoldsTheClockFromTheDesktop) {
    ClockState state = MakeClock(120);
    Scribble(*state.BackgroundBuffer, {0, 0, 120, 120}, 5);
    RenderChangedFrame(state);
    EXPECT_FALSE(CopyShowsFrame(state)); // the desktop as it was
    Scribble(*state.BackgroundBuffer, {0, 0, 120, 120}, 6);
    EXPECT_FALSE(CopyShowsFrame(state)); // another desktop

    // The clock's own frame where a window beneath has not repainted yet.
    TDIB& copy = *state.BackgroundBuffer;
    for (int32_t y = 40; y < 80; ++y) {
        for (int32_t x = 30; x < 90; ++x) {
            SetPixel(copy, x, y, PixelAt(*state.FrameBuffer, x, y));
        }
    }
    EXPECT_TRUE(CopyShowsFrame(state));
}
