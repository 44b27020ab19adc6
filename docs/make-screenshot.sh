#!/usr/bin/env bash
# Remakes the pictures in docs/ from the real program under a virtual X
# display: screenshot.png (the window after loading a small sample, so that
# the controls and the status line show values), password-dialog.png (the
# question after a wrong password), settings-dialog-<n>.png (each tab of
# the settings dialog) and screenshot-scale2.png (the window at scale 2 on a
# 1600 × 1000 screen, where it fits with scroll bars).
# Usage: docs/make-screenshot.sh [build-dir]   (needs xvfb-run and python3)
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/sample.pdf" <<'PY'
import sys
objects = [
    b"<< /Type /Catalog /Pages 2 0 R /PageMode /UseOutlines /PageLayout /OneColumn "
    b"/OpenAction [3 0 R /FitH null] /Lang (en-US) "
    b"/ViewerPreferences << /CenterWindow true /DisplayDocTitle true /HideToolbar true "
    b"/PrintScaling /None /Duplex /DuplexFlipLongEdge /NumCopies 2 /PrintPageRange [1 1] >> >>",
    b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>",
    None,
    b"<< /Title (Quarterly Report) /Subject (Sales figures for the third quarter) "
    b"/Keywords (sales, report, Q3) /Author (Jane Example) /DocNo (A-17) /Department (Sales) >>",
]
content = b"BT /F1 24 Tf 72 700 Td (Hello) Tj ET"
out = bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")
offsets = []
for number, body in enumerate(objects, 1):
    offsets.append(len(out))
    if body is None:
        body = b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream"
    out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
xref = len(out)
out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
for offset in offsets:
    out += b"%010d 00000 n \n" % offset
out += b"trailer\n<< /Size %d /Root 1 0 R /Info 5 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
open(sys.argv[1], "wb").write(out)
PY

# Run from the sample's folder so that the window shows a short name.
program=$(realpath "$build/app/vordel-pdf")
docs=$(realpath docs)
(cd "$work" && QT_QPA_PLATFORM=xcb xvfb-run -a "$program" sample.pdf \
  --screenshot "$docs/screenshot.png" --password-shot "$docs/password-dialog.png" \
  --dialog-shots "$docs/settings-dialog")
(cd "$work" && QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 1600x1000x24" "$program" sample.pdf \
  --screenshot "$docs/screenshot-scale2.png")
echo "wrote docs/screenshot.png, docs/screenshot-scale2.png, docs/password-dialog.png, docs/settings-dialog-*.png"
