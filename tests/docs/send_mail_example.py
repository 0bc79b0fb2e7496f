#!/usr/bin/env python3
"""Runs examples/send_mail.qls against a real SMTP server on 127.0.0.1 and checks both ends.

    send_mail_example.py WORK SCRIPT EXPECTED QUILL_COMMAND...

Starts aiosmtpd with a login (the mail tests' server: user "quill", password "s3cret"), writes
WORK/mail_server.txt for the example, runs it in WORK, compares its output with EXPECTED, and
reads what the server received with Python's email package: one message (the wrong password
delivers nothing), the envelope, the headers and the attachment.
"""
import email
import email.policy
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "net"))
from mail_servers import start_smtp  # noqa: E402


def check_received(inbox, problems):
    names = sorted(os.listdir(inbox))
    if names != ["1.eml", "1.json"]:
        problems.append("the server received %s, expected one message" % names)
        return
    with open(os.path.join(inbox, "1.json")) as f:
        envelope = json.load(f)
    if envelope["from"] != "ada@example.com":
        problems.append("envelope sender %r" % envelope["from"])
    if envelope["to"] != ["bob@example.com", "carol@example.com"]:
        problems.append("envelope recipients %r" % envelope["to"])
    if not envelope["auth"]:
        problems.append("the client did not log in")
    with open(os.path.join(inbox, "1.eml"), "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    if message["Subject"] != "Saturday":
        problems.append("subject %r" % message["Subject"])
    body = message.get_body(("plain",))
    if body is None or body.get_content().strip() != "See you on Saturday.":
        problems.append("text part %r" % (body and body.get_content()))
    attachments = [(a.get_filename(), a.get_content()) for a in message.iter_attachments()]
    if len(attachments) != 1 or attachments[0][0] != "notes.txt" or \
            "Bring the level 3 map." not in str(attachments[0][1]):
        problems.append("attachments %r" % attachments)


def main():
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    work, script, expected_path = sys.argv[1:4]
    command = [part for part in sys.argv[4:] if part]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    scratch = tempfile.mkdtemp(prefix="quill-send-mail.")
    controller = None
    try:
        controller, address = start_smtp(scratch, "EXAMPLE", ["LOGIN", "PLAIN", "CRAM-MD5"])
        host, port = address.split(":")
        with open(os.path.join(work, "mail_server.txt"), "w") as f:
            f.write("%s\n%s\nquill\ns3cret\n" % (host, port))
        run = subprocess.run(command + ["run", script], cwd=work, stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=120)
        problems = []
        output = run.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        with open(expected_path, encoding="utf-8") as f:
            expected = f.read()
        if run.returncode != 0:
            problems.append("quill exited with %d: %s" % (run.returncode, run.stderr.decode()))
        if output != expected:
            problems.append("output differs:\n--- expected\n%s--- actual\n%s---" % (expected, output))
        check_received(os.path.join(scratch, "inbox", "EXAMPLE"), problems)
        for problem in problems:
            print(problem)
        return 1 if problems else 0
    finally:
        if controller is not None:
            controller.stop()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
