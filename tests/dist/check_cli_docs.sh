#!/usr/bin/env bash
# Keeps quarn-scan's manual page and bash completion in step with the
# options that the binary's --help lists: every option there must be in the
# page and offered by the completion, and every option in the page must be
# one that the binary takes.
# Usage: check_cli_docs.sh QUARN_SCAN PAGE.scd COMPLETION
set -euo pipefail
binary=$1 page=$2 completion=$3

# The options of --help: the first word of each entry in "Options:", with
# "-h,--help" split at the comma. awk reads the text to its end: leaving
# early would make the help's later writes fail (SIGPIPE), and pipefail
# would take that for a fault.
help_options() {
  "$binary" --help | awk '
    /^Options:/ { on = 1; next }
    on && /^$/ { on = 0 }
    on && /^  -/ { n = split($1, names, ","); for (i = 1; i <= n; i++) print names[i] }' | sort -u
}

# The options of the page: the bold option names that open an entry of its
# OPTIONS section ("*--log* _FILE_", "*-h*, *--help*"), but not "--" itself.
page_options() {
  awk '
    /^# / { on = ($0 == "# OPTIONS"); next }
    on && /^\*-/ {
      line = $0
      while (match(line, /\*-[^* ]+\*/)) {
        name = substr(line, RSTART + 1, RLENGTH - 2)
        if (name != "--") print name
        line = substr(line, RSTART + RLENGTH)
      }
    }' "$page" | sort -u
}

# What the completion offers for a word "-" after the command.
completion_options() {
  bash -c 'source "$1"; COMP_WORDS=(quarn-scan -); COMP_CWORD=1; _quarn_scan; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$completion" | grep -vx -- '--' | sort -u
}

help=$(help_options)
in_page=$(page_options)
offered=$(completion_options)
[ -n "$help" ] || { echo "found no options in $binary --help" >&2; exit 1; }
[ -n "$in_page" ] || { echo "found no options in $page" >&2; exit 1; }

status=0
for option in $help; do
  grep -qx -- "$option" <<<"$in_page" || { echo "--help lists $option, the manual page does not" >&2; status=1; }
  grep -qx -- "$option" <<<"$offered" || { echo "--help lists $option, the completion does not offer it" >&2; status=1; }
done
for option in $in_page; do
  grep -qx -- "$option" <<<"$help" && continue
  echo "the manual page documents $option, which --help does not list" >&2
  status=1
done
for option in $offered; do
  grep -qx -- "$option" <<<"$help" && continue
  echo "the completion offers $option, which --help does not list" >&2
  status=1
done
[ "$status" -eq 0 ] && echo "options in step: $(echo $help)"
exit "$status"
