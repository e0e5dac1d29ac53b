#!/usr/bin/env bash
# The benchmark, in one command: scripts/benchmark.sh
# - like scripts/build.sh, installs what is missing (here with ImageMagick and
#   ExifTool), builds the cached dependencies and makes the Wine prefix;
# - makes the corpus if it is missing, outside the clone, in
#   $VELMORA_CACHE/bench-corpus (ImageMagick and ExifTool; installs Debian's
#   imagemagick and libimage-exiftool-perl when they are missing): small
#   JPEGs (50 KB to 5 MB), large TIFF and PSD files (50 to 500 MB), a 1 GB
#   TIFF, and SVG, PNG, GIF and EPS files, each with XMP of realistic size;
#   and 50 camera JPEGs with Exif and IPTC-IIM and no XMP;
# - builds velmora-bench for x86 and x64 (in $BENCH_BUILD-x86/-x64, default
#   build/bench-*);
# - on each target times the host path through IPersistFile and through an
#   unnamed IPersistStream against the floor (read, packet search, parse)
#   and against the plain read of the same bytes, and the peak working set of
#   single documents, one process each;
# - on each target, what the filter reads of each file kind (the bytes it
#   asks a stream for), as a share of the files' bytes;
# - times ExifTool in batch mode (-@, one process) reading the XMP groups
#   Velmora maps and the Exif and IPTC-IIM it imports, on the same corpus and
#   on its small JPEGs alone, and prints the ratios;
# - on each target drains documents with a huge value (10, 50 and, on x64,
#   100 MB) and with 250 000 and a million array items, with several GetText buffer
#   sizes (documents made once in the corpus's drain/ folder).
# Results are printed and kept in $VELMORA_CACHE/bench-results.txt.
# - on each target, the cost per document and per phase (velmora-bench
#   --phases) over the open-read-close floor (open, read 64 KB, close), with
#   the Windows Search property pack installed in the prefix's registry as
#   the package installs it, and without; the first document of a fresh
#   process (--first); and, on x64, whole processes against ExifTool over
#   1,000 photo-desk JPEGs (the corpus's small JPEGs, repeated).
# Set BENCH_SKIP_BUILD=1 to use binaries already built in $BENCH_BUILD-*.
# Set BENCH_SMALL=1 for the quick run on a shared machine: the corpus of the
# small JPEGs alone ($VELMORA_CACHE/bench-corpus-small), the per-phase, first
# document and whole-process measures, nothing else (a few minutes).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
cd "$VELMORA_ROOT"

SMALL=${BENCH_SMALL:-}
if [ -n "$SMALL" ]; then
  CORPUS=${BENCH_CORPUS:-$VELMORA_CACHE/bench-corpus-small}
else
  CORPUS=${BENCH_CORPUS:-$VELMORA_CACHE/bench-corpus}
fi
BENCH_BUILD=${BENCH_BUILD:-$VELMORA_ROOT/build/bench}
RESULTS=$VELMORA_CACHE/bench-results.txt

# What scripts/build.sh installs and makes, with ImageMagick and ExifTool for
# the corpus; then ImageMagick by its own name, not by any program called
# convert.
velmora_prepare imagemagick libimage-exiftool-perl
source "$VELMORA_ROOT/scripts/imagemagick.sh"

# ExifTool arguments for the XMP of document $1: the Dublin Core, Photoshop
# and XMP basic properties a picture desk fills in.
xmp_args() {
  local i=$1
  cat <<EOF
-XMP-dc:Title-x-default=Harbour study number $i
-XMP-dc:Title-de=Hafenstudie Nummer $i
-XMP-dc:Description=Fishing boats leave the harbour at first light on day $i of the series; the quay is still wet from the night rain and the gulls follow the boats out past the lighthouse towards the open sea.
-XMP-dc:Creator=Ana Lima
-XMP-dc:Creator=Ben Okafor
-XMP-dc:Rights=(c) 2024 Corvantis picture desk, all rights reserved
-XMP-dc:Publisher=Corvantis
-XMP-dc:Type=Image
-XMP-dc:Format=image/jpeg
EOF
  for s in harbour boats dawn sea lighthouse gulls quay rain fishing morning coast port water sky \
           clouds reflection nets crew travel europe atlantic series "batch $((i % 7))" "shoot $((i % 13))"; do
    echo "-XMP-dc:Subject=$s"
  done
  cat <<EOF
-XMP-photoshop:City=Porto
-XMP-photoshop:State=Norte
-XMP-photoshop:Country=Portugal
-XMP-photoshop:Credit=Corvantis / Ana Lima
-XMP-photoshop:Source=Staff
-XMP-photoshop:Headline=Boats leave Porto at dawn
-XMP-photoshop:Instructions=Do not crop the lighthouse
-XMP-photoshop:AuthorsPosition=Staff photographer
-XMP-photoshop:CaptionWriter=Ben Okafor
-XMP-photoshop:Urgency=$((i % 8 + 1))
-XMP-photoshop:DateCreated=2024:05:04 06:20:30+02:00
-XMP-xmp:CreateDate=2024:05:04 06:20:30+02:00
-XMP-xmp:ModifyDate=2024:05:05 10:00:00+02:00
-XMP-xmp:MetadataDate=2024:05:05 10:00:00+02:00
-XMP-xmp:CreatorTool=Corvantis Picture Desk 4.2
-XMP-xmp:Rating=$((i % 5 + 1))
-XMP-xmp:Label=Selected
EOF
}

