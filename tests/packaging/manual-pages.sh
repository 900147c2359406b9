#!/usr/bin/env bash
# Checks the manual pages: man reports no warning about them, and they name every command and
# option that the programs' --help lists. Exits 77 (skipped) without man.
# Usage: manual-pages.sh PAGE_DIR QUORVANE_CLI QUORVANE
set -euo pipefail
pages="$1" cli="$2" viewer="$3"
command -v man >/dev/null || { echo "skipped: man is not installed (package man-db)"; exit 77; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }

for page in "$pages/quorvane.1" "$pages/quorvane-cli.1"; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man --warnings -l $page:"$'\n'"$warnings"
done

# The long and short options that a --help text lists, one per line, without -h and --help.
options_of() { grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$1" | tr -d ' ,' | grep -vxE -- '-h|--help' | sort -u; }
# Whether the page's text holds WORD as a word of its own.
mentions() { grep -qE -- "(^|[^[:alnum:]-])$2([^[:alnum:]-]|\$)" <<<"$1"; }

text="$(MANWIDTH=200 man -l "$pages/quorvane-cli.1" 2>/dev/null)"
commands="$("$cli" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF {print $1}')"
[ -n "$commands" ] || fail "no commands in quorvane-cli --help"
for command in $commands; do
  mentions "$text" "quorvane-cli $command" || fail "quorvane-cli.1 has no synopsis of $command"
  for option in $(options_of "$("$cli" "$command" --help)"); do
    mentions "$text" "$option" || fail "quorvane-cli.1 does not describe $command $option"
  done
done
for option in $(options_of "$("$cli" --help)"); do
  mentions "$text" "$option" || fail "quorvane-cli.1 does not describe $option"
done

text="$(MANWIDTH=200 man -l "$pages/quorvane.1" 2>/dev/null)"
for option in $(options_of "$("$viewer" --help)"); do
  mentions "$text" "$option" || fail "quorvane.1 does not describe $option"
done
for page in quorvane quorvane-cli; do
  grep -q '^\.SH EXIT STATUS' "$pages/$page.1" && grep -q '^\.SH EXAMPLES' "$pages/$page.1" ||
    fail "$page.1 lacks EXIT STATUS or EXAMPLES"
done
exit "$failed"
