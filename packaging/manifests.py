#!/usr/bin/env python3
"""The package managers' manifests of a release, written beside its packages, and their
offline check.

    manifests.py write DIST --version X.Y.Z --releases-url URL
    manifests.py check DIST --version X.Y.Z [--both]

`write` makes, for the Windows packages of that version in DIST (both architectures in a
release; the package tests may have one):
  winget/Lumivane.Lumivane.yaml, .locale.en-US.yaml, .installer.yaml
      a winget multi-file manifest of the MSIs: installer type wix, per-user scope, each
      MSI's product code and upgrade code, its Programs entry's name, publisher and
      version as the MSI itself writes them, and silent switches;
  lumivane.json
      a Scoop manifest of the portable zips: bin, a Start-menu shortcut, Lumivane.ini
      persisted (made empty on a first install, which turns portable mode on), and
      checkver/autoupdate on the release URL pattern.
The files of release X.Y.Z are at URL/X.Y.Z/<name>, with SHA256SUMS beside them.

`check` validates them against the schemas in packaging/schemas (the published ones'
rules for the fields used) and against the packages: checksums, the version, the MSIs'
product codes, names and architectures. It prints each problem and exits 1 when there is
one. Needs Debian's python3-yaml and python3-jsonschema, and msiinfo (msitools).
"""

import argparse
import hashlib
import json
import os
import re
import subprocess
import sys

import jsonschema
import yaml

PACKAGE_IDENTIFIER = "Lumivane.Lumivane"
MANIFEST_VERSION = "1.6.0"
LOCALE = "en-US"
LICENSE = "MIT"
SHORT_DESCRIPTION = "A small, exact analog desktop clock lit into the desktop beneath it"
DESCRIPTION = ("An always-on-top, borderless analog clock without a face of its own: its dial "
               "is the desktop beneath it, darkened as a dome, with minute marks, numerals and "
               "three hands lit into it. Drag it by its hands; clicks anywhere else on it reach "
               "the windows below.")
TAGS = ["clock", "analog-clock", "desktop", "tray"]
# msiexec's switches: no interface at all, or a progress bar alone; never a restart.
SILENT = "/quiet /norestart"
SILENT_WITH_PROGRESS = "/passive /norestart"
PORTABLE_FILE = "Lumivane.ini"
# Scoop keeps the persisted file as a hard link into its persist folder, and would make a
# folder of a name that is not there: an empty file, made on the first install, turns
# portable mode on and is kept across updates.
PRE_INSTALL = ('if (!(Test-Path "$persist_dir\\%s")) { New-Item "$dir\\%s" -ItemType File '
               '| Out-Null }' % (PORTABLE_FILE, PORTABLE_FILE))

WINGET_DIR = "winget"
SCOOP_FILE = "lumivane.json"
SCHEMA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "schemas")

# The Windows builds' release files (packaging/names.cmake) and what each manager calls
# the architecture; Template is the MSI's summary: the processor it installs for.
ARCHITECTURES = (
    {"zip": "win32", "msi": "x86", "winget": "x86", "scoop": "32bit", "template": "Intel"},
    {"zip": "win64", "msi": "x64", "winget": "x64", "scoop": "64bit", "template": "x64"},
)


def package_name(version, suffix, kind):
    return "Lumivane-%s-%s.%s" % (version, suffix, kind)


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def msi_properties(path):
    """The MSI's Property table, as msiinfo exports it."""
    text = subprocess.run(["msiinfo", "export", path, "Property"], check=True,
                          capture_output=True, text=True).stdout
    rows = [line.split("\t", 1) for line in text.splitlines()[3:] if "\t" in line]
    return {name: value for name, value in rows}


def msi_template(path):
    """The processor the MSI installs for (its summary's Template: Intel or x64)."""
    text = subprocess.run(["msiinfo", "suminfo", path], check=True, capture_output=True,
                          text=True).stdout
    found = re.search(r"^Template: ([^;\n]*)", text, re.MULTILINE)
    return found.group(1) if found else None


