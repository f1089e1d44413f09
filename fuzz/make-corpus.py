#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Run from anywhere: python3 fuzz/make-corpus.py. Needs ffmpeg for the JPEG, PNG, GIF, TGA and
TIFF seeds of fuzz_picture. The output is committed; run again only to change the seeds."""

import os
import shutil
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

# fuzz_picture: the first byte chooses the file's suffix, as in fuzz_picture.cpp.
SUFFIXES = ["", ".bmp", ".jpg", ".png", ".gif", ".tga", ".ico", ".tif"]


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def bmp(width, height, bits, compression=0, palette=None, pixels=b"", masks=b"", size_image=None):
    """A BMP file: file header, 40-byte info header, bit masks, colour table, pixels."""
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in (palette or []))
    off_bits = 14 + 40 + len(masks) + len(table)
    if size_image is None:
        size_image = len(pixels)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, size_image,
                       2835, 2835, len(palette or []), 0)
    header = struct.pack("<2sIHHI", b"BM", off_bits + len(pixels), 0, 0, off_bits)
    return header + info + masks + table + pixels


def rows(width, height, bits, value):
    stride = (width * bits + 31) // 32 * 4
    return b"".join(bytes(value(x, y) & 255 for x in range(stride)) for y in range(height))


def bmps():
    grey = [(i * 17, i * 17, i * 17) for i in range(16)]
    full = [(i, 255 - i, (i * 7) & 255) for i in range(256)]
    out = {
        "bits1.bmp": bmp(13, 5, 1, palette=[(0, 0, 0), (255, 255, 255)],
                         pixels=rows(13, 5, 1, lambda x, y: 0x55 << (y & 1))),
        "bits4.bmp": bmp(7, 6, 4, palette=grey, pixels=rows(7, 6, 4, lambda x, y: (x * 16 + y) & 255)),
        "bits8.bmp": bmp(9, 4, 8, palette=full, pixels=rows(9, 4, 8, lambda x, y: x * 20 + y)),
        "bits16.bmp": bmp(5, 3, 16, pixels=rows(5, 3, 16, lambda x, y: (x * 37 + y) & 255)),
        "bits16-565.bmp": bmp(5, 3, 16, compression=3, masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F),
                              pixels=rows(5, 3, 16, lambda x, y: (x * 11 + y * 3) & 255)),
        "bits24.bmp": bmp(6, 5, 24, pixels=rows(6, 5, 24, lambda x, y: (x * 13 + y * 29) & 255)),
        "bits24-topdown.bmp": bmp(4, -3, 24, pixels=rows(4, 3, 24, lambda x, y: (x + y * 50) & 255)),
        "bits32.bmp": bmp(3, 3, 32, pixels=rows(3, 3, 32, lambda x, y: (x * 3 + y * 90) & 255)),
        "bits32-masks.bmp": bmp(2, 2, 32, compression=3,
                                masks=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF),
                                pixels=rows(2, 2, 32, lambda x, y: x * 40 + y)),
        # RLE8: a run, an absolute run, a delta, end of line, end of bitmap.
        "rle8.bmp": bmp(8, 4, 8, compression=1, palette=full,
                        pixels=bytes([4, 7, 0, 3, 1, 2, 3, 0, 0, 2, 1, 1, 0, 0, 8, 9, 0, 0, 8, 200, 0, 1])),
        # RLE4: runs of alternating nibbles, an absolute run, end of bitmap.
        "rle4.bmp": bmp(8, 2, 4, compression=2, palette=grey,
                        pixels=bytes([8, 0x1F, 0, 0, 0, 4, 0x12, 0x34, 0, 0, 0, 1])),
        # Headers that the loader refuses or that Qt's reader must reject.
        "no-bits.bmp": bmp(4, 4, 24, pixels=b"", size_image=0),
        "bits-past-end.bmp": bmp(4, 4, 24, pixels=b"\0" * 8, size_image=48),
        "huge-size.bmp": bmp(0x7FFF, 0x7FFF, 32, pixels=b"\xff" * 64),
        "short.bmp": b"BM\x36\0\0\0\0\0\0\0\x36\0\0\0",
    }
    return out


def project(lines, sep=b"\r\n", bom=False):
    data = sep.join(lines)
    return (b"\xef\xbb\xbf" if bom else b"") + data


def projects():
    pictures = ["/home/léa/Images/été 2023/photo %02d.jpg" % i for i in range(3)]
    utf8 = [s.encode("utf-8") for s in ["25", "640", "480"] + pictures]
    cp1252 = [s.encode("cp1252") for s in ["12", "320", "240", "C:\\Images\\Noël – œuvre.bmp",
                                           "C:\\Images\\façade €.png"]]
    return {
        "utf8-crlf.kelbo": project(utf8),
        "utf8-bom.kelbo": project(utf8, bom=True),
        "utf8-lf.kelbo": project(utf8, sep=b"\n"),
        "cp1252-crlf.kelbo": project(cp1252),
        "cp1252-lf.kelbo": project(cp1252, sep=b"\n"),
        "settings-only.kelbo": project([b"30", b"320", b"240"]),
        "two-lines.kelbo": project([b"30", b"320"]),
        "blank-lines.kelbo": project([b"30", b"320", b"240", b"", b"a.bmp", b"", b"b.bmp", b""]),
        "odd-fields.kelbo": project([b"3,5", b"-1", b"99999999999999999999", b"x\rb.gif", b"\nc.png"]),
        "mixed-ends.kelbo": b"15\r\n160\n120\r\r\nd.jpg\r\n\xff\xfe.bmp",
        "c1-bytes.kelbo": project([b"10", b"96", b"72", bytes(range(0x80, 0xA0))]),
        "empty.kelbo": b"",
    }


def options():
    lines = [
        ["projet.kelbo", "sortie.avi"],
        ["projet.kelbo", "sortie.avi", "--codec", "MJPG", "--quality", "75"],
        ["--codec=XVID", "--keyframe=12", "--datarate", "800", "p.kelbo", "v.avi"],
        ["--quiet", "--", "-p.kelbo", "-v.avi"],
        ["--list-codecs"],
        ["--version"],
        ["-h"],
        ["--help", "extra"],
        ["p.kelbo", "-"],
        ["--quality", "101", "p.kelbo", "v.avi"],
        ["--keyframe"],
        ["--datarate=0", "a", "b"],
        ["--bogus", "a", "b"],
        ["été.kelbo", "vidéo.avi", "--codec", " mjpg "],
    ]
    return {"args%02d" % i: b"\0".join(s.encode("utf-8") for s in line) for i, line in enumerate(lines)}


def pictures():
    out = {}
    for name, data in bmps().items():
        if name in ("bits24.bmp", "bits24-topdown.bmp", "bits8.bmp", "rle8.bmp", "rle4.bmp", "bits16-565.bmp",
                    "huge-size.bmp"):
            out["bmp-" + name] = bytes([1]) + data
    out["bmp-nosuffix"] = bytes([0]) + bmps()["bits32.bmp"]
    work = tempfile.mkdtemp()
    try:
        made = [("jpg", 2, ["-q:v", "5"]), ("png", 3, []), ("gif", 4, []), ("tga", 5, []),
                ("tif", 7, [])]
        for ext, index, extra in made:
            path = os.path.join(work, "p." + ext)
            subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc=size=24x18:rate=1", "-frames:v", "1"] + extra + [path],
                           check=True)
            with open(path, "rb") as f:
                data = f.read()
            out[ext] = bytes([index]) + data
            out[ext + "-nosuffix"] = bytes([0]) + data
        # A PNG with an alpha channel, drawn over the background colour.
        path = os.path.join(work, "alpha.png")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "color=c=blue@0.5:size=16x16,format=rgba", "-frames:v", "1", path],
                       check=True)
        with open(path, "rb") as f:
            out["png-alpha"] = bytes([3]) + f.read()
        # A JPEG larger than the frame, which is decoded at a reduced scale.
        path = os.path.join(work, "big.jpg")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc=size=400x300:rate=1", "-frames:v", "1", "-q:v", "20", path],
                       check=True)
        with open(path, "rb") as f:
            out["jpg-big"] = bytes([2]) + f.read()
    finally:
        shutil.rmtree(work)
    # An icon of one 16x16 32-bit image.
    icon_bmp = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, 0, 0, 0, 0, 0) + b"\x80" * 1024 + b"\0" * 64
    out["ico"] = bytes([6]) + struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", 16, 16, 0, 0, 1, 32, len(icon_bmp), 22) + icon_bmp
    return out


def main():
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    for name, data in bmps().items():
        write("fuzz_cdib", name, data)
    # Packed DIBs for the second path: info header then bits.
    for name in ("bits16.bmp", "bits24.bmp", "bits32.bmp"):
        write("fuzz_cdib", "packed-" + name, bmps()[name][14:])
    for name, data in projects().items():
        write("fuzz_project", name, data)
    for name, data in options().items():
        write("fuzz_options", name, data)
    for name, data in pictures().items():
        write("fuzz_picture", name, data)


if __name__ == "__main__":
    main()
