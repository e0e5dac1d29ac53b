#!/bin/bash
# Regenerates the test images and hand-made packet files in tests/data.
# Run from anywhere: tests/data/make-test-data.sh
# It installs ImageMagick and ExifTool when they are missing (Debian/Ubuntu).
# Every file is small (a few KB) and is rebuilt from scratch each run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

# ImageMagick by its own name, not by any program called convert.
source "$here/../../scripts/imagemagick.sh"
need=()
command -v exiftool >/dev/null 2>&1 || need+=(libimage-exiftool-perl)
command -v cjxl >/dev/null 2>&1 || need+=(libjxl-tools)
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
standard_tags=(
    -XMP-dc:Title-x-default='Harbour at dawn' -XMP-dc:Title-de='Hafen im Morgengrauen' \
    -XMP-dc:Creator='Ana Lima' -XMP-dc:Creator='Ben Okafor' \
    -XMP-dc:Subject=harbour -XMP-dc:Subject=boats -XMP-dc:Subject=dawn \
    -XMP-xmp:CreateDate='2024:05:04 06:20:30+02:00' \
    -XMP-photoshop:Urgency=5)
standard_xmp() {
  exiftool -q -q -overwrite_original -all= "${standard_tags[@]}" "$1"
}

# standard.jpg: the standard set in a JPEG APP1 XMP segment.
picture -quality 80 standard.jpg
standard_xmp standard.jpg

# no-xmp.jpg: a JPEG with no metadata at all.
picture -quality 80 no-xmp.jpg
exiftool -q -overwrite_original -all= no-xmp.jpg

# The standard set in the other image formats the filter is registered for.
# standard.tif: XMP in TIFF tag 700; standard.png: an iTXt "XML:com.adobe.xmp"
# chunk; standard.gif: the "XMP DataXMP" application extension;
# standard.psd: Photoshop image resource 0x0424; standard.eps: a PostScript
# %begin_xml_code block.
picture -compress none standard.tif
picture -define png:exclude-chunks=date,time standard.png
picture standard.gif
picture standard.psd
picture eps2:standard.eps
# ImageMagick stamps the EPS with the time of writing; pin it.
perl -pi -e 's/^%%CreationDate: .*/%%CreationDate: (2024-05-04T06:20:30+02:00)/' standard.eps
for f in standard.tif standard.png standard.gif standard.psd standard.eps; do
  exiftool -q -overwrite_original -xmp:all= "$f"
  standard_xmp "$f"
done

# ---------------------------------------------------------------------------
# The standard set in the newer containers and camera raw types.
# standard.webp: a RIFF "XMP " chunk; standard.heic, .heif and .avif: an
# "application/rdf+xml" mime item of the HEIF box structure; standard.jxl: an
# uncompressed "xml " box of the JPEG XL container (cjxl from libjxl).
picture standard.webp
picture standard.heic
picture heic:standard.heif  # the same HEIF container under its other extension
picture standard.avif
picture standard-source.png
cjxl --quiet --container=1 standard-source.png standard.jxl 2>/dev/null || cjxl --container=1 standard-source.png standard.jxl
rm -f standard-source.png
for f in standard.webp standard.heic standard.heif standard.avif; do
  standard_xmp "$f"
done
# cjxl writes no metadata, and ExifTool does not recreate the XMP box in the
# pass that removes everything, so the JPEG XL file is only added to.
exiftool -q -q -overwrite_original "${standard_tags[@]}" standard.jxl

# standard.dng: an uncompressed TIFF that ExifTool turns into a DNG (the
# DNGVersion tag) before writing the standard set.
picture -compress none standard.dng.tif
exiftool -q -overwrite_original -DNGVersion=1.4.0.0 standard.dng.tif
mv standard.dng.tif standard.dng
standard_xmp standard.dng

# TIFF-structured raw types: ExifTool writes the standard set into an
# uncompressed TIFF saved under each raw extension, the way it writes real
# raw files of those cameras (XMP in TIFF tag 700 of IFD0).
for ext in cr2 nef nrw arw orf rw2 pef srw; do
  picture -compress none "standard.$ext.tif"
  mv "standard.$ext.tif" "standard.$ext"
  standard_xmp "standard.$ext"
done

