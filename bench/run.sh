#!/usr/bin/env bash
# Measures dictorn beside a floor program (a static C program that writes one
# line) in one run, and writes the figures as a table and two plots into the
# build folder: $BUILD/bench/results.md, instructions.svg, rebuild.svg.
#
#   make bench                    # build folder "build"
#   make bench BUILD=build-bench  # another build folder
#
# Figures: instructions per run (callgrind), wall time (alternated runs),
# peak resident memory, index rebuild speed beside `wc -l`, CGI throughput
# through lighttpd with wrk, and how the costs grow with the quote file.
# This is a measurement, never a test: nothing here fails on a slow figure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD:-build}
case $build in /*) ;; *) build=$root/$build ;; esac

# Runs of each program for the wall time, and seconds of wrk per program.
wall_runs=${BENCH_WALL_RUNS:-1000}
wrk_rounds=${BENCH_WRK_ROUNDS:-10}
wrk_seconds=${BENCH_WRK_SECONDS:-1}

# --- tools ------------------------------------------------------------------
scripts/deps.sh bench
export PATH=$PATH:/usr/sbin  # lighttpd

# --- builds -----------------------------------------------------------------
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target dictorn >/dev/null
out=$build/bench
work=$out/work
rm -rf "$work"
mkdir -p "$work"
gcc -O2 -static -o "$out/floor" bench/floor.c
gcc -O2 -o "$out/make_quotes" bench/make_quotes.c
gcc -O2 -o "$out/spawn_time" bench/spawn_time.c

# The environments of the runs. Both programs of a comparison run in the
# same one, since glibc's start-up reads the whole environment. A console run
# is a user's: in another directory, with a PATH. A page-mode run is started
# as a web server starts a CGI program: in the program's directory, with the
# request's variables and no PATH (lighttpd passes none).
console_env=(env -i PATH=/usr/bin:/bin HOME=/root LANG=C TERM=dumb)
page_variables=(GATEWAY_INTERFACE=CGI/1.1 SERVER_PROTOCOL=HTTP/1.1
                REQUEST_METHOD=GET SCRIPT_NAME=/cgi-bin/dictorn
                QUERY_STRING=next=7 SERVER_NAME=127.0.0.1 SERVER_PORT=80
                REMOTE_ADDR=127.0.0.1)
# Usage: page_env_in DIR: sets page_env to run there.
page_env_in() {
  page_env=(env -i -C "$1" "${page_variables[@]}")
}

# One folder per quote file and mode: the program, its quotes, and in page
# mode the configuration file. The first run builds the index.
# Usage: install DIR QUOTES MODE
install_dir() {
  local dir=$1 quotes=$2 mode=$3
  mkdir -p "$dir"
  cp "$build/dictorn" "$dir/dictorn"
  cp "$out/floor" "$dir/floor"
  ln -f "$quotes" "$dir/dictorn.txt"
  if [ "$mode" = page ]; then
    echo "cgiserver /cgi-bin/dictorn" >"$dir/dictorn32.conf"
  fi
  "$dir/dictorn" >/dev/null || true
}

echo "generating quote files"
for n in 10 1000 10000 100000 1000000; do
  "$out/make_quotes" $n >"$work/quotes-$n.txt"
done
for n in 10 1000 100000 1000000; do
  install_dir "$work/console-$n" "$work/quotes-$n.txt" console
  install_dir "$work/page-$n" "$work/quotes-$n.txt" page
done

load_start=$(cut -d' ' -f1 /proc/loadavg)

# --- instructions per run ---------------------------------------------------
# Usage: instructions ENV-ARRAY-NAME PROGRAM ARGS...
instructions() {
  local -n environment=$1
  shift
  local file=$work/callgrind.out
  "${environment[@]}" valgrind --tool=callgrind --callgrind-out-file="$file" \
    "$@" >/dev/null 2>&1 || true
  awk '/^(summary|totals):/ {print $2; exit}' "$file"
}

echo "counting instructions"
declare -A ir
for n in 10 1000 100000 1000000; do
  ir[console-$n]=$(instructions console_env "$work/console-$n/dictorn" 7)
  page_env_in "$work/page-$n"
  ir[page-$n]=$(instructions page_env "$work/page-$n/dictorn")
done
page_env_in "$work/page-100000"
ir[floor-console]=$(instructions console_env "$work/console-100000/floor")
ir[floor-page]=$(instructions page_env "$work/page-100000/floor")

# --- wall time, processor time, page faults, system calls ------------------
# spawn_time prints per command: median wall time, fastest, median processor
# time (user + system), all in seconds.
echo "timing $wall_runs runs of each program"
t=($("${console_env[@]}" "$out/spawn_time" "$wall_runs" \
  "$work/console-100000/dictorn" 7 :: "$work/console-100000/floor"))
wall_console=${t[0]} cpu_console=${t[2]}
wall_floor_console=${t[3]} cpu_floor_console=${t[5]}
t=($("${page_env[@]}" "$out/spawn_time" "$wall_runs" \
  "$work/page-100000/dictorn" :: "$work/page-100000/floor"))
wall_page=${t[0]} cpu_page=${t[2]}
wall_floor_page=${t[3]} cpu_floor_page=${t[5]}

# Usage: time_v FIELD ENV-ARRAY-NAME PROGRAM ARGS...: a field of time -v.
time_v() {
  local field=$1
  local -n environment=$2
  shift 2
  { "${environment[@]}" /usr/bin/time -v "$@" 2>&1 >/dev/null || true; } |
    awk -F: -v field="$field" '$1 ~ field {gsub(/ /, "", $2); print $2}'
}
rss_console=$(time_v "Maximum resident set size" console_env \
  "$work/console-100000/dictorn" 7)
rss_page=$(time_v "Maximum resident set size" page_env \
  "$work/page-100000/dictorn")
rss_floor=$(time_v "Maximum resident set size" console_env \
  "$work/console-100000/floor")
# Usage: faults ENV-ARRAY-NAME PROGRAM ARGS...: the median of 11 runs' minor
# page faults (a run's count varies by one or two with the stack's place).
faults() {
  for _ in $(seq 11); do
    time_v "Minor" "$@"
  done | sort -n | sed -n 6p
}
faults_console=$(faults console_env "$work/console-100000/dictorn" 7)
faults_page=$(faults page_env "$work/page-100000/dictorn")
faults_floor=$(faults console_env "$work/console-100000/floor")

# Usage: syscalls ENV-ARRAY-NAME PROGRAM ARGS...: system calls of one run.
syscalls() {
  local -n environment=$1
  shift
  { "${environment[@]}" strace -f -c -o /dev/stderr "$@" 2>&1 >/dev/null ||
      true; } | awk '$NF == "total" {print $4}'
}
calls_console=$(syscalls console_env "$work/console-100000/dictorn" 7)
calls_page=$(syscalls page_env "$work/page-100000/dictorn")
calls_floor=$(syscalls console_env "$work/console-100000/floor")

# --- index rebuild ----------------------------------------------------------
echo "timing index rebuilds"
rebuild_runs=${BENCH_REBUILD_RUNS:-5}
declare -A rebuild wc_seconds bytes
for n in 10000 100000 1000000; do
  install_dir "$work/rebuild-page-$n" "$work/quotes-$n.txt" page
  install_dir "$work/rebuild-console-$n" "$work/quotes-$n.txt" console
  bytes[$n]=$(stat -c %s "$work/quotes-$n.txt")
  t=($("${console_env[@]}" "$out/spawn_time" "$rebuild_runs" \
    -u "$work/rebuild-page-$n/dictorn.ndx" "$work/rebuild-page-$n/dictorn" \
    :: -u "$work/rebuild-console-$n/dictorn.ndx" \
    "$work/rebuild-console-$n/dictorn" \
    :: /usr/bin/wc -l "$work/quotes-$n.txt"))
  rebuild[page-$n]=${t[0]} rebuild[console-$n]=${t[3]} wc_seconds[$n]=${t[6]}
done

# --- CGI throughput ---------------------------------------------------------
echo "measuring CGI throughput ($wrk_rounds rounds of ${wrk_seconds}s each)"
www=$work/www
mkdir -p "$www/cgi-bin"
cp "$build/dictorn" "$out/floor" "$www/cgi-bin/"
ln -f "$work/quotes-100000.txt" "$www/cgi-bin/dictorn.txt"
echo "cgiserver /cgi-bin/dictorn" >"$www/cgi-bin/dictorn32.conf"
"$www/cgi-bin/dictorn" >/dev/null || true
server_pid=
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
}
trap stop_server EXIT
port=
for candidate in $(seq 18080 18119); do
  sed -e "s|@WWW@|$www|" -e "s|@PORT@|$candidate|" -e "s|@WORK@|$work|" \
    bench/lighttpd.conf >"$work/lighttpd.conf"
  lighttpd -D -f "$work/lighttpd.conf" &
  server_pid=$!
  for _ in $(seq 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
      port=$candidate
      break 2
    fi
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  stop_server
  server_pid=
done
if [ -z "$port" ]; then
  echo "bench: lighttpd did not start; see $work/lighttpd.err" >&2
  exit 1
fi
# Requests per second over all rounds: all requests / all seconds.
wrk_once() {
  wrk -t1 -c4 -d"${wrk_seconds}s" "http://127.0.0.1:$port/cgi-bin/$2" |
    awk -v who="$1" '/requests in/ {n = $1; s = $4; sub(/s,?$/, "", s)}
      /Non-2xx|Socket errors/ {bad = 1}
      END {print who, n, s, bad + 0}'
}
for _ in $(seq "$wrk_rounds"); do
  wrk_once floor floor
  wrk_once dictorn "dictorn?next=7"
done >"$work/wrk.txt"
stop_server
server_pid=
trap - EXIT
t=($(awk '{n[$1] += $2; s[$1] += $3; bad += $4}
  END {print n["dictorn"] / s["dictorn"], n["floor"] / s["floor"], bad}
' "$work/wrk.txt"))
rps_cgi=${t[0]} rps_floor=${t[1]} errors=${t[2]}

# --- table ------------------------------------------------------------------
results=$out/results.md
{
  echo "| Figure | dictorn | floor | ratio | goal |"
  echo "|---|---:|---:|---:|---|"
  awk -v c="${ir[console-100000]}" -v p="${ir[page-100000]}" \
      -v fc="${ir[floor-console]}" -v fp="${ir[floor-page]}" \
      -v wc="$wall_console" -v wfc="$wall_floor_console" \
      -v wp="$wall_page" -v wfp="$wall_floor_page" \
      -v cc="$cpu_console" -v cfc="$cpu_floor_console" \
      -v cp="$cpu_page" -v cfp="$cpu_floor_page" \
      -v rc="$rss_console" -v rp="$rss_page" -v rf="$rss_floor" \
      -v pfc="$faults_console" -v pfp="$faults_page" -v pff="$faults_floor" \
      -v scc="$calls_console" -v scp="$calls_page" -v scf="$calls_floor" \
      -v rps="$rps_cgi" -v rpsf="$rps_floor" -v errors="$errors" '
    function mark(ok) { return ok ? "met" : "NOT MET" }
    BEGIN {
      printf "| Instructions, console run (`dictorn 7`) | %d | %d | %.2f | <= 40,000: %s |\n", c, fc, c / fc, mark(c <= 40000)
      printf "| Instructions, page-mode run (next=7) | %d | %d | %.2f | <= 50,000: %s |\n", p, fp, p / fp, mark(p <= 50000)
      printf "| Wall time, console run (median) | %.0f us | %.0f us | %.3f | <= 1.1: %s |\n", wc * 1e6, wfc * 1e6, wc / wfc, mark(wc <= 1.1 * wfc)
      printf "| Wall time, page-mode run (median) | %.0f us | %.0f us | %.3f | <= 1.1: %s |\n", wp * 1e6, wfp * 1e6, wp / wfp, mark(wp <= 1.1 * wfp)
      printf "| Processor time, console run (median) | %.0f us | %.0f us | %.3f | |\n", cc * 1e6, cfc * 1e6, cc / cfc
      printf "| Processor time, page-mode run (median) | %.0f us | %.0f us | %.3f | |\n", cp * 1e6, cfp * 1e6, cp / cfp
      printf "| Peak resident memory, console run | %d KiB | %d KiB | %+d KiB | <= +512 KiB: %s |\n", rc, rf, rc - rf, mark(rc - rf <= 512)
      printf "| Peak resident memory, page-mode run | %d KiB | %d KiB | %+d KiB | <= +512 KiB: %s |\n", rp, rf, rp - rf, mark(rp - rf <= 512)
      printf "| Page faults (median of 11), console / page-mode run | %d / %d | %d | %+d / %+d | |\n", pfc, pfp, pff, pfc - pff, pfp - pff
      printf "| System calls, console / page-mode run | %d / %d | %d | %+d / %+d | |\n", scc, scp, scf, scc - scf, scp - scf
      printf "| CGI throughput, lighttpd + wrk, 4 connections | %.0f req/s | %.0f req/s | %.3f | >= 0.95: %s%s |\n", rps, rpsf, rps / rpsf, mark(rps >= 0.95 * rpsf), errors ? " (wrk saw errors)" : ""
    }'
  echo
  echo "| Index rebuild of | MB | page mode | console mode | \`wc -l\` | page / wc -l speed | console / page time |"
  echo "|---|---:|---:|---:|---:|---:|---|"
  for n in 10000 100000 1000000; do
    awk -v n="$n" -v b="${bytes[$n]}" -v p="${rebuild[page-$n]}" \
        -v c="${rebuild[console-$n]}" -v w="${wc_seconds[$n]}" '
      function mark(ok) { return ok ? "met" : "NOT MET" }
      BEGIN {
        mb = b / 1e6
        goal = n == 1000000 ? sprintf(" (goals: >= 0.50 %s, <= 2 %s)", mark(w / p >= 0.5), mark(c / p <= 2)) : ""
        printf "| %d lines | %.1f | %.4f s, %.0f MB/s | %.4f s, %.0f MB/s | %.4f s, %.0f MB/s | %.2f | %.2f%s |\n", n, mb, p, mb / p, c, mb / c, w, mb / w, w / p, c / p, goal
      }'
  done
  echo
  echo "| Quotes in the file | 10 | 1,000 | 100,000 | 1,000,000 |"
  echo "|---|---:|---:|---:|---:|"
  printf "| Instructions, console run | %s | %s | %s | %s |\n" \
    "${ir[console-10]}" "${ir[console-1000]}" "${ir[console-100000]}" \
    "${ir[console-1000000]}"
  printf "| Instructions, page-mode run | %s | %s | %s | %s |\n" \
    "${ir[page-10]}" "${ir[page-1000]}" "${ir[page-100000]}" \
    "${ir[page-1000000]}"
  echo
  echo "Floor: bench/floor.c, \`gcc -O2 -static\`, writes one line, exits 1."
  echo "Console runs: environment \`${console_env[*]:2}\`, run from the"
  echo "repository. Page-mode runs: environment \`${page_variables[*]}\`,"
  echo "run from the program's directory (as lighttpd runs a CGI program)."
  echo "Instructions: valgrind --tool=callgrind."
  echo "Wall and processor time: $wall_runs runs of each, alternated, spawned and"
  echo "waited for as a web server does; processor time is the child's user +"
  echo "system time. Rebuild: median of $rebuild_runs runs, index removed before"
  echo "each, quote file in the page cache. CGI: wrk -t1 -c4, $wrk_rounds"
  echo "alternated rounds of ${wrk_seconds}s per program."
  echo "Machine: $(nproc) processors; load average $load_start at the start,"
  echo "$(cut -d' ' -f1 /proc/loadavg) at the end."
} >"$results"

# --- plots ------------------------------------------------------------------
{
  for n in 10 1000 100000 1000000; do
    echo "$n ${ir[console-$n]} ${ir[page-$n]} ${ir[floor-console]} ${ir[floor-page]}"
  done
} >"$out/instructions.dat"
{
  for n in 10000 100000 1000000; do
    echo "$n ${rebuild[page-$n]} ${rebuild[console-$n]} ${wc_seconds[$n]}"
  done
} >"$out/rebuild.dat"
gnuplot -e "data='$out/instructions.dat'; output='$out/instructions.svg'" \
  bench/instructions.gp
gnuplot -e "data='$out/rebuild.dat'; output='$out/rebuild.svg'" \
  bench/rebuild.gp

cat "$results"
echo
echo "written: $results, $out/instructions.svg, $out/rebuild.svg"
