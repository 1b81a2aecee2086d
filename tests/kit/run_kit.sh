#!/usr/bin/env bash
# Runs the test kit as a Windows user does, under Wine: unzipped into a fresh folder (spaces
# and non-ASCII letters in its path) on drive C: of the tests' own Wine prefix, which the
# test run made afresh, its runner started through cmd. Passes when the runner's last line
# says 0 failed; prints its per-program counts.
# Usage: run_kit.sh KIT_ZIP BITS WINE_ROOT OUT [FOLDER]
#   WINE_ROOT  the running Wine environment of the tests (harness/wine-env.sh start)
#   OUT        replaced: the runner's console output and its counts (result.txt)
#   FOLDER     the kit's folder on C:, "Halvern Prüfung Kit" unless given
# With HV_WINE_LOCALE the kit runs under that locale's ANSI code page (harness/wine-env.sh).
set -uo pipefail
zip=$1 bits=$2 root=$3 out=$4 name=${5:-Halvern Prüfung Kit}
env_sh=$(cd "$(dirname "$0")/../harness" && pwd)/wine-env.sh
zip=$(realpath "$zip")
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
[ -f "$root/env" ] || { echo "kit: no running Wine environment in $root"; exit 1; }
root=$(cd "$root" && pwd)  # the runner is started from the kit's folder
# shellcheck disable=SC1091
. "$root/env"
folder="$WINEPREFIX/drive_c/$name"
rm -rf "$folder"
mkdir -p "$folder"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
  "$zip" "$folder" || { echo "kit: unzipping $zip into $folder failed"; exit 1; }
cd "$folder" || { echo "kit: cannot enter $folder"; exit 1; }
bash "$env_sh" run "$root" "$bits" cmd /c run-tests.exe </dev/null >"$out/console.txt" 2>&1
code=$?
[ $code -eq 77 ] && { cat "$out/console.txt"; exit 77; }
# What the runner said of each program and its last line, kept for the test command to show.
last=$(tr -d '\r' <"$folder/run-tests.log" 2>/dev/null | sed '/^$/d' | tail -n 1)
{ tr -d '\r' <"$out/console.txt" | grep -a -e ': .* passed, .* failed, .* skipped' -e '^kit note: '
  echo "kit: $last (exit code $code)"; } | tee "$out/result.txt"
# It ends naming the code page it ran under, which must be the one asked for.
page='[0-9]+'
[ -n "${HV_EXPECTED_CODE_PAGE:-}" ] && page=$HV_EXPECTED_CODE_PAGE
if [ $code -ne 0 ] ||
   ! [[ $last =~ ^[0-9]+\ passed,\ 0\ failed,\ [0-9]+\ skipped\ on\ .*ANSI\ code\ page\ $page$ ]]; then
  echo "kit: FAILED; the runner's log follows"
  cat "$folder/run-tests.log" 2>/dev/null || cat "$out/console.txt"
  exit 1
fi
