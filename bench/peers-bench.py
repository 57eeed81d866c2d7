#!/usr/bin/python3
"""Nuvola against the tools a user would pick instead, side by side.

Every scenario is run by every tool on the same server and the same tree, the
tools taking turns run after run so that a slow moment of the machine does not
fall on one tool only. Tools:
  nuvola        the real executable in automatic mode ("nuvola /auto")
  lftp-1conn    lftp "mirror -R --only-newer" with net:connection-limit 1
  lftp-default  the same with lftp's default settings
  curl          curl --ftp-create-dirs with one -T per file, one invocation
Scenarios:
  a  first upload of 500 files of 1-50 KB in 25 folders
  b  10 changed files in a tree of 20 000 (the others already on the server)
  c  one big file (1 GiB unless --big-mib says otherwise)
Servers: the test server (tests/support/ftpserver.py), the same with every
reply and every data-connection accept delayed by --rtt-ms (a and b only),
and vsftpd started here with its own configuration and a local test user.
Only 127.0.0.1 is ever contacted.
"""

import argparse
import os
import pwd
import random
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
PYTHON = "/usr/bin/python3"
HOST = "127.0.0.1"
OLD = 1577836800  # 2020-01-01: files the server already holds
REF = 1609459200  # 2021-01-01: the comparison time of scenario b
TOOLS = ("nuvola", "lftp-1conn", "lftp-default", "curl")
BENCH_USER = "nuvolabench"
BENCH_PASSWORD = "Bench-4711"
TIMEOUT = 1800

# Round trips that no client can avoid for one upload over its own data
# connection: the passive-port request, the data connection's handshake, and
# the final reply that follows the end of the data.
ROUND_TRIPS_PER_FILE = 3


