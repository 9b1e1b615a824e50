"""The release packages of this build under Wine: the MSI installs the program
for the user alone, with a Start-menu shortcut and one Programs entry; the
installed program starts, and "Start with Windows" in its tray menu writes the
Run value; a later MSI replaces the program in place and keeps that value;
uninstalling removes the program, the shortcut and the Run value and keeps the
settings. The zip holds the very program the MSI installs, and its version
record reads the project's version. The package managers' manifests pass their
schemas and name the packages as they are, and their check finds what is wrong;
the MSI installs with the winget manifest's silent switches and registers the
product code it names. (Label package; CTest builds the packages.)"""

import os
import shutil
import sys
import time
import unittest
import zipfile

from harness import (
    FLAVOUR, OUT, REPO_DIR, E2ETestCase, choose_menu_item, open_tray_menu, wait_tray_icon,
)

sys.path.insert(0, os.path.join(REPO_DIR, "packaging"))
import manifests  # noqa: E402

VERSION = os.environ.get("LUMIVANE_VERSION", "")
NEXT_VERSION = os.environ.get("LUMIVANE_NEXT_VERSION", "")
PUBLISHER = os.environ.get("LUMIVANE_PUBLISHER", "")
PACKAGES = os.environ.get("LUMIVANE_PACKAGES", "")
NEXT_PACKAGES = os.environ.get("LUMIVANE_NEXT_PACKAGES", "")
RELEASES_URL = os.environ.get("LUMIVANE_RELEASES_URL", "")
# The other Windows flavour's packages, where that build made them: a release's
# manifests name both.
OTHER_PACKAGES = os.environ.get("LUMIVANE_OTHER_PACKAGES", "")
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"


def package(folder, version, kind):
    suffix = {("i686", "zip"): "win32", ("i686", "msi"): "x86",
              ("x86_64", "zip"): "win64", ("x86_64", "msi"): "x64"}[FLAVOUR, kind]
    return os.path.join(folder, "Lumivane-%s-%s.%s" % (version, suffix, kind))


_release = None


def release():
    """A folder as scripts/package makes dist/: the Windows packages of this version
    (this build's, and the other flavour's where it made them) and the manifests."""
    global _release
    if _release is None:
        _release = os.path.join(OUT, FLAVOUR, "release")
        shutil.rmtree(_release, ignore_errors=True)
        os.makedirs(_release)
        for source in (PACKAGES, OTHER_PACKAGES):
            for arch in manifests.ARCHITECTURES:
                names = [manifests.package_name(VERSION, arch[kind], kind)
                         for kind in ("zip", "msi")]
                if source and all(os.path.isfile(os.path.join(source, n)) for n in names):
                    for name in names:
                        shutil.copy2(os.path.join(source, name), _release)
        manifests.write(_release, VERSION, RELEASES_URL)
    return _release


def winget_installer():
    """This flavour's entry of the winget installer manifest, and its switches."""
    with open(manifests.winget_paths(release())["installer"]) as f:
        document = manifests.yaml.safe_load(f)
    arch = {"i686": "x86", "x86_64": "x64"}[FLAVOUR]
    entry = [i for i in document["Installers"] if i["Architecture"] == arch][0]
    return entry, document["InstallerSwitches"]


