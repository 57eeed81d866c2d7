#!/bin/sh
# Times the local scan against `find ROOT -type f -newer REF` on two trees:
# 100 000 files in 1 000 folders and 10 000 files in 100 folders, 10 changed
# files each. Both are timed warm (one unmeasured run first), median of RUNS.
#   BUILD_DIR  where the benchmark program is built (default: build-bench/scan)
#   WORK_DIR   where the trees are made (default: a new temporary folder)
#   RUNS       runs per measure (default: 7)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench/scan}
runs=${RUNS:-7}
python=${PYTHON:-/usr/bin/python3}

cmake -S "$here/scan" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
bench="$build/bench_scan"

if [ -n "${WORK_DIR:-}" ]; then
    work=$WORK_DIR
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT INT TERM
fi

# make_tree DIR FOLDERS FILES_PER_FOLDER: all files dated 2020-01-01 except 10
# spread over the tree, dated now; prints the comparison time (2021-01-01).
make_tree() {
    "$python" - "$1" "$2" "$3" <<'PY'
import os, sys, time
root, nfolders, nfiles = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
old, ref, now = 1577836800, 1609459200, int(time.time())
top = max(1, nfolders // 100)
folders = []
for i in range(top):
    a = os.path.join(root, "d%02d" % i)
    folders.append(a)
    for j in range(nfolders // top - 1):
        folders.append(os.path.join(a, "e%03d" % j))
for f in folders:
    os.makedirs(f, exist_ok=True)
changed = set(range(0, len(folders), max(1, len(folders) // 10)))
for n, f in enumerate(folders):
    for k in range(nfiles):
        p = os.path.join(f, "page%03d.htm" % k)
        with open(p, "w") as h:
            h.write("x")
        t = now if (n in changed and k == nfiles // 2) else old
        os.utime(p, (t, t))
with open(os.path.join(root, "..", os.path.basename(root) + ".ref"), "w"):
    pass
os.utime(os.path.join(root, "..", os.path.basename(root) + ".ref"), (ref, ref))
print(ref)
PY
}

# median_find ROOT REF: median wall time of find, in milliseconds.
median_find() {
    "$python" - "$1" "$2" "$runs" <<'PY'
import subprocess, sys, time
root, ref, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
cmd = ["find", root, "-type", "f", "-newer", ref]
subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
times = []
for _ in range(runs):
    t = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
    times.append((time.perf_counter() - t) * 1000)
times.sort()
print("%.2f" % times[len(times) // 2])
PY
}

for size in "1000 100" "100 100"; do
    set -- $size
    root="$work/tree$1"
    date=$(make_tree "$root" "$1" "$2")
    ref="$work/tree$1.ref"
    found=$(find "$root" -type f -newer "$ref" | wc -l)
    set -- $("$bench" "$root" "$date" "$runs") "$1" "$2"
    scan_ms=$1 examined=$2 selected=$3 folders=$4 per=$5
    find_ms=$(median_find "$root" "$ref")
    ratio=$("$python" -c "print('%.2f' % ($scan_ms / $find_ms))")
    echo "$((folders * per)) files in $folders folders: scan $scan_ms ms" \
        "($examined examined, $selected selected), find $find_ms ms ($found found)," \
        "ratio $ratio"
done
