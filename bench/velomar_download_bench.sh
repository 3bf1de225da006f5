#!/usr/bin/env bash
# Download benchmark: Velomar's terminal mode against aria2c, both fetching
# from an nginx that this script starts on 127.0.0.1 with its own
# configuration in a temp folder.
#
#  1. One large file (100 MiB and 1 GiB): `velomar --headless URL` with the
#     first-run settings (3 engines) against `aria2c -x3 -s3`.
#  2. 500 files of 10 KiB on one command line (first-run settings: 5 jobs at
#     once) against `aria2c -j5 -i LIST`.
# Each case runs RUNS pairs (default 3, one after the other) and prints the
# median wall time, CPU time (user + system) and peak resident memory of each
# program and Velomar's ratios to aria2c. Every download is compared with its
# source.
#
# Usage: bench/velomar_download_bench.sh [path/to/velomar]   (default build/bin/velomar;
#        measure an optimised build: -DCMAKE_BUILD_TYPE=Release)
# Environment: RUNS (3), SIZES_MIB ("100 1024"), SMALL_FILES (500),
#              SKIP_VELOMAR=1 (aria2c only), KEEP=1 (keep the temp folder).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
VELOMAR=${1:-$ROOT/build/bin/velomar}
RUNS=${RUNS:-3}
SIZES_MIB=${SIZES_MIB:-"100 1024"}
SMALL_FILES=${SMALL_FILES:-500}
NGINX=/usr/sbin/nginx
TIME=/usr/bin/time

for tool in "$NGINX" "$TIME" aria2c python3 cmp; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (run scripts/setup-deps)" >&2; exit 2; }
done
run_velomar=1
if [[ "${SKIP_VELOMAR:-0}" == 1 ]]; then
    run_velomar=0
