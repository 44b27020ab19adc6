#!/usr/bin/python3
"""Writes a small signed PDF, the way signing tools do.

usage: make_signed_pdf.py OUTPUT WORKDIR [PAGES]

A self-signed certificate is made with `openssl req`; the file gets one
signature field (/FT /Sig) whose value is a signature dictionary with a
/ByteRange placeholder and a zero-filled /Contents. The bytes outside
/Contents are then signed with `openssl cms -sign -binary -outform DER` and
the DER signature is written, hex-encoded, into /Contents.
"""
import os
import subprocess
import sys

CONTENTS_HEX = 16384  # room for the signature, hex digits
RANGE_WIDTH = 10      # digits of each /ByteRange number


def build_unsigned(pages=1):
    content = b"BT /F1 24 Tf 72 700 Td (Signed contract) Tj ET"
    placeholder_range = b"[" + b" ".join([b"0" * RANGE_WIDTH] * 4) + b"]"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R /AcroForm 5 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R" + b"".join(b" %d 0 R" % (10 + i) for i in range(pages - 1)) +
        b"] /Count %d >>" % pages,
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 7 0 R"
        b" /Resources << /Font << /F1 8 0 R >> >> /Annots [4 0 R] >>",
        b"<< /FT /Sig /T (Signature1) /V 6 0 R /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /F 132 /P 3 0 R >>",
        b"<< /Fields [4 0 R] /SigFlags 3 >>",
        b"<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached /ByteRange " + placeholder_range +
        b" /Contents <" + b"0" * CONTENTS_HEX + b"> /M (D:20260101000000Z) >>",
        b"<< /Length " + str(len(content)).encode() + b" >>\nstream\n" + content + b"\nendstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        b"<< /Title (Contract) /Producer (make_signed_pdf) >>",
    ] + [b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 7 0 R"
         b" /Resources << /Font << /F1 8 0 R >> >> >>"] * (pages - 1)
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R /Info 9 0 R /ID [<00112233445566778899AABBCCDDEEFF> " \
           b"<00112233445566778899AABBCCDDEEFF>] >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return out


def main():
    output, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "3650", "-subj", "/CN=Vordel Test Signer"], check=True, capture_output=True)
    pdf = build_unsigned(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    start = pdf.index(b"/Contents <") + len(b"/Contents ")
    end = start + CONTENTS_HEX + 2  # past "<" digits ">"
    ranges = [0, start, end, len(pdf) - end]
    at = pdf.index(b"/ByteRange [") + len(b"/ByteRange ")
    text = b"[" + b" ".join(b"%0*d" % (RANGE_WIDTH, r) for r in ranges) + b"]"
    pdf[at:at + len(text)] = text
    signed_part = os.path.join(work, "signed-bytes")
    with open(signed_part, "wb") as f:
        f.write(pdf[:start] + pdf[end:])
    der = subprocess.run(["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-md", "sha256", "-in",
                          signed_part, "-signer", cert, "-inkey", key], check=True, capture_output=True).stdout
    hexed = der.hex().upper().encode()
    if len(hexed) > CONTENTS_HEX:
        sys.exit("signature larger than its placeholder")
    pdf[start + 1:start + 1 + len(hexed)] = hexed
    with open(output, "wb") as f:
        f.write(pdf)


if __name__ == "__main__":
    main()
