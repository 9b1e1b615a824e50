#pragma once
// A platform for the clock's life without a window: it keeps what the controller asks of
// it (the window's side, place and visibility, the timers, the frames shown, the boxes)
// and answers from fields a test sets (the monitors, the time, the window in front, the
// store). The Windows tests give it the real registry as its store.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/controller/clock_controller.h"
#include "core/error.h"
#include "core/settings/settings_rules.h"

namespace lumivane::testing_support {

// Settings kept in memory: a value is a number or text that cannot be read.
struct MemoryStore {
    std::map<std::string, std::string> values;
    bool exists = false;
    bool unreadable = false;  // there, but cannot be read at all
    bool refuseOpen = false;  // cannot be opened (nor created)
    bool refuseWrite = false; // opens, refuses every value
    int writes = 0;           // values written

    std::optional<int32_t> Number(const std::string& name) const {
        const auto found = values.find(name);
        if (found == values.end()) {
            return std::nullopt;
        }
        return std::stoi(found->second);
    }
};

class MemoryStoreAccess final : public SettingsStore {
  public:
    explicit MemoryStoreAccess(MemoryStore& store) : store_(store) {}
    bool OpenStore(bool create) override {
        if (store_.refuseOpen || (!store_.exists && !create)) {
            return false;
        }
        created_ = !store_.exists;
        store_.exists = true;
        return true;
    }
    bool Created() const override { return created_; }
    void CreateStore() override {
        if (!OpenStore(true)) {
            throw Error("Cannot create the store");
        }
    }
    int32_t ReadValue(const std::string& name) override {
        const auto found = store_.values.find(name);
        if (store_.unreadable || found == store_.values.end() ||
            found->second.find_first_not_of("-0123456789") != std::string::npos) {
            throw Error("Cannot read '" + name + "'");
        }
        return std::stoi(found->second);
    }
    void WriteValue(const std::string& name, int32_t value) override {
        if (store_.refuseWrite || store_.unreadable) {
            throw Error("Cannot write '" + name + "'");
        }
        store_.values[name] = std::to_string(value);
        ++store_.writes;
    }
    void CloseStore() override {}
    bool Readable() const override { return !store_.unreadable; }

  private:
    MemoryStore& store_;
    bool created_ = false;
};

class FakePlatform : public ClockPlatform {
  public:
    // Asked of the platform.
    PlatformTraits traits;
    std::vector<Rect> monitors{{0, 0, 1366, 768}};
    MemoryStore memory;
    std::function<std::unique_ptr<SettingsStore>()> store; // the memory unless set
    TimeOfDay now{10, 8, 30};
    std::optional<Rect> front;
    bool answerBoxes = true;                               // a box is answered as soon as it shows
    bool changesBeneath = true;                            // what ReadBeneath says
    std::function<uint32_t(int32_t x, int32_t y)> desktop; // 0xRRGGBB; none captures nothing
    std::optional<Place> pointer;                          // the pointer over the clock, asked once

    // Done by the platform.
    int32_t side = -1;
    std::vector<Place> moves;
    bool shown = false;
    std::map<ClockTimer, uint32_t> timers; // the running ones
    int reads = 0;
    int presents = 0;
    ArgbImage picture; // the last see-through picture shown, and where
    Place pictureAt;
    std::vector<uint32_t> screen;
    int captures = 0;
    std::vector<std::string> boxes;
    std::vector<std::string> timesTold; // to assistive technology, as hh:mm

    Place Where() const { return moves.empty() ? Place{} : moves.back(); }

    PlatformTraits Traits() const override { return traits; }
    std::vector<Rect> Monitors() override { return monitors; }
    std::unique_ptr<SettingsStore> Store() override {
        return store ? store() : std::make_unique<MemoryStoreAccess>(memory);
    }
    std::unique_ptr<TDIB> MakeBuffer() override { return std::make_unique<TDIB>(); }
    TimeOfDay Now() override { return now; }
    void SizeWindow(int32_t s) override { side = s; }
    void MoveWindow(Place to) override { moves.push_back(to); }
    void ShowWindow(bool s) override { shown = s; }
    bool ReadBeneath(TDIB& background, Place) override {
        if (changesBeneath) {
            background.Blacken();
        }
        ++reads;
        return changesBeneath;
    }
    void Present(const Frame& frame) override {
        presents += !frame.parts.empty();
        if (frame.picture != nullptr && shown) {
            picture = *frame.picture;
            pictureAt = Where();
        }
    }
    // A compositor: the desktop with the last picture blended over it, as pixman blends.
    std::optional<ScreenCapture> CaptureScreen(const Rect& area) override {
        ++captures;
        return Screen(area);
    }
    std::optional<ScreenCapture> Screen(const Rect& area) {
        if (!desktop) {
            return std::nullopt;
        }
        screen.assign(static_cast<size_t>(area.Width()) * area.Height(), 0);
        for (int32_t y = area.top; y < area.bottom; ++y) {
            for (int32_t x = area.left; x < area.right; ++x) {
                const int32_t px = x - pictureAt.left;
                const int32_t py = y - pictureAt.top;
                const bool over = px >= 0 && py >= 0 && px < picture.width && py < picture.height;
                const uint32_t drawn = over ? picture.At(px, py) : 0;
                const uint32_t beneath = desktop(x, y);
                uint32_t& shown =
                    screen[static_cast<size_t>(y - area.top) * area.Width() + (x - area.left)];
                for (int shift = 0; shift < 24; shift += 8) {
                    shown |= static_cast<uint32_t>(Blend(static_cast<uint8_t>(drawn >> shift),
                                                         static_cast<uint8_t>(drawn >> 24),
                                                         static_cast<uint8_t>(beneath >> shift)))
                             << shift;
                }
            }
        }
        return ScreenCapture{screen.data(), area.Width(), area,
                             picture.width > 0 ? std::optional(pictureAt) : std::nullopt};
    }
    std::optional<Place> PointerOverClock() override {
        return std::exchange(pointer, std::nullopt);
    }
    void StartTimer(ClockTimer timer, uint32_t interval) override { timers[timer] = interval; }
    void StopTimer(ClockTimer timer) override { timers.erase(timer); }
    std::optional<Rect> FrontWindow() override { return front; }
    bool ShowProblem(const std::string& text) override {
        boxes.push_back(text);
        return answerBoxes;
    }
    void TimeShownChanged(TimeOfDay shown) override { timesTold.push_back(ShortTimeText(shown)); }
};

} // namespace lumivane::testing_support
