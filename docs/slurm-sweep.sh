#!/usr/bin/env bash
# A tarvello-run sweep as a Slurm array job: array task I of N runs the cases
# whose 0-based row index modulo N is I, into OUT_DIR/shard-I.
#
#   sbatch --array=0-3 docs/slurm-sweep.sh CASES.csv OUT_DIR [tarvello-run options...]
#   tarvello-run --merge OUT_DIR/merged OUT_DIR/shard-*     # once all tasks are done
#
# tarvello-run is taken from $TARVELLO_RUN, else from PATH; sbatch passes the
# submitting shell's environment on. Each task runs its cases on the CPUs
# that Slurm gives it; a task that was pre-empted and requeued continues
# where it stopped (--resume).
#SBATCH --job-name=tarvello-sweep
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
set -euo pipefail
if (($# < 2)); then
  echo "usage: sbatch --array=0-(N-1) slurm-sweep.sh CASES.csv OUT_DIR [options]" >&2
  exit 2
fi
cases=$1 out=$2
shift 2
: "${SLURM_ARRAY_TASK_ID:?not an array task: submit with sbatch --array=0-(N-1)}"
: "${SLURM_ARRAY_TASK_COUNT:?not an array task: submit with sbatch --array=0-(N-1)}"
exec "${TARVELLO_RUN:-tarvello-run}" --sweep "$cases" \
  --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT" --out "$out/shard-$SLURM_ARRAY_TASK_ID" \
  --jobs "${SLURM_CPUS_PER_TASK:-1}" --resume --quiet "$@"