# standard.raf: FujiFilm's raw layout is a header that points at an embedded
# JPEG preview and at the sensor data; ExifTool writes the XMP into the JPEG.
# Header: magic, format version, camera id, camera name, directory version,
# then at 0x54 the JPEG's offset and length, the CFA header's offset and
# length and the CFA data's offset and length (big-endian); 16 bytes of zero
# stand in for the sensor data.
picture -quality 80 standard-preview.jpg
perl -e '
  open my $in, "<:raw", $ARGV[0] or die; local $/; my $jpeg = <$in>;
  my $pad = "\0" x (4 - length($jpeg) % 4);
  my $cfa = "\0" x 16;
  my $jpegAt = 0x94;
  my $cfaAt = $jpegAt + length($jpeg) + length($pad);
  my $header = "FUJIFILMCCD-RAW 0201FF383501" . pack("a32", "Velmora test") . "0100" . ("\0" x 20)
             . pack("N6", $jpegAt, length($jpeg), $cfaAt, length($cfa), $cfaAt + length($cfa), 0);
  $header .= "\0" x ($jpegAt - length($header));
  binmode STDOUT; print $header, $jpeg, $pad, $cfa;' standard-preview.jpg > standard.raf
rm -f standard-preview.jpg
standard_xmp standard.raf

# standard.xmp: the sidecar ExifTool writes for standard.jpg (a packet with
# its wrapper, nothing else). standard-bare.xmp: the same x:xmpmeta element
# without the <?xpacket ...?> lines around it.
rm -f standard.xmp
exiftool -q -tagsfromfile standard.jpg -xmp:all -o standard.xmp
grep -v '^<?xpacket' standard.xmp > standard-bare.xmp

# windows-search.jpg: the properties the Windows Search property pack maps,
# written by ExifTool over the standard set:
#   dc:rights                          Alt x-default "(c) 2024 Ana Lima"
#   photoshop:DateCreated              2024-05-04T06:20:30+02:00
#   photoshop:Category                 "TRV"
#   photoshop:SupplementalCategories   Bag "harbour", "boats"
#   exif:DateTimeOriginal              2024-05-04T06:20:31+02:00
#   exif:ImageUniqueID                 "4f1e9c2a7b3d4e5f8a9b0c1d2e3f4a5b"
#   xmp:CreatorTool                    "Velmora test rig 1.0"
#   xmp:Rating                         4 (an integer property, not in the pack)
#   tiff:Make "Ovo", tiff:Model "X1", tiff:Artist "Ana Lima"
#   lr:hierarchicalSubject             Bag "Places|Harbour", "People|Ben Okafor"
#   Iptc4xmpExt:PersonInImage          Bag "Ben Okafor"
#   MicrosoftPhoto:CameraSerialNumber  "A-17"
#   MicrosoftPhoto:DateAcquired        2024-05-06T08:00:00Z
cp standard.jpg windows-search.jpg
exiftool -q -overwrite_original \
  -XMP-dc:Rights='(c) 2024 Ana Lima' \
  -XMP-photoshop:DateCreated='2024:05:04 06:20:30+02:00' \
  -XMP-photoshop:Category=TRV \
  -XMP-photoshop:SupplementalCategories=harbour -XMP-photoshop:SupplementalCategories=boats \
  -XMP-exif:DateTimeOriginal='2024:05:04 06:20:31+02:00' \
  -XMP-exif:ImageUniqueID=4f1e9c2a7b3d4e5f8a9b0c1d2e3f4a5b \
  -XMP-xmp:CreatorTool='Velmora test rig 1.0' -XMP-xmp:Rating=4 \
  -XMP-tiff:Make=Ovo -XMP-tiff:Model=X1 -XMP-tiff:Artist='Ana Lima' \
  -XMP-lr:HierarchicalSubject='Places|Harbour' -XMP-lr:HierarchicalSubject='People|Ben Okafor' \
  -XMP-iptcExt:PersonInImage='Ben Okafor' \
  -XMP-microsoft:CameraSerialNumber=A-17 -XMP-microsoft:DateAcquired='2024:05:06 08:00:00Z' \
  windows-search.jpg

# ---------------------------------------------------------------------------
# Hand-made files. Binary filler is a fixed byte pattern, the same each run.
filler() {  # filler COUNT SEED
  perl -e 'my ($n, $s) = @ARGV; print map { chr(($_ * 37 + $s) % 256) } 0 .. $n - 1' "$1" "$2"
}

# One XMP packet around the given rdf:Description elements. Extra attributes
# for the packet header (such as a bytes attribute) come second.
packet() {
  printf "<?xpacket begin='\xef\xbb\xbf' id='W5M0MpCehiHzreSzNTczkc9d'%s?>\n" "${2:-}"
  printf "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
  printf "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
  printf '%s\n' "$1"
  printf "</rdf:RDF>\n</x:xmpmeta>\n"
  printf '%64s\n' ''
  printf "<?xpacket end='w'?>"
}

