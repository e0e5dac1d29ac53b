# Finds ImageMagick's convert; sourced, not run. A machine can carry an
# unrelated program called "convert" on its path, so only a program whose
# "-version" names ImageMagick counts. Defines convert() to call the one found,
# after installing Debian's imagemagick when there is none.
find_imagemagick() {
  local candidate
  for candidate in convert /usr/bin/convert convert-im6.q16 /usr/bin/convert-im6.q16 magick; do
    if command -v "$candidate" >/dev/null 2>&1 && "$candidate" -version 2>/dev/null | head -1 | grep -q 'ImageMagick'; then
      command -v "$candidate"
      return 0
    fi
  done
  return 1
}

IMAGEMAGICK_CONVERT=$(find_imagemagick) || {
  echo "imagemagick: no ImageMagick convert found; installing imagemagick" >&2
  if [ "$(id -u)" = 0 ]; then apt-get install -y imagemagick; else sudo apt-get install -y imagemagick; fi
  IMAGEMAGICK_CONVERT=$(find_imagemagick) || { echo "imagemagick: ImageMagick's convert is still missing" >&2; exit 1; }
}
convert() { "$IMAGEMAGICK_CONVERT" "$@"; }
