#!/bin/sh
# Builds the file-reader fuzz targets with libFuzzer (clang, ASan + UBSan)
# from the project sources and runs each for a number of inputs.
#
#   tests/fuzz/run.sh [runs] [target ...]
#
# runs defaults to 1000000; targets default to all nine. The file readers
# are compiled here from their sources; the start-up readers (fuzz_settings,
# fuzz_shareddev, fuzz_sharedinfo) need the toolkit and the MIDI layer, so
# they are built by CMake with -DBRV_FUZZ=ON in $out/cmake. Binaries and the
# corpus of each target go to $FUZZ_BUILD_DIR (default: build-fuzz in the
# checkout). Each target reports its inputs, time and whether it crashed.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
runs=${1:-1000000}
[ $# -gt 0 ] && shift
targets=${*:-"fuzz_arrfile fuzz_prgfile fuzz_gblfile fuzz_styfile fuzz_template fuzz_dbarr fuzz_settings fuzz_shareddev fuzz_sharedinfo"}
out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${CXX_FUZZ:-clang++}
mkdir -p "$out"

# What the readers and the style-group operations need; the dialogs are
# stubbed so that no box blocks or piles up.
sources="core/bytes.cpp platform/files.cpp platform/savefiles.cpp platform/savelock.cpp services/messages.cpp
  services/strings.cpp services/paths.cpp services/mainview.cpp files/filecommon.cpp files/arrfile.cpp
  files/gblfile.cpp files/prgfile.cpp files/styfile.cpp files/stygrp.cpp files/datafiles.cpp"
flags="-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
  -fno-sanitize-recover=all -fPIC -I$root $(pkg-config --cflags Qt6Core)"
libs="$(pkg-config --libs Qt6Core)"

# Longest input of each target: a little more than its file.
max_len() {
  case $1 in
    fuzz_arrfile) echo 10600 ;;
    fuzz_prgfile) echo 30600 ;;
    fuzz_gblfile) echo 600 ;;
    fuzz_styfile) echo 80000 ;;
    fuzz_template) echo 6000 ;;
    fuzz_dbarr) echo 27300 ;;
    fuzz_settings) echo 12000 ;;
    fuzz_shareddev) echo 300 ;;
    fuzz_sharedinfo) echo 1200 ;;
  esac
}

# Sources of one target beyond the shared ones. The database target answers
# its question Yes through the scripted dialogs, so it links them in place of
# the stubs.
extra_sources() {
  case $1 in
    fuzz_dbarr) echo "app/dbarr.cpp app/slots.cpp app/appstate.cpp platform/dialogs.cpp" ;;
  esac
}
dialog_objs() {
  case $1 in
    fuzz_dbarr) ;;
    *) echo "$out/fuzz_stubs.o" ;;
  esac
}

objs=""
for src in $sources; do
  obj="$out/$(echo "$src" | tr / _).o"
  # shellcheck disable=SC2086
   $cxx $flags -c "$root/$src" -o "$obj"
  objs="$objs $obj"
done
# shellcheck disable=SC2086
$cxx $flags -c "$here/fuzz_stubs.cpp" -o "$out/fuzz_stubs.o"
# shellcheck disable=SC2086
$cxx $flags -c "$here/fuzz_midi_stub.cpp" -o "$out/fuzz_midi_stub.o"
objs="$objs $out/fuzz_midi_stub.o"

is_cmake_target() {
  case $1 in
    fuzz_settings | fuzz_shareddev | fuzz_sharedinfo) return 0 ;;
    *) return 1 ;;
  esac
}

# Build every target first, then run them side by side.
for t in $targets; do
  if is_cmake_target "$t"; then
    cmake -S "$root" -B "$out/cmake" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DBRV_FUZZ=ON \
      -DBRV_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$out/cmake" --target "$t" >/dev/null
    cp "$out/cmake/tests/fuzz/$t" "$out/$t"
    mkdir -p "$out/corpus_$t"
    continue
  fi
  extra=""
  for src in $(extra_sources "$t"); do
    obj="$out/$(echo "$src" | tr / _).o"
    # shellcheck disable=SC2086
    $cxx $flags -c "$root/$src" -o "$obj"
    extra="$extra $obj"
  done
  # shellcheck disable=SC2086
  $cxx $flags "$here/$t.cpp" $objs $extra $(dialog_objs "$t") $libs -o "$out/$t"
  mkdir -p "$out/corpus_$t"
done

# The targets write their inputs as files in a folder of their own under
# $FUZZ_TMP (default: the build folder); a memory file system such as
# /dev/shm makes them faster.
tmp=$(mktemp -d "${FUZZ_TMP:-$out}/tmp.XXXXXX")
trap 'rm -rf "$tmp"' EXIT INT TERM
for t in $targets; do
  (
    start=$(date +%s)
    # A small quarantine keeps the large strings of these targets from
    # faulting in fresh pages on every input.
    # The start-up targets run the toolkit, whose own allocations live as
    # long as the process: leak detection is off for them.
    leaks=1
    is_cmake_target "$t" && leaks=0
    if (cd "$out" && TMPDIR=$tmp QT_QPA_PLATFORM=offscreen \
          ASAN_OPTIONS=detect_leaks=$leaks:quarantine_size_mb=16 \
          UBSAN_OPTIONS=print_stacktrace=1 \
          "./$t" -runs="$runs" -max_len="$(max_len "$t")" -print_final_stats=1 "corpus_$t") \
        >"$out/$t.log" 2>&1; then
      echo ok >"$out/$t.status"
    else
      echo crash >"$out/$t.status"
    fi
    echo $(($(date +%s) - start)) >"$out/$t.time"
  ) &
done
wait

status=0
for t in $targets; do
  done_line=$(grep -E '^Done [0-9]+ runs' "$out/$t.log" | tail -1 || true)
  if [ "$(cat "$out/$t.status")" = ok ]; then
    result="0 crashes"
  else
    result="CRASH, see $out/$t.log"
    status=1
  fi
  echo "$t: ${done_line:-no summary} (wall $(cat "$out/$t.time") s); $result"
done
exit $status
