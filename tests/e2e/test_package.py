"""The release packages of this build under Wine: the MSI installs the program
for the user alone, with a Start-menu shortcut and one Programs entry; the
installed program starts, and "Start with Windows" in its tray menu writes the
Run value; a later MSI replaces the program in place and keeps that value;
uninstalling removes the program, the shortcut and the Run value and keeps the
settings. The zip holds the very program the MSI installs, and its version
record reads the project's version. (Label package; CTest builds the packages.)"""

import os
import time
import unittest
import zipfile

from harness import (
    FLAVOUR, REPO_DIR, E2ETestCase, choose_menu_item, open_tray_menu, wait_tray_icon,
)

VERSION = os.environ.get("LUMIVANE_VERSION", "")
NEXT_VERSION = os.environ.get("LUMIVANE_NEXT_VERSION", "")
PUBLISHER = os.environ.get("LUMIVANE_PUBLISHER", "")
PACKAGES = os.environ.get("LUMIVANE_PACKAGES", "")
NEXT_PACKAGES = os.environ.get("LUMIVANE_NEXT_PACKAGES", "")
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"


def package(folder, version, kind):
    suffix = {("i686", "zip"): "win32", ("i686", "msi"): "x86",
              ("x86_64", "zip"): "win64", ("x86_64", "msi"): "x64"}[FLAVOUR, kind]
    return os.path.join(folder, "Lumivane-%s-%s.%s" % (version, suffix, kind))


class Package(E2ETestCase):
    def msiexec(self, session, action, msi):
        started = time.monotonic()
        code, output = session.wine("msiexec", action, msi, "/qn")
        self.assertEqual(code, 0, "msiexec %s %s: %s" % (action, os.path.basename(msi), output))
        print("msiexec %s %s: %.1f s" % (action, os.path.basename(msi), time.monotonic() - started))

    def programs_entries(self, session):
        """The product codes of the Programs entries named Lumivane."""
        code, output = session.wine("uninstaller", "--list")
        self.assertEqual(code, 0, "uninstaller --list")
        return [line.split("|||")[0] for line in output.splitlines()
                if line.strip().endswith("|||Lumivane")]

    def assertOneProgramsEntry(self, session, version):
        entries = self.programs_entries(session)
        self.assertEqual(len(entries), 1, "Programs entries of Lumivane: %s" % entries)
        product = session.probe("msi-product", entries[0])
        self.assertEqual((product.get("name"), product.get("version"), product.get("publisher")),
                         ("Lumivane", version, PUBLISHER), "the Programs entry")
        self.assertTrue(os.path.isfile(session.unix_path(product["icon"])),
                        "the Programs entry has no icon: %s" % product.get("icon"))

    def run_value(self, session):
        return (session.registry(RUN_KEY) or {}).get("Lumivane")

    def test_install_start_with_windows_upgrade_and_uninstall(self):
        with zipfile.ZipFile(package(PACKAGES, VERSION, "zip")) as archive:
            self.assertEqual(sorted(archive.namelist()), ["LICENSE", "Lumivane.exe", "README.txt"])
            program = archive.read("Lumivane.exe")
            with open(os.path.join(REPO_DIR, "LICENSE"), "rb") as f:
                self.assertEqual(archive.read("LICENSE"), f.read(), "LICENSE in the zip")
        session = self.session()
        msi = package(PACKAGES, VERSION, "msi")
        self.msiexec(session, "/i", msi)

        # Into the user's programs folder, the zip's program byte for byte.
        folder = session.probe("folder", "local-appdata")["path"] + r"\Programs\Lumivane"
        exe = folder + r"\Lumivane.exe"
        installed = session.unix_path(exe)
        with open(installed, "rb") as f:
            self.assertTrue(f.read() == program, "the installed program is not the zip's")
        version = session.probe("file-version", exe)
        self.assertEqual(version["fixed"], [int(n) for n in VERSION.split(".")] + [0])
        self.assertEqual((version["FileVersion"], version["ProductVersion"]), (VERSION, VERSION))
        shortcut = session.probe("folder", "programs")["path"] + r"\Lumivane.lnk"
        self.assertEqual(session.probe("shortcut", shortcut)["target"].lower(), exe.lower(),
                         "the Start-menu shortcut's target")
        self.assertOneProgramsEntry(session, VERSION)

        # The installed program's first start; nothing starts with Windows until asked.
        self.assertIsNone(session.registry(), "settings before the first start")
        session.park_pointer()
        session.start(program=exe)
        self.assertEqual(session.wait_registry("Start_1", 1).get("Start_1"), 1,
                         "no first-start settings")
        self.assertTrue(wait_tray_icon(True, timeout=10), "no tray icon")
        self.assertIsNone(self.run_value(session), "a Run value nobody asked for")
        menu, _ = open_tray_menu(session)
        choose_menu_item(session, menu, "Start with Windows")
        quoted = '"%s"' % exe
        session.wait_registry("Lumivane", quoted, key=RUN_KEY)
        self.assertEqual(self.run_value(session), quoted, "the Run value")
        self.assertEqual(session.quit(timeout=15), 0, "the program's exit code")
        settings = session.registry()

        # A later version replaces the program (marked here to see it go) in place.
        with open(installed, "wb") as f:
            f.write(b"the earlier version")
        next_msi = package(NEXT_PACKAGES, NEXT_VERSION, "msi")
        self.msiexec(session, "/i", next_msi)
        with open(installed, "rb") as f:
            self.assertTrue(f.read() == program, "the upgrade did not replace the program")
        self.assertOneProgramsEntry(session, NEXT_VERSION)
        self.assertEqual(self.run_value(session), quoted, "the upgrade touched the Run value")

        # Uninstalling takes what the package and the program added, not the settings.
        self.msiexec(session, "/x", next_msi)
        self.assertFalse(os.path.exists(os.path.dirname(installed)), "the program's folder stayed")
        self.assertFalse(os.path.exists(session.unix_path(shortcut)), "the shortcut stayed")
        self.assertIsNone(self.run_value(session), "the Run value stayed")
        self.assertEqual(self.programs_entries(session), [], "Programs entries stayed")
        self.assertEqual(session.registry(), settings, "the settings after uninstalling")


if __name__ == "__main__":
    unittest.main()
