#!/usr/bin/env bash
# Builds the release a second time, from a copy of the sources at another path and later
# than the first build, and compares the program and the zip with the first build's byte
# for byte; with a test kit zip, the kit too. A difference names the file and its first
# differing offset.
# Usage: check_reproducible.sh SOURCE_DIR PRESET EPOCH FIRST_EXE FIRST_ZIP [FIRST_KIT_ZIP]
set -euo pipefail
src=$1 preset=$2 epoch=$3 first_exe=$4 first_zip=$5 first_kit=${6:-}
scratch=$(mktemp -d /tmp/hv-rebuild.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
copy=$scratch/somewhere/else/entirely/hvsetup-sources
mkdir -p "$copy"

# The checkout's files as a clone would hold them, local edits included; no build output.
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$src" && git ls-files -z --cached --others --exclude-standard |
     tar --null --ignore-failed-read -T - -cf -) | tar -xf - -C "$copy"
else
  tar -C "$src" --exclude=./build -cf - . | tar -xf - -C "$copy"
fi

cd "$copy"
# One core: the tests under Wine run beside this on the other, mostly waiting for Windows.
if [ -n "$first_kit" ]; then
  SOURCE_DATE_EPOCH=$epoch cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 1 --target hv_release_zip hv_test_kit >/dev/null
else
  SOURCE_DATE_EPOCH=$epoch cmake --preset "$preset" -DBUILD_TESTING=OFF >/dev/null
  cmake --build --preset "$preset" -j 1 --target hv_release_zip >/dev/null
fi
second_exe=$copy/build/$preset/hvsetup.exe
second_zip=$copy/build/$preset/$(basename "$first_zip")

failed=0
compare() {
  local what=$1 first=$2 second=$3 difference
  if difference=$(cmp -- "$first" "$second" 2>&1); then
    echo "same: $what ($(stat -c %s "$first") bytes)"
    return
  fi
  failed=1
  if [[ $difference =~ byte\ ([0-9]+) ]]; then
    printf 'DIFFERENT: %s first differs at offset 0x%X\n' "$what" $((BASH_REMATCH[1] - 1))
  else
    echo "DIFFERENT: $what: $difference"
  fi
}
compare "$preset hvsetup.exe" "$first_exe" "$second_exe"
compare "$(basename "$first_zip")" "$first_zip" "$second_zip"
if [ -n "$first_kit" ]; then
  compare "$(basename "$first_kit")" "$first_kit" "$copy/build/$preset/$(basename "$first_kit")"
fi

# Nothing of where or by whom it was built may be inside, the kit's programs included.
programs=("$first_exe" "$second_exe")
if [ -n "$first_kit" ]; then
  mkdir "$scratch/kit"
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "$first_kit" "$scratch/kit"
  programs+=("$scratch"/kit/*.exe)
fi
for exe in "${programs[@]}"; do
  for leak in "$src" "$copy" "$(dirname "$first_exe")" "$(id -un)@"; do
    if grep -qaF -- "$leak" "$exe"; then
      echo "LEAK: $exe contains \"$leak\""
      failed=1
    fi
  done
done
exit $failed
