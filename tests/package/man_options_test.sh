#!/bin/sh
# Every option the program's --help lists appears in its manual page.
# Usage: man_options_test.sh PROGRAM MANPAGE
set -eu
program=$1
page=$2
[ -f "$page" ] || { echo "no manual page $page"; exit 1; }

# The option names of --help: on the lines that begin with blanks and a dash,
# each dash word before the two blanks that start the explanation.
options=$(QT_QPA_PLATFORM=offscreen "$program" --help | sed -n 's/^ \{1,\}\(-[^ ].*\)$/\1/p' |
  sed 's/  .*//; s/,/ /g' | tr ' ' '\n' | sed -n 's/^\(--*[[:alnum:]][-[:alnum:]]*\).*/\1/p')
[ -n "$options" ] || { echo "no options found in $program --help"; exit 1; }

# The page's text without roff's font changes and escaped dashes.
text=$(sed 's/\\f[BIRP]//g; s/\\-/-/g' "$page")
missing=0
for option in $options; do
  if ! printf '%s\n' "$text" | grep -Eq -- "(^|[^-[:alnum:]])$option([^-[:alnum:]]|\$)"; then
    echo "$option is in $program --help but not in $page"
    missing=1
  fi
done
[ "$missing" -eq 0 ] && echo "all of" $options "are in $page"
exit "$missing"
