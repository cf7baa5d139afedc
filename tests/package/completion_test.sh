#!/usr/bin/env bash
# korvel's bash completion, driven as bash drives it on Tab: the commands,
# each command's options as korvel takes them, the class names of the
# model list for --model, files for a file, file:FOLDER for --server.
#   completion_test.sh COMPLETION_FILE BIN_DIR
# BIN_DIR holds the korvel (and the model list) the completion asks.
set -euo pipefail
FILE="$1"
BIN="$2"
if [ ! -r /usr/share/bash-completion/bash_completion ]; then
  echo "skipped: bash-completion is not installed (scripts/install-deps installs it)"
  exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
touch shop.mdb
mkdir srv
export PATH="$BIN:$PATH"

set +u  # bash-completion reads variables it may not have set
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$FILE"
compopt() { :; }  # only means something inside a real completion

# The words offered for LINE, the cursor at its end, one a line, sorted.
offered() {
  COMP_LINE="$1"
  COMP_POINT=${#COMP_LINE}
  read -ra COMP_WORDS <<<"$COMP_LINE"
  if [[ $COMP_LINE == *" " ]]; then COMP_WORDS+=(""); fi
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _korvel korvel "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  if ((${#COMPREPLY[@]})); then printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort; fi
}

failures=0
expect() {  # LINE EXPECTED-WORDS...
  local line="$1" got want
  shift
  got="$(offered "$line")"
  want="$(printf '%s\n' "$@" | LC_ALL=C sort)"
  if [ "$got" != "$want" ]; then
    echo "[$line<Tab>] offers:" $got
    echo "    instead of:" $want
    failures=$((failures + 1))
  fi
}

table="$(korvel options)"
# shellcheck disable=SC2046
expect "korvel " $(cut -d ' ' -f 1 <<<"$table") --version --help
expect "korvel check-d" check-database
while read -r command options; do
  # shellcheck disable=SC2086
  expect "korvel $command --" $(tr ' ' '\n' <<<"$options" | sed 's/=$//')
done <<<"$table"

# The eight plan classes of the model list.
classes=(C5to6Normal C5to6SpecialPack C5to6Depart C5to6Employee C5to6CustSuppNoWriteAccount
         C5to6CustSuppWriteAccount C5to6GoodsNoWriteCustody C5to6GoodsWriteCustody)
expect "korvel run --model " "${classes[@]}"
expect "korvel describe --database D --model C5to6E" C5to6Employee
expect "korvel check --model=C5to6Cust" C5to6CustSuppNoWriteAccount C5to6CustSuppWriteAccount
expect "korvel run --source sh" shop.mdb
expect "korvel run --server fi" file:
expect "korvel run --server file:s" srv
expect "korvel run --database " # nothing can be guessed for a name

if [ "$failures" -ne 0 ]; then
  echo "$failures completions wrong"
  exit 1
fi
echo "korvel's completion offers its commands, their options and the model list's classes"