def winget_paths(dist):
    folder = os.path.join(dist, WINGET_DIR)
    return {kind: os.path.join(folder, "%s%s.yaml" % (PACKAGE_IDENTIFIER, suffix))
            for kind, suffix in (("version", ""), ("defaultLocale", ".locale." + LOCALE),
                                 ("installer", ".installer"))}


def present_architectures(dist, version):
    """The architectures whose zip and MSI of `version` are both in `dist`."""
    present = []
    for arch in ARCHITECTURES:
        files = [os.path.isfile(os.path.join(dist, package_name(version, arch[k], k)))
                 for k in ("zip", "msi")]
        if any(files) and not all(files):
            raise SystemExit("manifests: %s has the %s zip or MSI without the other"
                             % (dist, arch["winget"]))
        if all(files):
            present.append(arch)
    if not present:
        raise SystemExit("manifests: no Windows packages of %s in %s" % (version, dist))
    return present


def dump_yaml(path, schema, document):
    with open(path, "w", encoding="utf-8") as f:
        f.write("# yaml-language-server: $schema=%s\n" % schema)
        yaml.safe_dump(document, f, sort_keys=False, allow_unicode=True, width=1000)


def write(dist, version, releases_url):
    releases_url = releases_url.rstrip("/")
    release = "%s/%s" % (releases_url, version)
    present = present_architectures(dist, version)
    msis = {arch["msi"]: os.path.join(dist, package_name(version, arch["msi"], "msi"))
            for arch in present}
    properties = {name: msi_properties(path) for name, path in msis.items()}
    first = properties[present[0]["msi"]]

    common = {"PackageIdentifier": PACKAGE_IDENTIFIER, "PackageVersion": version}
    installers = []
    for arch in present:
        msi = properties[arch["msi"]]
        name = package_name(version, arch["msi"], "msi")
        installers.append({
            "Architecture": arch["winget"],
            "InstallerUrl": "%s/%s" % (release, name),
            "InstallerSha256": sha256(msis[arch["msi"]]).upper(),
            "ProductCode": msi["ProductCode"],
            # The Programs entry the MSI makes, as it makes it.
            "AppsAndFeaturesEntries": [{
                "DisplayName": msi["ProductName"],
                "Publisher": msi["Manufacturer"],
                "DisplayVersion": msi["ProductVersion"],
                "ProductCode": msi["ProductCode"],
                "UpgradeCode": msi["UpgradeCode"],
            }],
        })
    paths = winget_paths(dist)
    os.makedirs(os.path.dirname(paths["version"]), exist_ok=True)
    schema = "https://aka.ms/winget-manifest.%s.%s.schema.json"
    dump_yaml(paths["version"], schema % ("version", MANIFEST_VERSION), dict(
        common, DefaultLocale=LOCALE, ManifestType="version", ManifestVersion=MANIFEST_VERSION))
    dump_yaml(paths["defaultLocale"], schema % ("defaultLocale", MANIFEST_VERSION), dict(
        common, PackageLocale=LOCALE, Publisher=first["Manufacturer"],
        PackageName=first["ProductName"], License=LICENSE, ShortDescription=SHORT_DESCRIPTION,
        Description=DESCRIPTION, Moniker="lumivane", Tags=TAGS, ManifestType="defaultLocale",
        ManifestVersion=MANIFEST_VERSION))
    dump_yaml(paths["installer"], schema % ("installer", MANIFEST_VERSION), dict(
        common, InstallerLocale=LOCALE, InstallerType="wix", Scope="user",
        InstallModes=["interactive", "silent", "silentWithProgress"],
        InstallerSwitches={"Silent": SILENT, "SilentWithProgress": SILENT_WITH_PROGRESS},
        UpgradeBehavior="install", Installers=installers, ManifestType="installer",
        ManifestVersion=MANIFEST_VERSION))

    scoop = {
        "version": version,
        "description": SHORT_DESCRIPTION + ".",
        "homepage": releases_url + "/",
        "license": LICENSE,
        "notes": "Portable mode: the settings are kept in $persist_dir\\%s." % PORTABLE_FILE,
        "architecture": {
            arch["scoop"]: {
                "url": "%s/%s" % (release, package_name(version, arch["zip"], "zip")),
                "hash": sha256(os.path.join(dist, package_name(version, arch["zip"], "zip"))),
            } for arch in present
        },
        "pre_install": PRE_INSTALL,
        "bin": "Lumivane.exe",
        "shortcuts": [["Lumivane.exe", "Lumivane"]],
        "persist": PORTABLE_FILE,
        "checkver": {
            "url": releases_url + "/",
            "regex": r"Lumivane-([\d.]+)-%s\.zip" % present[-1]["zip"],
        },
        "autoupdate": {
            "architecture": {
                arch["scoop"]: {"url": "%s/$version/%s" % (
                    releases_url, package_name("$version", arch["zip"], "zip"))}
                for arch in present
            },
            "hash": {"url": "$baseurl/SHA256SUMS"},
        },
    }
    with open(os.path.join(dist, SCOOP_FILE), "w", encoding="utf-8") as f:
        json.dump(scoop, f, indent=4)
        f.write("\n")


