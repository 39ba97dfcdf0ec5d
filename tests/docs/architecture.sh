#!/usr/bin/env bash
# Every file, folder and identifier that ARCHITECTURE.md names in backticks
# exists in the tree, so that the map stays true as the code moves.
cd "$(dirname "${BASH_SOURCE[0]}")/../.." && missing=0
while IFS= read -r name; do
  case $name in
    *'<'*|*' '*|-*|\\*|*'='*) continue ;;  # forms and options, not names
    */*) compgen -G "$name" >/dev/null && continue ;;
    *) [[ $name =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || continue
       grep -rqw -- "$name" include session exec odbc text cmdlang driver load testrun CMakeLists.txt && continue ;;
  esac
  echo "architecture: nothing in the tree is named $name"; missing=1
done < <(grep -o '`[^`]*`' ARCHITECTURE.md | tr -d '`' | sed 's/()$//' | sort -u)
exit $missing
