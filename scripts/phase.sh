# Sourced by the scripts: `phase NAME COMMAND...` runs COMMAND and then prints
#     phase NAME: W s wall, C s CPU (U user + S sys)
# where the CPU time is that of every process the command ran, so that a log shows where the
# time goes. When KZ_PHASE_LOG names a file, the line is appended to it too (.ci/run gathers them).
# A shell function as COMMAND stops at its first failing command, as under `set -e`.
phase() {
    local name=$1 status timing line errexit=$- TIMEFORMAT='%3R %3U %3S'
    shift
    set +e
    # The command's own output goes where the caller's goes; only the timing is captured.
    { timing=$({ time { (set -e; "$@") 1>&4 2>&3; }; } 2>&1); status=$?; } 3>&2 4>&1
    [[ $errexit != *e* ]] || set -e
    line=$(LC_ALL=C awk -v name="$name" -v status="$status" -v t="${timing##*$'\n'}" 'BEGIN {
        split(t, f, " ")
        printf "phase %s: %d s wall, %d s CPU (%d user + %d sys)%s\n", name, f[1] + 0.5, f[2] + f[3] + 0.5,
            f[2] + 0.5, f[3] + 0.5, status == 0 ? "" : ", failed with " status
    }')
    echo "$line"
    [ -z "${KZ_PHASE_LOG:-}" ] || echo "$line" >>"$KZ_PHASE_LOG"
    return "$status"
}
