// Lumivane: the program entry. Creates the clock window and the settings window
// and runs the message loop until the program ends.
#include <windows.h>

#include <shellapi.h>

#include <exception>

#include "app/form.h"
#include "clock_window/clock_state.h"
#include "clock_window/monitors.h"
#include "clock_window/win/form1.h"
#include "platform/win32_handles.h"
#include "render/precision.h"
#include "settings/win/autostart.h"
#include "settings/win/settings_window.h"

namespace {

// The uninstaller's call: the switch, alone.
bool RemoveAutostartRequested() {
    int count = 0;
    const lumivane::Owned<LPWSTR*, &LocalFree> arguments(
        CommandLineToArgvW(GetCommandLineW(), &count));
    return arguments && count == 2 &&
           CompareStringOrdinal(arguments.get()[1], -1, lumivane::kRemoveAutostartSwitch, -1,
                                TRUE) == CSTR_EQUAL;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (RemoveAutostartRequested()) {
        try {
            lumivane::Autostart().Disable();
            return 0;
        } catch (const std::exception&) {
            // Nobody watches an uninstaller's helper: the exit code is the report.
            return 1;
        }
    }

    // The renderers' results depend on 64-bit x87 precision, which Windows does
    // not start a thread with.
    lumivane::UseExtendedPrecision();

    // The one ClockState of the run; the windows below only borrow it.
    lumivane::ClockState clockState;
    try {
        // Created first, the clock window is the main window: closing it ends the loop.
        lumivane::TForm1 form1(clockState);

        // After Form1, so that it sees the start count Form1 advanced. Owned by the
        // clock window, it has no taskbar button either. Its size bar caps the clock by
        // the monitor the clock is on.
        lumivane::TForm2::Platform platform;
        platform.clockDisplay = [&form1] { return lumivane::DisplayOf(form1.Monitor()); };
        lumivane::TForm2 form2(clockState, lumivane::kSettingsKeyPath, form1.Handle(), platform);

        const int code = lumivane::TForm::RunMessageLoop();
        // Ended from the tray menu, the clock window is still there: it closes as on
        // every other way out.
        form1.Close();
        return code;
    } catch (const std::exception& error) {
        // Only a window that cannot be made at all gets here; handlers' errors are
        // shown by the window trampoline and the program goes on.
        lumivane::TForm::ShowError(nullptr, error.what());
        return 1;
    }
}
