#!/usr/bin/env bash
# The manual pages the build made from the programs' --help: lint clean (mandoc), readable by
# man-db's index (lexgrog), and laid out as their help is: every example on a line of its own,
# every entry of a list starting its own paragraph, nothing glued onto the entry before it.
#   man_pages_test.sh BUILD_DIR
set -uo pipefail
build=$1
man_dir=$build/packaging/man
# shellcheck source=checks.sh
. "$(dirname "$0")/checks.sh"
rendered() { MANWIDTH=80 man -l "$man_dir/$1.1.gz" 2>/dev/null | sed 's/^ *//; s/ \+/ /g'; }
# Whether the rendered page (blanks squeezed) has the text as a whole line. grep reads to the end
# (no -q): with pipefail, man killed by a closed pipe would count as a failure.
has_line() { rendered "$1" | grep -xF -- "$2" >/dev/null; }

for program in velquin velquin-ctl velquin-marker velquin-pack velquin-calibrate velquin-console; do
    page=$man_dir/$program.1.gz
    check "$program: a page" test -s "$page"
    lint=$(mandoc -T lint "$page" 2>&1)
    check "$program: mandoc -T lint says nothing${lint:+: $lint}" test -z "$lint"
    check "$program: lexgrog finds its name and summary" bash -c "lexgrog '$page' | grep -q '\"$program - '"
    # Each example of --help ("  $ ...") is one line of the page, as written.
    examples=$("$build/player/$program" --help | grep -c '^  \$ ')
    if [[ $program == velquin-ctl || $program == velquin-pack ]]; then
        check "$program: its help has examples ($examples)" test "$examples" -ge 3
    fi
    while IFS= read -r example; do
        check "$program: example on a line of its own: $example" has_line "$program" "$example"
    done < <("$build/player/$program" --help | sed -n 's/^  \(\$ .*\)/\1/p')
done

# The launcher's paragraph is a section of its own, not the end of the last key's entry.
check "velquin: Numpad 4, 5, 6 ends with its own text" has_line velquin "dragging along the x, y or z axis"
check "velquin: the installed launcher under its own heading" has_line velquin "The installed launcher"
for entry in "--allow ADDRESSES" "--max-connections N" "VELQUIN_PACKAGE_MAX_MB" "VELQUIN_PACKAGE_MAX_RATIO" \
    "VELQUIN_PACKAGE_MAX_TEXT_MB" "VELQUIN_NO_CONFIG_DIALOG=1" "download NAME [OUTPUT]"; do
    program=velquin
    [[ $entry == download* ]] && program=velquin-ctl
    check "$program: entry $entry starts a line of its own" has_line "$program" "$entry"
done
check "velquin: the --allow entry is one paragraph" \
    bash -c "MANWIDTH=200 man -l '$man_dir/velquin.1.gz' 2>/dev/null | grep -q 'only these clients may connect: IPv4 addresses or blocks, comma-separated'"
check "velquin-marker: both forms in the synopsis" \
    bash -c "MANWIDTH=80 man -l '$man_dir/velquin-marker.1.gz' 2>/dev/null | sed -n '/^SYNOPSIS/,/^DESCRIPTION/p' | grep -c 'velquin-marker \[OPTION\]' | grep -qx 2"

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
