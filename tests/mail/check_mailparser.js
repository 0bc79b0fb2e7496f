#!/usr/bin/env node
// The npm package mailparser as an independent reader of the messages compose_layouts.qls
// wrote: for every layout (and its regenerated copy) the subject, the addresses, the text, the
// HTML and every attachment's and inline item's name and bytes must come back as composed.
//   node check_mailparser.js WORKDIR
// Prints one line per failed check and "N passed, M failed"; exits 1 on failure, 77 (skipped)
// when the package is not installed (tools/setup.sh could not reach the npm registry).
"use strict";
const fs = require("fs");
const path = require("path");
const assert = require("assert");
let simpleParser;
try {
  ({ simpleParser } = require("mailparser"));
} catch (e) {
  console.log("mailparser is not installed in tests/mail/node_modules (tools/setup.sh installs it)");
  process.exit(77);
}

let passed = 0;
let failed = 0;
function check(what, got, expected) {
  try {
    assert.deepStrictEqual(got, expected);
    passed++;
  } catch (e) {
    failed++;
    const show = (v) => JSON.stringify(v instanceof Buffer ? v.toString("hex") : v).slice(0, 300);
    console.log(`FAIL ${what}:\n  got      ${show(got)}\n  expected ${show(expected)}`);
  }
}

// The content kinds the compose script generates, made the same way here.
function content(kind) {
  if (kind === "allbytes") {
    const one = Buffer.from(Array.from({ length: 256 }, (_, i) => i));
    return Buffer.concat([one, one, one]);
  }
  if (kind === "text") {
    let s = "";
    for (let i = 0; i < 100; i++) s += `line ${i}\r\n`;
    return Buffer.from(s, "latin1");
  }
  if (kind === "gif") {
    return Buffer.concat([Buffer.from("GIF89a"), Buffer.from(Array.from({ length: 26 }, (_, i) => i * 9))]);
  }
  if (kind === "large") {
    const out = Buffer.alloc(524288);
    let x = 12345;
    for (let i = 0; i < out.length; i++) {
      x = (Math.imul(x, 1103515245) + 12345) & 0x7fffffff;
      out[i] = (x >> 16) & 255;
    }
    return out;
  }
  return Buffer.alloc(0);
}

const text = (v) => (v === undefined ? undefined : decodeURIComponent(v));
// A quoted-printable hard line break is the reader's own line end.
const lines = (v) => v.replace(/\r\n/g, "\n");

// "Name <address>, address" as mailparser's address records.
function addresses(value) {
  if (!value) return [];
  return value.split(", ").map((piece) => {
    const m = /^(.*?)\s*<([^>]*)>$/.exec(piece);
    return m ? { address: m[2], name: m[1] } : { address: piece, name: "" };
  });
}
function addressesOf(field) {
  return field ? field.value.map((a) => ({ address: a.address, name: a.name })) : [];
}

async function checkMessage(file, layout) {
  const name = path.basename(file);
  const m = await simpleParser(fs.readFileSync(file), { keepCidLinks: true });
  check(`${name} subject`, m.subject || "", text(layout.subject) || "");
  check(`${name} from`, addressesOf(m.from), addresses(text(layout.from)));
  check(`${name} to`, addressesOf(m.to), addresses(text(layout.to)));
  check(`${name} cc`, addressesOf(m.cc), addresses(text(layout.cc)));
  check(`${name} reply-to`, addressesOf(m.replyTo), addresses(text(layout.replyTo)));
  // Without a text of its own, mailparser makes one from the HTML: only a real one is compared.
  if (layout.text !== undefined || layout.html === undefined) {
    check(`${name} text`, m.text || "", lines(text(layout.text) || ""));
  }
  check(`${name} html`, m.html || "", lines(text(layout.html) || ""));
  const attachments = m.attachments.filter((a) => a.contentDisposition === "attachment");
  check(`${name} attachments`, attachments.map((a) => [a.filename, a.content]),
    (layout.attachments || []).map((a) => [text(a.name), content(a.kind)]));
  const items = m.attachments.filter((a) => a.contentDisposition !== "attachment");
  check(`${name} items`, items.map((a) => [a.filename, a.contentId, a.content]),
    (layout.items || []).map((i) => [text(i.name), `<${text(i.id)}>`, content(i.kind)]));
}

async function main() {
  const workdir = process.argv[2];
  if (!workdir) {
    console.log("usage: node check_mailparser.js WORKDIR");
    process.exit(2);
  }
  const layouts = JSON.parse(fs.readFileSync(path.join(__dirname, "layouts.json"), "utf8"));
  for (const layout of layouts) {
    for (const suffix of [".eml", ".regenerated.eml"]) {
      await checkMessage(path.join(workdir, layout.name + suffix), layout);
    }
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.log(e.stack);
  process.exit(1);
});
