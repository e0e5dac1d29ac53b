#!/bin/sh
# Writes the pictures of this folder with ExifTool 12.57 over ../no-xmp.jpg
# (this project's own 291-byte JPEG), in the structures the photo programs
# named in README.md write. Run from this folder.
set -e
src=../no-xmp.jpg

# Lightroom Classic / digiKam: MWG face regions beside IPTC Extension people,
# places and an event, as Lightroom's face tagging and IPTC panels write them.
exiftool -q -o lightroom-faces.jpg \
  '-XMP-dc:Title=Harbour festival' '-XMP-dc:Subject=harbour' '-XMP-dc:Subject=festival' \
  '-XMP-dc:Creator=Ana Lima' '-XMP-dc:Rights=© Ana Lima' \
  '-XMP-lr:HierarchicalSubject=Places|Porto' \
  '-XMP-iptcExt:PersonInImage=Ben Okafor' \
  '-XMP-iptcCore:Location=Ribeira' \
  '-XMP-iptcExt:LocationShown={City=Porto,CountryName=Portugal,Sublocation=Cais da Ribeira,LocationId=https://sws.geonames.org/2735943/}' \
  '-XMP-iptcExt:LocationCreated={City=Vila Nova de Gaia,ProvinceState=Porto District}' \
  '-XMP-iptcExt:Event=Festa de São João' \
  '-XMP-iptcExt:OrganisationInImageName=Clube Naval' \
  '-XMP-mwg-rs:RegionInfo={AppliedToDimensions={W=16,H=16,Unit=pixel},RegionList=[{Area={X=0.3,Y=0.4,W=0.1,H=0.15,Unit=normalized},Name=Ben Okafor,Type=Face},{Area={X=0.6,Y=0.4,W=0.1,H=0.15,Unit=normalized},Name=Chloé Martin,Type=Face,Description=on the quay}]}' \
  '-XMP-xmpMM:DocumentID=xmp.did:4F2A17C0B9E611EEA1B2C3D4E5F60718' \
  '-XMP-aux:Lens=Ovo 35mm F1.8' \
  "$src"

# Windows Photo Gallery / Windows Live Photo Gallery: people tags as
# MP:RegionInfo regions, and the keyword copy in MicrosoftPhoto.
exiftool -q -o photo-gallery-people.jpg \
  '-XMP-dc:Subject=family' '-XMP-dc:Subject=birthday' \
  '-XMP-microsoft:LastKeywordXMP=family' '-XMP-microsoft:LastKeywordXMP=Grandma' \
  '-XMP-MP:RegionInfoMP={Regions=[{PersonDisplayName=Dana Cruz,Rectangle=0.1|, 0.2|, 0.3|, 0.4,PersonEmailDigest=A1B2C3D4E5F60718293A4B5C6D7E8F90A1B2C3D4},{PersonDisplayName=Eli Novak,Rectangle=0.5|, 0.2|, 0.3|, 0.4},{PersonDisplayName=Dana Cruz,Rectangle=0.8|, 0.2|, 0.1|, 0.4}]}' \
  '-XMP-iptcExt:PersonInImage=Eli Novak' \
  '-XMP-dc:Description=快乐的生日' \
  "$src"
