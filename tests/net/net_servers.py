#!/usr/bin/env python3
"""Runs a test command beside the loopback servers the network tests talk to, then stops them.

    net_servers.py COMMAND [ARG...]

Real servers where the tests meet real ones: dnsmasq answers MX queries over TCP on port 53 of a
free 127.0.0.x address, `python3 -m http.server` serves a scratch folder. Small scripted peers
(threads of this process) stand in only for faults a real server does not produce: compressed
or looping DNS answers, replies cut short, stalls, a full listen queue. Everything listens on
127.0.0.0/8; each server is waited for before the command starts and stopped by its pid after.
The command finds the addresses in QUILL_NET_* environment variables (host or host:port).
"""
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

HTTP_BIG_SIZE = 200000  # bytes of the HTTP test file "big.bin": byte i is (i * 7) % 251


def free_port(host="127.0.0.1"):
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def port_53_free(host):
    """Whether both TCP and UDP port 53 of the address can be had."""
    for kind in (socket.SOCK_STREAM, socket.SOCK_DGRAM):
        s = socket.socket(socket.AF_INET, kind)
        try:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind((host, 53))
        except OSError:
            return False
        finally:
            s.close()
    return True


class AddressPool:
    """Free 127.0.0.x addresses for servers that must listen on port 53."""

    def __init__(self):
        self.next = 2 + os.getpid() % 200

    def take(self):
        for _ in range(250):
            host = "127.0.0.%d" % self.next
            self.next = 2 + (self.next - 1) % 252
            if port_53_free(host):
                return host
        raise RuntimeError("no free 127.0.0.x address with port 53")


