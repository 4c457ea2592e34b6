#!/bin/bash
# Every include of the product points down. The libraries are listed below
# from the bottom up; a file may include the files of its own library and
# those of the libraries listed before it, never of one listed after it. The
# simulated frame (sim/) stands apart from the product: it sees the device
# link (the transport interface) only, and only the transport factory of
# start-up (app/frame/, used by app/ and app/cli/) may include it; tests,
# benchmarks and tools are not checked. A folder with sources that is not listed fails the check too, so
# that a new library gets its place in the order.
#
#   tools/check-layers.sh [source folder]
#
# Exit 0 when every include points down, 1 with one line per offending
# include ("file: includes x/y.h (library z, above library w)").

set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

order=(
  shell
  jobs
  device
  records
  calibration/math
  leveling/core
  calibration/run
  keys/core
  maintenance/update
  maintenance/check
  maintenance/service
  deviceinfo/core
  production/core
  windows/settingsjob
  app/frame
  app/cli
  widgets
  calibration/ui
  leveling/ui
  keys/ui
  deviceinfo/ui
  maintenance/serviceui
  windows
  production
  app
)
sim_users=(app/frame)

find . \( -path ./.git -o -path './build*' -o -path ./tests -o -path ./tools -o -path ./packaging -o -path ./data \) -prune \
     -o \( -name '*.cpp' -o -name '*.h' \) -type f -print | sed 's|^\./||' | sort |
while read -r file; do
  grep -H -o '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*"' "$file" | sed 's/#[[:space:]]*include[[:space:]]*"\(.*\)"/\1/; s/:[[:space:]]*/ /'
  echo "$file -"
done |
awk -v order="${order[*]}" -v simusers="${sim_users[*]}" '
  BEGIN {
    n = split(order, libs, " ")
    for (i = 1; i <= n; ++i) rank[libs[i]] = i
    split(simusers, su, " ")
    for (i in su) maySim[su[i]] = 1
    bad = 0
  }
  # The library of a path: the longest listed folder it lies in; sim for sim/.
  function libraryOf(path,    best, l) {
    if (path ~ /^sim\//) return "sim"
    best = ""
    for (l in rank)
      if (index(path, l "/") == 1 && length(l) > length(best)) best = l
    return best
  }
  {
    file = $1; inc = $2
    lib = libraryOf(file)
    if (inc == "-") {
      if (lib == "") { printf "%s: its folder is no library of the layer order (tools/check-layers.sh)\n", file; bad = 1 }
      next
    }
    if (lib == "") next
    # A path without a folder is a file beside the includer.
    if (inc !~ /\//) next
    target = libraryOf(inc)
    if (target == lib) next
    if (lib == "sim") {
      if (target != "device") { printf "%s: includes %s: the simulated frame sees the device link only\n", file, inc; bad = 1 }
      next
    }
    if (target == "sim") {
      if (!(lib in maySim)) { printf "%s: includes %s: only the start-up picks the simulated frame\n", file, inc; bad = 1 }
      next
    }
    if (target == "") { printf "%s: includes %s, which is in no library\n", file, inc; bad = 1; next }
    if (rank[target] > rank[lib]) {
      printf "%s: includes %s (library %s, above library %s)\n", file, inc, target, lib; bad = 1
    }
  }
  END { exit bad }
'
