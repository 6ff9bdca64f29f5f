#!/usr/bin/env bash
# Runs the README's Slurm array job for real: starts a single-node Slurm on
# this machine (munged, slurmctld and slurmd, as root, with their files in the
# work directory), submits a 4-task array over a small sweep, merges the
# shards and compares the result with the sweep run on one machine. The
# daemons it started are stopped by their pid files on the way out.
#
# Where the daemons cannot start (not root, no Slurm), it says why and runs
# the same array script with SLURM_ARRAY_TASK_ID set by hand instead.
#
#   slurm_test.sh TARVELLO_RUN ARRAY_SCRIPT WORK_DIR
set -euo pipefail
run=$1 script=$2 work=$3
tasks=4
rm -rf "$work"
mkdir -p "$work/state" "$work/spool"
cd "$work"

cat > cases.csv <<'CASES'
case,days,percentReuse_B1_Water_P1_WasteWater,waterTank_B1_Water_P1_CleanWater
base,,,
reuse20,,0.2,
reuse80,,0.8,
tank50,,,50
tank400,,,400
twoyears,730,,
CASES
"$run" --sweep cases.csv --out one-machine --quiet

stop_daemons() {
  local f pid i
  for f in slurmd.pid slurmctld.pid munged.pid; do
    [ -s "$work/$f" ] || continue
    pid=$(cat "$work/$f")
    kill "$pid" 2>/dev/null || continue
    for i in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  done
}
trap stop_daemons EXIT

start_slurm() {
  local host
  host=$(hostname -s)
  command -v munged >/dev/null && command -v slurmctld >/dev/null || {
    echo "munged or slurmctld is not installed"
    return 1
  }
  [ "$(id -u)" -eq 0 ] || {
    echo "the daemons run as root here, and this is uid $(id -u)"
    return 1
  }
  munged --force --pid-file="$work/munged.pid" --socket="$work/munge.socket" \
    --seed-file="$work/munge.seed" --log-file="$work/munged.log" || return 1
  cat > slurm.conf <<CONF
ClusterName=tarvello-test
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge.socket
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
SlurmctldPort=16817
SlurmdPort=16818
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
  slurmctld -f "$SLURM_CONF" || return 1
  slurmd -f "$SLURM_CONF" || return 1
  local i
  for i in $(seq 1 60); do
    sinfo --noheader --states=idle 2>/dev/null | grep -q idle && return 0
    sleep 0.5
  done
  echo "the node did not become idle:"
  tail -n 5 "$work/slurmctld.log" "$work/slurmd.log" 2>/dev/null || true
  return 1
}

export TARVELLO_RUN=$run SLURM_CONF=$work/slurm.conf
if start_slurm > start.log 2>&1; then
  echo "== single-node Slurm up; submitting the array job"
  sbatch --wait --array=0-$((tasks - 1)) --output="$work/task-%a.log" "$script" cases.csv slurm
else
  echo "== Slurm could not be started, running the array tasks by hand instead:"
  cat start.log
  for ((i = 0; i < tasks; i++)); do
    SLURM_ARRAY_TASK_ID=$i SLURM_ARRAY_TASK_COUNT=$tasks bash "$script" cases.csv slurm
  done
fi
"$run" --merge slurm/merged $(for ((i = 0; i < tasks; i++)); do echo "slurm/shard-$i"; done)
cmp slurm/merged/summary.csv one-machine/summary.csv
echo "== the merged summary of $tasks array tasks equals the one-machine summary"
