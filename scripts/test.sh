#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root) and runs the whole test suite: installs what is
# missing, starts a Firebird server on loopback for the run (stopped again afterwards if this script
# started it), then, stage by stage:
#   default  build (GCC) and every test with CTest, the fuzz corpora replayed included; then the
#            minimal C host of examples/ built with cc and run against the sample database; then the
#            .deb and .tar.gz built, the .deb unpacked and checked, and lintian on it
#   release  the plug-in alone as a user builds it (CMAKE_BUILD_TYPE=Release, -O3), warnings as
#            errors, so that an optimiser's warning shows here first
#   asan     the same under AddressSanitizer + UndefinedBehaviorSanitizer (clang): leaks included,
#            any report fails its test
#   tsan     the tests that run threads under ThreadSanitizer (clang)
#   fuzz     each libFuzzer target for MOX_FUZZ_SECONDS (30) seconds from its corpus
#   windows  both Windows DLLs cross-built with mingw-w64 (i686, x86_64) and their export and
#            import tables checked; for each architecture the unit and end-to-end tests run under
#            wine, the shared end-to-end cases and the sample host against a real database
#            through a test-only gds32.dll that forwards to the native client library; the .zip
#            of each architecture made with CPack and its file list checked
# MOX_TEST_STAGES picks stages (default: "default release asan tsan fuzz windows"). The first failure ends the run.
# The time of each stage is printed as it ends and again at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

stages=${MOX_TEST_STAGES:-default release asan tsan fuzz windows}
fuzz_seconds=${MOX_FUZZ_SECONDS:-30}
jobs=$(nproc)

# --- stage bookkeeping -------------------------------------------------------------------------
run_start=$SECONDS
stage_name=""
stage_start=0
timings=()
results=()  # one "stage: N passed, N failed, N skipped" line per stage that ran tests

begin_stage() {
  stage_name=$1
  stage_start=$SECONDS
  echo
  echo "==== stage: $stage_name"
}

end_stage() {
  local took=$((SECONDS - stage_start))
  timings+=("$(printf '%-44s %4d s' "$stage_name" "$took")")
  echo "==== stage done: $stage_name ($took s)"
  stage_name=""
}

print_timings() {
  echo
  echo "==== stage times"
  local line
  for line in "${timings[@]}"; do echo "  $line"; done
  if [ -n "$stage_name" ]; then
    printf '  %-44s %4d s (failed)\n' "$stage_name" $((SECONDS - stage_start))
  fi
  printf '  %-44s %4d s\n' "total" $((SECONDS - run_start))
}

# Runs ctest with the given arguments, shows its output, and records its counts for the summary.
# ctest_prefix: a command that ctest runs under (empty: none).
ctest_prefix=()
run_ctest() {
  local label=$1
  shift
  local log status=0
  log=$(mktemp)
  "${ctest_prefix[@]}" ctest "$@" 2>&1 | tee "$log" || status=$?
  local summary failed total skipped
  summary=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -n "$summary" ]; then
    failed=$(echo "$summary" | awk '{print $1}')
    total=$(echo "$summary" | awk '{print $6}')
    skipped=$(grep -cE '^[[:space:]]+[0-9]+ - .*\(Skipped\)$' "$log" || true)
    results+=("$label: $((total - failed - skipped)) passed, $failed failed, $skipped skipped")
  fi
  rm -f "$log"
  return "$status"
}

wants() { [[ " $stages " == *" $1 "* ]]; }

# --- machine set-up ----------------------------------------------------------------------------
begin_stage "set-up (packages, Firebird server)"
bash scripts/install-deps.sh

started_server=0
if ! bash scripts/firebird-server.sh status; then
  bash scripts/firebird-server.sh start
  started_server=1
fi
wineserver_started=0
cleanup() {
  local status=$?
  if [ "$wineserver_started" = 1 ]; then "$wineserver" -k || true; fi
  # A run that got to its end has printed the times already.
  if [ "$status" != 0 ]; then print_timings; fi
  if [ "$started_server" = 1 ]; then bash scripts/firebird-server.sh stop; fi
  exit "$status"
}
trap cleanup EXIT

# The tests reach the server as SYSDBA with the password the package generated.
# shellcheck disable=SC1091
. /etc/firebird/3.0/SYSDBA.password
export MOX_TEST_SERVER=localhost
export MOX_TEST_SYSDBA_PASSWORD="$ISC_PASSWORD"
export MOX_TEST_SERVER_RESTART=1
end_stage

