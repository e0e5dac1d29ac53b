#!/bin/bash
# Makes the two files of this folder that are cut or derived from real ones
# (see README.md): run from this folder with the two Debian source trees
# unpacked, `apt-get source exiv2 libimage-exiftool-perl`.
#   make-raw.sh EXIV2_SOURCE_DIR EXIFTOOL_SOURCE_DIR
set -euo pipefail
exiv2=${1:?exiv2 source directory}
exiftool=${2:?ExifTool source directory}
python3 - "$exiv2/test/data/Canon-R6-pruned.CR3" "$exiftool/t/images/Olympus.jpg" <<'PY'
import struct, sys
# The Canon EOS R6 file without its 389 KB preview box (the uuid box
# eaf42b5e-1c98-4b88-b9fb-b7dc406e4d16): every box of metadata as it was.
cr3 = open(sys.argv[1], 'rb').read()
out, at = b'', 0
while at + 8 <= len(cr3):
    size, kind = struct.unpack('>I4s', cr3[at:at + 8])
    if not (kind == b'uuid' and cr3[at + 8:at + 12] == bytes.fromhex('eaf42b5e')):
        out += cr3[at:at + size]
    at += size
open('Canon-R6-pruned-nopreview.cr3', 'wb').write(out)
# The Exif of ExifTool's Olympus.jpg (an Olympus C2500L picture) under
# Olympus's raw magic "IIRO": the TIFF structure of an ORF file's IFD0 and Exif IFD.
jpeg = open(sys.argv[2], 'rb').read()
at = jpeg.index(b'Exif\0\0')
length = struct.unpack('>H', jpeg[at - 2:at])[0]
tiff = jpeg[at + 6:at - 2 + length]
assert tiff[:4] == b'II*\0'
open('olympus-exif.orf', 'wb').write(b'IIRO' + tiff[4:])
PY
