#!/usr/bin/env python3
"""Cap benchmark: the full 4,096 simulated tablets against one ludarium,
on Linux and against the Windows builds under Wine.

For each target it starts the server, logs N tablets in (one ludtablet
process), and reports: how many were in and when, the server's resident
memory per tablet (above the server with no tablet; under Wine also the
growth of wineserver, which keeps the sockets), its address space (VmSize
of the process; under Wine also the address space the program holds as
Windows sees it, reserved or committed, with no tablet and with N: for the
i686 build that must stay well below its 2-4 GiB), its thread count, and one
/sendCmd delivered to all (fan-out p50/p99/max from the moment /sendCmd
answered, and how many got it). It prints figures; it never fails on speed.

Every process gets its own descriptor limit (RLIMIT_NOFILE): the tablets
one per connection, the server (and under Wine the wineserver it starts,
which holds every socket of the namespace) two per session and room for
the rest. bench/run raises the hard limit for the namespace.

Under Wine every wait, wake and socket call goes through wineserver, a
single thread: the login of thousands of tablets keeps it busy.

Run it through bench/run (own namespaces, loopback only):
    bench/run cap_bench.py [TARGET ...] [--tablets N] [--perf DIR]
With --perf, `perf record -g` of the server over the login leaves
TARGET-login.data in DIR, and over the fan-out TARGET-fanout.data and
TARGET-fanout.stat (`perf stat`): the system calls (poll, send, receive,
the wake-up's read and write, futex, epoll_wait) and context switches the
fan-out cost. The profiles take their call graphs from frame pointers, which
the build leaves out; CAP_PERF_GRAPH="--call-graph dwarf,8192 -F 2000" gives
whole call chains instead. CAP_THREADS=1 prints the fan-out's processor
time and runs per delivery for each thread name of the server.
TARGET: linux (default), wine-x64 (build/windows-x64 under 64-bit Wine),
wine-i686 (build/windows under 32-bit Wine), linux:FOLDER (the ludarium
in FOLDER, such as an earlier build measured beside this one).
"""
import json
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
HTTP = "http://127.0.0.1:40080"
PAGE = os.sysconf("SC_PAGE_SIZE")
TARGETS = {
    "linux": (os.path.join(REPO, "build", "linux", "bin"), None),
    "wine-x64": (os.path.join(REPO, "build", "windows-x64", "bin"), "win64"),
    "wine-i686": (os.path.join(REPO, "build", "windows", "bin"), "win32"),
}
# Long enough for every delivery (a pause of up to 199 ms) and its receipt,
# also under Wine.
FANOUT_WINDOW_S = 3.0
TABLET = os.path.join(REPO, "build", "linux", "bin", "ludtablet")


def get(path, timeout=30, **params):
    query = urllib.parse.urlencode(params)
    with urllib.request.urlopen(HTTP + path + ("?" + query if query else ""), timeout=timeout) as r:
        return r.read()


def descriptor_limit(n):
    """A preexec_fn that sets the child's descriptor limit to n (the hard
    limit too, when it is below)."""
    def apply():
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if hard != resource.RLIM_INFINITY and hard < n:
            try:
                resource.setrlimit(resource.RLIMIT_NOFILE, (n, n))
                return
            except (ValueError, OSError):
                n2 = hard
        else:
            n2 = n
        resource.setrlimit(resource.RLIMIT_NOFILE, (n2, hard))
    return apply


def status(pid):
    """VmSize, VmPeak, VmRSS (bytes) and Threads of /proc/PID/status."""
    out = {}
    try:
        for line in open("/proc/%d/status" % pid):
            key, _, value = line.partition(":")
            if key in ("VmSize", "VmPeak", "VmRSS"):
                out[key] = int(value.split()[0]) * 1024
            elif key == "Threads":
                out[key] = int(value)
    except OSError:
        pass
    return out


def schedstat(pid):
    """(processor time in nanoseconds, times put on a processor, of which
    after a wait of the thread's own) summed over every live thread of pid
    (no thread of the server ends during a login or a fan-out). The rest of
    the runs follow a preemption, which a loaded machine adds."""
    ns = runs = waits = 0
    try:
        tids = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return 0, 0, 0
    for tid in tids:
        try:
            fields = open("/proc/%d/task/%s/schedstat" % (pid, tid)).read().split()
            ns += int(fields[0])
            runs += int(fields[2])
            for line in open("/proc/%d/task/%s/status" % (pid, tid)):
                if line.startswith("voluntary_ctxt_switches"):
                    waits += int(line.split()[1])
        except (OSError, IndexError, ValueError):
            pass
    return ns, runs, waits