# --- sanitizer settings: any report ends the process with a failure ----------------------------
# Read only by sanitizer-built programs, so they are set for the whole run.
# No leak suppressions: the suite runs leak-free, the Firebird client library included.
# intercept_tls_get_addr=0: the runtime of clang 14 mistakes some dynamic TLS blocks of glibc 2.36
# for an old glibc layout, and the leak check at exit then crashes reading a bogus range ("Tracer
# caught signal 11") after the client library was unloaded. Static TLS is still scanned.
asan_options="halt_on_error=1:abort_on_error=1:detect_leaks=1:print_stacktrace=1"
asan_options+=":strict_string_checks=1:check_initialization_order=1"
asan_options+=":detect_stack_use_after_return=1:intercept_tls_get_addr=0"
ubsan_options="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
# TSan suppressions cover reports inside the Firebird client library and engine only (see file).
tsan_options="halt_on_error=1:abort_on_error=1:second_deadlock_stack=1"
tsan_options+=":suppressions=$root/tests/sanitizers/tsan.supp"
export ASAN_OPTIONS="$asan_options" UBSAN_OPTIONS="$ubsan_options" TSAN_OPTIONS="$tsan_options"

# --- default build -----------------------------------------------------------------------------
if wants default; then
  begin_stage "default: build (gcc)"
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs"
  end_stage

  begin_stage "default: tests"
  run_ctest "default" --preset default -j "$jobs"
  end_stage

  # The README's minimal C host, built as an integrator would and run against the sample database.
  begin_stage "default: minimal C host example"
  host_dir=$(mktemp -d)
  cc -std=c99 -Wall -Wextra -Werror -Iinclude examples/minimal_host.c -o "$host_dir/minimal_host" \
    -ldl -lpthread
  cp build/default/src/plugin/apMoxSettingsManager.so "$host_dir/"
  bash examples/create_sample_db.sh "$host_dir/settings.fdb" embedded
  printf '[DB]\nDBFile=%s\nDBUser=SYSDBA\nDBLang=WIN1251\n' "$host_dir/settings.fdb" \
    >"$host_dir/apMoxSettingsManager.ini"
  "$host_dir/minimal_host" "$host_dir/apMoxSettingsManager.so" XYZ | tee "$host_dir/out.txt"
  grep -qx 'MoxSettingsManager: record XYZ has state 1' "$host_dir/out.txt"
  rm -rf "$host_dir"
  results+=("minimal C host: 1 passed, 0 failed, 0 skipped")
  end_stage
fi

# --- packages of the default build: .deb and .tar.gz, unpacked with dpkg -x, lintian ------------
if wants default; then
  begin_stage "package: .deb + .tar.gz, dpkg -x, lintian"
  bash scripts/check-package.sh build/default
  results+=("package: 1 passed, 0 failed, 0 skipped")
  end_stage
fi

# --- Release build of the plug-in, as a user configures it --------------------------------------
if wants release; then
  begin_stage "release: plug-in build (gcc, -O3)"
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMOX_WERROR=ON \
    -DMOX_BUILD_TESTS=OFF -DMOX_BUILD_BENCH=OFF >/dev/null
  cmake --build build/release -j "$jobs" --target apMoxSettingsManager
  end_stage
fi

# --- AddressSanitizer + UndefinedBehaviorSanitizer ---------------------------------------------
if wants asan; then
  begin_stage "asan: build (clang, ASan+UBSan)"
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j "$jobs"
  end_stage

  begin_stage "asan: tests"
  run_ctest "asan" --preset asan -j "$jobs"
  end_stage
fi

# --- ThreadSanitizer: the test binaries that run threads ---------------------------------------
if wants tsan; then
  begin_stage "tsan: build (clang, TSan)"
  cmake --preset tsan >/dev/null
  tsan_binaries=(mox_worker_tests mox_plugin_tests mox_log_tests mox_tools_tests mox_log_client_tests)
  # The reliability tests join once their folder defines them. (Not `grep -q`: it stops reading at
  # the first match, and under pipefail ninja's SIGPIPE would then count as no match.)
  if ninja -C build/tsan -t targets all | grep '^mox_reliability_tests:' >/dev/null; then
    tsan_binaries+=(mox_reliability_tests)
  fi
  cmake --build --preset tsan -j "$jobs" --target "${tsan_binaries[@]}"
  end_stage

  begin_stage "tsan: tests"
  # Tests carry their binary's name as label; the reliability tests carry "reliability".
  label_regex="^($(IFS='|'; echo "${tsan_binaries[*]}")|reliability)\$"
  # Without address randomisation: the TSan runtime of clang 14 once failed to map its shadow
  # memory (an allocation of some 250 TiB) for a library that the hundred load-and-unload cycles
  # had put at a random address; a fixed layout keeps the mappings where the runtime expects them.
  ctest_prefix=(setarch "$(uname -m)" -R)
  run_ctest "tsan" --preset tsan -j "$jobs" -L "$label_regex"
  ctest_prefix=()
  end_stage
