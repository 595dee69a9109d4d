# Shared by scripts/run and scripts/test: packages, build, and a private Wine + Xvfb.
# Source it; it defines functions and sets ROOT and BUILD.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QM_BUILD:-$ROOT/build}"
# scripts/run and scripts/test keep apart: the tests end every server and delete the registry
# key of their prefix, which must not touch a server that scripts/run started.
QM_RUN_PREFIX="$BUILD/wineprefix"
QM_TEST_PREFIX="$BUILD/wineprefix-test"
# The name-handling tests run a second time where the ANSI code page is Windows-1251, the one
# conf.xml declares: Wine takes the code page from the Unix locale, and a prefix keeps the
# locale it was made under, so those runs have a prefix (and a wineserver) of their own.
# tests/CMakeLists.txt names the same prefix and locale for those runs.
QM_CP1251_PREFIX="$BUILD/wineprefix-1251"
QM_CP1251_LOCALE="ru_RU.UTF-8"

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

# Generates the Russian UTF-8 locale where it is missing (Debian keeps its sources in the
# locales package), and lists it in /etc/locale.gen so that a later locale-gen keeps it.
qm_install_locale() {
  if locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then return; fi
  echo "== generating the locale $QM_CP1251_LOCALE"
  if ! command -v localedef >/dev/null || [ ! -f /usr/share/i18n/locales/ru_RU ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends locales >/dev/null
  fi
  if [ -f /etc/locale.gen ] && ! grep -qx "$QM_CP1251_LOCALE UTF-8" /etc/locale.gen; then
    if grep -qx "# *$QM_CP1251_LOCALE UTF-8" /etc/locale.gen; then
      sed -i "s/^# *$QM_CP1251_LOCALE UTF-8\$/$QM_CP1251_LOCALE UTF-8/" /etc/locale.gen
    else
      echo "$QM_CP1251_LOCALE UTF-8" >>/etc/locale.gen
    fi
  fi
  localedef -i ru_RU -f UTF-8 "$QM_CP1251_LOCALE"
  locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8' || { echo "== $QM_CP1251_LOCALE could not be generated" >&2; return 1; }
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
  qm_warm_prefix "$QM_TEST_PREFIX"
  qm_own_shell_folders "$QM_TEST_PREFIX"
  qm_small_drive "$QM_TEST_PREFIX" "$BUILD/smalldrive"
}

# A persistent wineserver for prefix, warmed up by one program start; further arguments are
# environment settings for both (env's NAME=VALUE form).
qm_warm_prefix() {
  local prefix="$1"; shift
  mkdir -p "$prefix"
  env WINEPREFIX="$prefix" "$@" wineserver -p >/dev/null 2>&1 </dev/null || true
  env WINEPREFIX="$prefix" "$@" wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# The prefix of the Windows-1251 runs, made under the Russian locale, with a small drive of its
# own (the runs go in parallel with the others). Fails when Wine does not give it code page 1251.
qm_start_wine_1251() {
  qm_warm_prefix "$QM_CP1251_PREFIX" LC_ALL="$QM_CP1251_LOCALE"
  local acp
  acp=$(env WINEPREFIX="$QM_CP1251_PREFIX" LC_ALL="$QM_CP1251_LOCALE" \
        wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null </dev/null |
        tr -d '\r' | awk '$1 == "ACP" { print $3 }')
  if [ "$acp" != "1251" ]; then
    echo "== the prefix $QM_CP1251_PREFIX has code page '${acp:-?}', not 1251" >&2
    return 1
  fi
  qm_small_drive "$QM_CP1251_PREFIX" "$BUILD/smalldrive-1251"
}

# A fresh prefix links the shell's Desktop and Documents to the Unix home folder. The picker
# tests browse them, so they become folders of the prefix's own, inside the build folder.
qm_own_shell_folders() {
  local prefix="$1" folder
  for folder in "$prefix"/drive_c/users/*/Desktop "$prefix"/drive_c/users/*/Documents; do
    [ -L "$folder" ] || continue
    rm -f "$folder" && mkdir -p "$folder"
  done
}

# Drive T: on a 4 MiB tmpfs of its own, for the disk-full tests; skipped where mounting is
# not permitted (the tests then skip with a reason).
qm_small_drive() {
  local prefix="$1" mnt="$2"
  export QM_SMALL_DRIVE=""
  mkdir -p "$mnt"
  if mountpoint -q "$mnt" || mount -t tmpfs -o size=4m tmpfs "$mnt" 2>/dev/null; then
    ln -sfn "$mnt" "$prefix/dosdevices/t:"
    export QM_SMALL_DRIVE="T"
  else
    echo "== no small drive: mounting a tmpfs is not permitted here; disk-full tests will skip"
  fi
}

qm_stop_wine() {
  WINEPREFIX="$QM_TEST_PREFIX" wineserver -k >/dev/null 2>&1 || true
  [ -d "$QM_CP1251_PREFIX" ] && { WINEPREFIX="$QM_CP1251_PREFIX" wineserver -k >/dev/null 2>&1 || true; }
  [ -n "${QM_XVFB_PID:-}" ] && kill "$QM_XVFB_PID" 2>/dev/null || true
  local mnt
  for mnt in "$BUILD/smalldrive" "$BUILD/smalldrive-1251"; do
    if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || true; fi
  done
}
