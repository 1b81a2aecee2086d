#!/usr/bin/env bash
# Static analysis of the project's own sources: cppcheck over all of them, clang-tidy
# (configured by .clang-tidy) over the portable files natively and over the Windows files
# for the MinGW-w64 target. Usage: analyse.sh cppcheck|clang-tidy
set -euo pipefail
cd "$(dirname "$0")/../.."

pure=(shell/bounded_text.cpp shell/code_page.cpp shell/home_path.cpp settings/setting_rules.cpp
      settings/folder_rules.cpp settings/save_check.cpp settings/save_steps.cpp settings/settings_text.cpp
      validation/char_class.cpp validation/field_rules.cpp dialog/placement.cpp)
windows=(app/main.cpp shell/home_directory.cpp shell/look_up.cpp shell/entry.cpp settings/settings_folder.cpp
         settings/settings_file.cpp settings/file_save.cpp dialog/dialog_platform.cpp
         dialog/options_dialog.cpp)

case ${1:?tool} in
  cppcheck)
    # missingIncludeSystem: the system headers are the platform's, not ours to check.
    # The enabled groups are named. cppcheck 2.11 and later stop following a function's
    # branches after a while (and say so, which fails the run) unless told to follow them
    # all, as 2.10 always does.
    level=()
    if cppcheck --check-level=exhaustive --version >/dev/null 2>&1; then
      level=(--check-level=exhaustive)
    fi
    cppcheck --std=c++17 --language=c++ --enable=warning,style,performance,portability \
      "${level[@]}" --library=windows --inline-suppr --suppress=missingIncludeSystem \
      --error-exitcode=1 --quiet -I . -D_WIN32 "${pure[@]}" "${windows[@]}"
    echo "cppcheck: ${#pure[@]} portable and ${#windows[@]} Windows files clean"
    ;;
  clang-tidy)
    # The Windows files are parsed as the cross compiler sees them: its C++ headers, the
    # MinGW-w64 platform headers and the same WINVER.
    cross=x86_64-w64-mingw32-g++-win32
    includes=()
    while read -r dir; do includes+=(-isystem "$dir"); done < <(
      $cross -E -x c++ -v - </dev/null 2>&1 |
        sed -n '/#include <...> search starts here:/,/End of search list./p' | grep '/include/c++')
    args=(--target=x86_64-w64-mingw32 -std=c++17 -I . -DWINVER=0x0400 -D_WIN32_WINNT=0x0400
          -nostdinc++ "${includes[@]}")
    # One file at a time on each core. Win32 code includes <windows.h>, not the dozens of
    # headers it is split into, so the include cleaner is for the portable files only.
    out=$(mktemp -d /tmp/hv-tidy.XXXXXX)
    trap 'rm -rf "$out"' EXIT
    n=0
    for file in "${pure[@]}" "${windows[@]}"; do
      n=$((n + 1))
      if [[ " ${windows[*]} " == *" $file "* ]]; then
        clang-tidy --quiet --checks=-misc-include-cleaner "$file" -- "${args[@]}"
      else
        clang-tidy --quiet "$file" -- -std=c++17 -I .
      fi >"$out/$n.log" 2>&1 || echo "$file" >>"$out/failed" &
      while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n; done
    done
    wait
    cat "$out"/*.log | grep -v "warnings generated" || true
    if [ -f "$out/failed" ]; then
      echo "clang-tidy: findings in $(tr '\n' ' ' <"$out/failed")"
      exit 1
    fi
    echo "clang-tidy: ${#pure[@]} portable and ${#windows[@]} Windows files clean"
    ;;
esac
