"""Wine prefixes for the sessions: a template booted once, a private copy for
each session, and the end of what a killed test left running."""

import glob
import os
import shutil
import subprocess

from environment import OUT, HarnessError


def wine_env(prefix):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env["WINEDEBUG"] = "-all"
    # No Mono or Gecko installers: they would ask through a dialog. No menu entries
    # in the user's own home for the shortcuts an installer makes.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
    return env


# Wine's own loader of 64-bit programs.
WINE64 = "/usr/lib/wine/wine64"


def wine_for(program):
    """The loader that runs `program` (a file here) itself. `wine` hands a 64-bit program
    to start.exe, whose start of it fails now and then on a loaded machine
    ("ShellExecuteEx failed: Internal error"); wine64 runs it directly."""
    try:
        with open(program, "rb") as image:
            head = image.read(1024)
        machine = head[int.from_bytes(head[0x3C:0x40], "little") + 4:][:2]
    except (OSError, ValueError):
        return "wine"
    return WINE64 if machine == b"\x64\x86" and os.path.isfile(WINE64) else "wine"


def wine_template():
    """$LUMIVANE_WINE_TEMPLATE, or a prefix booted once and kept in the output dir."""
    template = os.environ.get("LUMIVANE_WINE_TEMPLATE")
    if template:
        if not os.path.isfile(os.path.join(template, "system.reg")):
            raise HarnessError("LUMIVANE_WINE_TEMPLATE=%s is not a Wine prefix" % template)
        return template
    template = os.path.join(OUT, "wine-template")
    if os.path.isfile(os.path.join(template, ".lumivane-ready")):
        return template
    shutil.rmtree(template, ignore_errors=True)
    os.makedirs(template)
    env = wine_env(template)
    subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=300)
    # A crashing program must fail its test, not wait for a click in a crash dialog.
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v",
                    "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    subprocess.run(["wineserver", "-w"], env=env, timeout=120)
    open(os.path.join(template, ".lumivane-ready"), "w").close()
    return template


_swept = False


def end_leftover_sessions():
    """A test process killed on a timeout leaves its program running on the
    display, in front of the next test's screenshots; end those first."""
    global _swept
    if _swept:
        return
    _swept = True
    for prefix in glob.glob(os.path.join(OUT, "*", "*", "prefix")):
        subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


def copy_prefix(template, target):
    """A private prefix: the registry files copied, the large, read-only rest
    hard-linked (copied where links are impossible). The template's server lock
    is left behind so that the copy gets a wineserver of its own."""
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    for name in os.listdir(template):
        source = os.path.join(template, name)
        if name == "wineserver" or name.startswith(".lumivane"):
            continue
        if os.path.isdir(source) and not os.path.islink(source):
            done = subprocess.run(["cp", "-al", source, target],
                                  stderr=subprocess.DEVNULL).returncode == 0
            if not done:
                shutil.rmtree(os.path.join(target, name), ignore_errors=True)
                subprocess.run(["cp", "-a", source, target], check=True)
        else:
            subprocess.run(["cp", "-a", source, target], check=True)
