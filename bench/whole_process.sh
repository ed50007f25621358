#!/usr/bin/env bash
# What a user waits for: whole crinel processes making render builds of 1,000,000 strands on a
# sphere of 1,986 vertices (primitive sphere, 64 segments), at 1 and 2 threads.
#
# For each workload and thread count it times processes running 1 and 1 + EXTRA render builds
# (renderCount in a script; scene load, guide growth, root placement and the viewport build
# for the scene bounds included), RUNS times each, alternating the thread counts. The time of
# one build is the difference of the two process times divided by EXTRA, from the medians and
# from the best (least) times; strands/s, points/s and the speed-up of the second thread are
# of the best, which a shared machine's other work disturbs least. Peak resident memory is
# that of the one-build process.
#
# usage: bench/whole_process.sh [CRINEL] [RUNS] [EXTRA]
#        (defaults: build/crinel, 5, 3); WORKLOADS="clumped default shaped" picks workloads.
set -eu

CLI=${1:-build/crinel}
RUNS=${2:-5}
EXTRA=${3:-3}
WORKLOADS=${WORKLOADS:-"clumped default shaped"}
[ -x "$CLI" ] || { echo "whole_process.sh: no crinel executable at $CLI" >&2; exit 1; }

DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT

# Scene of one workload: extra parameters as JSON members.
scene() {
  cat > "$DIR/$1.json" <<EOF
{
  "units": "cm", "fps": 30, "range": [0, 10],
  "nodes": [
    {"name": "ball", "mesh": {"primitive": "sphere", "radius": 50, "segments": 64}},
    {"name": "fur", "object": "Crinel",
     "params": {"surface": "ball", "count": 1000000, "segments": 8$2}}
  ]
}
EOF
}
scene clumped ', "clumpAmount": 0.5'
scene default ''
scene shaped ', "clumpAmount": 0.5, "kinkAmount": 0.5, "frizzRoot": 0.05, "frizzTip": 0.2'

# Seconds one process takes: run_once THREADS SCENE BUILDS. Its peak resident memory in KiB goes
# to $DIR/rss (0 without /usr/bin/time).
run_once() {
  local lines="" i
  for ((i = 0; i < $3; ++i)); do lines+="renderCount fur"$'\n'; done
  local t0 t1
  t0=$(date +%s%N)
  if [ -x /usr/bin/time ]; then
    printf '%s' "$lines" | /usr/bin/time -f '%M' -o "$DIR/rss" "$CLI" --threads "$1" script "$2" - > "$DIR/out"
  else
    printf '%s' "$lines" | "$CLI" --threads "$1" script "$2" - > "$DIR/out"
    echo 0 > "$DIR/rss"
  fi
  t1=$(date +%s%N)
  [ "$(head -1 "$DIR/out")" = "1000000" ] || { echo "unexpected output: $(head -1 "$DIR/out")" >&2; exit 1; }
  echo "scale=4; ($t1 - $t0) / 1000000000" | bc
}

median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
best() { tr ' ' '\n' | grep . | sort -n | head -1; }

points_of() {
  "$CLI" info "$1" | sed -n 's/.* \([0-9]*\) points per strand.*/\1/p' | head -1
}

echo "crinel: $CLI; CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg); $RUNS runs each; 1 build vs $((EXTRA + 1)) builds per process"
printf '%-8s %3s %6s | %9s %14s | %10s %10s %8s | %8s\n' workload thr points "process s" "build s med/best" \
  "strands/s" "points/s" speed-up "peak MiB"
for w in $WORKLOADS; do
  S="$DIR/$w.json"
  P=$(points_of "$S")
  declare -A one=() many=() rss=()
  for th in 1 2; do one[$th]=""; many[$th]=""; done
  for ((r = 0; r < RUNS; ++r)); do
    for th in 1 2; do
      one[$th]+="$(run_once "$th" "$S" 1) "
      rss[$th]=$(tail -1 "$DIR/rss")
      many[$th]+="$(run_once "$th" "$S" $((EXTRA + 1))) "
    done
  done
  base=""
  for th in 1 2; do
    t1=$(echo "${one[$th]}" | median)
    bm=$(echo "scale=4; ($(echo "${many[$th]}" | median) - $t1) / $EXTRA" | bc)
    bb=$(echo "scale=4; ($(echo "${many[$th]}" | best) - $(echo "${one[$th]}" | best)) / $EXTRA" | bc)
    up="-"
    if [ -z "$base" ]; then base=$bb; else up=$(echo "scale=2; $base / $bb" | bc)x; fi
    printf '%-8s %3s %6s | %9.3f %6.3f / %5.3f | %9.2fM %9.1fM %8s | %8.0f\n' "$w" "$th" "$P" "$t1" "$bm" "$bb" \
      "$(echo "scale=2; 1 / $bb" | bc)" "$(echo "scale=1; $P / $bb" | bc)" "$up" \
      "$(echo "scale=1; ${rss[$th]} / 1024" | bc)"
  done
  unset one many rss
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
