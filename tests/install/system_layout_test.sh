#!/usr/bin/env bash
# The system layout as a user gets it: installed into a DESTDIR, then moved elsewhere as a
# whole, and run from there.
#   system_layout_test.sh BUILD_DIR WORK
# Checks the bin/ links, the programs' folders and their data links into share/, lexcli run
# through its link and as a copy in bin/ (version, and an operation on the shipped data), the
# man page's list of operations against lexcli's own table, the desktop entries (one per
# program, each naming an installed program and its window class), the metainfo, the bash
# completion, and that uninstalling leaves no file behind.
set -euo pipefail
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

prefix=/opt/quillo
dest=$work/dest
DESTDIR=$dest cmake --install "$build" --component system --prefix "$prefix" >/dev/null
root=$dest$prefix
pkglib=$root/lib/quillo-lexicon-tools

# --- layout: only bin/, lib/ and share/ at the top; bin/ holds relative links
top=$(cd "$root" && ls | tr '\n' ' ')
[ "$top" = "bin lib share " ] || fail "top of the prefix: $top"
declare -A bin_target=([lexcli]=lexcli [quillo-toolbox]=toolbox [quillo-corpus]=quillo-corpus)
for name in "${!bin_target[@]}"; do
    link=$root/bin/$name
    [ -L "$link" ] || fail "bin/$name is not a link"
    [ "$(readlink "$link")" = "../lib/quillo-lexicon-tools/${bin_target[$name]}" ] ||
        fail "bin/$name -> $(readlink "$link")"
    [ -x "$link" ] || fail "bin/$name does not reach an executable"
