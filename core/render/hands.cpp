#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>

#include "core/render/light_block.h"
#include "core/render/render.h"
#include "core/render/render_detail.h"
#include "core/render/trig.h"

namespace lumivane {

namespace {

using detail::kPi;

// What distinguishes the three hands; everything else is one algorithm.
struct HandConstants {
    int32_t ClockState::*length;          // index of the last sample row
    HandSampleTable ClockState::*samples; // where the sample positions go
    uint16_t ClockState::*time;           // the time field that turns the hand
    bool twelveHour;                      // hours 12..23 count as 0..11
    bool followsMinute;                   // moves on with every minute as well
    long double turn;                     // angle = time x turn / steps (+ pi)
    long double steps;
    int32_t columns;
    long double acrossCentre; // column value on the hand's axis
    long double taperSpan;    // radians of the taper over the whole length
    int32_t profileDivisor;
    int32_t profileCentre; // column lit with the full weight; the last of the first write pass
    size_t index;          // in ClockState::HandTapers, HandProfiles and HandPlacements
};

// The taper's phase and spans (0.65, 0.85 and 0.8 of pi) are these decimal values as
// written: 0.85L * kPi would round one bit differently and move samples.
constexpr long double kTaperPhase = 2.042035224833365605L;

constexpr std::array<HandConstants, 3> kHands{{
    {.length = &ClockState::HourHandLength,
     .samples = &ClockState::HourSamples,
     .time = &ClockState::Hour,
     .twelveHour = true,
     .followsMinute = true,
     .turn = kPi,
     .steps = 6.0L,
     .columns = 19,
     .acrossCentre = 9.0L,
     .taperSpan = 2.670353755551324253L,
     .profileDivisor = 18,
     .profileCentre = 9,
     .index = 0},
    {.length = &ClockState::MinuteHandLength,
     .samples = &ClockState::MinuteSamples,
     .time = &ClockState::Minute,
     .twelveHour = false,
     .followsMinute = false,
     .turn = detail::kTwoPi,
     .steps = 60.0L,
     .columns = 15,
     .acrossCentre = 7.0L,
     .taperSpan = 2.670353755551324253L,
     .profileDivisor = 14,
     .profileCentre = 7,
     .index = 1},
    {.length = &ClockState::SecondHandLength,
     .samples = &ClockState::SecondSamples,
     .time = &ClockState::Second,
     .twelveHour = false,
     .followsMinute = false,
     .turn = kPi,
     .steps = 30.0L,
     .columns = 11,
     .acrossCentre = 5.5L,
     .taperSpan = 2.5132741228718345908L,
     .profileDivisor = 10,
     .profileCentre = 5,
     .index = 2},
}};
constexpr int32_t kMaxColumns = 19;

// Below this, the terms of a sample position in double are off their exact values by
// less than 1e-11 (a few roundings of 2^-53 relative each).
constexpr double kFastReach = 4096.0;

long double HandAngle(const ClockState& state, const HandConstants& hand) {
    int32_t units = state.*hand.time;
    if (hand.twelveHour && units >= 12) {
        units -= 12;
    }
    long double angle = static_cast<long double>(units) * hand.turn / hand.steps;
    if (hand.followsMinute) {
        angle = angle + static_cast<long double>(state.Minute) * kPi / 360.0L;
    }
    return angle + kPi;
}

// Frame coordinate of an offset from the centre, wrapped to 16 bits; 0xFFFF
// when the offset is not a number.
uint16_t Place(long double offset, uint16_t centre) {
    if (!std::isfinite(offset)) {
        return 0xFFFF;
    }
    return static_cast<uint16_t>(detail::RoundLow16(offset) + centre);
}

// Rows of a table of `columns` entries per row that `size` entries hold.
int64_t RowsIn(size_t size, int32_t columns) {
    return static_cast<int64_t>(size / columns);
}

// The hand's weights for rows 0..lastRow, worked out again when the hand's length or
// BrightFactor has changed since they were kept. Each weight is the column factor times
// the row factor times BrightFactor; the centre column is lit with 1.41 instead.
const HandProfile& ProfileOf(ClockState& state, const HandConstants& hand, int32_t lastRow) {
    HandProfile& profile = state.HandProfiles[hand.index];
    const int32_t length = state.*hand.length;
    const long double bright = state.BrightFactor;
    if (profile.length == length && profile.bright == bright && profile.rows == lastRow + 1) {
        return profile;
    }
    const int32_t columns = hand.columns;
    std::array<long double, kMaxColumns> columnWeight{};
    for (int32_t c = 0; c < columns; ++c) {
        const long double ramp = static_cast<long double>(2 * c) / hand.profileDivisor;
        columnWeight[c] = (1.01L - std::fabs(1.0L - ramp)) * 1.2L;
    }
    const auto entries = static_cast<size_t>(lastRow + 1) * columns;
    profile.weight.resize(entries);
    profile.weightFast.resize(entries);
    profile.rowFast.resize(static_cast<size_t>(lastRow) + 1);
    const long double lengthF = length;
    for (int32_t r = 0; r <= lastRow; ++r) {
        const long double rowWeight =
            std::sqrt(1.01L - std::fabs(1.0L - static_cast<long double>(2 * int64_t{r}) / lengthF));
        bool rowFast = true;
        for (int32_t c = 0; c < columns; ++c) {
            const long double weight = c == hand.profileCentre
                                           ? rowWeight * 1.41L * bright
                                           : columnWeight[c] * rowWeight * bright;
            const size_t at = static_cast<size_t>(r) * columns + static_cast<size_t>(c);
            profile.weight[at] = weight;
            profile.weightFast[at] = static_cast<double>(weight);
            rowFast = rowFast && detail::FastWeight(weight);
        }
        profile.rowFast[static_cast<size_t>(r)] = rowFast;
    }
    profile.length = length;
    profile.bright = bright;
    profile.rows = lastRow + 1;
    profile.columns = columns;
    return profile;
}

// The rows of a hand that are drawn and the frame they are drawn into.
struct HandRows {
    TDIB* frame;
    int32_t lastRow;
    // Samples at or beyond these coordinates are not drawn; 0xFFFF marks a sample
    // without a position, so that column and row are never drawn.
    int32_t width;
    int32_t height;
};

// None when the hand is not drawn.
std::optional<HandRows> RowsOf(ClockState& state, const HandConstants& hand) {
    const int32_t length = state.*hand.length;
    TDIB* frame = state.FrameBuffer.get();
    const HandSampleTable& table = state.*hand.samples;
    const HandWorkTables& work = state.HandWork;
    // A hand of length 0 would divide by zero in its taper and profile; it is not drawn.
    if (length <= 0 || !detail::Drawable(frame) || state.Diameter <= 0 ||
        table.columns < hand.columns) {
        return std::nullopt;
    }
    const int64_t workRows = std::min({RowsIn(work.sampleRed.size(), HandWorkTables::kColumns),
                                       RowsIn(work.sampleGreen.size(), HandWorkTables::kColumns),
                                       RowsIn(work.sampleBlue.size(), HandWorkTables::kColumns),
                                       RowsIn(work.shadedRed.size(), HandWorkTables::kColumns),
                                       RowsIn(work.shadedGreen.size(), HandWorkTables::kColumns),
                                       RowsIn(work.shadedBlue.size(), HandWorkTables::kColumns)});
    const int64_t tableRows =
        std::min(RowsIn(table.x.size(), table.columns), RowsIn(table.y.size(), table.columns));
    const int32_t lastRow =
        static_cast<int32_t>(std::min<int64_t>({length, workRows - 1, tableRows - 1}));
    if (lastRow < 0) {
        return std::nullopt;
    }
    return HandRows{frame, lastRow, std::min(frame->Width(), 0xFFFF),
                    std::min(frame->Height(), 0xFFFF)};
}

// Works out where the hand's samples lie for the current time, unless they lie there
// already; true when they were placed anew.
bool PlaceHand(ClockState& state, const HandConstants& hand, const HandRows& rows) {
    const int32_t length = state.*hand.length;
    const int32_t lastRow = rows.lastRow;
    const long double angle = HandAngle(state, hand);
    const HandPlacement placement{angle,          state.Radius, state.Thickness,
                                  state.Algoritm, length,       lastRow};
    HandPlacement& placed = state.HandPlacements[hand.index];
    if (placed == placement) {
        return false;
    }
    HandSampleTable& table = state.*hand.samples;
    const long double lengthF = length;
    const long double cosAngle = Cos(angle);
    const long double sinAngle = Sin(angle);
    const long double widen = std::sqrt(static_cast<long double>(state.Thickness)) + 2.5L;
    const long double style = static_cast<long double>(static_cast<int64_t>(state.Algoritm) + 5);
    const uint16_t centre = state.Radius;

    // The sample positions are worked out in double; a position near a half pixel, or
    // one whose terms are too large to keep the error small, is worked out again as
    // written. Dividing by 1.4 becomes a product, and the position is linear in c.
    const double cosFast = static_cast<double>(cosAngle) / 1.4;
    const double sinFast = static_cast<double>(sinAngle) / 1.4;
    const double acrossPerTaper = static_cast<double>(widen) / static_cast<double>(style);

    const auto taperOf = [&](int32_t r) {
        return Cos(static_cast<long double>(r) * hand.taperSpan / lengthF + kTaperPhase);
    };
    HandTaper& tapers = state.HandTapers[hand.index];
    const bool tapersKept = tapers.factor.size() > static_cast<size_t>(lastRow);
    if (tapersKept && (tapers.length != length || tapers.rows <= lastRow)) {
        for (int32_t r = 0; r <= lastRow; ++r) {
            tapers.factor[static_cast<size_t>(r)] = taperOf(r);
        }
        tapers.length = length;
        tapers.rows = lastRow + 1;
    }

    for (int32_t r = 0; r <= lastRow; ++r) {
        const long double along = r;
        const long double taper = tapersKept ? tapers.factor[static_cast<size_t>(r)] : taperOf(r);
        const double acrossStep = static_cast<double>(taper) * acrossPerTaper;
        const double rowX = -sinFast * r;
        const double rowY = cosFast * r;
        const bool rowFast = r < kFastReach;
        for (int32_t c = 0; c < hand.columns; ++c) {
            const double across = acrossStep * (c - static_cast<double>(hand.acrossCentre));
            const double offsetX = cosFast * across + rowX;
            const double offsetY = sinFast * across + rowY;
            const long roundedX = detail::RoundEstimate(offsetX);
            const long roundedY = detail::RoundEstimate(offsetY);
            if (rowFast && std::fabs(across) < kFastReach &&
                std::max(detail::OffRounding(offsetX, roundedX),
                         detail::OffRounding(offsetY, roundedY)) < detail::kSureOff) {
                table.X(r, c) = static_cast<uint16_t>(roundedX + centre);
                table.Y(r, c) = static_cast<uint16_t>(roundedY + centre);
            } else {
                const long double exactAcross =
                    taper * (static_cast<long double>(c) - hand.acrossCentre) * widen / style;
                table.X(r, c) = Place((cosAngle * exactAcross - sinAngle * along) / 1.4L, centre);
                table.Y(r, c) = Place((sinAngle * exactAcross + cosAngle * along) / 1.4L, centre);
            }
        }
    }
    placed = placement;
    return true;
}

// Whether a placed sample is drawn: on the frame, and in the marked tiles if any.
bool Drawn(const HandRows& rows, uint16_t x, uint16_t y, const TileMask* only) {
    return x < rows.width && y < rows.height && (only == nullptr || only->Covers(x, y));
}

// Reads every drawn sample's pixel and lights it into the work tables; nothing is
// written to the frame yet. The samples are lit in blocks, side by side.
void LightHand(ClockState& state, const HandConstants& hand, const HandRows& rows,
               const TileMask* only) {
    const HandSampleTable& table = state.*hand.samples;
    HandWorkTables& work = state.HandWork;
    const HandProfile& profile = ProfileOf(state, hand, rows.lastRow);
    rows.frame->ScanLine(0); // lets pending platform drawing reach the pixels
    detail::SampleBatch<detail::kHandBlock> batch;
    const auto store = [&](uint32_t at, const Colour* lit) {
        const auto exactly = [&] {
            const auto r = static_cast<int32_t>(at / HandWorkTables::kColumns);
            const auto c = static_cast<int32_t>(at % HandWorkTables::kColumns);
            return ShadePixel(work.sampleRed[at], work.sampleGreen[at], work.sampleBlue[at],
                              profile.Weight(r, c));
        };
        const Colour shaded = lit != nullptr ? *lit : exactly();
        work.shadedRed[at] = shaded.red;
        work.shadedGreen[at] = shaded.green;
        work.shadedBlue[at] = shaded.blue;
    };
    for (int32_t r = 0; r <= rows.lastRow; ++r) {
        const size_t profileRow = static_cast<size_t>(r) * hand.columns;
        const bool weightsFast = profile.rowFast[static_cast<size_t>(r)] != 0;
        for (int32_t c = 0; c < hand.columns; ++c) {
            const uint16_t x = table.X(r, c);
            const uint16_t y = table.Y(r, c);
            if (!Drawn(rows, x, y, only)) {
                continue;
            }
            const size_t at = HandWorkTables::At(r, c);
            const uint8_t* pixel = rows.frame->Row(y) + 3 * static_cast<ptrdiff_t>(x);
            work.sampleRed[at] = pixel[2];
            work.sampleGreen[at] = pixel[1];
            work.sampleBlue[at] = pixel[0];
            batch.Add(pixel[2], pixel[1], pixel[0],
                      profile.weightFast[profileRow + static_cast<size_t>(c)], weightsFast,
                      static_cast<uint32_t>(at));
            if (batch.Full()) {
                batch.Flush(store);
            }
        }
    }
    batch.Flush(store);
}

// Writes the lit samples into the frame. Where samples share a pixel the later write
// shows: first the counter-clockwise half with the centre column row by row, then the
// clockwise half column by column from its outer edge inwards.
void WriteHand(ClockState& state, const HandConstants& hand, const HandRows& rows,
               const TileMask* only) {
    const HandSampleTable& table = state.*hand.samples;
    const HandWorkTables& work = state.HandWork;
    const auto write = [&](int32_t r, int32_t c) {
        const uint16_t x = table.X(r, c);
        const uint16_t y = table.Y(r, c);
        if (!Drawn(rows, x, y, only)) {
            return;
        }
        const size_t at = HandWorkTables::At(r, c);
        detail::WritePixel(rows.frame->Row(y), x, work.shadedRed[at], work.shadedGreen[at],
                           work.shadedBlue[at]);
    };
    for (int32_t r = 0; r <= rows.lastRow; ++r) {
        for (int32_t c = 0; c <= hand.profileCentre; ++c) {
            write(r, c);
        }
    }
    for (int32_t c = hand.columns - 1; c > hand.profileCentre; --c) {
        for (int32_t r = 0; r <= rows.lastRow; ++r) {
            write(r, c);
        }
    }
}

void DrawHand(ClockState& state, const HandConstants& hand) {
    if (const auto rows = RowsOf(state, hand)) {
        PlaceHand(state, hand, *rows);
        LightHand(state, hand, *rows, nullptr);
        WriteHand(state, hand, *rows, nullptr);
    }
}

} // namespace

void DrawHourHand(ClockState& state) {
    DrawHand(state, kHands[0]);
}
void DrawMinuteHand(ClockState& state) {
    DrawHand(state, kHands[1]);
}
void DrawSecondHand(ClockState& state) {
    DrawHand(state, kHands[2]);
}

namespace detail {

bool PlaceHandSamples(ClockState& state, size_t hand) {
    const auto rows = RowsOf(state, kHands[hand]);
    return rows && PlaceHand(state, kHands[hand], *rows);
}

void VisitHandPixels(ClockState& state, size_t hand,
                     const std::function<void(int32_t, int32_t)>& visit) {
    const auto rows = RowsOf(state, kHands[hand]);
    if (!rows) {
        return;
    }
    const HandSampleTable& table = state.*kHands[hand].samples;
    for (int32_t r = 0; r <= rows->lastRow; ++r) {
        for (int32_t c = 0; c < kHands[hand].columns; ++c) {
            const uint16_t x = table.X(r, c);
            const uint16_t y = table.Y(r, c);
            if (Drawn(*rows, x, y, nullptr)) {
                visit(x, y);
            }
        }
    }
}

void DrawPlacedHand(ClockState& state, size_t hand, const TileMask& only) {
    if (const auto rows = RowsOf(state, kHands[hand])) {
        LightHand(state, kHands[hand], *rows, &only);
        WriteHand(state, kHands[hand], *rows, &only);
    }
}

} // namespace detail

} // namespace lumivane