title() {  # a Dublin Core description holding only dc:title (x-default)
  printf "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
  printf "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>%s</rdf:li></rdf:Alt></dc:title>\n" "$1"
  printf "</rdf:Description>"
}

# two-packets.bin: filler, packet "First packet", filler, packet "Second
# packet", filler (five snips). The last valid packet is the one used.
{ filler 300 1; packet "$(title 'First packet')"; filler 200 2
  packet "$(title 'Second packet')"; filler 100 3; } > two-packets.bin

# last-packet-bad.bin: a valid packet "Earlier valid packet", then a packet
# that the scanner rejects as bad (its bytes attribute is not a number).
{ filler 300 4; packet "$(title 'Earlier valid packet')"; filler 200 5
  packet "$(title 'Bad last packet')" " bytes='12x'"; filler 100 6; } > last-packet-bad.bin

# last-packet-truncated.bin: a valid packet "Earlier valid packet", then the
# first half of another packet running into the end of the file.
{ filler 300 7; packet "$(title 'Earlier valid packet')"; filler 200 8
  packet "$(title 'Truncated last packet')" | head -c 180; } > last-packet-truncated.bin

# truncated-packet.bin: filler and the first half of a packet, nothing else
# (a raw snip and a partial packet; no valid packet).
{ filler 300 9; packet "$(title 'Truncated packet')" | head -c 180; } > truncated-packet.bin

# bad-packet.bin: filler, one bad packet, filler (no valid packet).
{ filler 300 10; packet "$(title 'Bad packet')" " bytes='12x'"; filler 100 11; } > bad-packet.bin

# invalid-xml-packet.bin: a packet whose wrapper is valid but whose content
# is not well-formed XML, between filler: chosen, then fails to parse.
{ filler 300 12; packet "<rdf:Description rdf:about=''><unclosed>"; filler 100 13; } > invalid-xml-packet.bin

# utf16-packet.bin: filler and a UTF-16LE packet with dc:title "UTF-16 packet".
{ filler 300 14; packet "$(title 'UTF-16 packet')" | iconv -f UTF-8 -t UTF-16LE; filler 100 15; } > utf16-packet.bin

# binary-no-packet.bin: filler only (one raw snip; the parser rejects it).
filler 2048 16 > binary-no-packet.bin

# whole-packet.xmp: exactly one packet, nothing before or after it.
packet "$(title 'Whole file packet')" > whole-packet.xmp

# empty.bin: zero bytes.
: > empty.bin

# logo.svg: an SVG picture whose metadata is a bare rdf:RDF element without a
# packet wrapper: dc:title "Velmora logo", dc:creator ["Ana Lima"].
cat > logo.svg <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <metadata>
    <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"
             xmlns:dc="http://purl.org/dc/elements/1.1/">
      <rdf:Description rdf:about="">
        <dc:title><rdf:Alt><rdf:li xml:lang="x-default">Velmora logo</rdf:li></rdf:Alt></dc:title>
        <dc:creator><rdf:Seq><rdf:li>Ana Lima</rdf:li></rdf:Seq></dc:creator>
      </rdf:Description>
    </rdf:RDF>
  </metadata>
  <circle cx="32" cy="32" r="28" fill="#203040"/>
  <path d="M18 20 L32 46 L46 20" stroke="#e0a060" stroke-width="6" fill="none"/>
</svg>
SVG