# Base pictures of noise in DIR (base-0.jpg to base-4.jpg), so that the JPEGs
# made from them come out between 50 KB and 5 MB.
noise_jpegs() {
  local sizes=(220x160 400x300 800x600 1600x1200 2900x2100)
  for k in "${!sizes[@]}"; do
    convert -size "${sizes[$k]}" xc:gray +noise Random -type TrueColor -quality 92 "$1/base-$k.jpg"
  done
}

make_corpus() {
  local tmp=$CORPUS.partial
  rm -rf "$tmp"
  mkdir -p "$tmp"/{jpeg,large,other,policy}
  echo "benchmark: making the corpus in $CORPUS"
  # Debian's ImageMagick policy refuses pictures of this size; raise its
  # limits for these commands only.
  cat >"$tmp/policy/policy.xml" <<'XML'
<policymap>
  <policy domain="resource" name="memory" value="8GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="disk" value="16GiB"/>
  <policy domain="resource" name="area" value="2GP"/>
  <policy domain="resource" name="width" value="64KP"/>
  <policy domain="resource" name="height" value="64KP"/>
</policymap>
XML
  export MAGICK_CONFIGURE_PATH=$tmp/policy
  noise_jpegs "$tmp"
  local args=$tmp/write.args
  : >"$args"
  for i in $(seq 1 100); do
    cp "$tmp/base-$((i % 5)).jpg" "$tmp/jpeg/photo-$i.jpg"
    { xmp_args "$i"; echo "-overwrite_original"; echo "$tmp/jpeg/photo-$i.jpg"; echo "-execute"; } >>"$args"
  done
  if [ -n "$SMALL" ]; then
    exiftool -q -q -@ "$args" >/dev/null
    rm -rf "$tmp"/base* "$args" "$tmp/policy" "$tmp/large" "$tmp/other"
    mv "$tmp" "$CORPUS"
    return
  fi
  # PNG, GIF and EPS, ten of each.
  convert -size 640x480 xc:gray +noise Random -type TrueColor "$tmp/base.png"
  convert -size 320x240 xc:gray +noise Random -colors 64 "$tmp/base.gif"
  convert -size 320x240 xc:gray +noise Random eps2:"$tmp/base.eps"
  for ext in png gif eps; do
    for i in $(seq 1 10); do
      cp "$tmp/base.$ext" "$tmp/other/picture-$i.$ext"
      { xmp_args "$i"; echo "-overwrite_original"; echo "$tmp/other/picture-$i.$ext"; echo "-execute"; } >>"$args"
    done
  done
  # Large TIFF and PSD files, and the 1 GB TIFF.
  local big="-type TrueColor -depth 8 -compress none"
  convert -size 4200x4200 xc:gray +noise Random $big "$tmp/large/scan-50mb.tif"
  convert -size 8200x8200 gradient:'#203040-#e0a060' $big "$tmp/large/scan-200mb.tif"
  convert -size 13000x13000 gradient:'#304050-#f0b070' $big "$tmp/large/scan-500mb.tif"
  convert -size 4500x4500 xc:gray +noise Random $big "$tmp/large/layout-60mb.psd"
  convert -size 10000x10000 gradient:'#102030-#c09050' $big "$tmp/large/layout-300mb.psd"
  convert -size 18600x18600 gradient:'#405060-#a0c0e0' $big "$tmp/large/poster-1gb.tif"
  for f in "$tmp"/large/*; do
    { xmp_args 7; echo "-overwrite_original"; echo "$f"; echo "-execute"; } >>"$args"
  done
  exiftool -q -q -@ "$args" >/dev/null
  # SVG: ExifTool does not write SVG; the metadata is a bare rdf:RDF element.
  for i in $(seq 1 10); do
    cat >"$tmp/other/drawing-$i.svg" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="200" height="100" viewBox="0 0 200 100">
 <metadata>
  <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
   <rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/"
     xmlns:xmp="http://ns.adobe.com/xap/1.0/" xmlns:photoshop="http://ns.adobe.com/photoshop/1.0/"
     xmp:CreateDate="2024-05-04T06:20:30+02:00" xmp:CreatorTool="Corvantis Draw 2.1"
     photoshop:City="Porto" photoshop:Urgency="$((i % 8 + 1))">
    <dc:title><rdf:Alt><rdf:li xml:lang="x-default">Harbour map number $i</rdf:li></rdf:Alt></dc:title>
    <dc:creator><rdf:Seq><rdf:li>Ana Lima</rdf:li><rdf:li>Ben Okafor</rdf:li></rdf:Seq></dc:creator>
    <dc:subject><rdf:Bag><rdf:li>harbour</rdf:li><rdf:li>map</rdf:li><rdf:li>boats</rdf:li><rdf:li>series</rdf:li></rdf:Bag></dc:subject>
   </rdf:Description>
  </rdf:RDF>
 </metadata>
 <rect x="10" y="10" width="180" height="80" fill="#3070a0"/>
</svg>
EOF
  done
  rm -rf "$tmp"/base* "$args" "$tmp/policy"
  mv "$tmp" "$CORPUS"
}

[ -d "$CORPUS" ] || make_corpus

# Camera pictures as most photos are: Exif and IPTC-IIM, no XMP at all (50 of
# them, 50 KB to 5 MB), added to a corpus made before they were part of it.
make_camera_set() {
  local tmp=$CORPUS/camera.tmp
  rm -rf "$tmp" && mkdir -p "$tmp"
  noise_jpegs "$tmp"
  local args=$tmp/write.args
  : >"$args"
  for i in $(seq 1 50); do
    cp "$tmp/base-$((i % 5)).jpg" "$tmp/camera-$i.jpg"
    cat >>"$args" <<ARGS
-Make=Ovo
-Model=X$((i % 4 + 1))
-DateTimeOriginal=2024:05:04 06:20:$((i % 60))
-CreateDate=2024:05:04 06:20:$((i % 60))
-Artist=Ana Lima
-Copyright=(c) 2024 Corvantis picture desk
-ISO=$((100 * (i % 8 + 1)))
-FNumber=2.8
-ExposureTime=1/250
-IPTC:By-line=Ana Lima
-IPTC:Caption-Abstract=Fishing boats leave the harbour at first light, picture $i
-IPTC:Keywords=harbour
-IPTC:Keywords=boats
-IPTC:Keywords=dawn
-IPTC:City=Porto
-IPTC:Country-PrimaryLocationName=Portugal
-overwrite_original
$tmp/camera-$i.jpg
-execute
ARGS
  done
  exiftool -q -q -@ "$args" >/dev/null
  rm -f "$tmp"/base-* "$args"
  mv "$tmp" "$CORPUS/camera"
}
[ -d "$CORPUS/camera" ] || make_camera_set

if [ -z "${BENCH_SKIP_BUILD:-}" ]; then
  velmora_build x86_64 "$BENCH_BUILD-x64" velmora-bench
  velmora_build i686 "$BENCH_BUILD-x86" velmora-bench
fi

winpath() { echo "Z:${1//\//\\}"; }
list=$CORPUS/documents.txt
find "$CORPUS" -type f \( -name '*.jpg' -o -name '*.tif' -o -name '*.psd' -o -name '*.png' -o -name '*.gif' \
  -o -name '*.eps' -o -name '*.svg' \) | sort >"$CORPUS/documents.unix"
while read -r f; do winpath "$f"; done <"$CORPUS/documents.unix" >"$list"
count=$(wc -l <"$CORPUS/documents.unix")
megabytes=$(du -cm $(cat "$CORPUS/documents.unix") | tail -1 | cut -f1)

# What ExifTool reads, as Velmora does: the XMP groups Velmora maps, and the
# Exif and IPTC-IIM that the format handlers import.
exiftool_groups() {
  printf '%s\n' -XMP-dc:all -XMP-photoshop:all -XMP-xmp:all -EXIF:all -IPTC:all
}

# ExifTool in batch mode on the small JPEGs alone (with the camera pictures),
# beside the host path's rate for them.
exiftool_jpegs() {
  local args=$CORPUS/exiftool-jpeg.args n start end
  { exiftool_groups; grep -E '/(jpeg|camera)/' "$CORPUS/documents.unix"; } >"$args"
  n=$(grep -c -E '/(jpeg|camera)/' "$CORPUS/documents.unix")
  start=$(date +%s.%N)
  exiftool -q -q -@ "$args" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" -v n="$n" 'BEGIN { printf "exiftool batch, small JPEGs: %d documents in %.2f s, %.1f documents/s\n", n, e - s, n / (e - s) }'
}

# The Windows Search property pack in the prefix's registry, as the package
# installs it (the x64 and x86 views), or not.
pack_key_x64='HKLM\SOFTWARE\Corvantis\Velmora\CustomSchemas'
pack_key_x86='HKLM\SOFTWARE\WOW6432Node\Corvantis\Velmora\CustomSchemas'
set_pack() {
  local view reg
  for view in x64 x86; do
    key=pack_key_$view
    wine reg delete "${!key}" /f /reg:64 </dev/null >/dev/null 2>&1 || true
    [ "$1" = on ] || continue
    reg=$(mktemp --suffix=.reg)
    PACKDIR=$(winpath "$VELMORA_ROOT/pack/") python3 -c 'import os, sys; sys.stdout.write(sys.stdin.read().replace("[PACKDIR]", os.environ["PACKDIR"].replace("\\", "\\\\")))' \
      <"$VELMORA_ROOT/pack/windows-search-$view.reg" >"$reg"
    wine reg import "$(winpath "$reg")" /reg:64 </dev/null >"$reg.log" 2>&1 || cat "$reg.log" >&2
    rm -f "$reg.log"
    rm -f "$reg"
  done
}

# Per document and phase with the pack and without, the first document of a
# process (median of five), and whole processes against ExifTool.
phases_and_first() {
  local arch exe pack jpegs=$CORPUS/jpegs.txt whole=$CORPUS/jpegs-1000.unix n start end
  grep -E '/(jpeg|camera)/' "$CORPUS/documents.unix" | while read -r f; do winpath "$f"; done >"$jpegs"
  for pack in on off; do
    set_pack "$pack"
    for arch in x64 x86; do
      exe=$BENCH_BUILD-$arch/bin/velmora-bench.exe
      [ -f "$exe" ] || continue
      echo "property pack $pack:"
      wine "$exe" --phases "$(winpath "$jpegs")" --repeat 3 | tr -d '\r'
      # The first document with the DLL as the packages ship it (without
      # its debugging information), beside a copy of the tool.
      shipped=$BENCH_BUILD-$arch/shipped
      mkdir -p "$shipped"
      cp "$exe" "$shipped/"
      "$( [ "$arch" = x64 ] && echo x86_64 || echo i686 )-w64-mingw32-strip" --strip-debug \
        -o "$shipped/Velmora.dll" "$BENCH_BUILD-$arch/bin/Velmora.dll"
      for i in 1 2 3 4 5; do
        wine "$shipped/velmora-bench.exe" --first "$(winpath "$(grep -m1 /jpeg/ "$CORPUS/documents.unix")")" | tr -d '\r' |
          paste -s -d'|'
      done | sort -k4 -n | sed -n 3p | tr '|' '\n' | sed "s/^/median of 5: /"
    done
  done
  set_pack on
  # 1,000 photo-desk JPEGs: the small JPEGs over and over.
  : >"$whole"
  while [ "$(wc -l <"$whole")" -lt 1000 ]; do grep -E '/(jpeg|camera)/' "$CORPUS/documents.unix" >>"$whole"; done
  head -1000 "$whole" >"$whole.tmp" && mv "$whole.tmp" "$whole"
  while read -r f; do winpath "$f"; done <"$whole" >"$CORPUS/jpegs-1000.txt"
  : >"$CORPUS/empty.txt"
  for round in 1 2 3; do
    start=$(date +%s.%N)
    wine "$BENCH_BUILD-x64/bin/velmora-bench.exe" --batch "$(winpath "$CORPUS/empty.txt")" >/dev/null
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "whole process, x64, no document (Wine start, DLL load): %.2f s\n", e - s }'
    start=$(date +%s.%N)
    wine "$BENCH_BUILD-x64/bin/velmora-bench.exe" --batch "$(winpath "$CORPUS/jpegs-1000.txt")" >/dev/null
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "whole process, x64, 1000 JPEGs with the pack: %.2f s, %.1f documents/s\n", e - s, 1000 / (e - s) }'
    start=$(date +%s.%N)
    { exiftool_groups; cat "$whole"; } | exiftool -q -q -@ - >/dev/null
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "whole process, ExifTool batch, 1000 JPEGs: %.2f s, %.1f documents/s\n", e - s, 1000 / (e - s) }'
  done
}

if [ -n "$SMALL" ]; then
  {
    echo "Velmora benchmark (small), $(date -u '+%Y-%m-%d %H:%M UTC'), $(git -C "$VELMORA_ROOT" rev-parse --short HEAD)"
    echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), \
$(free -g | awk '/Mem:/ {print $2}') GB RAM; $(wine --version 2>/dev/null); $(uname -sr)"
    echo "corpus: $count documents, $megabytes MB, in $CORPUS"
    phases_and_first
  } | tee "$RESULTS"
  awk '/^whole process, x64, 1000/ { v = $(NF-1) } /^whole process, ExifTool/ { printf "whole process: Velmora %.1f documents/s = %.2f x ExifTool\n", v, v / $(NF-1) }' \
    "$RESULTS" | tee -a "$RESULTS"
  exit 0
fi

{
  echo "Velmora benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(git -C "$VELMORA_ROOT" rev-parse --short HEAD)"
  echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), \
$(free -g | awk '/Mem:/ {print $2}') GB RAM; $(wine --version 2>/dev/null); $(uname -sr)"
  echo "corpus: $count documents, $megabytes MB, in $CORPUS"
  for arch in x86 x64; do
    exe=$BENCH_BUILD-$arch/bin/velmora-bench.exe
    wine "$exe" --list "$(winpath "$list")" --repeat 3 | tr -d '\r'
    # Peak working set: one process per document, the large ones and a few small ones.
    for f in $(grep -E '/large/' "$CORPUS/documents.unix") $(grep -E '/jpeg/photo-(1|2|3|4|5)\.jpg$' "$CORPUS/documents.unix"); do
      printf '%s: ' "$(basename "$f")"
      wine "$exe" --one "$(winpath "$f")" | tr -d '\r' || echo "failed to load"
    done
  done
  # ExifTool, batch mode, what Velmora reads, one process for the corpus.
  args=$CORPUS/exiftool.args
  { exiftool_groups; cat "$CORPUS/documents.unix"; } >"$args"
  start=$(date +%s.%N)
  exiftool -q -q -@ "$args" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" -v n="$count" 'BEGIN { printf "exiftool batch: %d documents in %.2f s, %.1f documents/s\n", n, e - s, n / (e - s) }'
  exiftool_jpegs
  for arch in x86 x64; do
    wine "$BENCH_BUILD-$arch/bin/velmora-bench.exe" --drain "$(winpath "$CORPUS/drain")" | tr -d '\r'
  done
} | tee "$RESULTS"

# Ratios against ExifTool from the lines above.
awk '/^exiftool batch:/ { ex = $(NF-1) }
     /host path \/ floor/ { arch[++n] = $2; rate[n] = $(NF-3) }
     END { for (i = 1; i <= n; i++) printf "%s host path: %.1f documents/s = %.1f x ExifTool\n", arch[i], rate[i], rate[i] / ex }' \
  "$RESULTS" | tee -a "$RESULTS"
# The same for the small JPEGs: the "jpg" line of each target.
awk '/exiftool batch, small JPEGs/ { ex = $(NF-1) }
     /^velmora-bench x(86|64):.*documents,/ { a = $2; sub(":", "", a) }
     /^jpg .*docs .*floor/ { for (i = 1; i <= NF; i++) if ($i == "file") { jpg[a] = $(i+1) } }
     END { for (a in jpg) printf "%s small JPEGs: host path %.1f documents/s = %.1f x ExifTool\n", a, jpg[a], jpg[a] / ex }' \
  "$RESULTS" | tee -a "$RESULTS"
