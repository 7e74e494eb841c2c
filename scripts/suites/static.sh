#!/usr/bin/env bash
# Static checks of the project's own code. Any finding fails the suite; a
# suppression goes next to the code, with a one-line reason.
# - Formatting: every C++ file of the tree (tests, fuzz harnesses, benchmark
#   and ui/win32 included) as .clang-format says.
# - clang-tidy with the checks in .clang-tidy, then cppcheck, over every room
#   of the core, ui/ and cli/ (compile commands of the asan preset), and over
#   the Windows layer ui/win32/ (compile commands of the win32 preset, parsed
#   for the mingw target with the cross compiler's own C++ headers).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

status=0
report=$(mktemp)
trap 'rm -f "$report"' EXIT

# ---- formatting -------------------------------------------------------------

cpp_files=()
while IFS= read -r -d '' file; do
    cpp_files+=("${file#./}")
done < <(find . \( -path ./build -o -path ./dist -o -path ./.git \) -prune -o -type f \
    \( -name '*.cpp' -o -name '*.cc' -o -name '*.h' -o -name '*.hpp' \) -print0 | sort -z)
unformatted=()
for file in "${cpp_files[@]}"; do
    clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "clang-format: ${#unformatted[@]} of ${#cpp_files[@]} files differ from .clang-format" \
        "(clang-format -i FILE fixes them):"
    printf '  %s\n' "${unformatted[@]}"
    status=1
else
    echo "clang-format: ${#cpp_files[@]} files, all formatted"
fi

# ---- clang-tidy -------------------------------------------------------------

if ! { cmake --preset asan && cmake --preset win32; } >"$report" 2>&1; then
    cat "$report"
    echo "static: configuring the asan and win32 presets failed"
    exit 1
fi

sources=()
for folder in platform image decode prepare convert formats measure ui cli; do
    for file in "$folder"/*.cpp; do
        [ -e "$file" ] && sources+=("$file")
    done
done
windows_sources=(ui/win32/*.cpp)

# clang parses the Windows sources as the cross compiler would: its target,
# and its C++ library headers in place of the host's.
windows_args=(--extra-arg-before=--target=i686-w64-mingw32 --extra-arg=-nostdinc++)
cross_compiler=$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' build/win32/compile_commands.json | head -n 1)
while read -r folder; do
    case "$folder" in
    */include/c++*) windows_args+=("--extra-arg=-isystem$folder") ;;
    esac
done < <("$cross_compiler" -E -x c++ -v - </dev/null 2>&1 |
    sed -n '/#include <...> search starts here:/,/End of search list/p' | sed '1d;$d')

{
    printf '%s\n' "${sources[@]}" | xargs -P 2 -n 2 clang-tidy -p build/asan --quiet
    printf '%s\n' "${windows_sources[@]}" |
        xargs -P 2 -n 2 clang-tidy -p build/win32 --quiet "${windows_args[@]}"
} >"$report" 2>/dev/null
if grep -qE ': (warning|error):' "$report"; then
    echo "clang-tidy findings:"
    grep -E ': (warning|error):' "$report" | sed "s|$root/||" | sort -u
    status=1
else
    echo "clang-tidy: $((${#sources[@]} + ${#windows_sources[@]})) files, no findings"
fi

# ---- cppcheck ---------------------------------------------------------------

cppcheck_args=(--std=c++17 --language=c++ -I . --enable=warning,style,performance,portability
    --inline-suppr --suppress=missingIncludeSystem --error-exitcode=1 -q)
if cppcheck "${cppcheck_args[@]}" -i ui/win32 platform image decode prepare convert formats measure ui cli web &&
    cppcheck "${cppcheck_args[@]}" -I build/win32/ui/win32 --platform=win32A -D_WIN32 ui/win32; then
    echo "cppcheck: no findings"
else
    status=1
fi
exit $status