fi

# --- fuzzing -----------------------------------------------------------------------------------
if wants fuzz; then
  begin_stage "fuzz: build (clang, libFuzzer+ASan+UBSan)"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  end_stage

  begin_stage "fuzz: ${fuzz_seconds} s per target"
  fuzz_dir=build/fuzz
  mapfile -t fuzz_targets < <(find tests/fuzz/corpus -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | sort)
  # New inputs go to a work folder under build/ (kept between runs on one machine); the corpus in
  # the tree is only read. Targets run side by side, one per core.
  fuzz_one() {
    local target=$1
    local work="$fuzz_dir/work/$target" artifacts="$fuzz_dir/artifacts/$target"
    mkdir -p "$work" "$artifacts"
    local status=0
    "$fuzz_dir/tests/fuzz/mox_fuzz_$target" \
      -max_total_time="$fuzz_seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work" "tests/fuzz/corpus/$target" \
      >"$fuzz_dir/$target.log" 2>&1 || status=$?
    echo "$status" >"$fuzz_dir/$target.status"
  }
  running=0
  for target in "${fuzz_targets[@]}"; do
    fuzz_one "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
      wait -n || true
      running=$((running - 1))
    fi
  done
  wait || true

  fuzz_failed=0
  for target in "${fuzz_targets[@]}"; do
    status=$(cat "$fuzz_dir/$target.status")
    runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$fuzz_dir/$target.log" | grep -Eo '[0-9]+$' || echo "?")
    corpus=$(find "$fuzz_dir/work/$target" -type f | wc -l)
    if [ "$status" = 0 ]; then
      printf '  %-20s %10s runs, %5d inputs in its work corpus, no failure\n' "$target" "$runs" "$corpus"
    else
      fuzz_failed=$((fuzz_failed + 1))
      printf '  %-20s FAILED after %s runs (exit %s); log: %s\n' "$target" "$runs" "$status" "$fuzz_dir/$target.log"
      tail -n 40 "$fuzz_dir/$target.log"
      echo "  reproducer(s): $(ls "$fuzz_dir/artifacts/$target" 2>/dev/null | tr '\n' ' ')"
      echo "  replay one: $fuzz_dir/tests/fuzz/mox_fuzz_$target <file>; once fixed, keep it in tests/fuzz/corpus/$target/"
    fi
  done
  results+=("fuzz: $((${#fuzz_targets[@]} - fuzz_failed)) passed, $fuzz_failed failed, 0 skipped")
  [ "$fuzz_failed" = 0 ] || exit 1
  end_stage
fi

