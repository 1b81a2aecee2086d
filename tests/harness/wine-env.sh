#!/usr/bin/env bash
# A private X server and Wine prefix for the tests of one build folder.
#   wine-env.sh start ROOT       start Xvfb and wineserver, create the prefix if missing;
#                                with HV_DESKTOP_HOLDER (and HV_DESKTOP_HOLDER_BITS) it keeps
#                                one Wine desktop open for the whole run (see hold_desktop)
#   wine-env.sh stop ROOT        end every process that start began
#   wine-env.sh run ROOT BITS EXE [ARGS...]   run a Windows program there (BITS 32 or 64);
#                                with HV_WINE_LOCALE (ja_JP.UTF-8, zh_CN.UTF-8, zh_TW.UTF-8)
#                                it runs as on a Windows of that locale's ANSI code page
# A program this host cannot run fails, naming what is missing; only a developer's explicit
# HV_SKIP_32BIT=1 turns that into exit 77 (reported as skipped) for 32-bit programs.
set -u
cmd=${1:?command}; root=${2:?root}
mkdir -p "$root"
root=$(cd "$root" && pwd)
envfile=$root/env

wineserver_bin() {
  local s
  for s in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32 /usr/lib/wine/wineserver; do
    [ -x "$s" ] && "$s" --version >/dev/null 2>&1 && { echo "$s"; return 0; }
  done
  command -v wineserver
}

# The loader for BITS, when this host can execute it: some virtual machines run no 32-bit
# x86 code at all, and then a 32-bit Windows program cannot run under any Wine.
wine_loader() {
  local l
  case $1 in
    64) l=/usr/lib/wine/wine64 ;;
    32) l=/usr/lib/wine/wine ;;
  esac
  [ -x "$l" ] && "$l" --version >/dev/null 2>&1 && echo "$l"
}

# One step of start: on failure it names the step, its exit code and its output, and ends
# start with that code, so a CI log alone says which step broke.
step() {
  local what=$1 log=$root/step.log code
  shift
  "$@" </dev/null >"$log" 2>&1
  code=$?
  if [ $code -ne 0 ]; then
    echo "wine-env: $what failed (exit code $code):" >&2
    cat "$log" >&2
    exit $code
  fi
}

start() {
  stop_quietly
  # Before any Wine process: compiling a locale while Wine's first processes are still
  # settling was seen to slow every later program start of that prefix by about 10 s.
  make_locales
  # Xvfb picks a free display itself and writes its number once it accepts connections, so
  # no other X server can collide with ours: neither another test run's nor one in a chroot,
  # whose abstract socket is shared although its lock file is not seen here.
  rm -f "$root/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$root/display" </dev/null \
    >"$root/xvfb.log" 2>&1 &
  echo $! >"$root/xvfb.pid"
  local display=""
  for _ in $(seq 200); do
    display=$(sed -n '1{/^[0-9][0-9]*$/p}' "$root/display" 2>/dev/null)
    [ -n "$display" ] && break
    kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null || break
    sleep 0.05
  done
  [ -n "$display" ] || { echo "wine-env: Xvfb did not start:" >&2; cat "$root/xvfb.log" >&2; exit 1; }

  # Each probe starts Wine (under the emulator for 32 bits), so each is made once here.
  local loader loader32 loader64
  loader64=$(wine_loader 64); loader32=$(wine_loader 32)
  loader=${loader64:-$loader32}
  [ -n "$loader" ] || { echo "wine-env: no Wine loader runs on this host" >&2; exit 1; }
  cat >"$envfile" <<ENV
export WINEPREFIX='$root/prefix'
export WINESERVER='$(wineserver_bin)'
export WINEDEBUG=-all
# Wine takes its code pages from the locale. Whatever the caller's, every test sees Unix
# file names in UTF-8 (in the C locale Wine cannot open a non-ASCII path at all) and an
# English Windows with its Western ANSI code page.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES='mscoree,mshtml='
export DISPLAY=':$display'
export HV_PREFIX_LOADER='$loader'
export HV_LOADER_32='$loader32'
export HV_LOADER_64='$loader64'
ENV
  # shellcheck disable=SC1090
  . "$envfile"
  # Drive D: is a CD-ROM drive, over a folder of the run where a test mounts a disc. Wine
  # reads the drive types when its first program starts, so the setting is made before the
  # server that the tests use starts (a prefix made before it was one gets it here too).
  local cdrom=(env WINELOADER="$loader" "$loader" reg add 'HKLM\Software\Wine\Drives' /v d:
               /d cdrom /f)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    step "making the prefix (wineboot -i)" env WINELOADER="$loader" "$loader" wineboot -i
    step "making D: a CD-ROM drive" "${cdrom[@]}"
    # wineboot returns before the programs it started have ended; a program started while
    # they still settle was seen to fail ("ShellExecuteEx failed") under load. -w waits for
    # that first server, and with it every process of the new prefix, to end.
    step "waiting for the new prefix to settle" "$WINESERVER" -w
  elif ! grep -q '^"d:"="cdrom"' "$WINEPREFIX/system.reg"; then
    step "making D: a CD-ROM drive" "${cdrom[@]}"
    step "waiting for the prefix to settle again" "$WINESERVER" -w
  fi
  mkdir -p "$root/disc"
  ln -sfn "$root/disc" "$WINEPREFIX/dosdevices/d:"
  # The server must not hold ctest's pipes open, so all three streams are redirected.
  step "starting wineserver" "$WINESERVER" -p
  install_fonts
  # Without a window manager Wine must draw the frame itself and take the keyboard focus.
  local key='HKCU\Software\Wine\X11 Driver'
  step "setting $key Managed" env WINELOADER="$loader" "$loader" reg add "$key" /v Managed /d N /f
  step "setting $key Decorated" env WINELOADER="$loader" "$loader" reg add "$key" /v Decorated /d N /f
  # Wine's default is 96 dots per inch; a test configuration may ask for another
  # (HV_WINE_DPI), which scales every dialog: the harness measures, so it must not care.
  step "setting the DPI" env WINELOADER="$loader" "$loader" reg add 'HKCU\Control Panel\Desktop' \
    /v LogPixels /t REG_DWORD /d "${HV_WINE_DPI:-96}" /f
  hold_desktop
  echo "wine-env: display :$display, prefix $WINEPREFIX"
}

