#!/bin/bash
# Regenerates the test images and hand-made packet files in tests/data.
# Run from anywhere: tests/data/make-test-data.sh
# It installs ImageMagick and ExifTool when they are missing (Debian/Ubuntu).
# Every file is small (a few KB) and is rebuilt from scratch each run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

need=()
command -v convert >/dev/null 2>&1 || need+=(imagemagick)
command -v exiftool >/dev/null 2>&1 || need+=(libimage-exiftool-perl)
if [ ${#need[@]} -gt 0 ]; then
  apt-get install -y "${need[@]}"
fi

# A tiny picture, the same bytes every run (no dates or comments).
picture() {
  convert -size 16x12 gradient:'#203040-#e0a060' -strip "$@"
}

# The standard metadata set, written by ExifTool after removing everything
# else (EXIF, IPTC, comments and any XMP the encoder added):
#   dc:title          Alt  x-default "Harbour at dawn", de "Hafen im Morgengrauen"
#   dc:creator        Seq  "Ana Lima", "Ben Okafor"
#   dc:subject        Bag  "harbour", "boats", "dawn"
#   xmp:CreateDate    2024-05-04T06:20:30+02:00
#   photoshop:Urgency 5
# No other Dublin Core, Photoshop or XMP basic property is present.
standard_xmp() {
  exiftool -q -overwrite_original -all= \
    -XMP-dc:Title-x-default='Harbour at dawn' -XMP-dc:Title-de='Hafen im Morgengrauen' \
    -XMP-dc:Creator='Ana Lima' -XMP-dc:Creator='Ben Okafor' \
    -XMP-dc:Subject=harbour -XMP-dc:Subject=boats -XMP-dc:Subject=dawn \
    -XMP-xmp:CreateDate='2024:05:04 06:20:30+02:00' \
    -XMP-photoshop:Urgency=5 "$1"
}

# standard.jpg: the standard set in a JPEG APP1 XMP segment.
picture -quality 80 standard.jpg
standard_xmp standard.jpg

# no-xmp.jpg: a JPEG with no metadata at all.
picture -quality 80 no-xmp.jpg
exiftool -q -overwrite_original -all= no-xmp.jpg

echo "test data written to $here"