# --- Windows: both DLLs, each tested under wine ---------------------------------------------------
if wants windows; then
  begin_stage "windows: build (mingw-w64, i686 and x86_64)"
  for preset in windows-x86 windows-x64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
  done
  end_stage

  begin_stage "windows: tests (i686 and x86_64 under wine)"
  # One prefix kept under build/ (its creation takes the first run ~15 s) and one wineserver kept
  # alive for the stage, so that each test program starts in well under a second.
  export WINEPREFIX="$root/build/wine-prefix" WINEDEBUG=-all
  # wine takes its ANSI code page from the locale: one fixed locale, so that the tests' paths with
  # bytes above 127 convert the same whatever the caller's environment (a bare root sets none).
  export LC_ALL=C.UTF-8
  wine=$(command -v wine || echo /usr/lib/wine/wine64)
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
  # The prefix is made (or updated) here, not by the first test: the helper processes wine starts
  # with it would inherit that test's output and keep CTest waiting for them.
  mkdir -p "$WINEPREFIX"
  wineserver_started=1
  # (Exit status 2: a persistent wineserver of this prefix runs already, left by a run by hand.)
  "$wineserver" -p >/dev/null 2>&1 </dev/null || [ $? = 2 ]
  "$wine" wineboot --init >/dev/null 2>&1 </dev/null
  run_ctest "windows-x86" --preset windows-x86 -j "$jobs"
  run_ctest "windows-x64" --preset windows-x64 -j "$jobs"
  "$wineserver" -k || true
  wineserver_started=0
  end_stage

  begin_stage "windows: packages (.zip per architecture)"
  version=$(sed -n 's/^project(apMoxSettingsManager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  for arch in x86:win32:i686-w64-mingw32 x64:win64:x86_64-w64-mingw32; do
    IFS=: read -r preset_arch zip_arch triplet <<<"$arch"
    dir="$root/build/windows-$preset_arch"
    rm -rf "$dir/packages"
    (cd "$dir" && cpack >/dev/null)
    top="apMoxSettingsManager-$version-$zip_arch"
    listed=$(cd "$dir/packages" && cmake -E tar tf "$top.zip" | grep -v '/$' | LC_ALL=C sort | paste -sd ' ')
    expected="$top/COPYRIGHT.txt $top/LogClient.dll $top/README.md $top/apMoxSettingsManager.dll"
    expected+=" $top/examples/apMoxSettingsManager.ini $top/examples/minimal_host_windows.c"
    expected+=" $top/examples/settings_db.sql $top/include/apMoxSettingsManager.h"
    expected+=" $top/lib/apMoxSettingsManager.def $top/mox-host.exe"
    if [ "$listed" != "$expected" ]; then
      echo "FAIL: $top.zip holds [$listed], expected [$expected]"
      exit 1
    fi
    unpacked=$(mktemp -d)
    (cd "$unpacked" && cmake -E tar xf "$dir/packages/$top.zip")
    kit="$unpacked/$top"
    # Each DLL's version resource (UTF-16 strings, each value right after its key).
    for dll in apMoxSettingsManager.dll LogClient.dll; do
      resource=$(strings -el "$kit/$dll" | grep -A1 -xE 'FileVersion|ProductVersion|OriginalFilename' |
        grep -v -- -- | paste -sd ' ')
      if [ "$resource" != "FileVersion $version OriginalFilename $dll ProductVersion $version" ]; then
        echo "FAIL: the version resource of $top/$dll reads [$resource]"
        exit 1
      fi
    done
    # The Windows example host from the kit: loading the DLL at run time, and linked against an
    # import library made from the .def, which must resolve the exports without a warning and
    # import them under their plain names.
    "$triplet-gcc-posix" -std=c99 -Wall -Wextra -Werror -I"$kit/include" \
      "$kit/examples/minimal_host_windows.c" -o "$kit/minimal_host_windows.exe"
    "$triplet-dlltool" -k -d "$kit/lib/apMoxSettingsManager.def" -l "$unpacked/libplugin.a"
    "$triplet-gcc-posix" -std=c99 -Wall -Wextra -Werror -I"$kit/include" -DMOX_LINK_IMPORT_LIBRARY \
      "$kit/examples/minimal_host_windows.c" -o "$kit/minimal_host_linked.exe" "$unpacked/libplugin.a" \
      >"$unpacked/link.txt" 2>&1 || { cat "$unpacked/link.txt"; exit 1; }
    imported=$("$triplet-objdump" -p "$kit/minimal_host_linked.exe" |
      sed -n '/DLL Name: apMoxSettingsManager.dll/,/^$/p' | grep -oE '[A-Za-z_@0-9]+_Plugin[@0-9]*' |
      LC_ALL=C sort | paste -sd ' ')
    if [ -s "$unpacked/link.txt" ] || [ "$imported" != "Command_Plugin Finalize_Plugin Init_Plugin" ]; then
      echo "FAIL: the host linked against the .def's import library imports [$imported]:"
      cat "$unpacked/link.txt"
      exit 1
    fi
    # Under wine (x86_64) with the stand-in client library, whose every call fails: both hosts
    # load the DLL, send the command and get its failure reply.
    if [ "$triplet" = x86_64-w64-mingw32 ]; then
      cp "$dir/tests/windows/gds32.dll" "$kit/"
      for run in "minimal_host_windows.exe apMoxSettingsManager.dll XYZ" "minimal_host_linked.exe XYZ"; do
        said=$(cd "$kit" && "$wine" $run 2>/dev/null | tr -d '\r' || true)
        if ! grep -qx 'MoxSettingsManager: the command failed; see the plug-in.s log' <<<"$said"; then
          echo "FAIL: wine $run said [$said]"
          exit 1
        fi
      done
      "$wineserver" -k || true
    fi
    rm -rf "$unpacked"
    echo "ok: $dir/packages/$top.zip"
  done
  end_stage
fi

print_timings
# The closing lines: the counts of each stage, then all of them.
echo
echo "==== results"
passed_all=0 failed_all=0 skipped_all=0
for line in "${results[@]}"; do
  echo "$line"
  read -r p f s <<<"$(echo "${line#*:}" | grep -Eo '[0-9]+' | paste -sd ' ')"
  passed_all=$((passed_all + p)) failed_all=$((failed_all + f)) skipped_all=$((skipped_all + s))
done
echo "all: $passed_all passed, $failed_all failed, $skipped_all skipped"
