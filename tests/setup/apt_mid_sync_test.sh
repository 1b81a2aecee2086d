#!/usr/bin/env bash
# Set-up's apt steps against an archive caught mid-sync, staged for real: a local file:
# archive whose Release names other hashes than one of its package indices, in a throwaway
# apt configuration (its own sources, lists, cache and dpkg status; installs simulated), so
# the machine's own apt sources, lists and packages are never touched.
#
# The archive has a release suite "hvrel" and its security suite "hvrel-security", which
# updates a multi-arch library (libpair 1.0 -> 1.1) for amd64 and i386. Three outcomes:
#   goes on     the security suite's i386 index fails; an amd64-only install still works
#   falls back  the same; tool (amd64) and tool32:i386 need libpair in one version on both
#               architectures, which only the release's own suite can give
#   stops       the release's own i386 index fails; nothing offers tool32:i386
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
steps=${HV_APT_STEPS:-$here/../../scripts/apt-steps.sh}
work=$(mktemp -d "${TMPDIR:-/tmp}/hv-apt-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL  $*"; failures=$((failures + 1)); }

# --- the archive ---------------------------------------------------------------------------
deb() {  # NAME VERSION ARCH [DEPENDS]
  local dir=$work/src/$1-$2-$3
  mkdir -p "$dir/DEBIAN"
  {
    echo "Package: $1"; echo "Version: $2"; echo "Architecture: $3"
    echo "Maintainer: hvsetup tests <tests@invalid>"
    [ "$1" = libpair ] && echo "Multi-Arch: same"
    [ -n "${4:-}" ] && echo "Depends: $4"
    echo "Description: stand-in package for the set-up test"
  } >"$dir/DEBIAN/control"
  mkdir -p "$work/archive/pool"
  dpkg-deb --root-owner-group -b "$dir" "$work/archive/pool/$1_$2_$3.deb" >/dev/null ||
    { echo "FAIL  dpkg-deb could not build $1 $2 $3"; exit 1; }
}

index() {  # SUITE ARCH DEB...
  local dir=$work/archive/dists/$1/main/binary-$2
  mkdir -p "$dir"
  local f
  for f in "${@:3}"; do
    dpkg-deb -f "$work/archive/pool/$f"
    echo "Filename: pool/$f"
    echo "Size: $(stat -c %s "$work/archive/pool/$f")"
    echo "SHA256: $(sha256sum <"$work/archive/pool/$f" | cut -d' ' -f1)"
    echo
  done >"$dir/Packages"
}

release() {  # SUITE: a Release file naming every index of the suite by size and hash
  local dir=$work/archive/dists/$1 f
  {
    echo "Suite: $1"; echo "Codename: $1"; echo "Architectures: amd64 i386"
    echo "Components: main"; echo "Date: $(LC_ALL=C date -u -R)"; echo "SHA256:"
    for f in main/binary-amd64/Packages main/binary-i386/Packages; do
      echo " $(sha256sum <"$dir/$f" | cut -d' ' -f1) $(stat -c %s "$dir/$f") $f"
    done
  } >"$dir/Release"
}

deb libpair 1.0 amd64; deb libpair 1.0 i386; deb libpair 1.1 amd64; deb libpair 1.1 i386
deb tool 1.0 amd64 libpair; deb tool32 1.0 i386 libpair

# A fresh archive and apt configuration as a machine has them before set-up: lists for
# amd64 only, from a whole archive. Then set-up's i386 architecture is added, and SUITE's i386
# index changes after its Release file was written. apt keeps each suite's lists as one
# transaction, so that suite keeps its old (amd64) lists and i386 sees only the other suite.
stage() {  # SUITE
  rm -rf "$work/archive/dists" "$work/apt"
  index hvrel amd64 libpair_1.0_amd64.deb tool_1.0_amd64.deb
  index hvrel i386 libpair_1.0_i386.deb tool32_1.0_i386.deb
  index hvrel-security amd64 libpair_1.1_amd64.deb
  index hvrel-security i386 libpair_1.1_i386.deb
  release hvrel; release hvrel-security
  local a=$work/apt
  mkdir -p "$a/etc/parts" "$a/etc/preferences.d" "$a/lists/partial" "$a/cache/archives/partial"
  : >"$a/status"
  {
    echo "deb [trusted=yes] file:$work/archive hvrel main"
    echo "deb [trusted=yes] file:$work/archive hvrel-security main"
  } >"$a/etc/sources.list"
  apt_conf '"amd64";'
  APT_CONFIG=$a/apt.conf apt-get update -qq >"$work/out" 2>&1 ||
    { fail "staging: the machine's earlier update failed"; cat "$work/out"; exit 1; }
  apt_conf '"amd64"; "i386";'
  echo "Package: arrived-after-the-release-file" >>"$work/archive/dists/$1/main/binary-i386/Packages"
}

