#!/usr/bin/env python3
"""Python's email package as an independent reader and writer of Mail's messages.

  readers.py composed WORKDIR QUILL...   runs compose_layouts.qls with QUILL (the tool, with
                                         Wine before it for the Windows build) in WORKDIR, then
                                         reads every message with Python's email package
  readers.py foreign WORKDIR QUILL...    writes messages with Python's email package, copies
                                         Python's own test messages, has Mail load each one
                                         (load_messages.qls) and compares what it finds with
                                         what Python extracts

Prints one line per failed check and a closing "N passed, M failed" line; exits 1 on failure.
"""
import email
import glob
import json
import os
import shutil
import subprocess
import sys
import urllib.parse
from email import policy
from email.header import decode_header, make_header
from email.message import EmailMessage

HERE = os.path.dirname(os.path.abspath(__file__))
TEST_DATA = "/usr/lib/python3.11/test/test_email/data"

results = {"passed": 0, "failed": 0}


def check(what, got, expected):
    if got == expected:
        results["passed"] += 1
    else:
        results["failed"] += 1
        print(f"FAIL {what}:\n  got      {got!r:.300}\n  expected {expected!r:.300}")


def finish():
    print(f"{results['passed']} passed, {results['failed']} failed")
    return 1 if results["failed"] else 0


def run_quill(quill, script, workdir):
    proc = subprocess.run(quill + ["run", os.path.join(HERE, script)], cwd=workdir,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
    if proc.returncode != 0:
        sys.stderr.write(proc.stderr.decode("utf-8", "replace"))
        raise SystemExit(f"{script} failed with status {proc.returncode}")
    return proc.stdout.decode("utf-8")


# ---------------------------------------------------------------------------------------------
# Content the scripts generate, made the same way here.

def content(kind):
    if kind == "allbytes":
        return bytes(range(256)) * 3
    if kind == "text":
        return b"".join(b"line %d\r\n" % i for i in range(100))
    if kind == "gif":
        return b"GIF89a" + bytes(i * 9 for i in range(26))
    if kind == "large":
        x, out = 12345, bytearray()
        for _ in range(524288):
            x = (x * 1103515245 + 12345) & 0x7FFFFFFF
            out.append((x >> 16) & 255)
        return bytes(out)
    return b""


def text(value):
    return None if value is None else urllib.parse.unquote(value)


def lines(value):
    # A quoted-printable hard line break stands for the reader's own line end.
    return value.replace("\r\n", "\n")


# ---------------------------------------------------------------------------------------------
# Messages Mail composed, read by Python.

def leaves(part):
    if part.get_content_maintype() == "multipart" and isinstance(part.get_payload(), list):
        for sub in part.get_payload():
            yield from leaves(sub)
    else:
        yield part


def decoded_text(part):
    payload = part.get_payload(decode=True)
    return payload.decode(part.get_content_charset() or "us-ascii")


def check_composed_message(path, layout):
    name = os.path.basename(path)
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=policy.default)
    defects = [(p.get_content_type(), d) for p in msg.walk() for d in p.defects]
    check(f"{name} defects", defects, [])
    for field, header in (("from", "from"), ("to", "to"), ("cc", "cc"), ("replyTo", "reply-to"),
                          ("subject", "subject")):
        expected = text(layout.get(field))
        if expected is None and field not in ("from", "to", "subject"):
            check(f"{name} {header} absent", msg[header], None)
            continue
        check(f"{name} {header}", str(msg[header] or "").strip(), expected or "")
    parts = list(leaves(msg))
    bodies = [p for p in parts if p.get_content_disposition() != "attachment" and not p["content-id"]]
    plain = [p for p in bodies if p.get_content_type() == "text/plain"]
    html = [p for p in bodies if p.get_content_type() == "text/html"]
    # Python gives a quoted-printable hard line break as "\n" and keeps encoded CRs and LFs.
    check(f"{name} text", decoded_text(plain[0]) if plain else "",
          lines(text(layout.get("text")) or ""))
    check(f"{name} html", decoded_text(html[0]) if html else "",
          lines(text(layout.get("html")) or ""))
    attachments = [(p.get_filename(), p.get_payload(decode=True))
                   for p in parts if p.get_content_disposition() == "attachment"]
    check(f"{name} attachments", attachments,
          [(text(a["name"]), content(a["kind"])) for a in layout.get("attachments", [])])
    items = [(p.get_filename(), p["content-id"].strip("<>"), p.get_payload(decode=True))
             for p in parts if p["content-id"]]
    check(f"{name} items", items,
          [(text(i["name"]), text(i["id"]), content(i["kind"])) for i in layout.get("items", [])])


