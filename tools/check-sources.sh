#!/usr/bin/env bash
# Source checks run by make test:
#  1. every C++ file of the tree is formatted as .clang-format says;
#  2. no file of a window-free library includes a widget header (a Qt Widgets or Qt Charts
#     header, or one of the project's window files), so the layering stays one-directional.
#   check-sources.sh SOURCE_ROOT QT_HEADERS_DIR "CORE_SOURCES" "GUI_SOURCES"
# The source lists are CMake lists (";"-separated), relative to SOURCE_ROOT/src or absolute.
set -uo pipefail
root=$1 qtheaders=$2
IFS=';' read -r -a core <<<"$3"
IFS=';' read -r -a gui <<<"$4"
status=0

cd "$root"
if [ -d .git ] && command -v git >/dev/null; then
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
    mapfile -t files < <(find src tests bench assets tools -name '*.cpp' -o -name '*.h' | sort)
fi
unformatted=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "Not formatted (run clang-format -i on them):"
    printf '  %s\n' "${unformatted[@]}"
    status=1
fi

# Header names of the window side: the project's window files, by their path below src/.
declare -A windowHeaders=()
for f in "${gui[@]}"; do
    case $f in /*) rel=${f#"$root/src/"} ;; *) rel=$f ;; esac
    [[ $rel == *.h ]] && windowHeaders[$rel]=1
done
for f in "${core[@]}"; do
    case $f in /*) path=$f ;; *) path=$root/src/$f ;; esac
    [ -f "$path" ] || continue
    while IFS= read -r line; do
        header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<<"$line")
        bad=""
        if [[ -n ${windowHeaders[$header]:-} ]]; then
            bad="a window file"
        elif [[ $header == QtWidgets/* || $header == QtCharts/* || $header == QtPrintSupport/* ]]; then
            bad="a widget header"
        elif [[ $header == Q* && $header != */* ]] &&
            [[ -e $qtheaders/QtWidgets/$header || -e $qtheaders/QtCharts/$header ]] &&
            [[ ! -e $qtheaders/QtCore/$header && ! -e $qtheaders/QtGui/$header ]]; then
            bad="a widget header"
        fi
        if [ -n "$bad" ]; then
            echo "${path#"$root/"}: includes $bad: $header (a window-free library must not)"
            status=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$path")
done
[ $status = 0 ] && echo "Sources formatted; no window-free library includes a widget header."
exit $status
