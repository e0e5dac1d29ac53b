#!/bin/bash
# Regenerates the HEIF and AVIF files of this folder (see README.md): JPEGs
# drawn by ImageMagick, their metadata written by ExifTool, and each HEIF
# file encoded by libheif's heif-enc, which stores every input picture as an
# image item of its own and carries over its Exif and XMP as that image's
# `Exif` and `mime` items. Run from anywhere; make-test-data.sh runs it too.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/imagemagick.sh"
need=()
command -v exiftool >/dev/null 2>&1 || need+=(libimage-exiftool-perl)
command -v heif-enc >/dev/null 2>&1 || need+=(libheif-examples)
if [ ${#need[@]} -gt 0 ]; then
  apt-get install -y "${need[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# main.jpg: the document's own picture; second.jpg: a second picture with
# values of its own (as a gain map or a thumbnail carries); plain.jpg and
# exif-only.jpg: no XMP.
convert -size 64x48 gradient:red-blue -strip main.jpg
exiftool -q -overwrite_original -XMP-dc:Title="Primary title" -XMP-dc:Creator="Primary Author" \
  -XMP-dc:Subject=primary -EXIF:DateTimeOriginal="2023:06:07 08:09:10" -EXIF:Make=PrimaryMake \
  -EXIF:Model=PrimaryModel main.jpg
convert -size 32x24 gradient:gray10-gray90 -strip second.jpg
exiftool -q -overwrite_original -XMP-dc:Title="Second image title" -XMP-dc:Creator="Second Author" \
  -XMP-dc:Subject=second -EXIF:DateTimeOriginal="1999:01:02 03:04:05" second.jpg
convert -size 64x48 gradient:black-white -strip plain.jpg
convert -size 64x48 gradient:green-yellow -strip exif-only.jpg
exiftool -q -overwrite_original -EXIF:DateTimeOriginal="2021:03:04 05:06:07" -EXIF:Make=ExifOnlyMake \
  -EXIF:Model=ExifOnlyModel -EXIF:Artist="Exif Artist" -EXIF:Copyright="Exif Copyright" exif-only.jpg
# ImageMagick stores an XMP profile as it is given: here without the
# <?xpacket wrapper.
cat > bare.xmp <<'XMP'
<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title><rdf:Alt><rdf:li xml:lang="x-default">Unwrapped title</rdf:li></rdf:Alt></dc:title><dc:creator><rdf:Seq><rdf:li>Unwrapped Author</rdf:li></rdf:Seq></dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>
XMP
convert -size 64x48 gradient:blue-white -strip -profile XMP:bare.xmp unwrapped.jpg

heif-enc -q 50 -o "$here/two-images.heic" main.jpg second.jpg
heif-enc -q 50 -A -o "$here/two-images.avif" main.jpg second.jpg
heif-enc -q 50 -o "$here/second-only.heic" plain.jpg second.jpg
heif-enc -q 50 -o "$here/exif-only.heic" exif-only.jpg
heif-enc -q 50 -o "$here/unwrapped.heic" unwrapped.jpg
echo "HEIF test data written to $here"