elif [[ ! -x "$VELOMAR" ]]; then
    echo "note: $VELOMAR not found; measuring aria2c only" >&2
    run_velomar=0
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velomar-bench-XXXXXX")
NGINX_PID=
cleanup() {
    if [[ -n "$NGINX_PID" ]]; then
        kill "$NGINX_PID" 2>/dev/null || true
        wait "$NGINX_PID" 2>/dev/null || true
    fi
    if [[ "${KEEP:-0}" == 1 ]]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# --- nginx ---------------------------------------------------------------
WWW=$WORK/www
mkdir -p "$WWW/small" "$WORK/nginx/logs" "$WORK/nginx/temp"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$WORK/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $WORK/nginx/logs/nginx.pid;
error_log $WORK/nginx/logs/error.log warn;
events { worker_connections 1024; }
http {
    default_type application/octet-stream;
    access_log off;
    client_body_temp_path $WORK/nginx/temp/body;
    proxy_temp_path $WORK/nginx/temp/proxy;
    fastcgi_temp_path $WORK/nginx/temp/fastcgi;
    uwsgi_temp_path $WORK/nginx/temp/uwsgi;
    scgi_temp_path $WORK/nginx/temp/scgi;
    sendfile on;
    server {
        listen 127.0.0.1:$PORT;
        root $WWW;
    }
}
EOF

echo "preparing files in $WORK ..." >&2
for mib in $SIZES_MIB; do
    head -c "$((mib * 1024 * 1024))" /dev/urandom >"$WWW/file$mib.bin"
done
for i in $(seq 1 "$SMALL_FILES"); do
    head -c 10240 /dev/urandom >"$WWW/small/f$i.bin"
done

"$NGINX" -p "$WORK/nginx/" -c "$WORK/nginx/nginx.conf" -e "$WORK/nginx/logs/error.log" &
NGINX_PID=$!
for _ in $(seq 1 200); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; then break; fi
    sleep 0.05
done
BASE=http://127.0.0.1:$PORT

# --- measuring -------------------------------------------------------------
# measure <result file> <command...>: appends "wall cpu peakKiB status"
measure() {
    local out=$1
    shift
    local tf=$WORK/time.txt status=0
    "$TIME" -f "%e %U %S %M" -o "$tf" "$@" >"$WORK/last.log" 2>&1 || status=$?
    awk -v s="$status" '{ printf "%.2f %.2f %d %d\n", $1, $2 + $3, $4, s }' "$tf" >>"$out"
    return 0
}

median() { # column of a result file
    sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

failures() { awk '$4 != 0' "$1" | wc -l; }

report() { # name, velomar results, aria2c results
    local name=$1 v=$2 a=$3
    local aw ac am
    aw=$(median "$a" 1)
    ac=$(median "$a" 2)
    am=$(median "$a" 3)
    printf '\n%s (%s runs each, medians)\n' "$name" "$RUNS"
    printf '  %-9s wall %7ss  cpu %7ss  peak %6d KiB  failed runs %s\n' \
        aria2c "$aw" "$ac" "$am" "$(failures "$a")"
    if [[ -s "$v" ]]; then
        local vw vc vm
        vw=$(median "$v" 1)
        vc=$(median "$v" 2)
        vm=$(median "$v" 3)
        printf '  %-9s wall %7ss  cpu %7ss  peak %6d KiB  failed runs %s\n' \
            velomar "$vw" "$vc" "$vm" "$(failures "$v")"
        awk -v vw="$vw" -v aw="$aw" -v vc="$vc" -v ac="$ac" 'BEGIN {
            printf "  velomar/aria2c: wall %.2f  cpu %.2f\n",
                (aw > 0 ? vw / aw : 0), (ac > 0 ? vc / ac : 0) }'
    fi
}

check_same() { # downloaded, source
    if ! cmp -s "$1" "$2"; then
        echo "MISMATCH: $1 differs from $2" >&2
        return 1
    fi
}

# One timed terminal-mode run with first-run settings in a fresh folder, $d.
# Arguments: the times file, then the URLs.
run_velomar() {
    local out=$1
    shift
    d=$WORK/run-velomar
    rm -rf "$d"
    mkdir -p "$d/registry"
    VELOMAR_PROGRAM_PATH=$d/velomar REGISTRY_DIR=$d/registry QT_QPA_PLATFORM=offscreen \
        measure "$out" "$VELOMAR" --headless "$@"
}
# A fresh, empty download folder for one aria2c run, $d.
fresh_aria2c() {
    d=$WORK/run-aria2c
    rm -rf "$d"
    mkdir -p "$d"
}

for mib in $SIZES_MIB; do
    src=$WWW/file$mib.bin
    v=$WORK/v$mib.txt a=$WORK/a$mib.txt
    : >"$v"
    : >"$a"
    for r in $(seq 1 "$RUNS"); do
        if [[ $run_velomar == 1 ]]; then
            run_velomar "$v" "$BASE/file$mib.bin"
            check_same "$d/Download/file$mib.bin" "$src" || sed -i '$ s/ 0$/ 99/' "$v"
            rm -rf "$d"
        fi
        fresh_aria2c
        measure "$a" aria2c --no-conf -q -x3 -s3 --file-allocation=none -d "$d" \
            "$BASE/file$mib.bin"
        check_same "$d/file$mib.bin" "$src" || sed -i '$ s/ 0$/ 99/' "$a"
        rm -rf "$d"
        echo "  $mib MiB: pair $r done" >&2
    done
    report "one file of $mib MiB" "$v" "$a"
done

urls=()
: >"$WORK/list.txt"
for i in $(seq 1 "$SMALL_FILES"); do
    urls+=("$BASE/small/f$i.bin")
    echo "$BASE/small/f$i.bin" >>"$WORK/list.txt"
done
check_all() { # folder of downloads
    local bad=0
    for i in $(seq 1 "$SMALL_FILES"); do
        cmp -s "$1/f$i.bin" "$WWW/small/f$i.bin" || bad=$((bad + 1))
    done
    [[ $bad == 0 ]] || echo "MISMATCH: $bad of $SMALL_FILES small files in $1" >&2
    [[ $bad == 0 ]]
}
v=$WORK/vsmall.txt a=$WORK/asmall.txt
: >"$v"
: >"$a"
for r in $(seq 1 "$RUNS"); do
    if [[ $run_velomar == 1 ]]; then
        run_velomar "$v" "${urls[@]}"
        check_all "$d/Download" || sed -i '$ s/ 0$/ 99/' "$v"
        rm -rf "$d"
    fi
    fresh_aria2c
    measure "$a" aria2c --no-conf -q -j5 -d "$d" -i "$WORK/list.txt"
    check_all "$d" || sed -i '$ s/ 0$/ 99/' "$a"
    rm -rf "$d"
    echo "  small files: pair $r done" >&2
done
report "$SMALL_FILES files of 10 KiB" "$v" "$a"