def wait_until_listening(host, port, process=None, seconds=15):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if process is not None and process.poll() is not None:
            return False
        try:
            with socket.create_connection((host, port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


class Peers:
    """Scripted peers: one listening socket and one thread each."""

    def __init__(self):
        self.sockets = []
        self.stopping = False

    def listen(self, host, port, serve, backlog=16):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((host, port))
        s.listen(backlog)
        self.sockets.append(s)
        if serve is not None:
            threading.Thread(target=self.accept_loop, args=(s, serve), daemon=True).start()
        return "%s:%d" % s.getsockname()

    def accept_loop(self, server, serve):
        while not self.stopping:
            try:
                connection, _ = server.accept()
            except OSError:
                return
            threading.Thread(target=self.run, args=(connection, serve), daemon=True).start()

    @staticmethod
    def run(connection, serve):
        try:
            serve(connection)
        except OSError:
            pass
        finally:
            connection.close()

    def stop(self):
        self.stopping = True
        for s in self.sockets:
            s.close()


# --- DNS peers --------------------------------------------------------------------------------

def read_query(connection):
    """One DNS-over-TCP query: (identifier, question bytes) or None."""
    head = recv_exact(connection, 2)
    if not head:
        return None
    body = recv_exact(connection, struct.unpack(">H", head)[0])
    if not body or len(body) < 12:
        return None
    return body[:2], body[12:]


def recv_exact(connection, n):
    data = b""
    while len(data) < n:
        chunk = connection.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def mx_answer(name, preference, exchange):
    return name + struct.pack(">HHIH", 15, 1, 60, 2 + len(exchange)) + \
        struct.pack(">H", preference) + exchange


def dns_compressed(connection):
    """Answers with names compressed the way most servers write them: the exchange names point
    back into the question and into each other."""
    query = read_query(connection)
    if not query:
        return
    ident, question = query
    header = ident + struct.pack(">HHHHH", 0x8180, 1, 2, 0, 0)
    first = mx_answer(b"\xc0\x0c", 5, b"\x03mx1\xc0\x0c")
    # The first exchange name starts 2 + 10 + 2 bytes into the first answer.
    first_exchange = 12 + len(question) + 14
    second = mx_answer(b"\xc0\x0c", 10, b"\x03mx2" + struct.pack(">H", 0xC000 | (first_exchange + 4)))
    reply = header + question + first + second
    connection.sendall(struct.pack(">H", len(reply)) + reply)


def dns_looping(connection):
    """An answer whose exchange name points at itself."""
    query = read_query(connection)
    if not query:
        return
    ident, question = query
    header = ident + struct.pack(">HHHHH", 0x8180, 1, 1, 0, 0)
    exchange_at = 12 + len(question) + 14
    reply = header + question + mx_answer(b"\xc0\x0c", 5, struct.pack(">H", 0xC000 | exchange_at))
    connection.sendall(struct.pack(">H", len(reply)) + reply)


def dns_cut(connection):
    """Announces a long reply, sends a little of it and closes."""
    if read_query(connection):
        connection.sendall(struct.pack(">H", 300) + b"\x46\x46\x81\x80" + b"\0" * 16)


def hold_open(connection):
    """Takes what comes and never answers, until the test closes."""
    while connection.recv(4096):
        pass


# --- TCP peers for the socket layer -----------------------------------------------------------

def echo(connection):
    while True:
        data = connection.recv(65536)
        if not data:
            return
        connection.sendall(data)


def lines(connection):
    connection.sendall(b"220 ready\r\nsecond line\nno ending")


def long_lines(connection):
    connection.sendall(b"B" * 4096 + b"\r\n" + b"C" * 4097 + b"\r\n")
    hold_open(connection)


# --- HTTP peer --------------------------------------------------------------------------------

def http_cut(connection):
    """Declares 100000 bytes, sends 3000 and closes: an interrupted download."""
    request = b""
    while b"\r\n\r\n" not in request:
        chunk = connection.recv(4096)
        if not chunk:
            return
        request += chunk
    connection.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
                       b"Content-Length: 100000\r\n\r\n" + b"x" * 3000)


def http_agent(connection):
    """Answers with the User-Agent the request carried."""
    request = b""
    while b"\r\n\r\n" not in request:
        chunk = connection.recv(4096)
        if not chunk:
            return
        request += chunk
    agent = b""
    for line in request.split(b"\r\n"):
        if line.lower().startswith(b"user-agent:"):
            agent = line.split(b":", 1)[1].strip()
    connection.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(agent) + agent)


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    scratch = tempfile.mkdtemp(prefix="quill-net.")
    processes = []
    peers = Peers()
    fillers = []
    env = dict(os.environ)
    # Downloads must not wander off to a proxy named in the environment.
    for name in ("http_proxy", "https_proxy", "all_proxy", "ftp_proxy"):
        env.pop(name, None)
        env.pop(name.upper(), None)
    env["no_proxy"] = "*"
    try:
        pool = AddressPool()

        # Another run may take the same address between the check and the start: try again.
        for attempt in range(5):
            dns_host = pool.take()
            log = open(os.path.join(scratch, "dnsmasq.log"), "w")
            dnsmasq = subprocess.Popen(
                ["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--pid-file=",
                 "--no-resolv", "--no-hosts", "--bind-interfaces", "--listen-address=" + dns_host,
                 "--port=53", "--log-facility=" + os.path.join(scratch, "dnsmasq.queries"),
                 "--mx-host=example.test,mail.example.test,10",
                 "--mx-host=example.test,backup.example.test,20",
                 "--mx-host=solo.test,mx.solo.test,5"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
            processes.append(dnsmasq)
            if wait_until_listening(dns_host, 53, dnsmasq):
                break
        else:
            raise RuntimeError("dnsmasq did not start: " + open(log.name).read())
        env["QUILL_NET_DNS"] = dns_host

        site = os.path.join(scratch, "site")
        os.mkdir(site)
        with open(os.path.join(site, "hello.txt"), "wb") as f:
            f.write(b"hello from the loopback\n")
        with open(os.path.join(site, "big.bin"), "wb") as f:
            f.write(bytes((i * 7) % 251 for i in range(HTTP_BIG_SIZE)))
        for attempt in range(5):
            port = free_port()
            log = open(os.path.join(scratch, "http.log"), "w")
            http = subprocess.Popen(
                [sys.executable, "-m", "http.server", str(port), "--bind", "127.0.0.1",
                 "--directory", site],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
            processes.append(http)
            if wait_until_listening("127.0.0.1", port, http):
                env["QUILL_NET_HTTP"] = "127.0.0.1:%d" % port
                break
        else:
            raise RuntimeError("the HTTP server did not start")

        for name, serve in (("DNS_COMPRESSED", dns_compressed), ("DNS_LOOPING", dns_looping),
                            ("DNS_CUT", dns_cut), ("DNS_SILENT", hold_open)):
            for attempt in range(5):
                try:
                    env["QUILL_NET_" + name] = peers.listen(pool.take(), 53, serve).split(":")[0]
                    break
                except OSError:
                    if attempt == 4:
                        raise
        for name, serve in (("ECHO", echo), ("LINES", lines), ("LONG_LINES", long_lines),
                            ("SILENT", hold_open), ("HTTP_CUT", http_cut),
                            ("HTTP_AGENT", http_agent)):
            env["QUILL_NET_" + name] = peers.listen("127.0.0.1", 0, serve)
        env["QUILL_NET_CLOSED"] = "127.0.0.1:%d" % free_port()
        # Nothing listens on port 53 of this address. The port stays bound (without listening)
        # so that the servers of a test run beside this one cannot take the address meanwhile.
        for attempt in range(5):
            reserved = socket.socket()
            try:
                none_host = pool.take()
                reserved.bind((none_host, 53))
                fillers.append(reserved)
                break
            except OSError:
                reserved.close()
                if attempt == 4:
                    raise
        env["QUILL_NET_DNS_NONE"] = none_host

        # A listen queue that is full: connections to it neither complete nor fail.
        full = peers.listen("127.0.0.1", 0, None, backlog=0)
        host, port = full.split(":")
        for _ in range(3):
            filler = socket.socket()
            filler.setblocking(False)
            filler.connect_ex((host, int(port)))
            fillers.append(filler)
        time.sleep(0.1)
        env["QUILL_NET_FULL"] = full

        return subprocess.call(sys.argv[1:], env=env)
    finally:
        peers.stop()
        for filler in fillers:
            filler.close()
        for process in processes:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
