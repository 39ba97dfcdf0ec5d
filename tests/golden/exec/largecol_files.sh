#!/bin/sh
# The `check` of the exec/largecol_* cases: every large value went to its own
# file, byte for byte; NULLs made no file. The SQLite driver hands text over in
# the locale's bytes, the PostgreSQL and MariaDB drivers as UTF-16 (the
# ...W.txt files), and their rows hold other values.
set -e
cd largecolresult
# repeat HEX COUNT: COUNT copies of the bytes written in hexadecimal as HEX.
repeat() { perl -e 'binmode STDOUT; print pack("H*", $ARGV[0]) x $ARGV[1]' "$1" "$2"; }
# expect FILE: FILE holds the bytes read from standard input.
expect() { cmp - "$1"; }
if [ "$WSQL_DSN" = sqlite ]; then
  rows="1 3 4 5" text=.txt
  text() { cat; }
else
  rows="1 2 3 4 5" text=W.txt
  text() { iconv -f UTF-8 -t UTF-16LE; }
fi
{ for r in $rows; do echo "Column1Row$r$text"; done
  for r in $rows; do echo "Column2Row$r.bmp"; done; } >../files.expected
ls | diff -u ../files.expected -

expect "Column1Row3$text" </dev/null
expect Column2Row3.bmp </dev/null
repeat 78 100000 | text | expect "Column1Row4$text"
printf 'short \303\274' | text | expect "Column1Row5$text"
if [ "$WSQL_DSN" = sqlite ]; then
  { repeat 61 32764; printf '\303\251'; repeat 62 100; } | expect Column1Row1.txt
  printf '\000\377\177\200\336\255\276\357' | expect Column2Row1.bmp
  repeat 00 32766 | expect Column2Row4.bmp
  repeat 00 32767 | expect Column2Row5.bmp
else
  { repeat 61 16381; printf '\360\237\230\200\303\251\342\202\254'; repeat 62 20000; printf '\316\251'; } |
    text | expect Column1Row1W.txt
  repeat 00ff7f80 25000 | expect Column2Row1.bmp
  repeat 78 100000 | text | expect Column1Row2W.txt
  repeat ab 32766 | expect Column2Row2.bmp
  repeat ab 32766 | expect Column2Row4.bmp
  repeat cd 32767 | expect Column2Row5.bmp
fi
