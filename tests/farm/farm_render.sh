#!/usr/bin/env bash
# Renders through a one-node Slurm cluster on this machine: four frames of the example
# through `crinel farm render`, each equal byte for byte to a local `crinel render`; then a
# task killed mid-way and a resubmission that completes the range. Exits 77 (skipped) where
# Slurm and munge are not installed or the test does not run as root.
#   usage: farm_render.sh CRINEL SOURCE_DIR
set -euo pipefail
crinel=$1
src=$2
for tool in sbatch squeue scancel slurmctld slurmd munged; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (slurm-wlm, munge)"; exit 77; }
done
[ "$(id -u)" = 0 ] || { echo "skipped: the one-node cluster runs as root"; exit 77; }

work=$(mktemp -d /tmp/crinel-farm-test.XXXXXX)
export CRINEL_SLURM_DIR=$work/slurm
export CRINEL_SLURM_PORT=$((20000 + (RANDOM % 10000) * 2))
export SLURM_CONF=$CRINEL_SLURM_DIR/slurm.conf
export CRINEL_FARM_JOBS=$work/jobs
cleanup() {
  "$src/scripts/slurm-local.sh" down >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

"$src/scripts/slurm-local.sh" up
"$src/scripts/slurm-local.sh" up >/dev/null  # a second up finds it running

scene=$src/examples/furball.json
opts=(--size 96x54 --passes 2)

wait_job() {
  for _ in $(seq 1 900); do
    [ -z "$(squeue -h -j "$1" 2>/dev/null)" ] && return 0
    sleep 0.2
  done
  fail "job $1 did not finish"
}

# The same frames rendered here, without the farm.
mkdir -p "$work/local"
for f in 0 1 2 3; do
  "$crinel" render "$scene" --frame "$f" "${opts[@]}" --out "$work/local/f_000$f.png" 2>"$work/local/log.txt" ||
    fail "the local render of frame $f: $(cat "$work/local/log.txt")"
done

echo "== four frames, one per task"
job=$("$crinel" farm render "$scene" --frames 0-3 "${opts[@]}" --out "$work/a/f_####.png")
[[ $job =~ ^[0-9]+$ ]] || fail "farm render printed '$job', not a job id"
wait_job "$job"
for f in 0 1 2 3; do
  cmp "$work/local/f_000$f.png" "$work/a/f_000$f.png" || fail "frame $f differs from the local render"
done
status=$("$crinel" farm status "$job")
echo "$status"
grep -q "frames: 4 done, 0 running, 0 pending, 0 failed" <<<"$status" || fail "status does not count 4 frames done"
# Without the record folder the record is found beside the script the queue names.
CRINEL_FARM_JOBS=$work/elsewhere "$crinel" farm status "$job" | grep -q "frames: 4 done" ||
  fail "status without the record folder"

echo "== one task of four frames, killed after its first frame"
job=$("$crinel" farm render "$scene" --frames 0-3 --chunk 4 "${opts[@]}" --out "$work/b/f_####.png")
marks=$work/b/crinel_farm/f_.png.frames
for _ in $(seq 1 900); do
  [ -e "$marks/0.done" ] && break
  sleep 0.05
done
[ -e "$marks/0.done" ] || fail "the task never finished its first frame"
scancel --signal=KILL "${job}_0"
wait_job "$job"
[ -e "$work/b/f_0000.png" ] || fail "frame 0 is missing after the kill"
[ ! -e "$work/b/f_0003.png" ] || fail "the task finished before it was killed"
status=$("$crinel" farm status "$job")
echo "$status"
grep -q "0 running, 0 pending, [1-3] failed" <<<"$status" || fail "status does not show the killed frames as failed"
grep -q "task 0 (frames 0 to 3) failed" <<<"$status" || fail "status does not name the failed task"

echo "== resubmitted"
job=$("$crinel" farm render "$scene" --frames 0-3 --chunk 4 "${opts[@]}" --out "$work/b/f_####.png")
wait_job "$job"
for f in 0 1 2 3; do
  cmp "$work/local/f_000$f.png" "$work/b/f_000$f.png" || fail "frame $f differs after the resubmission"
done
grep -q "frame 0: .* exists; skipped" "$work/b/crinel_farm/logs/f_.png_${job}_0.log" ||
  fail "the resubmission rendered frame 0 again"
status=$("$crinel" farm status "$job")
echo "$status"
grep -q "frames: 4 done, 0 running, 0 pending, 0 failed" <<<"$status" || fail "status after the resubmission"
echo "== a simulating hair object: the cache job first, then the frames from the cache"
windy=$src/examples/windy.json
job=$("$crinel" farm render "$windy" --frames 3-4 --chunk 2 "${opts[@]}" --out "$work/c/w_####.png")
wait_job "$job"
[ -s "$work/c/fur.crnc" ] || fail "no simulation cache beside the frames"
for f in 3 4; do
  "$crinel" render "$windy" --frame "$f" "${opts[@]}" --out "$work/local/w_000$f.png" 2>/dev/null
  cmp "$work/local/w_000$f.png" "$work/c/w_000$f.png" || fail "simulated frame $f differs from the local render"
done

echo "== a USD export in two chunks, joined"
job=$("$crinel" farm export "$scene" --frames 0-1 --node fur --out "$work/d/hair.usda")
for _ in $(seq 1 900); do
  [ -e "$work/d/hair.usda" ] && [ -z "$(squeue -h 2>/dev/null)" ] && break
  sleep 0.2
done
grep -q 'asset\[\] assetPaths = \[@./hair_clips/hair_0000_0000.usda@, @./hair_clips/hair_0001_0001.usda@\]' \
  "$work/d/hair.usda" || fail "the joined layer does not name both chunks"
"$crinel" farm status "$job" | grep -q "frames: 2 done" || fail "export status"
echo "passed"
