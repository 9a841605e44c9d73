"""Helpers for the end-to-end tests: run the real binaries from a temporary
directory (their log/ and config/ land there) and talk to them over loopback.

The test command runs every test file inside fresh network, IPC and mount
namespaces (scripts/in-netns), so fixed ports and the state store's names
belong to the test alone.

Environment (set by CTest): LUD_BIN_DIR (built programs), LUD_PLATFORM
("linux" or "windows"), LUD_WINE_RUN (scripts/wine-run for Windows).
"""
import datetime
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

BIN_DIR = os.environ.get("LUD_BIN_DIR", "")
PLATFORM = os.environ.get("LUD_PLATFORM", "linux")
WINE_RUN = os.environ.get("LUD_WINE_RUN", "")
EXE = ".exe" if PLATFORM == "windows" else ""

# Prefix of every log line: "d, file.cpp:12 Class::method 0000ABCD ".
LOG_LINE = re.compile(
    r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) ([dwex]), ([^ :]+):(\d+) (\S+) ([0-9A-F]{8}) (.*)$")


def wait_for(predicate, timeout=10.0, interval=0.05):
    """Polls predicate until it returns a true value or the time runs out."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            return value
        time.sleep(interval)


def command(program, *args):
    path = os.path.join(BIN_DIR, program + EXE)
    if PLATFORM == "windows":
        return [WINE_RUN, path] + list(args)
    return [path] + list(args)


class Program:
    """One of the programs copied into a directory of its own and started."""

    def __init__(self, name, args=(), workdir=None, keep_dir=None, env=None, wrapper=(),
                 dir_name=None):
        """wrapper: a command that runs the program (e.g. with limits);
        dir_name: the program's directory gets that name (inside a temporary
        directory), blanks and all."""
        if keep_dir:
            self.dir = keep_dir
        elif dir_name:
            self.dir = os.path.join(tempfile.mkdtemp(prefix=name + "-"), dir_name)
            os.mkdir(self.dir)
        else:
            self.dir = tempfile.mkdtemp(prefix=name + "-")
        self.name = name
        exe = name + EXE
        if not os.path.exists(os.path.join(self.dir, exe)):
            shutil.copy2(os.path.join(BIN_DIR, exe), os.path.join(self.dir, exe))
        path = os.path.join(self.dir, exe)
        argv = list(wrapper) + ([WINE_RUN, path] if PLATFORM == "windows" else [path]) + list(args)
        self.output = open(os.path.join(self.dir, "console.txt"), "wb")
        self.proc = subprocess.Popen(argv, cwd=workdir or self.dir, stdout=self.output,
                                     stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                     env=env)

    @property
    def log_dir(self):
        return os.path.join(self.dir, "log")

    def log_file(self, kind):
        """Today's log file of that kind: "verbose", "error" or "debug"."""
        name = datetime.date.today().strftime("%Y-%m-%d ") + kind + ".log"
        return os.path.join(self.log_dir, name)

    def log_text(self, kind="verbose"):
        try:
            with open(self.log_file(kind), "rb") as f:
                # Windows writes its text files with CR LF.
                return f.read().decode("utf-8", "replace").replace("\r\n", "\n")
        except FileNotFoundError:
            return ""

    def wait_log(self, pattern, timeout=10.0, kind="verbose"):
        """Waits for a log line matching pattern (a regex); returns the match."""
        rx = re.compile(pattern, re.M)
        return wait_for(lambda: rx.search(self.log_text(kind)), timeout)

    def wait_started(self, timeout=30.0):
        """Waits for the end of ludarium's start-up: the policy server, which
        starts last, listens. A course committed earlier may still see the
        port probes write their ports into it."""
        return self.wait_log(r"ASAuthorizeServer::ListenSocket .*Listen ok$", timeout)

    def console(self):
        self.output.flush()
        with open(os.path.join(self.dir, "console.txt"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=30)
        self.output.close()

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
        parent = os.path.dirname(self.dir)
        if os.path.basename(parent).startswith(self.name + "-"):
            shutil.rmtree(parent, ignore_errors=True)


def copy_programs(directory, names):
    """Copies the named programs side by side into directory."""
    for name in names:
        shutil.copy2(os.path.join(BIN_DIR, name + EXE), os.path.join(directory, name + EXE))


def pids_of(directory, name):
    """Live processes of the program `name` copied into `directory`. Only
    the test's own copy matches, never a process of anyone else. Under Wine
    the match is on the Windows path in the command line."""
    path = os.path.join(directory, name + EXE)
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                if f.read().rsplit(")", 1)[1].split()[0] in ("Z", "X"):
                    continue
            if PLATFORM == "windows":
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    first = f.read().split(b"\0")[0].decode("utf-8", "replace")
                if first.replace("\\", "/").lower().endswith(
                        (os.path.basename(directory) + "/" + name + EXE).lower()):
                    pids.append(int(entry))
            elif os.readlink("/proc/%s/exe" % entry) == path:
                pids.append(int(entry))
        except (OSError, IndexError):
            continue
    return pids


def store_dump():
    """The state store's used records as a list of (index, key, value, time)."""
    out = subprocess.run(command("ludstore"), capture_output=True, timeout=60)
    rows = []
    for line in out.stdout.decode("utf-8", "replace").splitlines():
        parts = line.rstrip("\r").split("\t")
        if len(parts) == 4:
            rows.append((int(parts[0]), parts[1], parts[2], parts[3]))
    return rows


def store_get(key):
    out = subprocess.run(command("ludstore", "get", key), capture_output=True, timeout=60)
    if out.returncode != 0:
        return None
    return out.stdout.decode("utf-8", "replace").rstrip("\r\n")


class Listener:
    """A TCP listener on 127.0.0.1:port that accepts and holds connections."""

    def __init__(self, port, udp=False):
        kind = socket.SOCK_DGRAM if udp else socket.SOCK_STREAM
        self.sock = socket.socket(socket.AF_INET, kind)
        # The server of an earlier test may leave the port in TIME_WAIT.
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", port))
        if not udp:
            self.sock.listen(16)

    def close(self):
        self.sock.close()


class ServerTest(unittest.TestCase):
    """Base class: starts programs and always ends them. Each test starts
    with an empty state store."""

    def setUp(self):
        # On Linux the store outlives its processes; this /dev/shm is the
        # test's private one. Under Wine it ends with its last process.
        if PLATFORM == "linux":
            for name in os.listdir("/dev/shm"):
                if name.startswith("com.norvale.tessera.ipc."):
                    os.remove(os.path.join("/dev/shm", name))
        # A wineserver that died took the programs with it: say so beside
        # whatever the test reports.
        self.addCleanup(lambda: sys.stderr.write(wine_server_log()))

    def start(self, name="ludarium", args=(), **kw):
        program = Program(name, args, **kw)
        self.addCleanup(program.cleanup)
        return program


class Guard(Program):
    """ludguard with ludarium (and ludstore) beside it in one temporary
    directory. Autostart entries go into the directory too (XDG folders
    pointed there), never into the machine's own folders."""

    def __init__(self, args=(), programs=("ludarium",), keep_dir=None, env=None, workdir=None):
        directory = keep_dir or tempfile.mkdtemp(prefix="ludguard-")
        copy_programs(directory, [p for p in programs
                                  if not os.path.exists(os.path.join(directory, p + EXE))])
        full_env = dict(os.environ)
        full_env["XDG_CONFIG_DIRS"] = os.path.join(directory, "xdg")
        full_env["XDG_CONFIG_HOME"] = os.path.join(directory, "home-config")
        full_env.update(env or {})
        self.env = full_env
        super().__init__("ludguard", args, keep_dir=directory, env=full_env, workdir=workdir)

    def guard_log(self):
        try:
            with open(os.path.join(self.log_dir, "Ludguard.log"), "rb") as f:
                return f.read().decode("utf-8", "replace").replace("\r\n", "\n")
        except FileNotFoundError:
            return ""

    def wait_guard_log(self, pattern, timeout=10.0):
        rx = re.compile(pattern, re.M)
        return wait_for(lambda: rx.search(self.guard_log()), timeout)

    def ludarium_pids(self):
        return pids_of(self.dir, "ludarium")

    def ctl(self, *args):
        """Runs `ludguard --ctl ...` of this directory: (exit code, output)."""
        out = subprocess.run(command_in(self.dir, "ludguard", "--ctl", *args),
                             capture_output=True, timeout=60, env=self.env)
        return out.returncode, (out.stdout + out.stderr).decode("utf-8", "replace").strip()

    def run_again(self, *args, timeout=60):
        """A further ludguard of this directory, run to its end."""
        return subprocess.run(command_in(self.dir, "ludguard", *args), capture_output=True,
                              timeout=timeout, env=self.env, stdin=subprocess.DEVNULL)


def command_in(directory, program, *args):
    path = os.path.join(directory, program + EXE)
    if PLATFORM == "windows":
        return [WINE_RUN, path] + list(args)
    return [path] + list(args)


def http_raw(port, request, source="127.0.0.1", timeout=30):
    """Sends raw request bytes and returns every byte of the answer."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.settimeout(timeout)
    s.bind((source, 0))
    s.connect(("127.0.0.1", port))
    s.sendall(request)
    chunks = []
    while True:
        data = s.recv(65536)
        if not data:
            break
        chunks.append(data)
    s.close()
    return b"".join(chunks)


def http_get(port, path, source="127.0.0.1", headers=None, timeout=30):
    """GET path; returns (status line, headers dict, body bytes)."""
    lines = ["GET %s HTTP/1.1" % path, "Host: 127.0.0.1:%d" % port]
    for k, v in (headers or {}).items():
        lines.append("%s: %s" % (k, v))
    raw = http_raw(port, ("\r\n".join(lines) + "\r\n\r\n").encode(), source, timeout)
    return split_response(raw)


def http_post(port, path, body, source="127.0.0.1", timeout=30,
              content_type="application/x-www-form-urlencoded"):
    if isinstance(body, str):
        body = body.encode()
    head = ("POST %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: %s\r\n"
            "Content-Length: %d\r\n\r\n" % (path, port, content_type, len(body)))
    return split_response(http_raw(port, head.encode() + body, source, timeout))


def split_response(raw):
    head, _, body = raw.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        k, _, v = line.partition(":")
        headers[k.strip().lower()] = v.strip()
    return lines[0], headers, body


def wait_http(port, timeout=30):
    """Waits until the HTTP API answers /ping on port."""
    def ready():
        try:
            return http_get(port, "/ping", timeout=5)[0].startswith("HTTP/1.1 200")
        except OSError:
            return False
    return wait_for(ready, timeout, 0.1)


def quote_info(text):
    import urllib.parse
    return urllib.parse.quote(text, safe="")


def frame_head(content_length, type_, instruct_id="0"):
    """A frame head exactly as the server writes it."""
    return ('{"protocol":"tessera","version":"1.0","content-type":"text/plain",'
            '"content-length":%d,"type":%d,"instruct_id":"%s"}' % (content_length, type_, instruct_id))


class Tablet:
    """A simulated student tablet speaking the framed protocol."""

    ACK, USER_INFO, USER_INFO_REQUEST, HEARTBEAT, INSTRUCTION = 1, 2, 3, 4, 5
    LOGIN_REFUSED, KICKOFF, HEARTBEAT_REPLY, INSTRUCTION_RECEIPT, QUIT = 6, 7, 8, 9, 11

    def __init__(self, port=45678, source="127.0.0.1"):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind((source, 0))
        self.sock.connect(("127.0.0.1", port))
        self.buf = b""
        self.raw = b""  # every byte received, for exact checks

    def close(self):
        self.sock.close()

    def send(self, data):
        self.sock.sendall(data if isinstance(data, bytes) else data.encode())

    def send_frame(self, type_, body=b"", instruct_id="0"):
        if isinstance(body, str):
            body = body.encode()
        self.send(frame_head(len(body), type_, instruct_id).encode() + b"\n" + body)

    def recv_frame(self, timeout=10):
        """The next frame as (head dict, head text, body bytes), or None when
        the connection closed or nothing came in time."""
        end = time.monotonic() + timeout
        while True:
            nl = self.buf.find(b"\n")
            if nl >= 0:
                head_text = self.buf[:nl].decode("utf-8", "replace")
                head = json.loads(head_text)
                length = head.get("content-length", 0)
                if len(self.buf) >= nl + 1 + length:
                    body = self.buf[nl + 1:nl + 1 + length]
                    self.buf = self.buf[nl + 1 + length:]
                    return head, head_text, body
            left = end - time.monotonic()
            if left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                return None
            except OSError:
                return None
            if not data:
                return None
            self.buf += data
            self.raw += data

    def expect(self, type_, timeout=10, skip=(4,)):
        """Waits for a frame of that type, skipping heartbeats (answering none)."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            frame = self.recv_frame(end - time.monotonic())
            if frame is None:
                return None
            if frame[0]["type"] == type_:
                return frame
            if frame[0]["type"] not in skip:
                raise AssertionError("unexpected frame %r" % (frame[1],))
        return None

    def closed(self, timeout=10):
        """True when the server closes the connection within the time."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.recv_frame(end - time.monotonic()) is None:
                try:
                    self.sock.settimeout(0.1)
                    return self.sock.recv(1) == b""
                except socket.timeout:
                    continue
                except OSError:
                    return True
        return False

    def login(self, user_id=1001, class_id=12, log_type=0, mac="00-11-22-33-44-55", extra=None):
        """Answers the server's ask with a USER_INFO; returns the reply frame."""
        ask = self.expect(self.USER_INFO_REQUEST)
        if ask is None:
            raise AssertionError("no USER_INFO_REQUEST")
        record = {"user_id": user_id, "user_name": "s%s" % user_id, "class_id": class_id,
                  "group_id": "[1]", "log_type": log_type, "user_ip": "10.0.0.%d" % ((user_id or 0) % 250),
                  "user_mac": mac}
        if user_id is None:
            del record["user_id"]
        record.update(extra or {})
        self.send_frame(self.USER_INFO, json.dumps(record))
        return self.recv_frame()


def wine_server_log():
    """What this namespace's wineserver wrote on its standard error (its own
    assertions end every Wine program at once), as text for a failure
    message; empty on Linux or when it wrote nothing."""
    if PLATFORM != "windows":
        return ""
    path = "/tmp/lud-wine-%d/net-%s/wineserver.log" % (os.getuid(), os.environ.get("LUD_NETNS_ID", ""))
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except OSError:
        return ""
    return "\nwineserver:\n" + text[-3000:] if text else ""


def store_set(key, value):
    out = subprocess.run(command("ludstore", "set", key, value), capture_output=True, timeout=60)
    return out.returncode == 0


class FakeUpstream:
    """An HTTP server on loopback that records every request's raw bytes and
    answers "HTTP/1.1 200 OK" (or what `reply` says; None: never answer)."""

    def __init__(self, port=18080, reply=b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"):
        import threading
        self.port = port
        self.reply = reply
        self.requests = []  # (time, raw bytes)
        self.lock = threading.Lock()
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", port))
        self.sock.listen(64)
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        import threading
        while self.running:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._handle, args=(conn,), daemon=True).start()

    def _handle(self, conn):
        conn.settimeout(10)
        data = b""
        try:
            while True:
                head_end = data.find(b"\r\n\r\n")
                if head_end >= 0:
                    m = re.search(rb"Content-Length: (\d+)", data[:head_end])
                    length = int(m.group(1)) if m else 0
                    if len(data) >= head_end + 4 + length:
                        break
                chunk = conn.recv(65536)
                if not chunk:
                    break
                data += chunk
            with self.lock:
                self.requests.append((time.monotonic(), data))
            if self.reply is None:
                time.sleep(30)
            else:
                conn.sendall(self.reply)
        except OSError:
            pass
        finally:
            conn.close()

    def matching(self, path_part):
        with self.lock:
            return [r for r in self.requests if path_part.encode() in r[1].split(b"\r\n", 1)[0]]

    def close(self):
        self.running = False
        try:
            self.sock.shutdown(socket.SHUT_RDWR)  # wakes the blocked accept
        except OSError:
            pass
        self.sock.close()
        self.thread.join(5)


def form_content(raw):
    """The decoded JSON text of a "content=" form body."""
    import urllib.parse
    body = raw.partition(b"\r\n\r\n")[2]
    assert body.startswith(b"content=") and body.endswith(b"\n"), body
    return urllib.parse.unquote_to_bytes(body[len(b"content="):-1].decode()).decode("latin-1")


# The course broadcast: the destination ports of its two channels, first
# choice first.
COURSE_CHANNELS = ((40011, 40112, 40213), (40214, 40215, 40216))


def add_veth(name, addresses=(), mac=None, up=True):
    """Creates a veth interface with its peer (name + "p") inside the test's
    own network namespace, with IPv4 addresses such as "10.77.0.1/24". Only
    for tests run by scripts/in-netns: the namespace has no route out, so a
    broadcast to such an interface is delivered to the namespace itself."""
    link = ["ip", "link", "add", name]
    if mac:
        link += ["address", mac]
    subprocess.run(link + ["type", "veth", "peer", "name", name + "p"], check=True)
    for cidr in addresses:
        subprocess.run(["ip", "addr", "add", cidr, "dev", name], check=True)
    if up:
        subprocess.run(["ip", "link", "set", name, "up"], check=True)
        subprocess.run(["ip", "link", "set", name + "p", "up"], check=True)


class CourseListener:
    """Listens like a tablet for the course broadcast on UDP ports.

    The sockets are bound to the network's broadcast address, not to every
    address: the server probes its destination ports on 127.0.0.1 before each
    send, and a tablet on another machine does not make them busy either."""

    def __init__(self, broadcast_ip, ports=(40011, 40214)):
        self.socks = []
        for port in ports:
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((broadcast_ip, port))
            self.socks.append(s)

    def receive(self, timeout=10.0):
        """The next datagram as (port, bytes, arrival time), or None."""
        import select
        end = time.monotonic() + timeout
        while True:
            left = end - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select(self.socks, [], [], left)
            if ready:
                s = ready[0]
                data = s.recv(65536)
                return s.getsockname()[1], data, time.monotonic()

    def drain(self, quiet=0.3):
        """Drops what has arrived until nothing comes for `quiet` seconds."""
        while self.receive(quiet) is not None:
            pass

    def close(self):
        for s in self.socks:
            s.close()


def discover_server(broadcast_ip, timeout=15.0, ports=None):
    """What a tablet learns from the course broadcast: listens on every
    candidate port of both channels for one course datagram and returns a
    dict with "socket_ip", "socket_port", "as_policy_port", the parsed
    "course" and the "port" it came on; None when nothing came in time."""
    import json
    listener = CourseListener(broadcast_ip, ports or [p for ch in COURSE_CHANNELS for p in ch])
    try:
        got = listener.receive(timeout)
    finally:
        listener.close()
    if got is None:
        return None
    port, data, _ = got
    course = json.loads(data.decode("latin-1"))
    return {"socket_ip": course.get("socket_ip", ""), "socket_port": course.get("socket_port", 0),
            "as_policy_port": course.get("as_policy_port", 0), "course": course, "port": port}


class Xvfb:
    """A virtual X server on a display number it picks itself, its root
    window in the classic one-pixel stipple."""

    def __init__(self, width=1366, height=768):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
             "-nolisten", "tcp", "-retro", "-noreset"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(timeout=30)


_module_display = None


def start_module_display():
    """A display for every Wine program of this test module (the setUpModule
    of a module that makes windows, such as ludguard's tray): Wine cannot
    create a window without one, and all Wine programs of a namespace share
    one desktop."""
    global _module_display
    _module_display = Xvfb()
    os.environ["DISPLAY"] = _module_display.display


def stop_module_display():
    """Ends the namespace's Wine programs (the desktop among them), then
    their display (tearDownModule)."""
    subprocess.run([WINE_RUN, "--unix", "wineserver", "-k"], capture_output=True, timeout=60)
    _module_display.stop()
