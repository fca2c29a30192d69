# Sourced by the scripts that compare two builds (same_outputs.sh, compare_builds.sh).
#   dist_of DIST|LEXCLI     the install tree of a build: a folder holding lexcli, or lexcli itself
dist_of() {
    if [ -d "$1" ] && [ -x "$1/lexcli" ]; then
        (cd "$1" && pwd)
    elif [ -f "$1" ] && [ -x "$1" ]; then
        (cd "$(dirname "$1")" && pwd)
    else
        echo "$0: no lexcli in $1" >&2
        exit 2
    fi
}
