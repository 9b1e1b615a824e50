#include "core/controller/clock_controller.h"

#include <algorithm>
#include <utility>

#include "core/clock/hand_hit.h"
#include "core/clock/placement.h"
#include "core/error.h"
#include "core/render/render.h"
#include "core/settings/settings_rules.h"

namespace lumivane {

namespace {

constexpr uint32_t kBlack = 0;

} // namespace

ClockController::ClockController(ClockState& state, ClockPlatform& platform)
    : state_(state), platform_(platform) {}

const std::vector<Rect>& ClockController::KnownMonitors() {
    if (monitors_.empty()) {
        monitors_ = platform_.Monitors();
    }
    return monitors_;
}

Rect ClockController::Monitor() {
    const std::vector<Rect>& monitors = KnownMonitors();
    return monitors[OwningMonitor(monitors, place_, side_, side_).value()];
}

void ClockController::Start() {
    traits_ = platform_.Traits();
    monitors_ = platform_.Monitors();
    Load(monitors_.front());
    RunTimer(ClockTimer::SavePlace, kPositionSaveInterval);
    WatchPlace();

    // The clock is as large as the monitor it starts on makes it.
    const size_t home = StartMonitor(state_, monitors_);
    DeriveStartupState(state_, DisplayOf(monitors_[home]),
                       [this] { return platform_.MakeBuffer(); });
    // Read now: the quick redraw while the clock moves can draw a frame before the first
    // tick, and it must not show a time the clock never read.
    FitTickInterval();
    RunTick(ReadTime());
    side_ = std::max(state_.Diameter, 0);
    platform_.SizeWindow(side_);
    // The position save then stores where the clock really is.
    MoveTo(StartPlace(state_, monitors_, home));

    state_.StartCount = NextStartCount(state_.StartCount);
    WriteAtStart(kStartCountValue);

    // A full-screen program may be in front already.
    hidden_ = FullScreenInFront();
    platform_.ShowWindow(!hidden_);
    Draw();
    if (!startupProblem_.empty()) {
        Report(startupProblem_);
    }
}

void ClockController::Load(const Rect& primary) {
    const auto store = platform_.Store();
    const bool opened = store->OpenStore(false);
    const LoadReport loaded =
        LoadSettings(state_, DisplayOf(primary), opened ? store.get() : nullptr);
    // A store that is there but cannot be read at all is never written: nothing is lost.
    writable_ = !opened || store->Readable();
    if (!loaded.problem.empty()) {
        startupProblem_ = store->UnreadProblem(loaded.problem);
    }
    store->CloseStore();
    if (loaded.firstStart) {
        // The defaults place the clock at the top of the primary monitor, wherever the
        // desktop has it.
        state_.SavedLeft += primary.left;
        state_.SavedTop += primary.top;
    }
    WriteAtStart(ValuesToStore(loaded));
}

void ClockController::WriteValues(std::span<const StoredValue> values, bool asked) {
    // What the user asks for is tried and its failure told; nothing else is written into
    // a store that could not be read.
    if (values.empty() || !(writable_ || asked)) {
        return;
    }
    const auto store = platform_.Store();
    store->CreateStore();
    // A store made anew (deleted while the clock ran) gets every value of the running
    // clock, so that the next start finds it whole; hiding over full-screen programs
    // only when it is off, as a missing value means on.
    std::vector<StoredValue> all(kStoredValues.begin(), kStoredValues.end());
    if (state_.HideFullScreen == 0) {
        all.push_back(kHideFullScreen);
    }
    for (const auto& [name, field] :
         store->Created() ? std::span<const StoredValue>(all) : values) {
        store->WriteValue(name, state_.*field);
    }
    store->CloseStore();
    refused_ = false;
}

void ClockController::WriteAtStart(std::span<const StoredValue> values) {
    // The clock starts whatever the store said; the user hears of the first problem.
    try {
        WriteValues(values);
    } catch (const Error& error) {
        refused_ = true;
        if (startupProblem_.empty()) {
            startupProblem_ = error.what();
        }
    }
}

void ClockController::WriteOrTell(std::span<const StoredValue> values) {
    // A store that keeps refusing is told of once, until a write succeeds again: the
    // place is saved after every move.
    try {
        WriteValues(values);
    } catch (const Error& error) {
        if (!refused_) {
            refused_ = true;
            Report(error.what());
        }
    }
}

void ClockController::Fire(ClockTimer timer) {
    switch (timer) {
    case ClockTimer::Tick:
        return Tick();
    case ClockTimer::SavePlace:
        return PlaceTick();
    case ClockTimer::KeepInside:
        if (KeepInside() && traits_.placementTickAtRest) {
            ClearPixelUnderPointer();
        }
        return;
    case ClockTimer::RedrawWhileAway:
        return RedrawWhileAway();
    case ClockTimer::FullScreenCheck:
        return CheckFullScreen();
    case ClockTimer::SoonAfterChange:
        RunTimer(ClockTimer::SoonAfterChange, 0);
        return Draw();
    }
}

void ClockController::RunTimer(ClockTimer timer, uint32_t interval) {
    uint32_t& running = intervals_[static_cast<size_t>(timer)];
    if (running != interval) {
        running = interval;
        interval != 0 ? platform_.StartTimer(timer, interval) : platform_.StopTimer(timer);
    }
}

void ClockController::WatchPlace(bool watch) {
    // The edge keeping's tick serves the pointer too where the platform says so.
    RunTimer(ClockTimer::KeepInside, watch || traits_.placementTickAtRest ? kPlacementInterval : 0);
    RunTimer(ClockTimer::RedrawWhileAway, watch ? kPlacementInterval : 0);
}

std::string ShortTimeText(TimeOfDay time) {
    const auto twoDigits = [](uint16_t value) {
        return std::string{static_cast<char>('0' + value / 10 % 10),
                           static_cast<char>('0' + value % 10)};
    };
    return twoDigits(time.hour) + ":" + twoDigits(time.minute);
}

TimeOfDay ClockController::ReadTime() {
    const TimeOfDay now = platform_.Now();
    state_.Hour = now.hour;
    state_.Minute = now.minute;
    state_.Second = now.second;
    // A screen reader hears of the minute, never of every second's frame.
    const int32_t minuteOfDay = now.hour * 60 + now.minute;
    if (minuteOfDay != shownMinute_) {
        shownMinute_ = minuteOfDay;
        platform_.TimeShownChanged(now);
    }
    return now;
}

void ClockController::RunTick(const TimeOfDay& now) {
    // In step with the turn of the second, so that the second hand steps on it.
    const uint32_t delay = NextTickDelay(tickInterval_, now.millisecond);
    intervals_[static_cast<size_t>(ClockTimer::Tick)] = delay;
    platform_.StartTimer(ClockTimer::Tick, delay);
}

void ClockController::FitTickInterval() {
    // Where changes beneath are told they are drawn as they come: the time needs a frame
    // once a second.
    tickInterval_ = traits_.tellsChangesBeneath ? 1000 : FrameIntervalRule(state_.Size);
}

void ClockController::Tick() {
    RunTick(ReadTime());
    Draw();
}

void ClockController::BeneathChanged() {
    // One frame within the frame interval, however many changes come meanwhile (a video).
    if (intervals_[static_cast<size_t>(ClockTimer::SoonAfterChange)] == 0) {
        RunTimer(ClockTimer::SoonAfterChange, FrameIntervalRule(state_.Size));
    }
}

void ClockController::Draw() {
    // Hidden, it neither reads beneath nor draws.
    if (hidden_ || state_.FrameBuffer == nullptr || state_.BackgroundBuffer == nullptr) {
        return;
    }
    if (state_.Diameter != state_.PrevDiameter) {
        Resize();
    }
    if (!BuffersFitDiameter(state_)) {
        return;
    }
    const bool changed = traits_.seeThrough
                             ? CaptureBeneath()
                             : platform_.ReadBeneath(*state_.BackgroundBuffer, place_);
    Show(RenderChangedFrame(state_, changed));
}

bool ClockController::CaptureBeneath() {
    return seeThrough_.Read(*state_.BackgroundBuffer, place_, traits_.tellsChangesBeneath,
                            [this](const Rect& area) { return platform_.CaptureScreen(area); });
}

void ClockController::Show(std::span<const Rect> parts) {
    Frame frame{parts};
    if (traits_.seeThrough) {
        frame.picture = &seeThrough_.Compose(state_, parts);
    }
    if (traits_.shapesInput) {
        // The hands' pixels change only with the parts drawn.
        const int32_t side = state_.Diameter;
        if (!parts.empty() || hands_.size() != static_cast<size_t>(side) * side) {
            MarkHandSamples(state_, side, side, hands_);
        }
        frame.hands = &hands_;
    }
    platform_.Present(frame);
}

void ClockController::ClearPixelUnderPointer() {
    const std::optional<Place> pixel = platform_.PointerOverClock();
    TDIB* frame = state_.FrameBuffer.get();
    if (!pixel || frame == nullptr || FindHandSample(state_, pixel->left, pixel->top) ||
        pixel->left >= frame->Width() || pixel->top >= frame->Height()) {
        return;
    }
    // The window shows the frame already: only a pixel that turns black needs to reach
    // it, so a pointer resting on the dial costs next to nothing.
    if (frame->Pixel(pixel->left, pixel->top) != kBlack) {
        frame->PutPixel(pixel->left, pixel->top, kBlack);
        const Rect part{pixel->left, pixel->top, pixel->left + 1, pixel->top + 1};
        NoteFrameWritten(state_, part);
        Show({&part, 1});
    }
}

bool ClockController::ScreenChanged(const ScreenCapture* copy) {
    TDIB* background = state_.BackgroundBuffer.get();
    if (background != nullptr && !seeThrough_.ChangeShown(*background, copy)) {
        return false;
    }
    seeThrough_.Forget();
    BeneathChanged();
    return true;
}

void ClockController::Resize() {
    side_ = std::max(state_.Diameter, 0);
    platform_.SizeWindow(side_);
    ResizeBuffers(state_);
    FitTickInterval();
    WatchPlace(); // a larger clock may now reach over the edge
}

void ClockController::RedrawWhileAway() {
    if (MovedFromSavedPlace(state_, place_)) {
        Draw();
    }
}

bool ClockController::KeepInside() {
    if (hidden_) {
        return false;
    }
    // While a hand is dragged the clock goes where the pointer takes it.
    if (grip_ && !traits_.keepsInsideWhileDragged) {
        return true;
    }
    // On none of the monitors it knows: they must have changed unannounced.
    if (!ShowsOnMonitors(KnownMonitors(), place_, side_, side_)) {
        MonitorsChanged();
    }
    const Place to = lumivane::KeepInside(place_, side_, side_, Monitor());
    if (to != place_) {
        MoveTo(to);
    } else if (!MovedFromSavedPlace(state_, place_)) {
        // At rest where it is stored: nothing to do until the clock moves again.
        WatchPlace(false);
    }
    return true;
}

void ClockController::MoveTo(Place to) {
    place_ = to;
    platform_.MoveWindow(to);
}

void ClockController::Moved(Place at) {
    if (at != place_) {
        GoTo(at, false);
    }
}

void ClockController::GoTo(Place to, bool move) {
    const Rect was = Monitor();
    place_ = to;
    if (move) {
        platform_.MoveWindow(to);
    }
    WatchPlace();
    // Only another monitor can change what the window in front covers.
    if (Monitor() != was) {
        CheckFullScreen();
    }
}

bool ClockController::HandPressed(Place pixel, Place pointer) {
    if (hidden_ || !FindHandSample(state_, pixel.left, pixel.top)) {
        return false;
    }
    grip_ = Grip{place_, pointer};
    return true;
}

void ClockController::PointerMoved(Place pointer) {
    if (!grip_) {
        return;
    }
    // Where the clock stood at the press, moved by the pointer's travel since.
    const Place to{grip_->clock.left + pointer.left - grip_->pointer.left,
                   grip_->clock.top + pointer.top - grip_->pointer.top};
    if (to != place_) {
        GoTo(to, true);
    }
}

void ClockController::HandReleased() {
    if (std::exchange(grip_, std::nullopt)) {
        // Let go over another monitor, the clock now belongs to it; the edge keeping
        // takes over from here.
        platform_.MoveWindow(place_);
        WatchPlace();
    }
}

void ClockController::MonitorsChanged() {
    monitors_ = platform_.Monitors();
    const Place to = KeepOnMonitors(monitors_, place_, side_, side_);
    if (to != place_) {
        MoveTo(to);
    }
    WatchPlace();
}

bool ClockController::FullScreenInFront() {
    const std::optional<Rect> front = platform_.FrontWindow();
    // Where nothing says when the window in front changes, it is looked at now and then.
    RunTimer(ClockTimer::FullScreenCheck, traits_.pollFrontWindow ? kFullScreenCheckInterval : 0);
    return lumivane::HidesOverFullScreen(state_.HideFullScreen, front, Monitor());
}

void ClockController::CheckFullScreen() {
    const bool hide = FullScreenInFront();
    if (hide == hidden_) {
        return;
    }
    hidden_ = hide;
    platform_.ShowWindow(!hide);
    if (hide) {
        WatchPlace(false);
        return;
    }
    WatchPlace();
    // What it hid with is stale, and nothing watched what came to lie beneath meanwhile.
    seeThrough_.Forget();
    Draw();
}

void ClockController::SavePlaceIfMoved() {
    if (!MovedFromSavedPlace(state_, place_)) {
        return;
    }
    // Taken before the store is opened: a store that fails is not retried until the
    // clock moves again.
    state_.SavedLeft = place_.left;
    state_.SavedTop = place_.top;
    WriteOrTell(kPlaceValues);
}

void ClockController::PlaceTick() {
    // A change of the monitors the system does not announce (Wine's, for one) is found
    // here, within seconds, rather than never.
    if (platform_.Monitors() != monitors_) {
        MonitorsChanged();
    }
    SavePlaceIfMoved();
}

void ClockController::OpenSettings(SettingsView& view) {
    view_ = &view;
    OpenBars(state_, DisplayOf(Monitor()).height,
             [&view](const BarRule& rule, int32_t position) { view.ShowBar(rule.bar, position); });
    view.ShowStatus(kHintLine);
    if (state_.StartCount <= 1) {
        view.ShowSettings();
    }
}

void ClockController::BarMoved(Bar bar, int32_t position) {
    SetBar(state_, bar, position, DisplayOf(Monitor()).height);
}

void ClockController::SaveSettings() {
    try {
        // Every stored value but the start count.
        WriteValues(std::span(kStoredValues).first(kStoredValues.size() - 1), true);
    } catch (const Error&) {
        // The confirmation of an earlier save must not stand for this one.
        if (view_ != nullptr) {
            view_->ShowStatus(kHintLine);
        }
        throw;
    }
    if (view_ != nullptr) {
        view_->ShowStatus(kConfirmationLine);
        // A second save while the confirmation shows does not prolong it.
        if (!confirming_) {
            confirming_ = view_->StartStatusTimer(kConfirmationTime);
        }
    }
}

void ClockController::StatusTimeUp() {
    confirming_ = false;
    if (view_ != nullptr) {
        view_->StopStatusTimer();
        view_->ShowStatus(kHintLine);
    }
}

void ClockController::SetHideFullScreen(bool hide) {
    state_.HideFullScreen = hide ? 1 : 0;
    CheckFullScreen();
    WriteOrTell({&kHideFullScreen, 1});
}

Place ClockController::SettingsPlace(int32_t width, int32_t height, int32_t inset) {
    const Rect primary = KnownMonitors().front();
    return {primary.left + (primary.right - primary.left) / 2 - width / 2,
            primary.bottom - height - inset};
}

void ClockController::Report(const std::string& text) {
    const bool known = (problemShown_ && shownProblem_ == text) ||
                       std::find(problems_.begin(), problems_.end(), text) != problems_.end();
    if (!known) {
        problems_.push_back(text);
    }
    ShowNextProblem();
}

void ClockController::ShowNextProblem() {
    // A box that is answered before ShowProblem returns (a modal one) lets the next one
    // follow here; a problem reported while it is open waits in the queue meanwhile.
    while (!problemShown_ && !problems_.empty()) {
        shownProblem_ = std::move(problems_.front());
        problems_.pop_front();
        problemShown_ = true;
        if (platform_.ShowProblem(shownProblem_)) {
            problemShown_ = false;
            shownProblem_.clear();
        }
    }
}

void ClockController::ProblemAnswered() {
    problemShown_ = false;
    shownProblem_.clear();
    ShowNextProblem();
}

} // namespace lumivane
