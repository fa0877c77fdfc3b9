#!/usr/bin/env bash
# Draws the program's artwork with ImageMagick and writes it to app/res/art:
#   qrtupdate.ico   application icon (resource 128): 16, 32 and 48 pixels,
#                   each at 4, 8 and 24 bits per pixel
#   banner_qrt.bmp  banner 135, "QRT Update" on a blue bar, 552 x 32, 24 bpp
#   banner_zvn.bmp  banner 138, "ZVN Update", same size
#   icon-N.png      the same icon for Linux desktops (the Debian package's
#                   hicolor theme), N = 16, 32, 48, 64, 128 and 256 pixels
# The generated files are committed; run this again only to change the art.
# Needs ImageMagick (convert) and perl (part of every Debian system).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/app/res/art}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

blue='#1c4f9c'
dark='#10305f'
light='#f2f6ff'
bolt='#ffd21f'

# Banners: the product word in light letters centred on a blue bar.
banner() {
  convert -size 552x32 gradient:"#2a64b8-$dark" \
    -font DejaVu-Sans-Bold -pointsize 21 -fill "$light" -gravity center \
    -annotate +0+0 "$1" -type TrueColor -depth 8 "BMP3:$2"
}
banner "QRT Update" "$out/banner_qrt.bmp"
banner "ZVN Update" "$out/banner_zvn.bmp"

# Icon master: a blue tile with a light frame and a yellow lightning bolt
# (a power supply), drawn large and scaled down for each size.
convert -size 256x256 gradient:"#3a78d0-$dark" \
  -fill none -stroke "$light" -strokewidth 14 -draw "roundrectangle 14,14 241,241 30,30" \
  -stroke "$dark" -strokewidth 6 -fill "$bolt" \
  -draw "polygon 150,28 62,142 118,142 96,228 194,104 136,104 170,28" \
  "$tmp/master.png"
# The same drawing in flat colours for the 16-colour entries.
convert -size 256x256 xc:'#000080' \
  -fill none -stroke white -strokewidth 18 -draw "roundrectangle 14,14 241,241 30,30" \
  -stroke black -strokewidth 6 -fill '#ffff00' \
  -draw "polygon 150,28 62,142 118,142 96,228 194,104 136,104 170,28" \
  "$tmp/master16.png"

# The 16-colour variants use the classic VGA palette, the 256-colour ones an
# adaptive palette, the 24-bit ones the full colour.
convert -size 16x1 xc:black \
  -fill '#800000' -draw 'point 1,0' -fill '#008000' -draw 'point 2,0' -fill '#808000' -draw 'point 3,0' \
  -fill '#000080' -draw 'point 4,0' -fill '#800080' -draw 'point 5,0' -fill '#008080' -draw 'point 6,0' \
  -fill '#c0c0c0' -draw 'point 7,0' -fill '#808080' -draw 'point 8,0' -fill '#ff0000' -draw 'point 9,0' \
  -fill '#00ff00' -draw 'point 10,0' -fill '#ffff00' -draw 'point 11,0' -fill '#0000ff' -draw 'point 12,0' \
  -fill '#ff00ff' -draw 'point 13,0' -fill '#00ffff' -draw 'point 14,0' -fill '#ffffff' -draw 'point 15,0' \
  "$tmp/vga.png"

parts=()
for s in 16 32 48; do
  convert "$tmp/master.png" -filter Lanczos -resize ${s}x${s} "$tmp/i$s.png"
  convert "$tmp/master16.png" -filter Box -resize ${s}x${s} -dither None -remap "$tmp/vga.png" -type Palette -colors 16 -compress None "BMP3:$tmp/i${s}_4.bmp"
  convert "$tmp/i$s.png" +dither -colors 256 -type Palette -compress None "BMP3:$tmp/i${s}_8.bmp"
  convert "$tmp/i$s.png" -type TrueColor -depth 8 "BMP3:$tmp/i${s}_24.bmp"
  parts+=("$tmp/i${s}_4.bmp" "$tmp/i${s}_8.bmp" "$tmp/i${s}_24.bmp")
done

# ImageMagick picks an icon entry's depth itself, so the .ico is assembled
# here from the BMP files: each entry is the bitmap (height doubled) followed
# by an all-opaque AND mask.
perl -e '
  use strict; use warnings;
  my $outfile = shift @ARGV;
  my (@dir, @data);
  for my $f (@ARGV) {
    open(my $fh, "<:raw", $f) or die "$f: $!";
    local $/; my $bmp = <$fh>; close $fh;
    my ($off) = unpack("V", substr($bmp, 10, 4));
    my ($hsize, $w, $h, $planes, $bpp, $comp, $isize, $xppm, $yppm, $used) =
      unpack("V l l v v V V l l V", substr($bmp, 14, 40));
    die "$f: unexpected header" unless $hsize == 40 && $comp == 0 && $h > 0;
    my ($want) = $f =~ /_(\d+)\.bmp$/;
    die "$f: $bpp bits per pixel instead of $want" unless $bpp == $want;
    my $colors = $bpp <= 8 ? ($used || (1 << $bpp)) : 0;
    my $palette = substr($bmp, 14 + 40, $colors * 4);
    if ($bpp <= 8 && $colors < (1 << $bpp)) {      # full-size palette
      $palette .= "\0" x (((1 << $bpp) - $colors) * 4); $colors = 1 << $bpp;
    }
    my $stride = int(($w * $bpp + 31) / 32) * 4;
    my $pixels = substr($bmp, $off, $stride * $h);
    die "$f: short pixel data" unless length($pixels) == $stride * $h;
    my $mask = "\0" x (int(($w + 31) / 32) * 4 * $h);
    my $hdr = pack("V l l v v V V l l V V", 40, $w, 2 * $h, 1, $bpp, 0,
                   length($pixels) + length($mask), 0, 0, $bpp <= 8 ? $colors : 0, 0);
    my $entry = $hdr . $palette . $pixels . $mask;
    push @dir, [$w, $h, $bpp <= 8 && $colors < 256 ? $colors : 0, $bpp, length($entry)];
    push @data, $entry;
  }
  my $ico = pack("v v v", 0, 1, scalar @dir);
  my $offset = 6 + 16 * @dir;
  for my $i (0 .. $#dir) {
    my ($w, $h, $c, $bpp, $len) = @{$dir[$i]};
    $ico .= pack("C C C C v v V V", $w, $h, $c, 0, 1, $bpp, $len, $offset);
    $offset += $len;
  }
  $ico .= join("", @data);
  open(my $oh, ">:raw", $outfile) or die "$outfile: $!";
  print $oh $ico; close $oh;
' "$out/qrtupdate.ico" "${parts[@]}"

# The desktop's icon: full colour with alpha, without dates, so that the
# same drawing gives the same files.
for s in 16 32 48 64 128 256; do
  convert "$tmp/master.png" -filter Lanczos -resize ${s}x${s} -strip -define png:exclude-chunks=date,time \
    "PNG32:$out/icon-$s.png"
done

# Check what was written: nine icon entries, two 24-bit banners, six PNGs.
identify "$out/qrtupdate.ico" "$out/banner_qrt.bmp" "$out/banner_zvn.bmp" "$out"/icon-*.png