def composed(workdir, quill):
    os.makedirs(workdir, exist_ok=True)
    shutil.copy(os.path.join(HERE, "layouts.json"), workdir)
    run_quill(quill, "compose_layouts.qls", workdir)
    with open(os.path.join(HERE, "layouts.json")) as f:
        layouts = json.load(f)
    for layout in layouts:
        for suffix in (".eml", ".regenerated.eml"):
            check_composed_message(os.path.join(workdir, layout["name"] + suffix), layout)
    return finish()


# ---------------------------------------------------------------------------------------------
# Messages Python wrote, and Python's own test messages, loaded by Mail.

def python_messages():
    """Messages composed with Python's email package, as mailers of today write them."""
    out = {}
    m = EmailMessage()
    m["From"] = "Ann <ann@example.com>"
    m["To"] = "bob@example.com, carol@example.com"
    m["Subject"] = "Plain 7bit text"
    m.set_content("Hello,\nplain text.\n")
    out["py-plain"] = m

    m = EmailMessage()
    m["From"] = "J\u00f6rg <joerg@example.com>"
    m["To"] = "bob@example.com"
    m["Subject"] = "Gr\u00fc\u00dfe aus K\u00f6ln " * 6
    m.set_content("Gr\u00fc\u00dfe \u2013 10\u20ac\nzweite Zeile\n")
    m.add_alternative("<p>Gr\u00fc\u00dfe \u2013 <b>10\u20ac</b></p>\n", subtype="html")
    out["py-utf8-alternative"] = m

    m = EmailMessage()
    m["To"] = "bob@example.com"
    m["Subject"] = "Latin-1, quoted-printable"
    m.set_content("caf\u00e9 cr\u00e8me " * 20 + "\n", charset="latin-1", cte="quoted-printable")
    m.add_attachment(bytes(range(256)) * 4, maintype="application", subtype="octet-stream",
                     filename="all bytes.bin")
    m.add_attachment("notes\nmore notes\n", filename="r\u00e9sum\u00e9.txt")
    m.add_attachment(b"", maintype="application", subtype="x-empty", filename="empty.dat")
    out["py-attachments"] = m

    m = EmailMessage()
    m["To"] = "bob@example.com"
    m["Subject"] = "Related picture"
    m.set_content("see the picture\n")
    m.add_alternative('<p><img src="cid:pic@example.com"></p>\n', subtype="html")
    m.get_payload()[1].add_related(b"\x89PNG\r\n\x1a\n" + bytes(100), maintype="image",
                                   subtype="png", cid="<pic@example.com>", filename="pic.png")
    m.add_attachment(b"%PDF-1.4 " + bytes(range(200)), maintype="application",
                     subtype="pdf", filename="doc.pdf")
    out["py-related"] = m

    m = EmailMessage()
    m["To"] = "bob@example.com"
    m["Subject"] = "8bit body"
    m.set_content("\u00fcber 8bit\n", charset="utf-8", cte="8bit")
    out["py-8bit"] = m
    return out


def cp1252(data):
    # The ANSI code page of both builds' test machines; undefined bytes are C1 controls.
    return "".join(chr(b) if 0x80 <= b <= 0x9F and b in (0x81, 0x8D, 0x8F, 0x90, 0x9D)
                   else bytes([b]).decode("cp1252") for b in data)


def as_text(data, charset):
    if charset and charset.lower() in ("utf-8", "utf8"):
        return data.decode("utf-8", "replace")
    if not charset and any(b >= 0x80 for b in data):
        try:
            return data.decode("utf-8")
        except UnicodeDecodeError:
            pass
    return cp1252(data)


def header_text(raw):
    if raw is None:
        return None
    value = str(make_header(decode_header(" ".join(str(raw).split()))))
    return " ".join(value.split())


def param(part, name, header):
    value = part.get_param(name, header=header)
    if value is None:
        return None
    value = email.utils.collapse_rfc2231_value(value)
    return header_text(value) if "=?" in value else value


