// Lumivane: the program entry. Creates the clock window and the settings window
// and runs the message loop until the program ends.
#include <windows.h>

#include <shellapi.h>

#include <exception>

#include "core/clock/clock_state.h"
#include "core/controller/facts.h"
#include "core/render/precision.h"
#include "windows/autostart.h"
#include "windows/clock_window.h"
#include "windows/handles.h"
#include "windows/portable_mode.h"
#include "windows/settings_window.h"

namespace {

// The uninstaller's call: the switch, alone.
bool RemoveAutostartRequested() {
    int count = 0;
    const lumivane::Owned<LPWSTR*, &LocalFree> arguments(
        CommandLineToArgvW(GetCommandLineW(), &count));
    return arguments && count == 2 &&
           CompareStringOrdinal(arguments.get()[1], -1, lumivane::windows::kRemoveAutostartSwitch,
                                -1, TRUE) == CSTR_EQUAL;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (RemoveAutostartRequested()) {
        try {
            lumivane::windows::Autostart().Disable();
            return 0;
        } catch (const std::exception&) {
            // Nobody watches an uninstaller's helper: the exit code is the report.
            return 1;
        }
    }

    // The renderers' results depend on 64-bit x87 precision, which Windows does
    // not start a thread with.
    lumivane::UseExtendedPrecision();

    // COM carries the clock's accessible object to screen readers; without it the clock
    // runs unseen by them.
    const lumivane::windows::ComApartment apartment = lumivane::windows::EnterApartment();

    // The one ClockState of the run; the windows below only borrow it.
    lumivane::ClockState clockState;
    try {
        // Created first, the clock window is the main window: closing it ends the loop.
        lumivane::windows::TForm1 form1(clockState, lumivane::windows::ProgramSettingsStore());

        // After Form1, so that it sees the start count Form1 advanced. Owned by the
        // clock window, it has no taskbar button either.
        lumivane::windows::TForm2 form2(form1.Controller(), form1.Handle());

        const int code = lumivane::windows::TForm::RunMessageLoop();
        // Ended from the tray menu, the clock window is still there: it closes as on
        // every other way out.
        form1.Close();
        return code;
    } catch (const std::exception& error) {
        // Only a window that cannot be made at all gets here; handlers' errors are
        // shown by the window trampoline and the program goes on.
        MessageBoxW(nullptr, lumivane::windows::Widened(error.what()).c_str(),
                    lumivane::windows::Widened(lumivane::kTitle).c_str(), MB_OK | MB_ICONERROR);
        return 1;
    }
}
