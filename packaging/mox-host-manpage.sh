#!/usr/bin/env bash
# Writes the manual page of mox-host from the --help text of the program just built, so that the
# two never say different things.
#
#   mox-host-manpage.sh <mox-host> <version> <output .1.gz>
#
# The help text's layout is kept line for line (no-fill mode): "Usage:" and its lines become the
# SYNOPSIS, the paragraph after it the DESCRIPTION, and each line at the left margin that ends in
# ":" (one to four words before the first colon) the heading of a section.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 <mox-host> <version> <output .1.gz>" >&2
  exit 2
fi
program=$1 version=$2 output=$3

# Read first, so that a program that fails stops the build instead of giving an empty page.
help=$("$program" --help)
[ -n "$help" ] || { echo "$0: $program --help printed nothing" >&2; exit 1; }

printf '%s\n' "$help" | awk -v version="$version" '
function roff(s,   out, i, c) {  # escapes a line of text for no-fill mode
  out = ""
  for (i = 1; i <= length(s); i++) {
    c = substr(s, i, 1)
    if (c == "\\") out = out "\\e"
    else if (c == "-") out = out "\\-"
    else out = out c
  }
  if (out ~ /^[.\047]/) out = "\\&" out
  return out
}
function section(title) {
  if (in_body) print ".fi"
  print ".SH " roff(toupper(title))
  print ".nf"
  in_body = 1
  blanks = 0
}
function body(line) {
  for (; blanks > 0; blanks--) print ""
  print roff(line)
}
BEGIN {
  print ".TH MOX\\-HOST 1 \"\" \"apMoxSettingsManager " version "\" \"User Commands\""
  print ".SH NAME"
  print "mox\\-host \\- sample host of the apMoxSettingsManager plug\\-in: sends it commands," \
        " checks an installation"
}
NR == 1 && /^Usage: / {
  section("synopsis")
  sub(/^Usage: +/, "")
  body($0)
  in_usage = 1
  next
}
in_usage && /^ / { sub(/^ +/, ""); body($0); next }
in_usage { in_usage = 0; section("description"); next }
/^[A-Z][A-Za-z -]*:/ && /:$/ {
  title = $0
  sub(/:.*/, "", title)
  if (split(title, words, " ") <= 4) {
    rest = substr($0, length(title) + 2)
    sub(/^ +/, "", rest)
    section(title)
    if (rest != "") body(toupper(substr(rest, 1, 1)) substr(rest, 2))
    next
  }
}
/^$/ { blanks++; next }
{ body($0) }
END { if (in_body) print ".fi" }
' | gzip -9n >"$output.tmp"
mv "$output.tmp" "$output"
