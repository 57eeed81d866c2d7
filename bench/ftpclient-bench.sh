#!/bin/sh
# Upload throughput of the FTP client against curl, to the same test server
# (tests/support/ftpserver.py on 127.0.0.1) in the same run, and the client's
# peak memory. Targets: at least 0.9 x curl's throughput, peak under 64 MiB.
#   ftpclient-bench.sh [SIZE_MIB]   size of the uploaded file (default 1024)
#   BUILD_DIR  where ftpbench is built (default: build-bench/ftpclient)
#   WORK_DIR   where the file and the server root go (default: a new temp folder)
#   RUNS       uploads per tool, in alternating order; the best of each counts
#              (default: 3), since the server's disk writes make any single
#              run noisy
set -eu

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench/ftpclient}
python=${PYTHON:-/usr/bin/python3}
runs=${RUNS:-3}
size_mib=${1:-1024}
case $size_mib in
    ''|*[!0-9]*) echo "ftpclient-bench: size must be a whole number of MiB" >&2; exit 2 ;;
esac
[ "$size_mib" -gt 0 ] || { echo "ftpclient-bench: size must be above 0" >&2; exit 2; }
command -v curl >/dev/null || { echo "ftpclient-bench: curl is needed" >&2; exit 2; }

cmake -S "$here/ftpclient" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
bench="$build/ftpbench"

if [ -n "${WORK_DIR:-}" ]; then
    work=$WORK_DIR
    mkdir -p "$work"
else
    work=$(mktemp -d)
fi
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
    if [ -z "${WORK_DIR:-}" ]; then rm -rf "$work"; fi
}
trap cleanup EXIT INT TERM

# Random bytes, written out: no sparse holes, nothing that compresses.
file="$work/upload.bin"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$file"
bytes=$(wc -c <"$file")

mkdir -p "$work/root"
"$python" "$repo/tests/support/ftpserver.py" --root "$work/root" --user nuvola \
    --password secret --host 127.0.0.1 --port 0 >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=
tries=0
while [ -z "$port" ]; do
    port=$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$work/server.out")
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$server_pid" 2>/dev/null; then
        echo "ftpclient-bench: the test server did not start" >&2
        cat "$work/server.err" >&2
        exit 1
    fi
    [ -n "$port" ] || sleep 0.1
done

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
# Both uploads are timed the same way, from process start to process end, and
# the file is read once before so that both find it in the page cache.
cat "$file" >/dev/null

check_upload() {
    got=$(wc -c <"$work/root/$1")
    if [ "$got" != "$bytes" ]; then
        echo "ftpclient-bench: $1 has $got bytes on the server, not $bytes" >&2
        exit 1
    fi
}
run_client() {
    t0=$(now)
    report=$("$bench" 127.0.0.1 "$port" nuvola secret "$file" client.bin)
    t1=$(now)
    check_upload client.bin
    cmp -s "$file" "$work/root/client.bin" || { echo "ftpclient-bench: client.bin differs" >&2; exit 1; }
    rm -f "$work/root/client.bin"
    client_times="$client_times $(elapsed "$t0" "$t1")"
    peak=$(echo "$report" | sed -n 's/.*peak_rss_kib=\([-0-9]*\).*/\1/p')
    if [ "$peak" -gt "$peak_kib" ]; then peak_kib=$peak; fi
}
run_curl() {
    t0=$(now)
    curl -sS --user nuvola:secret -T "$file" "ftp://127.0.0.1:$port/curl.bin"
    t1=$(now)
    check_upload curl.bin
    rm -f "$work/root/curl.bin"
    curl_times="$curl_times $(elapsed "$t0" "$t1")"
}

client_times=
curl_times=
peak_kib=-1
i=0
while [ "$i" -lt "$runs" ]; do
    if [ $((i % 2)) -eq 0 ]; then run_client; run_curl; else run_curl; run_client; fi
    sync
    i=$((i + 1))
done

awk -v b="$bytes" -v ct="$client_times" -v kt="$curl_times" -v peak="$peak_kib" 'BEGIN {
    n = split(ct, c, " "); split(kt, k, " ")
    bc = c[1]; bk = k[1]
    for (i = 2; i <= n; ++i) { if (c[i] < bc) bc = c[i]; if (k[i] < bk) bk = k[i] }
    client = b / 1e6 / bc; curl = b / 1e6 / bk; ratio = client / curl
    printf "file:            %.0f MiB, %d runs each\n", b / 1048576, n
    printf "ftpbench:        %.1f MB/s (best %.2f s; all:%s)\n", client, bc, ct
    printf "curl -T:         %.1f MB/s (best %.2f s; all:%s)\n", curl, bk, kt
    printf "ratio:           %.2f (target >= 0.90)\n", ratio
    printf "ftpbench peak:   %.1f MiB (target < 64)\n", peak / 1024
    ok = ratio >= 0.9 && peak >= 0 && peak < 65536
    printf "result:          %s\n", ok ? "PASS" : "FAIL"
    exit ok ? 0 : 1
}'
