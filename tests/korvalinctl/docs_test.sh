#!/usr/bin/env bash
# korvalinctl's manual page and shell completions as a user meets them: the
# page renders without a warning and names every command `korvalinctl --help`
# lists, with its sections; the bash completion, sourced, is registered and
# completes commands, subcommands, regions, values and file names, and the
# zsh completion (with zsh there) offers the same.
#
#   tests/korvalinctl/docs_test.sh KORVALINCTL MAN_PAGE BASH_COMPLETION [ZSH_COMPLETION]
#
# (the built files, or the ones a package installed). Prints one line per
# failed check and exits non-zero when any failed.
set -uo pipefail
ctl=$(realpath "$1") page=$(realpath "$2") completion=$(realpath "$3")
zsh_completion=${4:+$(realpath "$4")}
failed=0
fail() { echo "FAIL $*"; failed=1; }

# ---- the manual page ---------------------------------------------------------------
warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"
# In the C locale, as plain ASCII (a minus sign stays "-").
text=$(LC_ALL=C MANWIDTH=80 man -l "$page" 2>/dev/null | col -b)
[ -n "$text" ] || fail "man -l $page printed nothing"
# The commands as --help lists them: the first word of each line of its
# command list.
commands=$("$ctl" --help | sed -n '/^Commands:/,/^$/p' | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' | sort -u)
[ "$(wc -l <<<"$commands")" -ge 10 ] || fail "too few commands read from --help: $commands"
for c in $commands; do
  grep -q "^   $c\$" <<<"$text" || fail "the manual has no section for the command $c"
  grep -q "korvalinctl.* $c\b" <<<"$text" || fail "the manual shows no usage of $c"
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS COMMANDS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
  grep -q "^$section\$" <<<"$text" || fail "the manual has no $section section"
done
for want in "korvalinctl - read and change" "KORVALIN_HIDRAW_ROOT" "/usr/lib/udev/rules.d/60-korvalin.rules" \
            'ATTRS{idVendor}=="0c45",' "korvalinctl backup keyboard.kvb" "korvalinctl restore keyboard.kvb --verify" \
            "--sim-fault F" "--round-trip MS"; do
  grep -qF -- "$want" <<<"$text" || fail "the manual does not say: $want"
done
# The doctor example comes with the doctor command.
if grep -qx doctor <<<"$commands"; then
  grep -q '^[[:space:]]*korvalinctl doctor$' <<<"$text" || fail "the manual has no doctor example"
else
  ! grep -q 'korvalinctl doctor' <<<"$text" || fail "the manual shows doctor, which --help does not list"
fi
for code in 0 1 2 3; do
  sed -n '/^EXIT STATUS$/,/^ENVIRONMENT$/p' <<<"$text" | grep -q "^       $code\b" || fail "exit status $code is not explained"
done

# ---- the bash completion -------------------------------------------------------------
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/backup.kvb" "$scratch/profiles.kvp"
# complete_words WORD...: the candidates bash offers for the last word.
complete_words() {
  (
    cd "$scratch" || exit 1
    # shellcheck disable=SC1090
    source "$completion"
    COMP_WORDS=(korvalinctl "$@")
    COMP_CWORD=$#
    COMP_LINE="korvalinctl $*"
    COMP_POINT=${#COMP_LINE}
    _korvalinctl korvalinctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
  )
}
# The same in zsh: its completion function with compadd and _files standing
# in for the completion system (they print what matches the current word).
zsh_words() {
  (
    cd "$scratch" || exit 1
    zsh -f -c '
      fpath=("${1:h}" $fpath)
      autoload -Uz _korvalinctl
      compadd() { while [[ $# -gt 0 && $1 != -- ]]; do shift; done; shift; local w
                  for w in "$@"; do [[ $w == ${words[CURRENT]}* ]] && print -r -- $w; done; }
      _files() { local f; for f in ${words[CURRENT]}*(N); do print -r -- $f; done; }
      words=(korvalinctl "${@[2,-1]}"); CURRENT=$(( $# ))
      _korvalinctl' zsh "$zsh_completion" "$@" | sort | tr '\n' ' ' | sed 's/ $//'
  )
}
registered=$(bash -c "source '$completion' && complete -p korvalinctl" 2>&1)
[ "$registered" = "complete -F _korvalinctl korvalinctl" ] || fail "complete -p korvalinctl: $registered"
if [ -n "$zsh_completion" ]; then
  command -v zsh >/dev/null || fail "zsh is not installed (Debian package zsh)"
  [ "$(head -1 "$zsh_completion")" = "#compdef korvalinctl" ] || fail "$zsh_completion does not start with #compdef korvalinctl"
fi
all=$(tr '\n' ' ' <<<"$commands" | sed 's/ $//')
check_completion() {
  local want=$1; shift
  local got
  got=$(complete_words "$@")
  [ "$got" = "$want" ] || fail "korvalinctl $*<TAB>: '$got', want '$want'"
  if [ -n "$zsh_completion" ]; then
    got=$(zsh_words "$@")
    [ "$got" = "$want" ] || fail "zsh: korvalinctl $*<TAB>: '$got', want '$want'"
  fi
}
check_completion "$all" ""
check_completion "lighting" li
check_completion "read report-rate restore" re
check_completion "devices doctor dump" d
check_completion "colours default-keys info keys macros settings" dump ""
check_completion "check new show" file ""
check_completion "effect erase" lighting e
check_completion "0 1 2" dump colours ""
check_completion "0 1" lighting paint-tool ""
check_completion "0 1 2" lighting fill --profile ""
check_completion "0 1 2 3" report-rate ""
check_completion "backup.kvb profiles.kvp" restore ""
check_completion "backup.kvb" restore b
check_completion "profiles.kvp" --sim kb.state file show p
check_completion "backup.kvb profiles.kvp" --sim ""
check_completion "--help --profile --verify" lighting paint W --
check_completion "--verify" restore x --v
check_completion "--help" info --
check_completion "--help --round-trip --sim --sim-fault --trace" --
check_completion "" info ""
check_completion "" switch 1 ""
exit $failed