def schema_problems(document, schema_file, what):
    with open(os.path.join(SCHEMA_DIR, schema_file), encoding="utf-8") as f:
        schema = json.load(f)
    # The published schemas name their draft loosely ("http://...2020-12/schema#").
    validator = (jsonschema.Draft202012Validator if "2020-12" in schema["$schema"]
                 else jsonschema.Draft7Validator)
    checker = validator(schema, format_checker=jsonschema.FormatChecker())
    return ["%s: %s at %s" % (what, error.message, "/".join(map(str, error.absolute_path)))
            for error in sorted(checker.iter_errors(document), key=str)]


def check(dist, version, both=False):
    """Every problem of the manifests in `dist` for release `version`, as text."""
    problems = []
    paths = winget_paths(dist)
    winget = {}
    for kind, path in paths.items():
        try:
            with open(path, encoding="utf-8") as f:
                winget[kind] = yaml.safe_load(f)
        except (OSError, yaml.YAMLError) as error:
            return ["winget %s manifest: %s" % (kind, error)]
        problems += schema_problems(winget[kind], "winget-%s-%s.json" % (kind, MANIFEST_VERSION),
                                    "winget %s manifest" % kind)
    try:
        with open(os.path.join(dist, SCOOP_FILE), encoding="utf-8") as f:
            scoop = json.load(f)
    except (OSError, ValueError) as error:
        return problems + ["Scoop manifest: %s" % error]
    problems += schema_problems(scoop, "scoop-manifest.json", "Scoop manifest")
    if problems:
        return problems

    for kind, document in winget.items():
        for field, expected in (("PackageIdentifier", PACKAGE_IDENTIFIER),
                                ("PackageVersion", version),
                                ("ManifestVersion", MANIFEST_VERSION)):
            if document.get(field) != expected:
                problems.append("winget %s manifest: %s is %r, not %r"
                                % (kind, field, document.get(field), expected))
    if winget["version"]["DefaultLocale"] != winget["defaultLocale"]["PackageLocale"]:
        problems.append("winget: the default locale has no locale manifest")
    if scoop["version"] != version:
        problems.append("Scoop manifest: version is %r, not %r" % (scoop["version"], version))

    present = present_architectures(dist, version)
    expected = sorted(arch["winget"] for arch in present)
    if both and len(present) != len(ARCHITECTURES):
        problems.append("%s lacks the packages of an architecture" % dist)
    installers = winget["installer"]["Installers"]
    if sorted(i["Architecture"] for i in installers) != expected:
        problems.append("winget: installers for %s, packages for %s"
                        % (sorted(i["Architecture"] for i in installers), expected))
    if sorted(scoop["architecture"]) != sorted(arch["scoop"] for arch in present):
        problems.append("Scoop: %s, packages for %s" % (sorted(scoop["architecture"]), expected))
    by_winget = {arch["winget"]: arch for arch in present}
    by_scoop = {arch["scoop"]: arch for arch in present}

    locale = winget["defaultLocale"]
    for installer in installers:
        arch = by_winget.get(installer["Architecture"])
        if arch is None:
            continue
        name = package_name(version, arch["msi"], "msi")
        what = "winget installer %s" % installer["Architecture"]
        problems += file_problems(dist, name, installer["InstallerUrl"],
                                  installer["InstallerSha256"], what)
        msi = msi_properties(os.path.join(dist, name))
        if installer.get("ProductCode") != msi["ProductCode"]:
            problems.append("%s: ProductCode %s, the MSI's is %s"
                            % (what, installer.get("ProductCode"), msi["ProductCode"]))
        if msi_template(os.path.join(dist, name)) != arch["template"]:
            problems.append("%s: %s installs for %s" % (what, name,
                                                        msi_template(os.path.join(dist, name))))
        shown = {"DisplayName": msi["ProductName"], "Publisher": msi["Manufacturer"],
                 "DisplayVersion": msi["ProductVersion"], "ProductCode": msi["ProductCode"],
                 "UpgradeCode": msi["UpgradeCode"]}
        if installer.get("AppsAndFeaturesEntries") != [shown]:
            problems.append("%s: the Programs entry %s, the MSI makes %s"
                            % (what, installer.get("AppsAndFeaturesEntries"), shown))
        if (locale["PackageName"], locale["Publisher"]) != (msi["ProductName"],
                                                            msi["Manufacturer"]):
            problems.append("winget: name and publisher %s, the MSI's %s"
                            % ((locale["PackageName"], locale["Publisher"]),
                               (msi["ProductName"], msi["Manufacturer"])))
        if msi["ProductVersion"] != version:
            problems.append("%s: the MSI is of version %s" % (what, msi["ProductVersion"]))
    switches = winget["installer"].get("InstallerSwitches", {})
    if (winget["installer"].get("InstallerType"), winget["installer"].get("Scope"),
            switches.get("Silent")) != ("wix", "user", SILENT):
        problems.append("winget: not a silent per-user wix install")

    for key, entry in scoop["architecture"].items():
        arch = by_scoop.get(key)
        if arch is None:
            continue
        name = package_name(version, arch["zip"], "zip")
        problems += file_problems(dist, name, entry["url"], entry["hash"], "Scoop " + key)
        update = scoop["autoupdate"]["architecture"].get(key, {}).get("url", "")
        if update.replace("$version", version) != entry["url"]:
            problems.append("Scoop %s: autoupdate's %s is not the release's URL" % (key, update))
    found = [re.search(scoop["checkver"]["regex"], package_name(version, arch["zip"], "zip"))
             for arch in present]
    if not any(match and match.group(1) == version for match in found):
        problems.append("Scoop: checkver's regex finds the version in none of the zips")
    if (scoop.get("bin"), scoop.get("persist"), scoop.get("shortcuts")) != (
            "Lumivane.exe", PORTABLE_FILE, [["Lumivane.exe", "Lumivane"]]):
        problems.append("Scoop: bin, persist or shortcuts are not Lumivane's")
    return problems


def file_problems(dist, name, url, digest, what):
    path = os.path.join(dist, name)
    problems = []
    if url.rsplit("/", 1)[-1] != name:
        problems.append("%s: the URL %s does not name %s" % (what, url, name))
    if not os.path.isfile(path):
        return problems + ["%s: %s is not in %s" % (what, name, dist)]
    if digest.lower() != sha256(path):
        problems.append("%s: SHA-256 %s, the file's is %s" % (what, digest, sha256(path)))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("action", choices=("write", "check"))
    parser.add_argument("dist")
    parser.add_argument("--version", required=True)
    parser.add_argument("--releases-url")
    parser.add_argument("--both", action="store_true", help="both architectures are required")
    args = parser.parse_args()
    if args.action == "write":
        if not args.releases_url:
            parser.error("write needs --releases-url")
        write(args.dist, args.version, args.releases_url)
        return 0
    problems = check(args.dist, args.version, args.both)
    for problem in problems:
        print("manifests: " + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
