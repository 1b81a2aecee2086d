# The apt steps of set-up, sourced by scripts/setup and scripts/test-debian13.
#
# A Debian archive or mirror caught mid-sync serves a Release file and an index from two
# different moments: apt then drops that index ("File has unexpected size", "Hash Sum
# mismatch") and exits 100. Often the rest is enough: these steps say which index failed,
# go on with the lists apt has, and when an install then fails (typically because one
# architecture now sees the security suite's library versions and the other does not, and
# multi-arch pairs must match), try once more with the release's own suites preferred, so
# that both architectures take their libraries from one suite. The user's apt sources are
# never edited, no installed package is removed (--no-remove), and none is downgraded (a
# target release gets priority 990, below the 1000 that a downgrade needs).
#
# The caller sets: codename (the release's, for -t), sudo ("" or "sudo").
# Safe under set -euo pipefail: a failing apt call is tested, never left to stop the script.

apt_failed_indices=()   # one "suite (component, architecture): apt's reason" per failed index
apt_log=""

apt_say() { echo "setup: $*" >&2; }

apt_forget_log() { [ -z "$apt_log" ] || rm -f "$apt_log"; }

apt_new_log() {
  [ -n "$apt_log" ] || apt_log=$(mktemp "${TMPDIR:-/tmp}/hvsetup-apt.XXXXXX")
  : >"$apt_log"
}

# "E: Failed to fetch URL  REASON" (W: in older apt) -> "SUITE (COMPONENT, ARCH): REASON".
# URL is .../dists/SUITE/COMPONENT/binary-ARCH/Packages.xz for a package index.
apt_describe_failures() {
  sed -n 's/^[EW]: Failed to fetch \([^ ]*\)  *\(.*\)$/\1\t\2/p' "$1" |
    while IFS=$'\t' read -r url reason; do
      local where=${url#*/dists/} suite component arch
      suite=${where%%/*}
      where=${where#*/}
      component=${where%%/*}
      case $where in
        */binary-*/*) arch=${where#*/binary-}; arch=${arch%%/*} ;;
        *) arch="any architecture" ;;
      esac
      reason=${reason% \[IP: *\]}
      if [ "$url" = "${url#*/dists/}" ]; then
        echo "$url: $reason"
      else
        echo "$suite ($component, $arch): $reason"
      fi
    done
}

# apt-get update with apt's own retries. Indices that still fail are named, one line each,
# and set-up goes on with the lists apt has; apt_failed_indices keeps them for the install.
apt_update() {
  apt_new_log
  if $sudo apt-get update -qq -o Acquire::Retries=3 >"$apt_log" 2>&1; then
    return 0
  fi
  local line found=0
  while IFS= read -r line; do
    found=1
    apt_failed_indices+=("$line")
    apt_say "apt could not fetch the index of $line"
  done < <(apt_describe_failures "$apt_log")
  if [ $found -eq 0 ]; then
    apt_say "apt-get update failed; going on with the package lists apt already has:"
    sed 's/^/       /' "$apt_log" >&2
  else
    apt_say "going on with the package lists apt has (the archive may be mid-sync)"
  fi
  return 0
}

apt_try_install() {
  apt_new_log
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    --no-remove "$@" >"$apt_log" 2>&1
}

# apt-get install ARGS..., and once more with the release's own suites preferred when the
# update before it left an index out (unless ARGS name a target release of their own).
# Exits with set-up's own message when nothing works.
apt_install() {
  apt_try_install "$@" && return 0
  local first_failure=""
  if [ ${#apt_failed_indices[@]} -gt 0 ] && [ -n "${codename:-}" ] && [ "${1:-}" != -t ]; then
    first_failure=$(cat "$apt_log")
    apt_say "the install failed with ${apt_failed_indices[0]%%:*} left out; trying once more" \
            "with $codename's own suites preferred (apt-get install -t $codename)"
    if apt_try_install -t "$codename" "$@"; then
      apt_say "installed with $codename's own suites preferred"
      return 0
    fi
  fi
  sed 's/^/       /' "$apt_log" >&2
  if [ ${#apt_failed_indices[@]} -eq 0 ]; then
    apt_say "apt-get install $* failed (apt's output above)"
    exit 1
  fi
  if [ -n "$first_failure" ] && [ "$first_failure" != "$(cat "$apt_log")" ]; then
    apt_say "(the first try, without -t $codename, had failed too:)"
    printf '%s\n' "$first_failure" | sed 's/^/       /' >&2
  fi
  local index
  for index in "${apt_failed_indices[@]}"; do
    apt_say "this index failed to download: $index"
  done
  apt_say "the Debian archive (or the mirror this machine uses) seems to be mid-sync, so the"
  apt_say "packages could not be installed. Run the same command again later, or point apt"
  apt_say "at another mirror in /etc/apt/sources.list or /etc/apt/sources.list.d/."
  exit 1
}