class Manifests(unittest.TestCase):
    def test_the_manifests_pass_their_schemas_and_name_the_packages_as_they_are(self):
        problems = manifests.check(release(), VERSION)
        self.assertEqual(problems, [], "\n".join(problems))
        entry, _ = winget_installer()
        self.assertTrue(entry["InstallerUrl"].startswith(RELEASES_URL + "/" + VERSION + "/"))
        with open(os.path.join(release(), manifests.SCOOP_FILE)) as f:
            print("manifests for %s" % sorted(manifests.json.load(f)["architecture"]))

    def test_the_check_finds_what_is_wrong(self):
        def edit(name, old, new):
            def change(folder):
                path = os.path.join(folder, name)
                with open(path) as f:
                    text = f.read()
                self.assertIn(old, text, name)
                with open(path, "w") as f:
                    f.write(text.replace(old, new, 1))
            return change

        def grow(name):
            def change(folder):
                with open(os.path.join(folder, name), "ab") as f:
                    f.write(b"\0")
            return change

        installer = os.path.join(manifests.WINGET_DIR, "Lumivane.Lumivane.installer.yaml")
        locale = os.path.join(manifests.WINGET_DIR, "Lumivane.Lumivane.locale.en-US.yaml")
        arch = {"i686": manifests.ARCHITECTURES[0],
                "x86_64": manifests.ARCHITECTURES[1]}[FLAVOUR]
        entry, _ = winget_installer()
        code = entry["ProductCode"]
        faults = [
            ("a zip changed after its manifest",
             grow(manifests.package_name(VERSION, arch["zip"], "zip")), "SHA-256"),
            ("an MSI changed after its manifest",
             grow(manifests.package_name(VERSION, arch["msi"], "msi")), "SHA-256"),
            ("another MSI's product code", edit(installer, "ProductCode: '%s'" % code,
                                                "ProductCode: '{%s}'" % ("0" * 36)),
             "ProductCode"),
            ("another version", edit(locale, "PackageVersion: " + VERSION,
                                     "PackageVersion: " + NEXT_VERSION), "PackageVersion"),
            ("another publisher", edit(locale, "Publisher: " + PUBLISHER, "Publisher: Someone"),
             "publisher"),
            ("a field winget does not know", edit(installer, "Scope: user", "Scopes: user"),
             "Additional properties"),
            ("an install for the whole machine", edit(installer, "Scope: user",
                                                      "Scope: machine"), "per-user"),
            ("a scope winget does not know", edit(installer, "Scope: user", "Scope: everyone"),
             "'everyone' is not one of"),
            ("a checksum that is none", edit(manifests.SCOOP_FILE, '"hash": "', '"hash": "x'),
             "not valid under any"),
            ("Scoop without the settings file",
             edit(manifests.SCOOP_FILE, '"persist": "Lumivane.ini",', ""), "persist"),
            ("Scoop of another version", edit(manifests.SCOOP_FILE, '"version": "%s"' % VERSION,
                                              '"version": "%s"' % NEXT_VERSION), "version is"),
        ]
        for what, change, expected in faults:
            with self.subTest(what):
                folder = os.path.join(OUT, FLAVOUR, "release-wrong")
                shutil.rmtree(folder, ignore_errors=True)
                shutil.copytree(release(), folder)
                change(folder)
                problems = manifests.check(folder, VERSION)
                self.assertTrue(any(expected in p for p in problems),
                                "%s: %s" % (what, problems))
        shutil.rmtree(folder, ignore_errors=True)


class Package(E2ETestCase):
    def msiexec(self, session, action, msi, switches="/qn"):
        started = time.monotonic()
        code, output = session.wine("msiexec", action, msi, *switches.split())
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
        manifest, switches = winget_installer()
        # As winget installs it.
        self.msiexec(session, "/i", msi, switches["Silent"])

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
        self.assertEqual(self.programs_entries(session)[0].upper(), manifest["ProductCode"],
                         "the winget manifest's product code")

        # The installed program's first start; nothing starts with Windows until asked.
        self.assertIsNone(session.registry(), "settings before the first start")
        session.park_pointer()
        session.start(program=exe)
        self.assertEqual(session.wait_registry("Start_1", 1).get("Start_1"), 1,
                         "no first-start settings")
        self.assertTrue(wait_tray_icon(True), "no tray icon")
        self.assertIsNone(self.run_value(session), "a Run value nobody asked for")
        menu, _ = open_tray_menu(session)
        choose_menu_item(session, menu, "Start with Windows")
        quoted = '"%s"' % exe
        session.wait_registry("Lumivane", quoted, key=RUN_KEY)
        self.assertEqual(self.run_value(session), quoted, "the Run value")
        self.assertEqual(session.quit(), 0, "the program's exit code")
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
