#!/usr/bin/env bash
# Runs every benchmark and writes bench/RESULTS.md.
#
#   bench/run.sh                 the full run (about ten minutes on two cores): builds
#                                (RelWithDebInfo, in build/bench), starts the local Firebird server
#                                for the TCP cases if it is not running (and stops it again),
#                                runs every benchmark and a valgrind memcheck run, writes
#                                bench/RESULTS.md
#   bench/run.sh --smoke         tiny counts, embedded database only, no valgrind; prints the
#                                tables and writes nothing into the source tree: proves the
#                                benchmarks still work, judges no time
#
# Options: --build-dir DIR (default build/bench, or $MOX_BENCH_BUILD_DIR), --no-build (use the
# binaries already in DIR), --out FILE (default bench/RESULTS.md; ignored with --smoke).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${MOX_BENCH_BUILD_DIR:-$root/build/bench}
out=$root/bench/RESULTS.md
smoke=0
build=1
while [ $# -gt 0 ]; do
  case $1 in
    --smoke) smoke=1 ;;
    --no-build) build=0 ;;
    --build-dir) build_dir=$2; shift ;;
    --out) out=$2; shift ;;
    *) echo "usage: $0 [--smoke] [--no-build] [--build-dir DIR] [--out FILE]" >&2; exit 2 ;;
  esac
  shift
done

targets=(bench_end_to_end bench_host_cost bench_logging bench_memory LogClient)
if [ "$build" = 1 ]; then
  echo "== build ($build_dir, RelWithDebInfo)" >&2
  # A fresh folder gets the benchmarks only; an existing one (a preset's) keeps its other settings.
  config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOX_BUILD_BENCH=ON)
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then config+=(-G Ninja -DMOX_BUILD_TESTS=OFF); fi
  cmake -S "$root" -B "$build_dir" "${config[@]}" >/dev/null
  cmake --build "$build_dir" -j "$(nproc)" --target "${targets[@]}" >&2
fi
bin=$build_dir/bench
for t in bench_end_to_end bench_host_cost bench_logging bench_memory; do
  [ -x "$bin/$t" ] || { echo "$0: $bin/$t is missing (build first)" >&2; exit 1; }
done

# The plug-in writes its log files under the host's folder: start each run without old ones.
rm -rf "$bin/Logs"

sections=$(mktemp)
trap 'rm -f "$sections"' EXIT

if [ "$smoke" = 1 ]; then
  "$bin/bench_end_to_end" --smoke
  "$bin/bench_host_cost" --smoke
  "$bin/bench_logging" --smoke
  "$bin/bench_memory" --smoke
  rm -rf "$bin/Logs"
  echo "bench smoke: 4 passed, 0 failed"
  exit 0
fi

started_server=0
cleanup() {
  rm -f "$sections"
  if [ "$started_server" = 1 ]; then bash "$root/scripts/firebird-server.sh" stop || true; fi
}
trap cleanup EXIT
if ! bash "$root/scripts/firebird-server.sh" status; then
  if bash "$root/scripts/firebird-server.sh" start; then
    started_server=1
  else
    echo "$0: no Firebird server: the TCP cases will be skipped" >&2
  fi
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
start_time=$(date '+%Y-%m-%d %H:%M:%S %Z')

# Run at a raised priority where allowed, so that other work on the machine disturbs less.
nice_cmd=()
if [ "$(id -u)" = 0 ]; then nice_cmd=(nice -n -15); fi

e2e_args=(--n=500 --reps=12 --access=embedded --protocol=off,on --codes=1,10)
e2e_tcp_args=(--n=500 --reps=12 --access=tcp --protocol=off,on --codes=1,10)
e2e_ls_args=(--log-server --n=500 --reps=12 --access=embedded --protocol=off,on --codes=1,10)
host_args=(--busy-samples=200000 --idle-samples=2000 --reps=5)
log_args=(--file-lines=100000 --server-lines=2000000 --reps=5)
mem_args=(--commands=1000000 --cycles=2)
vg_access=embedded
if bash "$root/scripts/firebird-server.sh" status; then vg_access=embedded,tcp; fi
vg_args=(--n=30 --reps=1 --access=$vg_access --protocol=off,on --codes=1,10)