def expected_view(msg):
    """What Mail should find: the leaves in order, classified by Mail's rules, as Python's
    parser splits and decodes them."""
    view = {"text": "", "html": "", "items": [], "attachments": []}
    for field in ("from", "to", "cc", "subject", "date"):
        view[field] = header_text(msg[field])
    have_text = have_html = False

    def walk(part, parent_related):
        nonlocal have_text, have_html
        if part.get_content_maintype() == "multipart" and isinstance(part.get_payload(), list):
            for sub in part.get_payload():
                walk(sub, part.get_content_type() == "multipart/related")
            return
        ctype = part.get_content_type()
        attachment = part.get_content_disposition() == "attachment"
        name = param(part, "name", "content-type") or param(part, "filename",
                                                           "content-disposition")
        cid = part["content-id"]
        if ctype.startswith("message/") or ctype.startswith("multipart/"):
            payload = None  # compared by structure, not bytes
        else:
            payload = part.get_payload(decode=True)
            if payload is None:
                payload = part.get_payload().encode("utf-8", "surrogateescape")
        if not attachment and not name and ctype == "text/html" and not have_html:
            view["html"] = as_text(payload, part.get_content_charset())
            have_html = True
        elif (not attachment and not name and ctype.startswith("text/") and ctype != "text/html"
              and not have_text):
            view["text"] = as_text(payload, part.get_content_charset())
            have_text = True
        elif not attachment and (name or cid) and (have_html or parent_related):
            view["items"].append({"type": ctype, "id": (cid or "").strip().strip("<>"),
                                  "bytes": payload, "part": part})
        else:
            view["attachments"].append({"type": ctype, "name": name, "bytes": payload,
                                        "part": part})

    walk(msg, False)
    return view


# Python's test messages whose nested levels reuse the boundary of the level around them. Python
# closes the outer level at the inner closing delimiter and drops the parts after it (it marks
# them with StartBoundaryNotFoundDefect); Mail reads the nesting and keeps every part. Headers,
# text and HTML are still compared.
NESTED_SAME_BOUNDARY = {"msg_15", "msg_39"}


def compare_loaded(name, got, msg, attachment_file):
    exp = expected_view(msg)
    for field in ("from", "to", "cc", "subject", "date"):
        check(f"{name} {field}", " ".join(got[field].split()) if got[field] else None, exp[field])
    check(f"{name} text", lines(got["text"]), lines(exp["text"]))
    check(f"{name} html", lines(got["html"]), lines(exp["html"]))
    if name in NESTED_SAME_BOUNDARY:
        return
    for kind in ("attachments", "items"):
        check(f"{name} {kind} count", len(got[kind]), len(exp[kind]))
        for i, (mine, theirs) in enumerate(zip(got[kind], exp[kind])):
            check(f"{name} {kind}[{i}] type", mine["type"], theirs["type"])
            if kind == "attachments" and theirs["name"]:
                check(f"{name} attachment[{i}] name", mine["name"], theirs["name"])
            if kind == "items":
                check(f"{name} item[{i}] id", mine["id"], theirs["id"])
            with open(attachment_file(kind, i), "rb") as f:
                data = f.read()
            if theirs["bytes"] is not None:
                # Text that is not base64 is text: line ends are the reader's own.
                part = theirs["part"]
                if (part.get_content_maintype() == "text" and
                        (part["content-transfer-encoding"] or "").lower().strip() != "base64"):
                    data = data.replace(b"\r\n", b"\n")
                check(f"{name} {kind}[{i}] bytes", data, theirs["bytes"])
            else:
                # An embedded message: Python reads Mail's copy as it read the original.
                inner = email.message_from_bytes(data, policy=policy.compat32)
                original = theirs["part"].get_payload()
                original = original[0] if isinstance(original, list) else None
                if original is not None:
                    check(f"{name} {kind}[{i}] message", inner.items(), original.items())


def foreign(workdir, quill):
    folder = os.path.join(workdir, "foreign")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    names = []
    for name, msg in python_messages().items():
        with open(os.path.join(folder, name + ".eml"), "wb") as f:
            f.write(msg.as_bytes(policy=policy.SMTP))
        names.append(name)
    samples = sorted(glob.glob(os.path.join(TEST_DATA, "msg_*.txt")))
    if not samples:
        raise SystemExit(f"no test messages in {TEST_DATA} (Debian package libpython3.11-testsuite)")
    for path in samples:
        name = os.path.splitext(os.path.basename(path))[0]
        shutil.copy(path, os.path.join(folder, name + ".eml"))
        names.append(name)
    with open(os.path.join(folder, "list.txt"), "w", newline="\r\n") as f:
        f.write("\n".join(names) + "\n")
    output = run_quill(quill, "load_messages.qls", folder)
    dumps = [json.loads(line) for line in output.splitlines() if line.startswith("{")]
    check("messages loaded", len(dumps), len(names))
    for got in dumps:
        name = got["name"]
        with open(os.path.join(folder, name + ".eml"), "rb") as f:
            msg = email.message_from_binary_file(f, policy=policy.compat32)
        compare_loaded(name, got, msg,
                       lambda kind, i: os.path.join(folder, f"{name}.{kind}.{i}"))
    return finish()


def main():
    if len(sys.argv) < 4 or sys.argv[1] not in ("composed", "foreign"):
        print(__doc__)
        return 2
    command, workdir, quill = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3:]
    return composed(workdir, quill) if command == "composed" else foreign(workdir, quill)


if __name__ == "__main__":
    sys.exit(main())
