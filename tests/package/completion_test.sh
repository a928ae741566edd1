#!/bin/bash
# The bash completion of dialsift-cli offers the program's options, file names
# after an option whose value is a file, and nothing after one that takes
# another value.
# Usage: completion_test.sh COMPLETION_SCRIPT PROGRAM
set -u
source "$1"
program=$2
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/alpha.xlsx" "$folder/beta.ods"

status=0
complete_line() {  # words...; the last one is being completed
  COMP_WORDS=("$program" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _dialsift_cli
  ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {  # expected, words...
  local expected=$1
  shift
  local got
  got=$(complete_line "$@")
  if [[ $got != "$expected" ]]; then
    echo "completing '$*': expected '$expected', got '$got'"
    status=1
  fi
}

expect "--lengths " --len
expect "--output " --outp
expect "$folder/alpha.xlsx " -o "$folder/al"
expect "$folder/alpha.xlsx $folder/beta.ods " --output "$folder/"
expect "" --lengths ""
expect "comma csv jsonl lines " --format ""
expect "comma csv " --format c
expect "$folder/beta.ods " -q "$folder/b"

# Every long option of --help is offered.
all=$(complete_line --)
for option in $("$program" --help | grep -oE -- '--[[:alnum:]][-[:alnum:]]*' | sort -u); do
  [[ " $all" == *" $option "* ]] || { echo "$option is not offered"; status=1; }
done
exit $status