def log(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


# --- trees


def make_tree_a(root, files, folders):
    """`folders` folders (a fifth of them at the top, the rest below them),
    `files` spread evenly; .htm pages (text, ASCII) and .png images."""
    rnd = random.Random(1)
    tops = max(1, folders // 5)
    paths = []
    for t in range(tops):
        top = os.path.join(root, "d%d" % t)
        paths.append(top)
        for s in range(folders // tops - 1):
            paths.append(os.path.join(top, "s%d" % s))
    paths = paths[:folders]
    line = b"<p>Temperature 12.5 C, humidite 80 %, vent 15 km/h, pluie 0.2 mm</p>\n"
    for n in range(files):
        folder = paths[n % len(paths)]
        os.makedirs(folder, exist_ok=True)
        size = rnd.randint(1024, 50 * 1024)
        if n % 2 == 0:
            name, data = "page%03d.htm" % n, (line * (size // len(line) + 1))[:size]
        else:
            name, data = "image%03d.png" % n, rnd.randbytes(size)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return files


def make_tree_b(root, tops, subs, per):
    """tops x subs folders of `per` files each, all dated OLD except 10 spread
    over 5 folders, dated now: the pages a station has just regenerated."""
    rnd = random.Random(2)
    changed_folders = {(0, 0), (tops // 4, subs // 3), (tops // 2, (2 * subs) // 3),
                       ((3 * tops) // 4, subs - 1), (tops - 1, subs - 1)}
    changed = []
    for t in range(tops):
        for s in range(subs):
            folder = os.path.join(root, "t%02d" % t, "s%d" % s)
            os.makedirs(folder)
            for k in range(per):
                path = os.path.join(folder, "page%03d.htm" % k if k % 4 else "image%03d.png" % k)
                with open(path, "wb") as f:
                    f.write(rnd.randbytes(rnd.randint(200, 2000)))
                if (t, s) in changed_folders and k in (0, 1):
                    changed.append(path)
                else:
                    os.utime(path, (OLD, OLD))
    for t in range(tops):
        os.utime(os.path.join(root, "t%02d" % t), (OLD, OLD))
    return changed


def make_big(root, mib):
    os.makedirs(root)
    path = os.path.join(root, "big.bin")
    with open(path, "wb") as f:
        for _ in range(mib):
            f.write(os.urandom(1024 * 1024))
    return path


def count_files(root):
    return sum(len(files) for _, _, files in os.walk(root))


# --- servers


class TestServer:
    def __init__(self, work, name, rtt_ms=0):
        self.name = name
        self.rtt_ms = rtt_ms
        self.root = os.path.join(work, name + "-root")
        self.log_path = os.path.join(work, name + ".log")
        self.user, self.password = "station", "secret"
        os.makedirs(self.root)
        open(self.log_path, "w").close()
        cmd = [PYTHON, os.path.join(REPO, "tests", "support", "ftpserver.py"),
               "--root", self.root, "--user", self.user, "--password", self.password,
               "--host", HOST, "--port", "0", "--log", self.log_path, "--quit-on-eof"]
        if rtt_ms:
            cmd += ["--reply-delay", str(rtt_ms), "--accept-delay", str(rtt_ms)]
        self.proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True)
        word, _, port = self.proc.stdout.readline().strip().partition(" ")
        if word != "PORT":
            raise RuntimeError("the test server did not start")
        self.port = int(port)
        self.uid = None

    def upload_root(self):
        return self.root

    def log_size(self):
        return os.path.getsize(self.log_path)

    def commands_since(self, offset):
        """(commands, STOR commands, sessions) logged after `offset`."""
        with open(self.log_path, "rb") as f:
            f.seek(offset)
            lines = f.read().decode("utf-8", "replace").splitlines()
        stors = sum(1 for ln in lines if ln.split(" ")[1:2] == ["STOR"])
        return len(lines), stors, len({ln.split(" ")[0] for ln in lines})

    def stop(self):
        self.proc.stdin.close()
        self.proc.terminate()
        self.proc.wait(10)


class Vsftpd:
    def __init__(self, work):
        self.name = "vsftpd"
        self.rtt_ms = 0
        base = os.path.join(work, "vsftpd")
        self.home = os.path.join(base, "home")
        self.log_path = os.path.join(base, "vsftpd.log")
        os.makedirs(self.home)
        # The chroot is root's and read-only to the user; uploads go below it.
        os.chmod(base, 0o755)
        os.chmod(self.home, 0o555)
        self.user, self.password = BENCH_USER, BENCH_PASSWORD
        self.created_user = False
        try:
            pwd.getpwnam(self.user)
            subprocess.run(["usermod", "-d", self.home, self.user], check=True)
        except KeyError:
            subprocess.run(["useradd", "-M", "-d", self.home, "-s", "/bin/sh", self.user],
                           check=True)
            self.created_user = True
        subprocess.run(["chpasswd"], input="%s:%s\n" % (self.user, self.password), text=True,
                       check=True)
        self.uid = pwd.getpwnam(self.user).pw_uid
        self.port = free_port()
        pasv = random.Random().randrange(40000, 59000)
        conf = os.path.join(base, "vsftpd.conf")
        with open(conf, "w") as f:
            f.write("\n".join([
                "listen=YES", "listen_ipv6=NO", "listen_address=%s" % HOST,
                "listen_port=%d" % self.port, "background=NO",
                "anonymous_enable=NO", "local_enable=YES", "write_enable=YES",
                "local_umask=022", "chroot_local_user=YES", "allow_writeable_chroot=YES",
                "secure_chroot_dir=/var/run/vsftpd/empty", "pam_service_name=vsftpd",
                "seccomp_sandbox=NO", "isolate=NO", "isolate_network=NO",
                "pasv_enable=YES", "pasv_min_port=%d" % pasv, "pasv_max_port=%d" % (pasv + 999),
                "pasv_address=%s" % HOST, "max_clients=0", "max_per_ip=0",
                "log_ftp_protocol=YES", "xferlog_enable=YES", "xferlog_std_format=NO",
                "vsftpd_log_file=%s" % self.log_path, "dual_log_enable=NO",
                "syslog_enable=NO", "use_localtime=NO", "delay_failed_login=0", ""]))
        self.proc = subprocess.Popen(["vsftpd", conf], stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while True:
            try:
                with socket.create_connection((HOST, self.port), timeout=1) as s:
                    banner = s.recv(200)
                if banner.startswith(b"220"):
                    break
            except OSError:
                pass
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("vsftpd did not start")
            time.sleep(0.05)
        open(self.log_path, "a").close()

    def upload_root(self):
        return self.home

    def log_size(self):
        return os.path.getsize(self.log_path)

    def commands_since(self, offset):
        with open(self.log_path, "rb") as f:
            f.seek(offset)
            lines = f.read().decode("utf-8", "replace").splitlines()
        cmds = [ln for ln in lines if "FTP command:" in ln]
        stors = sum(1 for ln in cmds if '", "STOR ' in ln)
        sessions = sum(1 for ln in lines if "CONNECT: Client" in ln)
        return len(cmds), stors, sessions

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        if self.created_user:
            subprocess.run(["userdel", self.user], check=False)


# --- tools


class Runner:
    def __init__(self, nuvola, work):
        self.nuvola = nuvola
        self.work = work
        self.data = os.path.join(work, "nuvola-data")
        self.runtime = os.path.join(work, "nuvola-runtime")
        self.cwd = os.path.join(work, "nuvola-cwd")
        for d in (self.data, self.runtime, self.cwd):
            os.makedirs(d, exist_ok=True)
        os.chmod(self.runtime, 0o700)

    def command(self, tool, server, site, date):
        url_base = "ftp://%s:%d/www" % (HOST, server.port)
        if tool == "nuvola":
            with open(os.path.join(self.data, "Nuvola.ini"), "w") as f:
                f.write("[Config]\nMiniChck=0\nExcAnPrec=0\nServeur=%s\nPort=%d\n"
                        "Utilisateur=%s\nPass=%s\nDosServeur=www\nDosLocal=%s\n"
                        "ascii=\"txt;html;php;htm;\"\nbinaire=\"gif;jpg;png;bin;\"\n"
                        "DosExclu=\nDate=%d\n"
                        % (HOST, server.port, server.user, server.password, site, date))
            temp = os.path.join(self.cwd, "Temp")
            if os.path.exists(temp):
                os.remove(temp)
            return [self.nuvola, "/auto"]
        if tool.startswith("lftp"):
            settings = "set net:connection-limit 1; " if tool == "lftp-1conn" else ""
            return ["lftp", "-u", "%s,%s" % (server.user, server.password), "-p",
                    str(server.port), "-e",
                    "%smirror -R --only-newer %s www; quit" % (settings, site), HOST]
        # curl has no selection of its own: find gives it the changed files,
        # and that find is part of its time.
        newer = "-newermt @%d" % date if date else ""
        script = ('args=(); while IFS= read -r -d "" f; do args+=(-T "$f" "%s/${f#%s/}"); '
                  'done < <(find %s -type f %s -print0); '
                  'exec curl -sS --ftp-create-dirs --user %s:%s "${args[@]}"'
                  % (url_base, site, site, newer, server.user, server.password))
        return ["bash", "-c", script]

    def run(self, tool, server, site, date):
        """Runs one tool once; returns (seconds, peak KiB, commands, STORs, sessions)."""
        cmd = self.command(tool, server, site, date)
        timefile = os.path.join(self.work, "time.out")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_DATA_HOME=self.data,
                   XDG_RUNTIME_DIR=self.runtime, HOME=self.work)
        offset = server.log_size()
        t0 = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-v", "-o", timefile] + cmd, cwd=self.cwd,
                              env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=TIMEOUT)
        seconds = time.perf_counter() - t0
        if proc.returncode != 0:
            raise RuntimeError("%s ended with code %d on %s:\n%s"
                               % (tool, proc.returncode, server.name,
                                  proc.stdout.decode("utf-8", "replace")[-2000:]))
        peak = 0
        with open(timefile) as f:
            for ln in f:
                if "Maximum resident set size" in ln:
                    peak = int(ln.split(":")[1])
        # The server may still be writing the last lines of the session.
        time.sleep(0.2)
        return (seconds, peak) + server.commands_since(offset)


# --- scenarios


class Scenario:
    def __init__(self, key, title, site, date, runs, prepare, check, files):
        self.key, self.title, self.site, self.date = key, title, site, date
        self.runs, self.prepare, self.check, self.files = runs, prepare, check, files


def fresh_www(server):
    www = os.path.join(server.upload_root(), "www")
    if os.path.exists(www):
        shutil.rmtree(www)
    os.mkdir(www)
    if server.uid is not None:
        os.chown(www, server.uid, -1)
    return www


def chown_tree(root, uid):
    for d, dirs, files in os.walk(root):
        for n in dirs + files:
            os.lchown(os.path.join(d, n), uid, -1)
    os.lchown(root, uid, -1)


def scenario_a(work, args):
    site = os.path.join(work, "site-a")
    n = make_tree_a(site, args.a_files, args.a_folders)

    def prepare(server):
        fresh_www(server)

    def check(server):
        got = count_files(os.path.join(server.upload_root(), "www"))
        if got != n:
            raise RuntimeError("%d files on the server, not %d" % (got, n))

    return Scenario("a", "(a) first upload, %d files in %d folders" % (n, args.a_folders),
                    site, 0, args.runs, prepare, check, n)


def scenario_b(work, args):
    site = os.path.join(work, "site-b")
    changed = make_tree_b(site, args.b_tops, args.b_subs, args.b_per)
    total = args.b_tops * args.b_subs * args.b_per
    rels = [os.path.relpath(p, site) for p in changed]
    seeded = set()

    def prepare(server):
        www = os.path.join(server.upload_root(), "www")
        if server.name not in seeded:
            if os.path.exists(www):
                shutil.rmtree(www)
            shutil.copytree(site, www, copy_function=shutil.copy2)
            seeded.add(server.name)
        # The server holds the previous version of the changed files.
        for rel in rels:
            os.utime(os.path.join(www, rel), (OLD, OLD))
        if server.uid is not None:
            chown_tree(www, server.uid)

    def check(server):
        www = os.path.join(server.upload_root(), "www")
        newer = []
        for d, _, files in os.walk(www):
            for f in files:
                if os.stat(os.path.join(d, f)).st_mtime > REF:
                    newer.append(os.path.relpath(os.path.join(d, f), www))
        if sorted(newer) != sorted(rels):
            raise RuntimeError("%d files updated on the server, expected the %d changed"
                               % (len(newer), len(rels)))

    return Scenario("b", "(b) %d changed files in a tree of %d" % (len(rels), total),
                    site, REF, args.runs, prepare, check, len(rels))


def scenario_c(work, args):
    site = os.path.join(work, "site-c")
    path = make_big(site, args.big_mib)
    size = os.path.getsize(path)

    def prepare(server):
        fresh_www(server)
        # The server's writes of the previous run must not slow this one.
        os.sync()
        with open(path, "rb") as f:  # same page-cache state for every tool
            while f.read(1 << 24):
                pass

    def check(server):
        got = os.path.join(server.upload_root(), "www", "big.bin")
        if not os.path.exists(got) or os.path.getsize(got) != size:
            raise RuntimeError("big.bin is missing or has the wrong size on the server")

    return Scenario("c", "(c) one file of %d MiB" % args.big_mib, site, 0, args.big_runs,
                    prepare, check, 1)


def measure(runner, scenario, server, tools):
    results = {t: [] for t in tools}
    extra = {}
    for i in range(scenario.runs):
        order = tools[i % len(tools):] + tools[:i % len(tools)]
        for tool in order:
            scenario.prepare(server)
            seconds, peak, cmds, stors, sessions = runner.run(tool, server, scenario.site,
                                                              scenario.date)
            scenario.check(server)
            results[tool].append(seconds)
            extra[tool] = (peak, cmds, stors, sessions)
            log("  %-12s run %d: %7.3f s  %d commands, %d STOR, %d session(s), peak %d KiB"
                % (tool, i + 1, seconds, cmds, stors, sessions, peak))
    return {t: (statistics.median(results[t]), extra[t]) for t in tools}


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--nuvola", required=True, help="the built nuvola executable")
    p.add_argument("--work", help="work folder (default: a new temporary one, removed)")
    p.add_argument("--runs", type=int, default=3, help="runs per tool for a and b")
    p.add_argument("--big-runs", type=int, default=3, help="runs per tool for c")
    p.add_argument("--big-mib", type=int, default=1024, help="size of the file of c")
    p.add_argument("--rtt-ms", type=int, default=20, help="emulated round trip")
    p.add_argument("--scenarios", default="abc")
    p.add_argument("--servers", default="test,rtt,vsftpd")
    p.add_argument("--a-files", type=int, default=500)
    p.add_argument("--a-folders", type=int, default=25)
    p.add_argument("--b-tops", type=int, default=20)
    p.add_argument("--b-subs", type=int, default=10)
    p.add_argument("--b-per", type=int, default=100)
    args = p.parse_args(argv)
    for name in ("runs", "big_runs", "big_mib", "rtt_ms", "a_files", "a_folders",
                 "b_tops", "b_subs", "b_per"):
        if getattr(args, name) < 1:
            p.error("--%s must be at least 1" % name.replace("_", "-"))
    if not os.access(args.nuvola, os.X_OK):
        p.error("%s is not an executable" % args.nuvola)
    wanted = set(args.servers.split(","))
    if not wanted <= {"test", "rtt", "vsftpd"} or not set(args.scenarios) <= set("abc"):
        p.error("unknown server or scenario")
    if "vsftpd" in wanted and os.geteuid() != 0:
        p.error("vsftpd needs root (a local test user is created)")

    work = args.work or tempfile.mkdtemp(prefix="nuvola-peers.")
    os.makedirs(work, exist_ok=True)
    os.chmod(work, 0o755)
    servers = []
    rows = []
    try:
        runner = Runner(os.path.abspath(args.nuvola), work)
        makers = {"a": scenario_a, "b": scenario_b, "c": scenario_c}
        scenarios = []
        for key in args.scenarios:
            log("== making the tree of (%s)" % key)
            scenarios.append(makers[key](work, args))
        if "test" in wanted:
            servers.append(TestServer(work, "test"))
        if "rtt" in wanted:
            servers.append(TestServer(work, "rtt%d" % args.rtt_ms, args.rtt_ms))
        if "vsftpd" in wanted:
            servers.append(Vsftpd(work))
        for scenario in scenarios:
            for server in servers:
                if server.rtt_ms and scenario.key == "c":
                    continue
                log("== %s, %s" % (scenario.title, server.name))
                res = measure(runner, scenario, server, list(TOOLS))
                rows.append((scenario, server, res))
    except (RuntimeError, OSError, subprocess.SubprocessError) as err:
        log("peers-bench: %s" % err)
        return 2
    finally:
        for server in servers:
            try:
                server.stop()
            except Exception as err:  # keep stopping the others
                log("could not stop %s: %s" % (server.name, err))
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)

    return 0 if report(rows) else 1


def report(rows):
    """Prints the table; true when every target is met."""
    log("")
    log("%-44s %-8s %-12s %9s %8s %7s %6s %9s" % ("scenario", "server", "tool", "median s",
                                                  "/nuvola", "cmd/f", "sess", "peak MiB"))
    misses = []
    for scenario, server, res in rows:
        nv = res["nuvola"][0]
        for tool in TOOLS:
            median, (peak, cmds, stors, sessions) = res[tool]
            per = "%.2f" % (cmds / stors) if stors else "-"
            log("%-44s %-8s %-12s %9.3f %8.2f %7s %6d %9.1f"
                % (scenario.title, server.name, tool, median, median / nv, per, sessions,
                   peak / 1024))
        single = [t for t in TOOLS[1:] if res[t][1][3] == 1]
        best = min(single, key=lambda t: res[t][0]) if single else None
        if best and nv > res[best][0]:
            misses.append("%s on %s: nuvola %.3f s, %s %.3f s"
                          % (scenario.title, server.name, nv, best, res[best][0]))
        if server.rtt_ms and scenario.key in "ab":
            ideal = scenario.files * ROUND_TRIPS_PER_FILE * server.rtt_ms / 1000.0
            ratio = nv / ideal
            log("%-44s %-8s %-12s %9.3f %8s   nuvola/ideal %.2f (target <= 1.20)"
                % ("", server.name, "ideal", ideal, "", ratio))
            if ratio > 1.2:
                misses.append("%s on %s: nuvola %.2f x the ideal %.3f s"
                              % (scenario.title, server.name, ratio, ideal))
    log("")
    log("ideal: %d round trips per file (passive port, data connection, final reply)"
        % ROUND_TRIPS_PER_FILE)
    log("ratio /nuvola above 1: the tool is slower than nuvola; cmd/f: commands per STOR")
    if misses:
        log("targets missed:")
        for m in misses:
            log("  " + m)
    else:
        log("every target met")
    return not misses


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
