#!/usr/bin/env bash
# A one-node Slurm cluster on this machine, for tests and for trying `crinel farm` out.
#
#   scripts/slurm-local.sh up     start munged, slurmctld and slurmd; wait until the node is idle
#   scripts/slurm-local.sh down   stop them and remove the cluster's state
#   scripts/slurm-local.sh env    print the line that points Slurm's commands at the cluster
#
# Everything lives in one folder ($CRINEL_SLURM_DIR, default /tmp/crinel-slurm): the munge key
# and socket, slurm.conf, state, spool, logs and pid files. Slurm's commands find the cluster
# through SLURM_CONF; `up` prints the export line. Both commands are idempotent. Runs as root
# (SlurmUser=root); the ports are $CRINEL_SLURM_PORT and the one after it (default 16817).
set -euo pipefail

dir=${CRINEL_SLURM_DIR:-/tmp/crinel-slurm}
port=${CRINEL_SLURM_PORT:-16817}
conf=$dir/slurm.conf
export SLURM_CONF=$conf

die() { echo "slurm-local: $*" >&2; exit 1; }

# The pid in a pid file when that process still runs.
live_pid() {
  local f=$1 pid
  [ -s "$f" ] || return 1
  pid=$(cat "$f" 2>/dev/null) || return 1
  [[ $pid =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null && echo "$pid"
}

node_state() { scontrol show node localhost 2>/dev/null | sed -n 's/.*State=\([A-Z+_]*\).*/\1/p' | head -n1; }

write_conf() {
  local cpus mem
  cpus=$(nproc)
  mem=$(awk '/MemTotal/ {print int($2 / 1024 / 2)}' /proc/meminfo)
  cat >"$conf.tmp" <<EOF
# One-node cluster written by scripts/slurm-local.sh.
ClusterName=crinel
SlurmctldHost=$(hostname -s)(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MinJobAge=600
SlurmdTimeout=60
InactiveLimit=0
KillWait=5
NodeName=localhost NodeAddr=127.0.0.1 NodeHostname=localhost CPUs=$cpus RealMemory=$mem State=UNKNOWN
PartitionName=main Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
  mv "$conf.tmp" "$conf"
}

up() {
  [ "$(id -u)" = 0 ] || die "run as root (the cluster's daemons run as SlurmUser=root)"
  for tool in munged slurmctld slurmd scontrol sbatch; do
    command -v "$tool" >/dev/null || die "$tool not found; install slurm-wlm and munge"
  done
  mkdir -p "$dir"/{munge,state,spool,log}
  chmod 0711 "$dir" "$dir/munge"
  [ -f "$conf" ] || write_conf

  if ! live_pid "$dir/munge/munged.pid" >/dev/null; then
    if [ ! -s "$dir/munge/munge.key" ]; then
      dd if=/dev/urandom of="$dir/munge/munge.key.tmp" bs=1024 count=1 status=none
      chmod 0400 "$dir/munge/munge.key.tmp"
      mv "$dir/munge/munge.key.tmp" "$dir/munge/munge.key"
    fi
    munged --force --socket="$dir/munge/munge.socket" --key-file="$dir/munge/munge.key" \
      --pid-file="$dir/munge/munged.pid" --log-file="$dir/log/munged.log" \
      --seed-file="$dir/munge/munged.seed"
  fi
  if ! live_pid "$dir/slurmctld.pid" >/dev/null; then
    slurmctld -i -f "$conf" || die "slurmctld did not start; see $dir/log/slurmctld.log"
  fi
  if ! live_pid "$dir/slurmd.pid" >/dev/null; then
    slurmd -N localhost -f "$conf" || die "slurmd did not start; see $dir/log/slurmd.log"
  fi

  local state=""
  for _ in $(seq 1 120); do
    state=$(node_state)
    case $state in
      IDLE*|MIXED*|ALLOCATED*) break ;;
      DOWN*|DRAIN*) scontrol update nodename=localhost state=resume >/dev/null 2>&1 || true ;;
    esac
    sleep 0.5
  done
  case $state in
    IDLE*|MIXED*|ALLOCATED*) ;;
    *) die "the node did not come up (state '${state:-unknown}'); see $dir/log" ;;
  esac
  echo "slurm-local: node localhost is ${state,,}; run: export SLURM_CONF=$conf"
}

stop_pid_file() {
  local f=$1 pid
  pid=$(live_pid "$f") || return 0
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

down() {
  [ -d "$dir" ] || { echo "slurm-local: no cluster in $dir"; return 0; }
  # Jobs still running would outlive slurmd in their slurmstepd: cancel them first.
  if live_pid "$dir/slurmctld.pid" >/dev/null && [ -f "$conf" ]; then
    scancel --partition=main >/dev/null 2>&1 || true
    for _ in $(seq 1 50); do
      [ -z "$(squeue -h 2>/dev/null)" ] && break
      sleep 0.2
    done
  fi
  stop_pid_file "$dir/slurmd.pid"
  stop_pid_file "$dir/slurmctld.pid"
  stop_pid_file "$dir/munge/munged.pid"
  rm -rf "$dir"
  echo "slurm-local: stopped; removed $dir"
}

case ${1:-} in
  up) up ;;
  down) down ;;
  env) echo "export SLURM_CONF=$conf" ;;
  *) echo "usage: $0 up|down|env" >&2; exit 2 ;;
esac
