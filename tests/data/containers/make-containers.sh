#!/usr/bin/env bash
# Makes the JPEG XL and PNG files of this folder (see README.md) from the
# project's own pictures and ExifTool's Canon.jpg, with cjxl (libjxl-tools
# 0.7), ImageMagick 6 and ExifTool 12.57; python3's zlib writes the two PNG
# chunks no tool here writes. Run from anywhere; the files are checked in.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$here/..
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A picture with the standard XMP and camera Exif, as a JPEG.
cp "$data/standard.jpg" exif-xmp.jpg
exiftool -q -overwrite_original -Make=Velmora -Model=TestCam -DateTimeOriginal='2023:04:05 06:07:08' \
  -Artist='Exif Artist' exif-xmp.jpg

# cjxl moves a JPEG's Exif and XMP into Brotli-compressed boxes ("brob").
cjxl --quiet exif-xmp.jpg "$here/cjxl-brob.jxl" 2>/dev/null || cjxl exif-xmp.jpg "$here/cjxl-brob.jxl"
cjxl --quiet "$data/camera/Canon.jpg" "$here/cjxl-brob-exif.jxl" 2>/dev/null || cjxl "$data/camera/Canon.jpg" "$here/cjxl-brob-exif.jxl"
# ExifTool writes uncompressed "xml " and "Exif" boxes into a container.
convert -size 16x12 gradient:'#203040-#e0a060' -strip plain.png
# Without the container: a bare codestream, which keeps no metadata (a
# JPEG's reconstruction data would need the container).
cjxl --quiet --container=0 plain.png "$here/codestream.jxl" 2>/dev/null || cjxl --container=0 plain.png "$here/codestream.jxl"
cjxl --quiet --container=1 plain.png "$here/exiftool-boxes.jxl" 2>/dev/null || cjxl --container=1 plain.png "$here/exiftool-boxes.jxl"
exiftool -q -q -overwrite_original -XMP-dc:Title='Boxes written by ExifTool' -XMP-dc:Creator='Ana Lima' \
  -Make=Velmora -Model=BoxCam -DateTimeOriginal='2022:02:03 04:05:06' "$here/exiftool-boxes.jxl"

# ImageMagick keeps a JPEG's XMP in a PNG as "Raw profile type xmp", a hex
# dump in a zTXt chunk.
convert exif-xmp.jpg -define png:exclude-chunks=date,time "$here/imagemagick-raw-profile.png"

# XMP in a compressed iTXt chunk and in a zTXt chunk: the packet ExifTool
# writes into a PNG, moved into such a chunk by python3's zlib.
convert -size 16x12 gradient:'#203040-#e0a060' -strip -define png:exclude-chunks=date,time plain.png
exiftool -q -overwrite_original -XMP-dc:Title='Compressed XMP' -XMP-dc:Creator='Ben Okafor' \
  -XMP-dc:Subject=harbour plain.png
python3 - plain.png "$here/compressed-itxt.png" "$here/ztxt-xmp.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
chunks, at = [], 8
while at < len(data):
    length, kind = struct.unpack('>I4s', data[at:at + 8])
    chunks.append((kind, data[at + 8:at + 8 + length]))
    at += 12 + length
packet = next(body for kind, body in chunks if kind == b'iTXt').split(b'\0', 5)[5]
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
def png(extra):
    out = data[:8]
    for kind, body in chunks:
        if kind == b'iTXt':
            continue
        if kind == b'IDAT':
            out += extra
        out += chunk(kind, body)
    return out
key = b'XML:com.adobe.xmp\0'
open(sys.argv[2], 'wb').write(png(chunk(b'iTXt', key + b'\1\0\0\0' + zlib.compress(packet, 9))))
open(sys.argv[3], 'wb').write(png(chunk(b'zTXt', key + b'\0' + zlib.compress(packet, 9))))
PY
echo "written to $here"