def thread_stats(pid):
    """{tid: (name, processor ns, runs)} for every live thread of pid."""
    stats = {}
    try:
        tids = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return stats
    for tid in tids:
        try:
            fields = open("/proc/%d/task/%s/schedstat" % (pid, tid)).read().split()
            name = open("/proc/%d/task/%s/comm" % (pid, tid)).read().strip()
            stats[tid] = (name, int(fields[0]), int(fields[2]))
        except (OSError, IndexError, ValueError):
            pass
    return stats


def print_thread_breakdown(target, before, after, deliveries):
    """The fan-out's processor time and runs per delivery by thread name
    (CAP_THREADS=1): which threads a delivery wakes."""
    by_name = {}
    for tid, (name, ns, runs) in after.items():
        was = before.get(tid, (name, 0, 0))
        total = by_name.setdefault(name, [0, 0, 0])
        total[0] += 1
        total[1] += ns - was[1]
        total[2] += runs - was[2]
    for name, (threads, ns, runs) in sorted(by_name.items(), key=lambda kv: -kv[1][1]):
        if ns == 0 and runs == 0:
            continue
        print("  %s %-16s threads %4d  cpu_us/delivery %7.1f  runs/delivery %5.2f" % (
            target, name, threads, ns / 1000 / deliveries, runs / deliveries))


def cpu_ns(pid):
    return schedstat(pid)[0]


def find_process(pattern):
    """The pid of the newest process of this network namespace whose command
    line matches pattern (other people's Wine runs in their own)."""
    found = None
    own = os.readlink("/proc/self/ns/net")
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            cmd = open("/proc/%s/cmdline" % name, "rb").read().replace(b"\0", b" ").decode(errors="replace")
            if os.readlink("/proc/%s/ns/net" % name) != own:
                continue
        except OSError:
            continue
        if re.search(pattern, cmd) and (found is None or int(name) > found):
            found = int(name)
    return found


def target_of(name):
    """(folder of the program, Wine architecture or None) of a target name;
    linux:FOLDER is the Linux ludarium of another build (an anchor)."""
    if name.startswith("linux:"):
        return name[len("linux:"):], None
    return TARGETS[name]


def start(target, sessions):
    """The server of target in a fresh folder, answering /ping:
    (process, pid of the program itself, folder)."""
    bin_dir, wine = target_of(target)
    work = tempfile.mkdtemp(prefix="ludarium-cap-")
    exe = "ludarium.exe" if wine else "ludarium"
    shutil.copy2(os.path.join(bin_dir, exe), work)
    env = dict(os.environ)
    if wine:
        env["LUD_WINE_ARCH"] = wine
        argv = [os.path.join(REPO, "scripts", "wine-run"), os.path.join(work, exe)]
    else:
        argv = [os.path.join(work, exe)]
    # On Linux two descriptors a session (its socket and its wake-up) and
    # room for the rest. Under Wine every thread also holds the pipes it
    # talks to wineserver through, and wineserver (started here, so it
    # inherits the limit) holds the other ends and every socket: at 3 a
    # session the cap stalled near 3,300 sessions.
    server = subprocess.Popen(argv, cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              preexec_fn=descriptor_limit((8 if wine else 3) * sessions + 1024))
    end = time.monotonic() + 120
    while time.monotonic() < end:
        try:
            get("/ping", timeout=5)
            break
        except OSError:
            time.sleep(0.2)
    pid = server.pid
    if wine:
        pid = find_process(re.escape(os.path.join(work, exe))) or server.pid
    return server, pid, work


def stop(target, server, work):
    server.kill()
    server.wait()
    if target_of(target)[1]:
        env = dict(os.environ, LUD_WINE_ARCH=target_of(target)[1])
        subprocess.run([os.path.join(REPO, "scripts", "wine-run"), "--unix", "wineserver", "-k"], env=env,
                       capture_output=True, timeout=60)
    shutil.rmtree(work, ignore_errors=True)


def windows_reserved(target):
    """The address space ludarium.exe holds as Windows sees it (every region
    reserved or committed, from winedbg's "info maps"), in bytes; 0 when it
    cannot be read. Linux's VmSize of a Wine process counts what Wine
    reserved up front, which threads and heaps are later carved from."""
    env = dict(os.environ, LUD_WINE_ARCH=target_of(target)[1])

    def winedbg(command):
        return subprocess.run([os.path.join(REPO, "scripts", "wine-run"), "winedbg", "--command", command],
                              env=env, capture_output=True, text=True, timeout=300).stdout

    try:
        pid = next((l.split()[0].lstrip("=") for l in winedbg("info proc").splitlines()
                    if l.rstrip().endswith("'ludarium.exe'")), None)
        if not pid:
            return 0
        held = 0
        for line in winedbg("info maps 0x" + pid).splitlines():
            m = re.match(r"\s*([0-9a-fA-F]+)\s+([0-9a-fA-F]+)\s+(commit|reserve)\b", line)
            if m:
                held += int(m.group(2), 16) - int(m.group(1), 16) + 1
        return held
    except (OSError, subprocess.SubprocessError):
        return 0