done
# Every data file in share/, linked from its program's folder by a relative link.
data_files=0
while IFS= read -r -d '' file; do
    relative=${file#"$root/share/quillo-lexicon-tools/"}
    link=$pkglib/$relative
    [ -L "$link" ] || fail "no link lib/quillo-lexicon-tools/$relative"
    [[ $(readlink "$link") == ../* ]] || fail "absolute link $link"
    cmp -s "$link" "$file" || fail "$link does not reach $file"
    data_files=$((data_files + 1))
done < <(find "$root/share/quillo-lexicon-tools" -type f -print0)
[ "$data_files" -gt 0 ] || fail "no shipped data in share/quillo-lexicon-tools"
[ -z "$(find "$pkglib" -type f -name read.me)" ] || fail "a read.me copied, not linked"

# --- the man page lists every operation of lexcli's table
lexcli=$root/bin/lexcli
man_page=$work/lexcli.1
gzip -dc "$root/share/man/man1/lexcli.1.gz" >"$man_page"
man_text=$work/lexcli.1.txt
sed 's/\\-/-/g' "$man_page" >"$man_text"
mapfile -t tools < <("$lexcli" --help | sed -n '/^工具:/,/^$/p' | awk 'NR > 1 && NF {print $1}')
[ "${#tools[@]}" -ge 9 ] || fail "lexcli --help lists ${#tools[@]} tools"
operations=0
for tool in "${tools[@]}"; do
    grep -qx ".SH \"TOOL $tool\"" "$man_page" || fail "man page: no section of $tool"
    mapfile -t ops < <("$lexcli" "$tool" --help | awk '/^$/ {body = 1; next} body && NF {print $1}')
    for op in "${ops[@]}"; do
        operations=$((operations + 1))
        grep -qx ".SS \"$tool $op\"" "$man_page" || fail "man page: no $tool $op"
        grep -q "^lexcli $tool $op" "$man_text" || fail "man page: no example of $tool $op"
    done
done
[ "$operations" -ge 30 ] || fail "only $operations operations found in lexcli's help"
# man renders it without a warning
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$man_page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"

# --- desktop entries: the launcher's and one per tool, valid, naming installed programs
entries=("$root"/share/applications/*.desktop)
[ "${#entries[@]}" -eq $((${#tools[@]} + 1)) ] ||
    fail "${#entries[@]} desktop entries for ${#tools[@]} tools and the launcher"
for entry in "${entries[@]}"; do
    desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
    exec_path=$(sed -n 's/^Exec="\(.*\)"$/\1/p' "$entry")
    [ -x "$dest$exec_path" ] || fail "$entry: Exec $exec_path is not installed"
    wm_class=$(sed -n 's/^StartupWMClass=//p' "$entry")
    [ "$wm_class" = "$(basename "$exec_path")" ] || fail "$entry: StartupWMClass $wm_class"
    grep -q '^Name\[zh_CN\]=' "$entry" || fail "$entry: no Chinese name"
    grep -q '^Comment\[zh_CN\]=' "$entry" || fail "$entry: no Chinese comment"
done
for tool in "${tools[@]}"; do
    [ -f "$root/share/applications/quillo-$tool.desktop" ] || fail "no desktop entry of $tool"
done
appstreamcli validate --no-net "$root"/share/metainfo/*.metainfo.xml >/dev/null ||
    fail "appstreamcli validate"
for size in 16 32 48 256; do
    [ -f "$root/share/icons/hicolor/${size}x$size/apps/quillo-toolbox.png" ] ||
        fail "no ${size}x$size icon"
done

# --- moved as a whole: lexcli through its link, and as a copy in bin/
moved=$work/moved
mv "$root" "$moved"
cp "$moved/lib/quillo-lexicon-tools/lexcli" "$moved/bin/lexcli-copy"
printf '\xd6\xd0\xb9\xfa\r\n' >"$work/words.txt" # 中国, code page 936
export XDG_DATA_HOME=$work/xdg
for program in lexcli lexcli-copy; do
    version=$("$moved/bin/$program" --version)
    [ "$version" = "lexcli (quillo-lexicon-tools) $LEX_VERSION" ] || fail "$program: $version"
    rm -f "$work/annotated.txt"
    "$moved/bin/$program" phonetag annotate "$work/words.txt" -o "$work/annotated.txt" \
        >/dev/null || fail "$program phonetag annotate"
    [ "$(cat "$work/annotated.txt" 2>/dev/null)" = $'\xd6\xd0zhong\xb9\xfaguo\r' ] ||
        fail "$program: annotated '$(cat "$work/annotated.txt" 2>/dev/null)'"
done
rm "$moved/bin/lexcli-copy"
mv "$moved" "$root"

# --- bash completion, from the installed file
completion=$root/share/bash-completion/completions/lexcli
complete_words() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _lexcli
             printf "%s\n" "${COMPREPLY[@]}"' complete "$completion" "$@" | sort | tr '\n' ' '
}
expected=$(printf '%s\n' "${tools[@]}" | grep '^lex' | sort | tr '\n' ' ')
[ "$(complete_words lexcli lex)" = "$expected" ] || fail "lexcli lex<TAB>: $(complete_words lexcli lex)"
[ "$(complete_words lexcli pintop '')" = "--help dedup generate " ] ||
    fail "lexcli pintop <TAB>: $(complete_words lexcli pintop '')"
[[ " $(complete_words lexcli lexconv convert --to r) " == *" rime "* ]] ||
    fail "--to r<TAB>: $(complete_words lexcli lexconv convert --to r)"
[ "$(complete_words lexcli pintop dedup --keep '')" = "1 2 3 " ] ||
    fail "--keep <TAB>: $(complete_words lexcli pintop dedup --keep '')"
[[ " $(complete_words lexcli freqtune export --) " == *" --db "* ]] ||
    fail "freqtune export --<TAB>: $(complete_words lexcli freqtune export --)"

# --- uninstall leaves no file and none of the suite's folders
DESTDIR=$dest cmake -DMANIFEST="$build/install_manifest_system.txt" \
    -P "$(dirname "$0")/../../cmake/uninstall.cmake" >/dev/null
left=$(find "$dest" -not -type d)
[ -z "$left" ] || fail "left after uninstall: $left"
[ -z "$(find "$dest" -name 'quillo-lexicon-tools')" ] || fail "the suite's folders left"

if [ "$failures" -gt 0 ]; then
    echo "$failures failures" >&2
    exit 1
fi
echo "system layout: $data_files data files, $operations operations, ${#entries[@]} entries"
