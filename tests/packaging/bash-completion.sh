#!/usr/bin/env bash
# Loads the bash completion as bash-completion would (and once more without it, as a plain
# `source`), completes command lines through COMP_WORDS/COMP_CWORD and checks the answers, also
# against what quorvane-cli itself accepts: its commands, options, write policies and properties.
# Usage: bash-completion.sh COMPLETION_FILE QUORVANE_CLI
set -euo pipefail
script="$1" cli="$2"
photos="$(mktemp -d)"
trap 'rm -rf "$photos"' EXIT
mkdir "$photos/trip" "$photos/two words"
touch "$photos"/{a.jpg,b.JPEG,c.jpeg,D.JPG,notes.txt,pic.png,e.jpg.bak}

commands="$("$cli" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF {print $1}' | sort | xargs)"
long_options_of() { "$cli" "$1" --help | grep -oE '(^|[ ,])--[a-z][a-z-]*' | tr -d ' ,' | sort -u | xargs; }
policies="$("$cli" write --help | grep -oE '\{[a-z,-]+\}' | tr -d '{}' | tr ',' '\n' | sort | xargs)"
refusal="$("$cli" write "$photos/none.jpg" Unknown=1 2>&1)" || true  # lists the known properties
properties="$(sed -n 's/^known properties: //p' <<<"$refusal" | tr -d ',' | tr ' ' '\n' | sed 's/$/=/' | sort | xargs)"
[ -n "$commands" ] && [ -n "$policies" ] && [ -n "$properties" ] || { echo "FAIL: cannot read quorvane-cli's help"; exit 1; }

run_checks() {  # $1: "with" or "without" bash-completion
  bash --norc --noprofile -s "$1" "$script" "$photos" <<CHECKS
set -u
[ "\$1" = with ] && source /usr/share/bash-completion/bash_completion
source "\$2"
mode=\$1
cd "\$3"
failed=0
# expect FUNCTION WORD... :: EXPECTED...: completes the last WORD, compares the sorted answers.
expect() {
  local function=\$1 words=() expected; shift
  while [ "\$1" != "::" ]; do words+=("\$1"); shift; done; shift
  COMP_WORDS=("\${words[@]}"); COMP_CWORD=\$((\${#words[@]} - 1)); COMPREPLY=()
  "\$function" 2>/dev/null
  local got="\$(printf '%s\n' "\${COMPREPLY[@]}" | sed '/^\$/d' | sort | xargs -d '\n')"
  expected="\$(printf '%s\n' "\$@" | sort | xargs -d '\n')"
  [ "\$got" = "\$expected" ] || { echo "FAIL (\$mode bash-completion): \${words[*]}| gave '\$got', not '\$expected'"; failed=1; }
}
jpegs=(a.jpg b.JPEG c.jpeg D.JPG trip "two words")
expect _quorvane_cli quorvane-cli li :: list
expect _quorvane_cli quorvane-cli "" :: $commands
expect _quorvane_cli quorvane-cli --v :: --version
expect _quorvane_cli quorvane-cli list "" :: "\${jpegs[@]}"
expect _quorvane_cli quorvane-cli tags --jobs 2 a.jpg "" :: "\${jpegs[@]}"
expect _quorvane_cli quorvane-cli list --ini n :: notes.txt
expect _quorvane_cli quorvane-cli shift --by "" ::
expect _quorvane_cli quorvane-cli export a.jpg n :: notes.txt
expect _quorvane_cli quorvane-cli write --policy "" :: $policies
expect _quorvane_cli quorvane-cli write --policy = update-o :: update-or-add
expect _quorvane_cli quorvane-cli write a.jpg "" :: $properties
expect _quorvane_cli quorvane-cli write a.jpg Title = "" ::
$(for command in $commands; do
    echo "expect _quorvane_cli quorvane-cli $command -- :: $(long_options_of "$command")"
  done)
expect _quorvane quorvane "" :: "\${jpegs[@]}"
expect _quorvane quorvane -- :: --screenshot --help --version
expect _quorvane quorvane --screenshot p :: pic.png
exit \$failed
CHECKS
}

status=0
if [ -f /usr/share/bash-completion/bash_completion ]; then
  run_checks with || status=1
else
  echo "bash-completion is not installed; checking the plain script only"
fi
run_checks without || status=1
exit "$status"