# A benchmark that fails (the server restarted by other work, say) is noted in the results and
# the others still run; the script then exits non-zero.
failures=0
run_bench() {
  local title=$1
  shift
  echo "== $title" >&2
  local err
  err=$(mktemp)
  local status=0
  "${nice_cmd[@]}" "$@" >>"$sections" 2>"$err" || status=$?
  cat "$err" >&2
  if [ "$status" != 0 ]; then
    failures=$((failures + 1))
    { echo "### $title: FAILED"; echo; echo '```'; tail -3 "$err"; echo '```'; echo; } >>"$sections"
  fi
  rm -f "$err"
}
run_bench "end to end, embedded" "$bin/bench_end_to_end" "${e2e_args[@]}"
run_bench "end to end, TCP loopback" "$bin/bench_end_to_end" "${e2e_tcp_args[@]}"
run_bench "end to end, program log to a log server" "$bin/bench_end_to_end" "${e2e_ls_args[@]}"
run_bench "host cost" "$bin/bench_host_cost" "${host_args[@]}"
run_bench "logging" "$bin/bench_logging" "${log_args[@]}"
run_bench "memory" "$bin/bench_memory" "${mem_args[@]}"

vg_summary="valgrind is not installed: no memcheck run."
if command -v valgrind >/dev/null; then
  echo "== valgrind memcheck over the end-to-end driver" >&2
  vg_log=$(mktemp)
  valgrind --leak-check=full --show-leak-kinds=definite,indirect,possible --num-callers=40 \
    --log-file="$vg_log" "$bin/bench_end_to_end" "${vg_args[@]}" >/dev/null 2>&1 || true
  vg_summary=$(grep -E "in use at exit|definitely lost|indirectly lost|possibly lost|still reachable|ERROR SUMMARY" "$vg_log" |
    sed 's/^==[0-9]*== *//')
  rm -f "$vg_log"
fi
rm -rf "$bin/Logs"

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
cpu_model=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
firebird_version=$(dpkg-query -W -f='${Package} ${Version}\n' firebird3.0-server-core libfbclient2 2>/dev/null |
  paste -sd ';' - | sed 's/;/; /g')
compiler=$(c++ --version | head -1)
revision=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if ! git -C "$root" diff --quiet HEAD -- src bench 2>/dev/null; then revision="$revision (with uncommitted changes)"; fi

{
  echo "# Benchmark results"
  echo
  echo "Written by \`bench/run.sh\`, started $start_time, at revision $revision."
  echo
  echo "## Machine"
  echo
  echo "- CPU: $cpu_model, $(nproc) cores"
  echo "- Memory: $(free -h | awk '/^Mem:/ {print $2}')"
  echo "- Kernel: $(uname -sr)"
  echo "- Firebird: $firebird_version"
  echo "- Compiler: $compiler; build type RelWithDebInfo (-O2 -g)"
  echo "- Load average (1, 5, 15 min) before: $load_before; after: $load_after. The machine is shared:"
  echo "  other work running at the same time shows up as spread between runs."
  echo
  echo "## Commands"
  echo
  echo '```'
  echo "bench/run.sh    # runs, each as: ${nice_cmd[*]} <program> <arguments>"
  echo "$bin/bench_end_to_end ${e2e_args[*]}"
  echo "$bin/bench_end_to_end ${e2e_tcp_args[*]}"
  echo "$bin/bench_end_to_end ${e2e_ls_args[*]}"
  echo "$bin/bench_host_cost ${host_args[*]}"
  echo "$bin/bench_logging ${log_args[*]}"
  echo "$bin/bench_memory ${mem_args[*]}"
  echo "valgrind --leak-check=full $bin/bench_end_to_end ${vg_args[*]}"
  echo '```'
  echo
  echo "## Figures"
  echo
  cat "$sections"
  echo "### Leak check (valgrind memcheck over the end-to-end driver)"
  echo
  echo '```'
  echo "$vg_summary"
  echo '```'
  echo
  if [ -f "$root/bench/ANALYSIS.md" ]; then
    cat "$root/bench/ANALYSIS.md"
  fi
} >"$out"
echo "wrote $out" >&2
if [ "$failures" != 0 ]; then
  echo "$0: $failures benchmark(s) failed; see $out" >&2
  exit 1
fi
