# Shared by scripts/run and scripts/test: builds, the virtual display and the
# throwaway Wine prefix. Source it; it defines functions only.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=${LUMIVANE_WORK:-$root/build/work}
jobs=${LUMIVANE_JOBS:-$(nproc)}

build_native() {
  cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMIVANE_SANITIZE=ON -DLUMIVANE_WERROR=ON >/dev/null
  ninja -C "$root/build/native" -j "$jobs"
}

# The Linux program as it ships: no sanitizers, no tests (scripts/run --native, the
# package, its cost).
build_linux() {
  cmake -S "$root" -B "$root/build/linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMIVANE_TESTS=OFF -DLUMIVANE_BENCH=OFF -DLUMIVANE_WERROR=ON >/dev/null
  ninja -C "$root/build/linux" -j "$jobs" lumivane
}

# The fuzzer needs clang's libFuzzer: a native clang flavour that builds only it.
build_fuzz() {
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVANE_FUZZ=ON -DLUMIVANE_BENCH=OFF \
    -DLUMIVANE_LINUX=OFF >/dev/null
  ninja -C "$root/build/fuzz" -j "$jobs" lumivane_clock_fuzzer
}

# configure_windows i686|x86_64
configure_windows() {
  local arch=$1
  cmake -S "$root" -B "$root/build/$arch" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    --toolchain "$root/cmake/mingw-$arch.cmake" -DLUMIVANE_WERROR=ON \
    -DLUMIVANE_NATIVE_RENDER="$root/build/native/tools/render/lumivane-render" >/dev/null
}

# build_windows i686|x86_64
build_windows() {
  configure_windows "$1"
  ninja -C "$root/build/$1" -j "$jobs"
}

# The program's version, as CMake's project() has it.
lumivane_version() {
  sed -n 's/^project(Lumivane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt"
}

# The publisher, as CMakeLists.txt names it.
lumivane_publisher() {
  sed -n 's/^set(LUMIVANE_PUBLISHER "\(.*\)")$/\1/p' "$root/CMakeLists.txt"
}

# Where releases are published, as CMakeLists.txt names it.
lumivane_releases_url() {
  sed -n 's/^set(LUMIVANE_RELEASES_URL "\(.*\)")$/\1/p' "$root/CMakeLists.txt"
}

# Debian's Python, with the packages scripts/setup installs (python3-yaml,
# python3-jsonschema), whatever else the PATH offers.
system_python() {
  if [ -x /usr/bin/python3 ]; then echo /usr/bin/python3; else command -v python3; fi
}

# Starts Xvfb at 1366 x 768 (the display the tests are written for) unless
# LUMIVANE_DISPLAY names one already running; exports DISPLAY.
start_xvfb() {
  if [ -n "${LUMIVANE_DISPLAY:-}" ]; then
    export DISPLAY=$LUMIVANE_DISPLAY
    return
  fi
  mkdir -p "$work"
  trap stop_xvfb EXIT
  start_x_server xvfb_pid "$work/xvfb.display" Xvfb -screen 0 1366x768x24
  export DISPLAY=":$(cat "$work/xvfb.display")"
}

# Starts an X server that picks its own display number: $1 names the variable for
# its process id, $2 a file for the number, the rest is the server's command. The
# server writes the number once it takes clients; a loaded machine can take seconds.
start_x_server() {
  local pid_variable=$1 fdfile=$2 pid
  shift 2
  rm -f "$fdfile"
  "$@" -displayfd 3 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  pid=$!
  printf -v "$pid_variable" %s "$pid"
  for _ in $(seq 600); do
    [ -s "$fdfile" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "$1 did not start (no display number within 60 s)" >&2
  return 1
}

# A second display on which Wine sees two monitors, for the tests that need them:
# the primary 1366 x 768 at (0, 0) and 1920 x 1080 at (1366, 0). Xvfb alone gives
# Wine one monitor; Xephyr on an Xvfb host, its screens joined by Xinerama and RANDR
# off (else Wine asks RandR and sees one), gives two. Unless
# LUMIVANE_TWO_MONITOR_DISPLAY names one already running; exports it.
start_two_monitors() {
  [ -n "${LUMIVANE_TWO_MONITOR_DISPLAY:-}" ] && return
  mkdir -p "$work"
  start_x_server host_pid "$work/xephyr-host.display" Xvfb -screen 0 3400x1200x24
  DISPLAY=":$(cat "$work/xephyr-host.display")" start_x_server xephyr_pid \
    "$work/xephyr.display" Xephyr +xinerama -extension RANDR \
    -screen 1366x768+0+0 -screen 1920x1080+1366+0
  export LUMIVANE_TWO_MONITOR_DISPLAY=":$(cat "$work/xephyr.display")"
}

stop_xvfb() {
  local pid
  for pid in ${xephyr_pid:-} ${host_pid:-} ${xvfb_pid:-}; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
    WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
  fi
}

# A fresh Wine prefix made once per run; tests copy it rather than boot their own.
make_wine_template() {
  export WINEDEBUG=-all
  local template="$work/wine-template"
  rm -rf "$template"
  mkdir -p "$work"
  # No Mono or Gecko installers: they would ask through a dialog.
  WINEPREFIX=$template WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" wineboot -i >/dev/null 2>&1
  # A crashing program must fail its test, not wait for a click in a crash dialog.
  WINEPREFIX=$template wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  # Copied by every test: one that is not whole would fail them all, each its own way.
  if ! grep -qs ShowCrashDialog "$template/user.reg"; then
    echo "the Wine prefix $template was not made" >&2
    return 1
  fi
  export LUMIVANE_WINE_TEMPLATE=$template
}

# A private copy of the template, for one user of Wine.
fresh_prefix() {
  local target=$1
  rm -rf "$target"
  cp -a "$LUMIVANE_WINE_TEMPLATE" "$target"
}
