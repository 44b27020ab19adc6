// Prints what pdf.js (Firefox's reader) sees of PDF files' document-level
// settings: one JSON object a line, in the order the files were given.
//   node pdfjs_summary.mjs [--password PW]... FILE...
//   node pdfjs_summary.mjs --list LIST    (lines: FILE<tab>PASSWORD...)
// Each object is {"file", "summary"} or {"file", "error"}. Passwords are tried
// in turn until one opens the file. Many files share one process: loading
// pdf.js is most of the cost of a small file.
import fs from "node:fs";
import path from "node:path";
import { createRequire } from "node:module";
import { fileURLToPath } from "node:url";

// pdf.js 4 calls Promise.withResolvers, which Node has only from 22 on: its
// legacy build, the one for Node, brings the polyfill (and others) along.
// pdf.js warns through console.log; stdout carries only the summaries.
console.log = console.warn = (...args) => process.stderr.write(args.join(" ") + "\n");

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, "../js/package.json"));
let pdfjs;
try {
  pdfjs = await import(require.resolve("pdfjs-dist/legacy/build/pdf.mjs"));
} catch (error) {
  process.stderr.write(`pdf.js is not installed (run scripts/bootstrap): ${error.message}\n`);
  process.exit(3);
}

function jobs(argv) {
  const list = [], passwords = [];
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i] === "--password") passwords.push(argv[++i]);
    else if (argv[i] === "--list") {
      for (const line of fs.readFileSync(argv[++i], "utf8").split("\n")) {
        if (!line) continue;
        const [file, ...own] = line.split("\t");
        list.push({ file, passwords: own });
      }
    } else list.push({ file: argv[i], passwords: null });
  }
  for (const job of list) job.passwords = [...(job.passwords ?? passwords), ""];
  return list;
}

async function open(file, passwords) {
  const data = new Uint8Array(fs.readFileSync(file));
  let last;
  for (const password of passwords) {
    const task = pdfjs.getDocument({
      data: data.slice(), password, verbosity: 0, isEvalSupported: false,
      disableFontFace: true, useSystemFonts: false, stopAtErrors: false,
    });
    try {
      return await task.promise;
    } catch (error) {
      await task.destroy();
      if (error?.name !== "PasswordException") throw error;
      last = error;
    }
  }
  throw last;
}

// A destination as the page it leads to (0-based) and the rest of its array:
// object numbers differ between files, page places do not.
async function destination(doc, dest) {
  try {
    if (typeof dest === "string") dest = await doc.getDestination(dest);
    if (!Array.isArray(dest)) return dest ?? null;
    const [target, ...view] = dest;
    let page = target;
    if (target && typeof target === "object") page = await doc.getPageIndex(target).catch(() => "unknown page");
    return { page, view: view.map((item) => (item && typeof item === "object" && "name" in item ? item.name : item)) };
  } catch (error) {
    return { error: String(error?.message ?? error) };
  }
}

async function outline(doc, items) {
  if (!items) return null;
  const out = [];
  for (const item of items) {
    out.push({
      title: item.title, bold: item.bold, italic: item.italic, color: Array.from(item.color ?? []),
      count: item.count ?? null, url: item.url ?? null, action: item.action ?? null,
      dest: await destination(doc, item.dest), items: await outline(doc, item.items),
    });
  }
  return out;
}

async function summary(doc) {
  const meta = await doc.getMetadata();
  const action = await doc.getOpenAction();
  return {
    numPages: doc.numPages,
    pageMode: await doc.getPageMode(),
    pageLayout: await doc.getPageLayout(),
    viewerPreferences: await doc.getViewerPreferences(),
    openAction: action && { action: action.action ?? null, dest: await destination(doc, action.dest) },
    pageLabels: await doc.getPageLabels(),
    info: meta.info,
    xmp: meta.metadata?.getAll() ?? null,
    xmpPacket: meta.metadata?.getRaw() ?? null,
    outline: await outline(doc, await doc.getOutline()),
    permissions: await doc.getPermissions(),
  };
}

for (const { file, passwords } of jobs(process.argv.slice(2))) {
  let line;
  try {
    const doc = await open(file, passwords);
    try {
      line = { file, summary: await summary(doc) };
    } finally {
      await doc.destroy();
    }
  } catch (error) {
    line = { file, error: `${error?.name ?? "Error"}: ${error?.message ?? error}` };
  }
  process.stdout.write(JSON.stringify(line) + "\n");
}
