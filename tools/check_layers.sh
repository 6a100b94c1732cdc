#!/bin/sh
# The layer check: every source folder is one library, and a file may
# include headers of its own folder or of a folder below it, never above.
# Bottom up (folders on one line are siblings and may not include each
# other):
#   core
#   platform
#   services
#   midi  files
#   app
#   ui/main
#   ui/documents  ui/editors
# The executable's entry ui/main.cpp stands above them all. resources/
# holds data tables that any folder may include. Prints every upward
# include with its file and line, and fails when there is one.
cd "$(dirname "$0")/.." || exit 2

rank() {
  case "$1" in
    core) echo 0 ;;
    platform) echo 1 ;;
    services) echo 2 ;;
    midi | files) echo 3 ;;
    app) echo 4 ;;
    ui/main) echo 5 ;;
    ui/documents | ui/editors) echo 6 ;;
    *) echo "" ;;
  esac
}

# The folder of a project path: its first component, or the first two
# under ui/.
folder_of() {
  case "$1" in
    ui/*/*) echo "$1" | cut -d/ -f1-2 ;;
    */*) echo "$1" | cut -d/ -f1 ;;
    *) echo "" ;;
  esac
}

report=$(mktemp) || exit 2
trap 'rm -f "$report"' EXIT
for dir in core platform services midi files app ui/main ui/documents ui/editors; do
  [ -d "$dir" ] || continue
  own=$(rank "$dir")
  for file in $(find "$dir" \( -name '*.cpp' -o -name '*.h' \) -print | sort); do
    grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
      sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1 \2/' |
      while read -r line header; do
        target=$(folder_of "$header")
        [ "$target" = resources ] && continue
        [ "$target" = "$dir" ] && continue
        other=$(rank "$target")
        if [ -z "$other" ]; then
          echo "$file:$line: includes \"$header\", which is in no library folder"
        elif [ "$other" -ge "$own" ]; then
          echo "$file:$line: includes \"$header\" of $target, which is not below $dir"
        fi
      done
  done
done >"$report"
if [ -s "$report" ]; then
  cat "$report"
  echo "Layer check failed: the includes above point to a folder that is not below their own."
  exit 1
fi
echo "Layer check: every include points to its own folder or below."