apt_conf() {  # ARCHITECTURES
  local a=$work/apt
  cat >"$a/apt.conf" <<EOF
Dir::Etc::sourcelist "$a/etc/sources.list";
Dir::Etc::sourceparts "$a/etc/parts";
Dir::Etc::parts "$a/etc/parts";
Dir::Etc::preferences "$a/etc/preferences";
Dir::Etc::preferencesparts "$a/etc/preferences.d";
Dir::State "$a";
Dir::State::lists "$a/lists";
Dir::State::status "$a/status";
Dir::Cache "$a/cache";
APT::Architecture "amd64";
APT::Architectures { $1 };
APT::Get::Simulate "true";
Debug::NoLocking "true";
Acquire::Languages "none";
EOF
}

# Runs set-up's two apt steps as set-up does (set -euo pipefail), for codename hvrel.
setup_steps() {
  APT_CONFIG=$work/apt/apt.conf bash -c '
    set -euo pipefail
    . "$1"
    codename=hvrel sudo=""
    trap apt_forget_log EXIT
    apt_update
    apt_install "${@:2}"
    echo "setup steps ended"' steps "$steps" "$@" >"$work/out" 2>&1
}

expect() {  # CASE WANT_CODE PATTERN... (a leading ! means the pattern must be absent)
  local name=$1 want=$2 code=$3 p
  shift 3
  [ "$code" = "$want" ] || fail "$name: set-up ended with exit code $code, expected $want"
  for p in "$@"; do
    if [ "${p:0:1}" = "!" ]; then
      ! grep -qE -- "${p:1}" "$work/out" || fail "$name: output holds /${p:1}/"
    else
      grep -qE -- "$p" "$work/out" || fail "$name: output lacks /$p/"
    fi
  done
  if [ "$failures" -gt 0 ] || [ -n "${HV_SHOW:-}" ]; then sed "s/^/  $name| /" "$work/out"; fi
}

lists_before=$(ls -l --time-style=full-iso /var/lib/apt/lists 2>/dev/null | md5sum)

# Prove the staging: plain apt-get update must fail on the broken index, as on the archive.
stage hvrel-security
if APT_CONFIG=$work/apt/apt.conf apt-get update -qq >"$work/out" 2>&1; then
  fail "staging: apt-get update succeeded although an index does not match its Release file"
  cat "$work/out"
fi

stage hvrel-security
setup_steps tool; code=$?
expect "goes on" 0 "$code" \
  "^setup: apt could not fetch the index of hvrel-security \(main, i386\): .+" \
  "^setup steps ended" "!trying once more" "!mid-sync, so"

stage hvrel-security
setup_steps tool tool32:i386; code=$?
expect "falls back" 0 "$code" \
  "^setup: apt could not fetch the index of hvrel-security \(main, i386\)" \
  "^setup: the install failed with hvrel-security \(main, i386\) left out; trying once more with hvrel's own suites preferred \(apt-get install -t hvrel\)" \
  "^setup: installed with hvrel's own suites preferred" "^setup steps ended"

stage hvrel
setup_steps tool tool32:i386; code=$?
expect "stops" 1 "$code" \
  "^setup: apt could not fetch the index of hvrel \(main, i386\)" \
  "^setup: the install failed with hvrel \(main, i386\) left out; trying once more" \
  "^ +E: Unable to locate package tool32" \
  "^setup: this index failed to download: hvrel \(main, i386\): .+" \
  "^setup: the Debian archive \(or the mirror this machine uses\) seems to be mid-sync" \
  "Run the same command again later, or point apt" "!^setup steps ended"

# With every index whole, an install apt refuses stops with apt's words and no mid-sync talk.
stage hvrel-security
sed -i '/^Package: arrived-after/d' "$work/archive/dists/hvrel-security/main/binary-i386/Packages"
setup_steps no-such-package; code=$?
expect "whole archive" 1 "$code" \
  "!could not fetch" "!trying once more" "^ +E: Unable to locate package no-such-package" \
  "^setup: apt-get install no-such-package failed"

lists_after=$(ls -l --time-style=full-iso /var/lib/apt/lists 2>/dev/null | md5sum)
[ "$lists_before" = "$lists_after" ] || fail "the machine's own apt lists changed"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "set-up's apt steps: goes on, falls back and stops as each archive state needs"