def wineserver_rss():
    pid = find_process(r"(^|/)wineserver(32|64)?( |$)")
    return status(pid).get("VmRSS", 0) if pid else 0


def perf_start(pid, path):
    """perf of pid into path; None without a path. Over the fan-out both a
    count of its system calls and context switches (TARGET-fanout.stat) and
    a profile with call graphs (TARGET-fanout.data)."""
    if not path:
        return None
    procs = []
    if path.endswith("fanout.data"):
        argv = ["perf", "stat", "-e", ",".join("syscalls:sys_enter_" + c for c in (
            "futex", "poll", "ppoll", "sendto", "recvfrom", "read", "write", "epoll_wait")) +
                ",context-switches", "-p", str(pid), "-o", path[:-len(".data")] + ".stat"]
        procs.append(subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    procs.append(subprocess.Popen(["perf", "record"] + os.environ.get("CAP_PERF_GRAPH", "-g").split() + ["-q", "-p", str(pid), "-o", path],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    time.sleep(1)
    return procs


def perf_stop(procs):
    for proc in procs or []:
        proc.send_signal(2)
        proc.wait(60)


def run(target, count, class_id, perf_dir=None):
    # Each run has a class and a command id of its own: the state store
    # outlives a server, and the next one would hand the last command to
    # its tablets as they log in.
    command_id = str(910000 + class_id)
    server, pid, work = start(target, count)
    try:
        get("/commitCourseInfo", info=json.dumps({"class": {"class_id": class_id, "name": "cap"}}))
        time.sleep(2)
        base = status(pid)
        base_wine = wineserver_rss() if target_of(target)[1] else 0
        base_reserved = windows_reserved(target) if target_of(target)[1] else 0
        perf = perf_start(pid, perf_dir and os.path.join(perf_dir, "%s-login.data" % re.sub(r"\W", "_", target)))
        cpu_before_login = cpu_ns(pid)
        tablets = subprocess.Popen([TABLET, "--count", str(count), "--class", str(class_id),
                                    "--first-id", str(class_id * 100000), "--seconds", "60"],
                                   stdout=subprocess.PIPE, text=True, preexec_fn=descriptor_limit(count + 256))
        lines = []
        reader = threading.Thread(target=lambda: lines.extend(tablets.stdout), daemon=True)
        reader.start()
        login_ms = None
        end = time.monotonic() + 90
        while time.monotonic() < end and tablets.poll() is None:
            m = next((re.match(r"logged in (\d+) of (\d+) after (\d+) ms", l) for l in lines
                      if l.startswith("logged in")), None)
            if m:
                login_ms = int(m.group(3))
                break
            time.sleep(0.1)
        login_cpu = cpu_ns(pid) - cpu_before_login
        perf_stop(perf)
        time.sleep(3)
        loaded = status(pid)
        if os.environ.get("LUD_CAP_SMAPS"):
            shutil.copy("/proc/%d/smaps" % pid, os.environ["LUD_CAP_SMAPS"] + "." + target)
            with open(os.environ["LUD_CAP_SMAPS"] + ".pages." + target, "w") as out:
                maps = [l.split()[0] for l in open("/proc/%d/maps" % pid)]
                pm = open("/proc/%d/pagemap" % pid, "rb")
                for r in maps[:400]:
                    a, b = (int(x, 16) for x in r.split("-"))
                    if b - a != 2040 * 1024:
                        continue
                    pm.seek(a // PAGE * 8)
                    data = pm.read((b - a) // PAGE * 8)
                    bits = "".join("1" if int.from_bytes(data[i:i + 8], "little") >> 63 else "0"
                                   for i in range(0, len(data), 8))
                    out.write("%s %s\n" % (r, bits))
        loaded_wine = wineserver_rss() if target_of(target)[1] else 0
        loaded_reserved = windows_reserved(target) if target_of(target)[1] else 0
        # The processor time the fan-out costs: a window from just before
        # /sendCmd, long enough for every delivery and receipt, less a window
        # of the same length just before it (heartbeats go on in both).
        # /userResponse is polled only after the window.
        idle_before = schedstat(pid)
        time.sleep(FANOUT_WINDOW_S)
        idle_after = schedstat(pid)
        perf = perf_start(pid, perf_dir and os.path.join(perf_dir, "%s-fanout.data" % re.sub(r"\W", "_", target)))
        threads_before = thread_stats(pid)
        before, window_start = schedstat(pid), time.monotonic()
        try:
            get("/sendCmd", target=json.dumps({"type": "class", "class_id": class_id}),
                command=json.dumps({"id": command_id, "params": {"action": "lock_screen"}}), timeout=60)
        except OSError as e:
            print("%s: /sendCmd failed: %s" % (target, e))
        answered = time.time() * 1000
        time.sleep(max(0, FANOUT_WINDOW_S - (time.monotonic() - window_start)))
        after = schedstat(pid)
        threads_after = thread_stats(pid)
        fanout_cpu = after[0] - before[0] - (idle_after[0] - idle_before[0])
        fanout_runs = after[1] - before[1] - (idle_after[1] - idle_before[1])
        fanout_waits = after[2] - before[2] - (idle_after[2] - idle_before[2])
        perf_stop(perf)
        listed = 0
        end = time.monotonic() + 30
        while time.monotonic() < end:
            try:
                # A server that has stopped answering must not hold the run
                # beyond these 30 s.
                reply = json.loads(get("/userResponse", timeout=max(1, end - time.monotonic()),
                                       info=json.dumps({"class_id": class_id, "command_id": command_id})))
                listed = reply["recordset"]["response"]
            except OSError as e:
                print("%s: /userResponse failed: %s" % (target, e))
            if listed >= count:
                break
            time.sleep(0.1)
        peak = status(pid)
        if os.environ.get("CAP_THREADS"):
            print_thread_breakdown(target, threads_before, threads_after, max(listed, 1))
        # The tablets report the arrivals when their 60 s are over.
        try:
            tablets.wait(timeout=120)
        except subprocess.TimeoutExpired:
            tablets.kill()
            tablets.wait()
        reader.join(10)
        out = "".join(lines)
        m = re.search(r"instruction %s: (\d+)/\d+ first=(\d+) p50=(\d+) p99=(\d+) max=(\d+)" % command_id, out)
        fan = "%d/%d/%d (%s got it)" % (int(m.group(3)) - answered, int(m.group(4)) - answered,
                                        int(m.group(5)) - answered, m.group(1)) if m else "-"
        rss_per = (loaded.get("VmRSS", 0) - base.get("VmRSS", 0)) / 1024 / count
        wine_per = (loaded_wine - base_wine) / 1024 / count
        # Per session: the server's processor time over the login, and that
        # of the fan-out (above) per receipt listed.
        reserved = "%.0f/%.0f" % (base_reserved / 2**20, loaded_reserved / 2**20) if target_of(target)[1] else "-"
        print("%-9s  %7d  %8s  %7d  %9.1f  %14.1f  %13s  %10.0f  %10.0f  %10.0f  %19s  %7d  %21s  %12.0f  %15.0f  %9.1f/%.1f" % (
            target, count, login_ms if login_ms is not None else "not all", loaded.get("Threads", 0),
            loaded.get("VmRSS", 0) / 2**20, rss_per, "%.1f" % wine_per if target_of(target)[1] else "-",
            base.get("VmSize", 0) / 2**20, loaded.get("VmSize", 0) / 2**20, peak.get("VmPeak", 0) / 2**20,
            reserved, listed, fan, login_cpu / 1000 / count,
            fanout_cpu / 1000 / max(listed, 1), fanout_runs / max(listed, 1),
            fanout_waits / max(listed, 1)))
        sys.stdout.flush()
    finally:
        stop(target, server, work)


def main():
    args = sys.argv[1:]
    count = 4096
    if "--tablets" in args:
        i = args.index("--tablets")
        count = int(args[i + 1])
        del args[i:i + 2]
    perf_dir = None
    if "--perf" in args:
        i = args.index("--perf")
        perf_dir = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    targets = args or ["linux"]
    print("target     tablets  login_ms  threads  rss_MiB  rss_KiB/tablet  wineserver_KiB/tablet  "
          "vmsize_MiB(0)  vmsize_MiB  vmpeak_MiB  win_held_MiB(0/N)  listed  fanout_p50/p99/max_ms  login_cpu_us  cpu_us/delivery  runs/delivery(after a wait)")
    for n, target in enumerate(targets):
        run(target, count, 30 + n, perf_dir=perf_dir)


if __name__ == "__main__":
    main()
