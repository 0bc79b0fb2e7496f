#!/usr/bin/env python3
"""Runs a test command beside the mail servers the SMTP and POP3 tests talk to, then stops them.

    mail_servers.py COMMAND [ARG...]

Real servers where the tests meet real ones: aiosmtpd (several instances in threads of this
process: no AUTH, every mechanism, CRAM-MD5 only, LOGIN only, PLAIN only, and one that delivers
into Dovecot's maildir) and Dovecot's POP3 server with a private configuration. Scripted peers
stand in only for faults a real server does not produce: endless or over-long replies, a
connection closed mid-reply, silence, garbage, a message that breaks off. Everything listens on
127.0.0.1; the command finds the addresses in QUILL_MAIL_* environment variables (host:port) and
the folder where the SMTP servers drop what they receive in QUILL_MAIL_INBOX.

Accounts: SMTP user "quill" with password "s3cret"; POP3 users alice (fixed messages), bob (for
DELE), carol (end-to-end delivery) and erin (eighty messages), all with password "pop-pass".
"""
import base64
import hmac
import json
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from net_servers import Peers, free_port, wait_until_listening  # noqa: E402

SMTP_USER = b"quill"
SMTP_PASSWORD = b"s3cret"
POP3_PASSWORD = "pop-pass"
CORPUS = "/usr/lib/python3.11/test/test_email/data/msg_07.txt"


# --- SMTP -------------------------------------------------------------------------------------

def authenticator(server, session, envelope, mechanism, auth_data):
    if isinstance(auth_data, LoginPassword):
        ok = auth_data.login == SMTP_USER and auth_data.password == SMTP_PASSWORD
    else:
        ok = auth_data is True
    # A refusal is answered by the server with 535 (handled=False).
    return AuthResult(success=ok, handled=False, auth_data=mechanism)


class Inbox:
    """Drops every message a server accepts into a folder: N.eml (the data as the client sent
    it, transparency undone) and N.json (envelope and the mechanism that authenticated)."""

    def __init__(self, folder, deliver_to=None):
        self.folder = folder
        self.deliver_to = deliver_to
        self.count = 0
        self.lock = threading.Lock()
        os.makedirs(folder)

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        data = envelope.original_content
        with open(os.path.join(self.folder, "%d.eml" % n), "wb") as f:
            f.write(data)
        with open(os.path.join(self.folder, "%d.json" % n), "w") as f:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                       "auth": session.auth_data}, f)
        if self.deliver_to:
            deliver(self.deliver_to, data, "e2e%d" % n)
        return "250 OK"

    async def auth_CRAM__MD5(self, server, args):
        challenge = ("<%d.%d@quill.test>" % (os.getpid(), time.time_ns())).encode()
        answer = await server.challenge_auth(challenge)
        if not isinstance(answer, bytes) or b" " not in answer:
            return AuthResult(success=False, handled=False)
        user, digest = answer.rsplit(b" ", 1)
        expected = hmac.new(SMTP_PASSWORD, challenge, "md5").hexdigest().encode()
        ok = user == SMTP_USER and hmac.compare_digest(digest, expected)
        return AuthResult(success=ok, handled=False, auth_data="CRAM-MD5" if ok else None)


def start_smtp(scratch, name, mechanisms, deliver_to=None):
    """mechanisms: None for a server that offers no AUTH, else the list to offer."""
    inbox = Inbox(os.path.join(scratch, "inbox", name), deliver_to)
    options = {}
    if mechanisms is not None:
        excluded = [m for m in ("LOGIN", "PLAIN", "CRAM-MD5") if m not in mechanisms]
        options = dict(auth_require_tls=False, authenticator=authenticator,
                       auth_exclude_mechanism=excluded)
    port = free_port()
    controller = Controller(inbox, hostname="127.0.0.1", port=port, server_kwargs=options,
                            data_size_limit=64 * 1024 * 1024)
    controller.start()
    return controller, "127.0.0.1:%d" % port


# --- Dovecot ----------------------------------------------------------------------------------

def deliver(maildir, data, name):
    """Puts a message into a maildir the way a delivery agent does: written in tmp/, then
    moved into new/, owned by the mail user."""
    entry = pwd.getpwnam("dovecot")
    temporary = os.path.join(maildir, "tmp", name)
    with open(temporary, "wb") as f:
        f.write(data)
    os.chown(temporary, entry.pw_uid, entry.pw_gid)
    os.rename(temporary, os.path.join(maildir, "new", name))


