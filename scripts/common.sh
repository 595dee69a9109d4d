# Shared by scripts/run and scripts/test: packages, build, and a private Wine + Xvfb.
# Source it; it defines functions and sets ROOT and BUILD.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QM_BUILD:-$ROOT/build}"
# scripts/run and scripts/test keep apart: the tests end every server and delete the registry
# key of their prefix, which must not touch a server that scripts/run started.
QM_RUN_PREFIX="$BUILD/wineprefix"
QM_TEST_PREFIX="$BUILD/wineprefix-test"

qm_install_packages() {
  local need=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
  command -v wine >/dev/null || need+=(wine wine64)
  command -v Xvfb >/dev/null || need+=(xvfb xauth)
  command -v cmake >/dev/null || need+=(cmake)
  [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
  command -v halibut >/dev/null || need+=(halibut)
  if [ ${#need[@]} -gt 0 ]; then
    echo "== installing: ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  fi
}

qm_build() {
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j "$(nproc)"
}

# The tests' own Wine prefix inside the build folder, a persistent wineserver warmed up once
# with its output redirected (otherwise Wine's helper processes inherit ctest's pipes and ctest hangs), and a
# private X display so that message boxes, dialogs and the tray are real windows.
qm_start_wine() {
  export WINEPREFIX="$QM_TEST_PREFIX"
  export WINEARCH=win64
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local display=$((90 + RANDOM % 400))
  while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  QM_XVFB_PID=$!
  export DISPLAY=":$display"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display}" ] && break; sleep 0.1; done
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  qm_own_shell_folders
  qm_small_drive
}

# A fresh prefix links the shell's Desktop and Documents to the Unix home folder. The picker
# tests browse them, so they become folders of the prefix's own, inside the build folder.
qm_own_shell_folders() {
  local folder
  for folder in "$WINEPREFIX"/drive_c/users/*/Desktop "$WINEPREFIX"/drive_c/users/*/Documents; do
    [ -L "$folder" ] || continue
    rm -f "$folder" && mkdir -p "$folder"
  done
}

# Drive T: on a 4 MiB tmpfs of its own, for the disk-full tests; skipped where mounting is
# not permitted (the tests then skip with a reason).
qm_small_drive() {
  export QM_SMALL_DRIVE=""
  local mnt="$BUILD/smalldrive"
  mkdir -p "$mnt"
  if mountpoint -q "$mnt" || mount -t tmpfs -o size=4m tmpfs "$mnt" 2>/dev/null; then
    ln -sfn "$mnt" "$WINEPREFIX/dosdevices/t:"
    export QM_SMALL_DRIVE="T"
  else
    echo "== no small drive: mounting a tmpfs is not permitted here; disk-full tests will skip"
  fi
}

qm_stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${QM_XVFB_PID:-}" ] && kill "$QM_XVFB_PID" 2>/dev/null || true
  if mountpoint -q "$BUILD/smalldrive" 2>/dev/null; then umount "$BUILD/smalldrive" || true; fi
}
