#!/usr/bin/env bash
# Makes the files of this folder (see README.md): native metadata as
# ExifTool 12.57 and ImageMagick 6 write it, around pictures ImageMagick
# draws. The SVG and the GIMP-style packet are written here as text, the way
# those programs write them. Run from anywhere; the files are checked in.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
et() { exiftool -q -q -overwrite_original "$@"; }

# Windows' own tags, as Explorer writes them (UTF-16LE in IFD0), in Hebrew
# and Chinese, in a JPEG without XMP or IPTC.
convert -size 16x12 gradient:'#203040-#e0a060' -strip "$here/xp-tags.jpg"
et -XPTitle='כותרת בעברית' -XPSubject='主题' -XPComment='评论 ok' -XPAuthor='דנה לוי;Li Wei' \
  -XPKeywords='שלום;中文;harbour' "$here/xp-tags.jpg"

# The same tags beside XMP that already says some of it: the XMP's title
# stays, the keywords join.
cp "$here/xp-tags.jpg" "$here/xp-tags-xmp.jpg"
et -XMP-dc:Title='XMP title' -XMP-dc:Subject=harbour -XMP-dc:Subject=boats "$here/xp-tags-xmp.jpg"

# A UTF-8 IPTC copyright without the character-set record (1:90), and the
# XMP's own dc:rights; the IPTC digest says the IPTC changed after the XMP.
convert -size 16x12 gradient:'#405060-#a0e060' -strip "$here/utf8-iptc.jpg"
et -charset iptc=UTF8 -IPTC:CopyrightNotice='© Corbis' -IPTC:By-line='Zoë Brontë' -XMP-dc:Rights='© Corbis' \
  -Photoshop:IPTCDigest=00112233445566778899aabbccddeeff "$here/utf8-iptc.jpg"

# A camera's blank Exif ImageDescription beside an IPTC caption, a COM
# comment.
convert -size 16x12 gradient:'#605040-#60a0e0' -strip "$here/blank-description.jpg"
et -EXIF:ImageDescription='          ' -IPTC:Caption-Abstract='Caption from IPTC' -Comment='A JPEG comment' \
  "$here/blank-description.jpg"

# PNG text chunks (tEXt, and iTXt for text beyond Latin-1) and Exif in an
# eXIf chunk.
convert -size 16x12 gradient:'#203040-#e0a060' -strip -define png:exclude-chunks=date,time "$here/png-text.png"
et -PNG:Title='PNG title' -PNG:Author='Ana Lima' -PNG:Description='Описание' -PNG:Copyright='© Ana Lima' \
  -PNG:Comment='A PNG comment' -PNG:Software='Velmora make-native' -PNG:CreationTime='2021:03:04 05:06:07' \
  -EXIF:Make=Velmora -EXIF:Model=PngCam -EXIF:DateTimeOriginal='2021:03:04 05:06:07' -EXIF:XPKeywords='中文' \
  "$here/png-text.png"

# GIMP writes XMP dates with ":" between year, month and day.
cat > gimp.xmp <<'XMP'
<?xpacket begin="﻿" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/" x:xmptk="XMP Core 4.4.0-Exiv2">
 <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
  <rdf:Description rdf:about="" xmlns:xmp="http://ns.adobe.com/xap/1.0/" xmlns:dc="http://purl.org/dc/elements/1.1/"
    xmp:CreatorTool="GIMP 2.10" xmp:CreateDate="2022:08:24T22:07:07+02:00" xmp:ModifyDate="2022:08:24T22:07:07+02:00">
   <dc:title><rdf:Alt><rdf:li xml:lang="x-default">GIMP export</rdf:li></rdf:Alt></dc:title>
  </rdf:Description>
 </rdf:RDF>
</x:xmpmeta>
<?xpacket end="w"?>
XMP
convert -size 16x12 gradient:'#203040-#e0a060' -strip -define png:exclude-chunks=date,time "$here/gimp-date.png"
et '-xmp<=gimp.xmp' "$here/gimp-date.png"

# An SVG whose <desc> is blank and whose XMP describes it.
cat > "$here/empty-desc.svg" <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="16" height="12">
 <title>SVG title</title>
 <desc> </desc>
 <metadata>
  <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns:dc="http://purl.org/dc/elements/1.1/">
   <rdf:Description rdf:about="">
    <dc:title><rdf:Alt><rdf:li xml:lang="x-default">XMP title</rdf:li></rdf:Alt></dc:title>
    <dc:description><rdf:Alt><rdf:li xml:lang="x-default">XMP description</rdf:li></rdf:Alt></dc:description>
   </rdf:Description>
  </rdf:RDF>
 </metadata>
 <rect width="16" height="12" fill="#204060"/>
</svg>
SVG

# A GIF comment extension.
convert -size 16x12 gradient:'#203040-#e0a060' -strip plain.gif
convert plain.gif -set comment 'A GIF comment' "$here/gif-comment.gif"