def make_maildir(root, user):
    entry = pwd.getpwnam("dovecot")
    path = os.path.join(root, user, "Maildir")
    for sub in ("", "tmp", "new", "cur"):
        os.makedirs(os.path.join(path, sub), exist_ok=True)
    for folder, _, _ in os.walk(os.path.join(root, user)):
        os.chown(folder, entry.pw_uid, entry.pw_gid)
    return path


def message(subject, body):
    return (b"From: sender@quill.test\r\nTo: alice@quill.test\r\nSubject: " + subject +
            b"\r\nMessage-ID: <" + subject.replace(b" ", b".") + b"@quill.test>\r\n" +
            b"Content-Type: text/plain; charset=us-ascii\r\n" +
            b"\r\n" + body)


def big_body():
    """About 100 KB over several read blocks, with lines that begin with a dot."""
    lines = []
    for i in range(1500):
        lines.append(b"line %05d of the long message, padded to a typical length ......" % i)
        if i % 100 == 0:
            lines.append(b".a line that begins with a dot")
            lines.append(b".")
            lines.append(b"..")
    return b"\r\n".join(lines) + b"\r\n"


def start_dovecot(scratch):
    entry = pwd.getpwnam("dovecot")
    root = os.path.join(scratch, "dovecot")
    mail_root = os.path.join(root, "mail")
    os.makedirs(mail_root)
    for folder in (scratch, root, mail_root):
        os.chmod(folder, 0o755)
    users = ("alice", "bob", "carol", "erin")
    with open(os.path.join(root, "passwd"), "w") as f:
        for user in users:
            f.write("%s:{PLAIN}%s::::::\n" % (user, POP3_PASSWORD))
    maildirs = {user: make_maildir(mail_root, user) for user in users}

    with open(CORPUS, "rb") as f:
        corpus = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    # Numbered in the order of their names (Dovecot sorts new messages by name).
    for i, data in enumerate((message(b"first", b"Hello Alice.\r\n"),
                              message(b"second", big_body()),
                              corpus)):
        deliver(maildirs["alice"], data, "100000000%d.M%dP1.quill" % (i, i))
    for i in range(2):
        deliver(maildirs["bob"], message(b"bob %d" % i, b"for deletion\r\n"),
                "100000000%d.M%dP2.quill" % (i, i))
    for i in range(80):
        deliver(maildirs["erin"], message(b"erin %02d" % i, b"x\r\n"),
                "10000000%02d.M%dP3.quill" % (i, i))

    port = free_port()
    config = os.path.join(root, "dovecot.conf")
    with open(config, "w") as f:
        f.write("""
protocols = pop3
listen = 127.0.0.1
base_dir = {root}/run
state_dir = {root}/state
instance_name = quill-{pid}
log_path = {root}/dovecot.log
info_log_path = {root}/dovecot.log
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
default_login_user = dovenull
default_internal_user = dovecot
first_valid_uid = {uid}
mail_location = maildir:{mail}/%u/Maildir
pop3_uidl_format = %08Xu%08Xv
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {root}/passwd
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={mail}/%u
}}
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {port}
  }}
  inet_listener pop3s {{
    port = 0
  }}
}}
service anvil {{
  chroot =
}}
""".format(root=root, mail=mail_root, pid=os.getpid(), uid=entry.pw_uid, gid=entry.pw_gid,
           port=port))
    # In the foreground: stopped by its pid, its output kept in a file (no pipe is held).
    log = open(os.path.join(root, "console.log"), "w")
    process = subprocess.Popen(["/usr/sbin/dovecot", "-F", "-c", config],
                               stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
    if not wait_until_listening("127.0.0.1", port, process):
        raise RuntimeError("dovecot did not start: " + open(log.name).read() +
                           open(os.path.join(root, "dovecot.log")).read()
                           if os.path.exists(os.path.join(root, "dovecot.log")) else "")
    return process, "127.0.0.1:%d" % port, maildirs


# --- scripted peers for faults ----------------------------------------------------------------

def read_line(connection):
    data = b""
    while not data.endswith(b"\n"):
        chunk = connection.recv(1)
        if not chunk:
            return None
        data += chunk
    return data


def smtp_endless(connection):
    """A greeting whose continuation lines never end (bounded: it stops after 4 MB)."""
    for _ in range(100000):
        connection.sendall(b"220-still greeting you\r\n" * 2)


def smtp_long_line(connection):
    connection.sendall(b"220 " + b"x" * 200000)
    while connection.recv(4096):
        pass


def smtp_cut(connection):
    connection.sendall(b"220-the first line of a greeting\r\n220-and then")


def smtp_garbage(connection):
    connection.sendall(bytes((i * 37 + 11) % 256 for i in range(3000)) + b"\r\n")
    while connection.recv(4096):
        pass


def smtp_silent(connection):
    while connection.recv(4096):
        pass


def smtp_no_ehlo(connection):
    """An old server: no EHLO, HELO only; records what it was sent."""
    connection.sendall(b"220 old server\r\n")
    while True:
        line = read_line(connection)
        if line is None:
            return
        verb = line[:4].upper()
        if verb == b"EHLO":
            connection.sendall(b"502 command not implemented\r\n")
        elif verb == b"DATA":
            connection.sendall(b"354 go on\r\n")
            while read_line(connection) not in (b".\r\n", None):
                pass
            connection.sendall(b"250 taken\r\n")
        elif verb == b"QUIT":
            connection.sendall(b"221 bye\r\n")
            return
        elif verb == b"AUTH":
            connection.sendall(b"500 no AUTH here\r\n")
        else:
            connection.sendall(b"250 ok\r\n")


def pop3_peer(connection):
    """A POP3 server with faults: RETR 1 sends 20 MB, RETR 2 breaks off midway, LIST never
    ends its listing, STAT answers garbage, NOOP stalls."""
    connection.sendall(b"+OK fault peer\r\n")
    while True:
        line = read_line(connection)
        if line is None:
            return
        words = line.split()
        verb = words[0].upper() if words else b""
        if verb in (b"USER", b"PASS", b"QUIT", b"RSET", b"DELE"):
            connection.sendall(b"+OK\r\n")
        elif verb == b"RETR" and words[1:] == [b"1"]:
            head = b"+OK 20971520 octets\r\nSubject: big\r\n\r\n"
            connection.sendall(head)
            row = b"y" * 1022 + b"\r\n"
            for _ in range(20 * 1024):
                connection.sendall(row)
            connection.sendall(b".\r\n")
        elif verb == b"RETR":
            connection.sendall(b"+OK\r\nSubject: cut short\r\n\r\nthe first line\r\n")
            return
        elif verb == b"LIST":
            connection.sendall(b"+OK\r\n")
            for i in range(1, 200000):
                connection.sendall(b"%d 120\r\n" % i)
            return
        elif verb == b"STAT":
            connection.sendall(bytes((i * 53 + 7) % 256 for i in range(100000)))
            return
        elif verb == b"NOOP":
            while connection.recv(4096):
                pass
            return
        else:
            connection.sendall(b"-ERR unknown\r\n")


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    scratch = tempfile.mkdtemp(prefix="quill-mail.")
    controllers = []
    dovecot = None
    peers = Peers()
    env = dict(os.environ)
    try:
        dovecot, env["QUILL_MAIL_POP3"], maildirs = start_dovecot(scratch)
        for name, mechanisms, target in (
                ("NOAUTH", None, None), ("AUTH", ["LOGIN", "PLAIN", "CRAM-MD5"], None),
                ("CRAM", ["CRAM-MD5"], None), ("LOGIN", ["LOGIN"], None),
                ("PLAIN", ["PLAIN"], None), ("DELIVER", None, maildirs["carol"])):
            controller, address = start_smtp(scratch, name, mechanisms, target)
            controllers.append(controller)
            env["QUILL_MAIL_SMTP_" + name] = address
        env["QUILL_MAIL_INBOX"] = os.path.join(scratch, "inbox")
        for name, serve in (("SMTP_ENDLESS", smtp_endless), ("SMTP_LONG_LINE", smtp_long_line),
                            ("SMTP_CUT", smtp_cut), ("SMTP_GARBAGE", smtp_garbage),
                            ("SMTP_SILENT", smtp_silent), ("SMTP_HELO", smtp_no_ehlo),
                            ("POP3_FAULTS", pop3_peer)):
            env["QUILL_MAIL_" + name] = peers.listen("127.0.0.1", 0, serve)
        env["QUILL_MAIL_CLOSED"] = "127.0.0.1:%d" % free_port()
        return subprocess.call(sys.argv[1:], env=env)
    finally:
        peers.stop()
        for controller in controllers:
            controller.stop()
        if dovecot is not None and dovecot.poll() is None:
            dovecot.terminate()
            try:
                dovecot.wait(10)
            except subprocess.TimeoutExpired:
                dovecot.kill()
                dovecot.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
