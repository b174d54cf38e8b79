#!/usr/bin/env bash
# mgarc's bash completion, driven as bash drives it: the words of a command
# line in, the reply read back.
#
#   tests/completion_test.bash COMPLETION MGARC
set -uo pipefail
completion=$1
mgarc=$2
library=/usr/share/bash-completion/bash_completion
if [ ! -r "$library" ]; then
  echo "skipped: needs bash-completion ($library)"
  exit 77
fi
export LC_ALL=C.UTF-8
# shellcheck source=/dev/null
source "$library"
# shellcheck source=/dev/null
source "$completion"
# Bash refuses compopt outside a completion it runs: noted instead.
compopt() { [ "$*" = "-o nospace" ] && nospace=true; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 2
mkdir -p t/SE t/音声 dir
for name in SE/DOOR.WAV SE/STEP.WAV README.TXT SEA.TXT 音声/声.TXT; do echo x >"t/$name"; done
"$mgarc" create -q game.dat t || exit 2
touch notes.txt

failures=0
# check LINE EXPECTED [nospace]: the reply to LINE typed up to its end, sorted.
check() {
  local line=$1 expected=$2 wanted_nospace=${3:-false}
  local -a words
  read -ra words <<<"$line"
  [[ $line == *' ' ]] && words+=("")
  COMP_WORDS=("$mgarc" "${words[@]:1}")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$mgarc ${line#* }"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  nospace=false
  _mgarc "$mgarc" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local actual
  actual=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  actual=${actual% }
  if [ "$actual" != "$expected" ] || [ "$nospace" != "$wanted_nospace" ]; then
    echo "$line: offered [$actual] (nospace $nospace), expected [$expected] (nospace $wanted_nospace)"
    failures=$((failures + 1))
  fi
}

# After mgarc: the commands and the archives (and directories on the way to one).
check 'mgarc ' 'apply cat create diff dir extract game.dat help list mount t update verify'
check 'mgarc ex' 'extract'
check 'mgarc g' 'game.dat'
check 'mgarc help v' 'verify'
# Entry names, one level at a time, case ignored.
check 'mgarc extract game.dat ' 'README.TXT SE/ SEA.TXT 音声/'
check 'mgarc extract game.dat se/' 'SE/DOOR.WAV SE/STEP.WAV'
check 'mgarc extract game.dat se/d' 'SE/DOOR.WAV'
check 'mgarc extract game.dat 音' '音声/' true
check 'mgarc cat game.dat 音声/' '音声/声.TXT'
# extract's -o takes no value; update's --delete takes names.
check 'mgarc extract -o game.dat R' 'README.TXT'
check 'mgarc update game.dat --delete S' 'SE/ SEA.TXT'
check 'mgarc update game.dat --delete-from n' 'notes.txt'

if [ $failures -gt 0 ]; then
  echo "completion: $failures cases failed"
  exit 1
fi
echo "completion: all cases passed"
