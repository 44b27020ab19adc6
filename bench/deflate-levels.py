#!/usr/bin/python3
"""Deflate levels on real stream data: zlib against libdeflate.

Collects the decoded data of the streams of the PDF files given (or of the
corpus and a sample of the benchmark files), compresses all of it with zlib at
levels 0, 1, 6 (zlib's default) and 9 and with libdeflate at levels 0 to 12,
and prints the total output size against the input and the speed of each.
The level codes of the Flate encoder (none, fastest, default, maximum) are
mapped to libdeflate levels from this table.

usage: bench/deflate-levels.py [file.pdf ...]
"""
import ctypes
import ctypes.util
import glob
import os
import sys
import time
import zlib

import pikepdf

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.environ.get("VX_CORPUS_DIR") or os.path.join(ROOT, "..", "shared", "corpus")
PERF = os.environ.get("PERF_DIR", "/work/perf")
SAMPLE_LIMIT = 64 << 20  # bytes of stream data taken from one file at most


def load_libdeflate():
    lib = ctypes.CDLL(ctypes.util.find_library("deflate") or "libdeflate.so.0")
    lib.libdeflate_alloc_compressor.restype = ctypes.c_void_p
    lib.libdeflate_alloc_compressor.argtypes = [ctypes.c_int]
    lib.libdeflate_zlib_compress.restype = ctypes.c_size_t
    lib.libdeflate_zlib_compress.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t,
                                             ctypes.c_void_p, ctypes.c_size_t]
    lib.libdeflate_zlib_compress_bound.restype = ctypes.c_size_t
    lib.libdeflate_zlib_compress_bound.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
    lib.libdeflate_free_compressor.argtypes = [ctypes.c_void_p]
    return lib


def stream_data(path):
    """The decoded bytes of every stream of one file that decodes, up to the limit."""
    out, total = [], 0
    try:
        pdf = pikepdf.open(path)
    except Exception:
        return out
    with pdf:
        for obj in pdf.objects:
            if not isinstance(obj, pikepdf.Stream):
                continue
            try:
                data = obj.read_bytes()
            except Exception:
                continue  # image codecs and damaged data
            if data:
                out.append(data)
                total += len(data)
                if total >= SAMPLE_LIMIT:
                    break
    return out


def measure(name, compress, chunks):
    start = time.process_time()
    size = sum(len(compress(c)) for c in chunks)
    return name, size, time.process_time() - start


def main():
    files = sys.argv[1:]
    if not files:
        files = sorted(glob.glob(os.path.join(CORPUS, "**", "*.pdf"), recursive=True))
        files += [os.path.join(PERF, n) for n in ("big-classic.pdf", "big-uncompressed.pdf")
                  if os.path.exists(os.path.join(PERF, n))]
    chunks = []
    for f in files:
        chunks += stream_data(f)
    raw = sum(len(c) for c in chunks)
    print(f"{len(chunks)} streams from {len(files)} files, {raw / 1e6:.1f} MB decoded")

    lib = load_libdeflate()

    def libdeflate_at(level):
        comp = lib.libdeflate_alloc_compressor(level)
        out = ctypes.create_string_buffer(lib.libdeflate_zlib_compress_bound(comp, max(len(c) for c in chunks)))

        def run(data):
            n = lib.libdeflate_zlib_compress(comp, data, len(data), out, len(out))
            return ctypes.string_at(out, n)
        return run, comp

    rows = []
    for level in (0, 1, 6, 9):
        rows.append(measure(f"zlib {level}", lambda d, l=level: zlib.compress(d, l), chunks))
    for level in range(0, 13):
        run, comp = libdeflate_at(level)
        rows.append(measure(f"libdeflate {level}", run, chunks))
        lib.libdeflate_free_compressor(comp)

    zlib_default = next(r for r in rows if r[0] == "zlib 6")
    print(f"{'coder':<14} {'size MB':>9} {'% of input':>10} {'vs zlib 6':>9} {'MB/s':>8}")
    for name, size, secs in rows:
        print(f"{name:<14} {size / 1e6:9.2f} {100 * size / raw:10.2f} {size / zlib_default[1]:9.3f} "
              f"{raw / 1e6 / max(secs, 1e-9):8.1f}")


if __name__ == "__main__":
    main()