# values.bin: one packet between filler, holding a value of every shape under
# the test namespace "http://ns.corvantis.com/velmora/test/1.0/" (prefix vt):
#   vt:Simple      "plain value"          vt:Unicode   "Grüße aus Köln"
#   vt:Bag         Bag  alpha beta gamma  vt:Seq       Seq  first second
#   vt:Struct      struct {vt:Field "inner"}
#   vt:StructItems Bag of one struct item {vt:Field "inner"} and "plain item"
#   vt:AltText     Alt  x-default "Hello", de "Hallo", fr "Bonjour"
#   vt:AltPair     Alt  x-default "Hello", de "Hallo" (the toolkit as built
#                  here keeps both texts)
#   vt:AltReordered Alt de "Hallo", x-default "Hello", fr "Bonjour" (the
#                  toolkit moves x-default to the front while parsing)
#   vt:EmptyValue  ""
#   vt:IntPlain "3"   vt:IntSpaced " 7x"   vt:IntLetter "x7"   vt:IntNegative "-42"
#   vt:IntTooBig "99999999999"   vt:IntArray Seq "1" "x" "3"
#   vt:DateZone "2006-05-04T10:20:30+02:00"   vt:DateNoZone "2006-05-04"
#   vt:DateTimeOnly "T10:20:30"   vt:DateAncient "1200-01-01T00:00:00Z"
#   vt:DateWord "yesterday"   vt:DateFraction "2006-05-04T10:20:30.75Z"
#   vt:DateArray Seq "2006-05-04T10:20:30Z" "2007-06-05T11:21:31Z"
values_rdf() {
  cat <<'RDF'
<rdf:Description rdf:about='' xmlns:vt='http://ns.corvantis.com/velmora/test/1.0/'>
<vt:Simple>plain value</vt:Simple>
<vt:Unicode>Grüße aus Köln</vt:Unicode>
<vt:Bag><rdf:Bag><rdf:li>alpha</rdf:li><rdf:li>beta</rdf:li><rdf:li>gamma</rdf:li></rdf:Bag></vt:Bag>
<vt:Seq><rdf:Seq><rdf:li>first</rdf:li><rdf:li>second</rdf:li></rdf:Seq></vt:Seq>
<vt:Struct rdf:parseType='Resource'><vt:Field>inner</vt:Field></vt:Struct>
<vt:StructItems><rdf:Bag><rdf:li rdf:parseType='Resource'><vt:Field>inner</vt:Field></rdf:li><rdf:li>plain item</rdf:li></rdf:Bag></vt:StructItems>
<vt:AltText><rdf:Alt><rdf:li xml:lang='x-default'>Hello</rdf:li><rdf:li xml:lang='de'>Hallo</rdf:li><rdf:li xml:lang='fr'>Bonjour</rdf:li></rdf:Alt></vt:AltText>
<vt:AltPair><rdf:Alt><rdf:li xml:lang='x-default'>Hello</rdf:li><rdf:li xml:lang='de'>Hallo</rdf:li></rdf:Alt></vt:AltPair>
<vt:AltReordered><rdf:Alt><rdf:li xml:lang='de'>Hallo</rdf:li><rdf:li xml:lang='x-default'>Hello</rdf:li><rdf:li xml:lang='fr'>Bonjour</rdf:li></rdf:Alt></vt:AltReordered>
<vt:EmptyValue></vt:EmptyValue>
<vt:IntPlain>3</vt:IntPlain>
<vt:IntSpaced> 7x</vt:IntSpaced>
<vt:IntLetter>x7</vt:IntLetter>
<vt:IntNegative>-42</vt:IntNegative>
<vt:IntTooBig>99999999999</vt:IntTooBig>
<vt:IntArray><rdf:Seq><rdf:li>1</rdf:li><rdf:li>x</rdf:li><rdf:li>3</rdf:li></rdf:Seq></vt:IntArray>
<vt:DateZone>2006-05-04T10:20:30+02:00</vt:DateZone>
<vt:DateNoZone>2006-05-04</vt:DateNoZone>
<vt:DateTimeOnly>T10:20:30</vt:DateTimeOnly>
<vt:DateAncient>1200-01-01T00:00:00Z</vt:DateAncient>
<vt:DateWord>yesterday</vt:DateWord>
<vt:DateFraction>2006-05-04T10:20:30.75Z</vt:DateFraction>
<vt:DateArray><rdf:Seq><rdf:li>2006-05-04T10:20:30Z</rdf:li><rdf:li>2007-06-05T11:21:31Z</rdf:li></rdf:Seq></vt:DateArray>
</rdf:Description>
RDF
}
{ filler 256 17; packet "$(values_rdf)"; filler 256 18; } > values.bin

# The HEIF files with metadata in image items.
bash "$here/heif/make-heif-data.sh"

# Demonstration copies for samples/.
samples=$here/../../samples
mkdir -p "$samples"
cp standard.jpg "$samples/harbour.jpg"
cp standard.tif "$samples/harbour.tif"
cp standard.png "$samples/harbour.png"
cp standard.gif "$samples/harbour.gif"
cp standard.psd "$samples/harbour.psd"
cp standard.eps "$samples/harbour.eps"
cp logo.svg "$samples/logo.svg"
for ext in dng cr2 nef nrw arw orf rw2 raf pef srw webp heic heif avif jxl xmp; do
  cp "standard.$ext" "$samples/harbour.$ext"
done
cp windows-search.jpg "$samples/windows-search.jpg"

echo "test data written to $here"