# Debian's Wine never looks in /usr/share/wine/fonts, where fonts-wine puts Wine's own fonts;
# without Marlett the caption's close button shows the letter "r" (its code in Marlett) in
# another font. A prefix's Fonts folder is one Wine does read.
install_fonts() {
  local fonts=$WINEPREFIX/drive_c/windows/Fonts f
  [ -d /usr/share/wine/fonts ] || return 0
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/*.ttf; do
    [ -e "$fonts/${f##*/}" ] || cp "$f" "$fonts/" ||
      { echo "wine-env: copying $f into $fonts failed" >&2; exit 1; }
  done
}

# Wine's desktop (explorer) ends about a second after the last window on it closes, and the
# next program then starts a new one; a dialog created while the old one is going away was
# seen to fail (DialogBoxParamA, exit code 1) under load. A program that stays attached to the
# desktop for the whole run keeps one desktop from the first test to wine-env stop.
hold_desktop() {
  [ -n "${HV_DESKTOP_HOLDER:-}" ] || return 0
  local bits=${HV_DESKTOP_HOLDER_BITS:-32} loader ready=$root/holder.out
  [ "$bits" = 64 ] && loader=$HV_LOADER_64 || loader=$HV_LOADER_32
  [ -n "$loader" ] || { echo "wine-env: no $bits-bit loader for the desktop holder" >&2; exit 1; }
  rm -f "$ready"
  WINELOADER=$loader "$loader" "$HV_DESKTOP_HOLDER" --hold-desktop </dev/null >"$ready" 2>&1 &
  echo $! >"$root/holder.pid"
  for _ in $(seq 600); do
    grep -q '^holding' "$ready" 2>/dev/null && return 0
    kill -0 "$(cat "$root/holder.pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "wine-env: the desktop holder did not report holding the desktop:" >&2
  cat "$ready" >&2
  exit 1
}

# Wine takes the ANSI code page from the Unix locale: ja_JP gives Japanese 932, zh_CN
# Chinese 936, zh_TW Chinese 950. The locales are compiled into the build folder, so
# nothing in the machine's own locale set-up changes (the definitions come from the
# locales package).
code_page_locales=(ja_JP zh_CN zh_TW)

make_locales() {
  local l
  for l in "${code_page_locales[@]}"; do
    [ -f "$root/locale/$l.UTF-8/LC_CTYPE" ] && continue
    mkdir -p "$root/locale"
    localedef -i "$l" -f UTF-8 "$root/locale/$l.UTF-8" >"$root/localedef.log" 2>&1
    [ -f "$root/locale/$l.UTF-8/LC_CTYPE" ] ||
      { echo "wine-env: could not make the locale $l.UTF-8:" >&2; cat "$root/localedef.log" >&2; }
  done
}

stop_quietly() {
  if [ -f "$envfile" ]; then
    # shellcheck disable=SC1090
    . "$envfile"
    "$WINESERVER" -k </dev/null >/dev/null 2>&1
    "$WINESERVER" -w </dev/null >/dev/null 2>&1
  fi
  # wineserver -k ended the holder; its shell side goes too.
  if [ -f "$root/holder.pid" ]; then
    kill "$(cat "$root/holder.pid")" 2>/dev/null
    rm -f "$root/holder.pid"
  fi
  if [ -f "$root/xvfb.pid" ]; then
    kill "$(cat "$root/xvfb.pid")" 2>/dev/null
    rm -f "$root/xvfb.pid"
  fi
  rm -f "$envfile"
}

run() {
  local bits=${1:?bits}; shift
  [ -f "$envfile" ] || { echo "wine-env: not started ($root)" >&2; exit 1; }
  # shellcheck disable=SC1090
  . "$envfile"
  if [ -n "${HV_WINE_LOCALE:-}" ]; then
    [ -f "$root/locale/$HV_WINE_LOCALE/LC_CTYPE" ] ||
      { echo "wine-env: no locale $HV_WINE_LOCALE in $root/locale" >&2; exit 1; }
    export LC_ALL=$HV_WINE_LOCALE LOCPATH=$root/locale
  fi
  local loader
  case $bits in
    32) loader=$HV_LOADER_32 ;;
    64) loader=$HV_LOADER_64 ;;
  esac
  if [ -z "$loader" ]; then
    if [ "$bits" = 32 ] && [ "${HV_SKIP_32BIT:-0}" = 1 ]; then
      echo "wine-env: this host cannot run 32-bit x86 code; skipped (HV_SKIP_32BIT=1)" >&2
      exit 77
    fi
    echo "wine-env: this host cannot run $bits-bit x86 code, so Wine cannot start a" \
         "$bits-bit program; scripts/setup (as root) sets up an emulator for it" >&2
    exit 1
  fi
  WINELOADER=$loader exec "$loader" "$@"
}

case $cmd in
  start) start ;;
  stop) stop_quietly; echo "wine-env: stopped" ;;
  run) shift 2; run "$@" ;;
  *) echo "usage: wine-env.sh start|stop|run ROOT ..." >&2; exit 2 ;;
esac
