#!/usr/bin/env bash
# Draws every picture the program ships with, from scratch, into this folder.
# Needs ImageMagick 6 (`convert`) and python3 (standard library only).
# Shapes are drawn at 4x and scaled down so edges come out smooth.
# Every picture the program shows on screen is drawn twice: at its own size and, for screens
# scaled above 100 %, again from the shapes at twice the size ("name@2x.ext", Qt's naming).
set -euo pipefail
cd "$(dirname "$0")"
here=$PWD

T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
# One thread keeps the resampling order, and so the output bytes, the same on every run.
export MAGICK_THREAD_LIMIT=1

PNG_OPTS=(-strip -define "png:exclude-chunks=date,time")
JPG_OPTS=(-strip -interlace none -sampling-factor 2x2 -quality 92 -type TrueColor)

# ---------------------------------------------------------------------------
# The shapes, the pixel-art pointer and ICO packing are make_artwork.py's.
art() { python3 "$here/make_artwork.py" "$@"; }

# mask OUT W H MVG-SOURCE PART [K]: white shape on black, drawn from the helper's MVG at K
# pixels per output pixel of the 1x picture (4 unless given).
mask() { convert -size "$2x$3" xc:black -draw "$(art "$4" "$5" "${6:-4}")" "$1"; }
# tint MASK COLOUR OPACITY OUT: colour the mask's white area, faded to OPACITY.
tint() { convert "$1" -evaluate multiply "$3" -background "$2" -alpha shape "$4"; }
# fillwith IMAGE MASK OUT: keep IMAGE only where MASK is white.
fillwith() { convert "$1" \( "$2" -alpha off \) -compose copy_opacity -composite "$3"; }

# ---------------------------------------------------------------------------
# Each draw_ function takes the scale, 1 or 2, as its argument; at 2 every length doubles,
# lines and offsets included, and the output is named NAME@2x.EXT.
at() { if [ "$1" = 1 ]; then echo "$2.$3"; else echo "$2@${1}x.$3"; fi; }

# 1. Main window background, 416 x 185.
draw_background() {
    local s=$1 d="$T/bg$1"
    local W=$((1664 * s)) H=$((740 * s))
    mkdir -p "$d"
    mask "$d/lines.png" $W $H background lines $((4 * s))
    mask "$d/notes.png" $W $H background notes $((4 * s))
    tint "$d/lines.png" '#1d6e69' 0.40 "$d/l_lines.png"
    tint "$d/notes.png" '#165a56' 0.55 "$d/l_notes.png"
    # A light copy one pixel down-right makes the ink look pressed into the paper.
    convert "$d/notes.png" -evaluate multiply 0.45 -background white -alpha shape \
        -page +$((4 * s))+$((4 * s)) -background none -flatten "$d/l_emboss.png"
    convert -size $((2400 * s))x$((1100 * s)) \
        radial-gradient:'rgba(255,255,255,0.6)'-'rgba(255,255,255,0)' \
        -gravity north -crop ${W}x${H}+0+$((330 * s)) +repage "$d/l_glow.png"
    convert -size ${W}x${H} gradient:'#b4ebe5'-'#3fb3ac' "$d/l_glow.png" "$d/l_emboss.png" \
        "$d/l_lines.png" "$d/l_notes.png" -background none -flatten \
        -resize $((416 * s))x$((185 * s))\! "${JPG_OPTS[@]}" "$(at "$s" background jpg)"
}

# ---------------------------------------------------------------------------
# 2-3. Button faces, 87 x 29 GIFs with rounded ends. The program writes the
# caption over the middle, so the middle stays a light-to-mid blue.
BW=348 BH=116 # 4x, set for the scale by draw_buttons
# Colour of the window background behind the buttons; soft edges are blended
# into it before GIF's on/off transparency cuts them.
MATTE='#8dd0cb'

pill() { # OUT X0 Y0 X1 Y1
    local r=$((($5 - $3) / 2))
    convert -size ${BW}x${BH} xc:black -fill white -draw "roundrectangle $2,$3 $4,$5 $r,$r" "$1"
}
# grad3 OUT TOP MIDDLE BOTTOM: vertical gradient through three colours.
grad3() {
    convert -size ${BW}x$((BH / 2)) gradient:"$2"-"$3" \
        -size ${BW}x$((BH - BH / 2)) gradient:"$3"-"$4" -append +repage "$1"
}
# glow OUT MASK FROM TO COLOUR: vertical fade of COLOUR inside MASK.
glow() {
    convert -size ${BW}x${BH} gradient:"$3"-"$4" "$2" -compose multiply -composite \
        -background "$5" -alpha shape "$1"
}
# to_gif LAYERS... OUT: flatten, scale down, and cut the corners out as one
# transparent colour.
to_gif() {
    local out=${!#} d="$T/btn"
    convert -size ${BW}x${BH} xc:none "${@:1:$#-1}" -background none -flatten \
        -resize $((BW / 4))x$((BH / 4))\! "$d/face.png"
    convert \( "$d/face.png" -background "$MATTE" -flatten \) \
        \( "$d/face.png" -alpha extract -threshold 50% \) \
        -alpha off -compose copy_opacity -composite -dither None -colors 255 "$out"
}

draw_buttons() {
    local s=$1 d="$T/btn"
    BW=$((348 * s)) BH=$((116 * s))
    mkdir -p "$d"
    pill "$d/outer.png" 0 0 $((BW - 1)) $((BH - 1))
    convert -size ${BW}x${BH} xc:'#2a5f9e' "$d/outer.png" -alpha off \
        -compose copy_opacity -composite "$d/border.png"

    # Normal: light from above, a gloss on the upper half, a soft bounce light below.
    pill "$d/inner.png" $((4 * s)) $((4 * s)) $((BW - 5 * s)) $((BH - 5 * s))
    grad3 "$d/body_g.png" '#c8e7ff' '#7db9f0' '#3f84cf'
    fillwith "$d/body_g.png" "$d/inner.png" "$d/body.png"
    pill "$d/hl.png" $((14 * s)) $((7 * s)) $((BW - 15 * s)) $((BH / 2 + 4 * s))
    glow "$d/gloss.png" "$d/hl.png" gray88 gray18 white
    pill "$d/lo.png" $((24 * s)) $((BH / 2 + 12 * s)) $((BW - 25 * s)) $((BH - 7 * s))
    glow "$d/bounce.png" "$d/lo.png" gray0 gray45 '#bfeaff'
    to_gif "$d/border.png" "$d/body.png" "$d/bounce.png" "$d/gloss.png" "$(at "$s" 按钮 gif)"

    # Pressed: darker, lit from below, a shadow along the top edge, and the
    # inside moved down-right by a pixel as if pushed in.
    pill "$d/inner_d.png" $((4 * s)) $((4 * s)) $((BW - 5 * s)) $((BH - 5 * s))
    grad3 "$d/body_dg.png" '#3c78bb' '#689fdc' '#9ccaf5'
    fillwith "$d/body_dg.png" "$d/inner_d.png" "$d/body_d.png"
    convert -size ${BW}x$((30 * s)) gradient:gray60-gray0 -background black -extent ${BW}x${BH} \
        "$d/inner_d.png" -compose multiply -composite \
        -background '#0d2b55' -alpha shape "$d/shadow_top.png"
    pill "$d/lo_d.png" $((20 * s)) $((BH / 2 + 14 * s)) $((BW - 21 * s)) $((BH - 6 * s))
    glow "$d/bounce_d.png" "$d/lo_d.png" gray0 gray60 '#e2f3ff'
    convert -size ${BW}x${BH} xc:'#0d2b55' \( "$d/body_d.png" "$d/shadow_top.png" \
        "$d/bounce_d.png" -background none -flatten \) -geometry +$((4 * s))+$((4 * s)) -composite \
        \( "$d/inner.png" -alpha off \) -compose copy_opacity -composite "$d/inside_d.png"
    to_gif "$d/border.png" "$d/inside_d.png" "$(at "$s" 按钮D gif)"
}

# ---------------------------------------------------------------------------
# 4. Mouse pointer, 32 x 32 pixel art.
draw_hand() {
    if [ "$1" = 1 ]; then
        art hand hand.png
    else
        # Pixel art does not double well: the larger pointer is drawn from the hand as shapes.
        convert -size 256x256 xc:none -draw "$(art hand-shapes)" -resize 64x64 \
            "${PNG_OPTS[@]}" "PNG32:$(at 2 hand png)"
    fi
}

# raw RGBA bytes of IMAGE scaled to SIZE, for the ICO packer.
rgba() { # IMAGE SIZE OUT
    local sharpen=()
    # Small sizes go soft when scaled down; a little sharpening keeps shapes readable.
    if [ "$2" -le 32 ]; then sharpen=(-unsharp 0x0.6+0.8+0); fi
    convert "$1" -resize "$2x$2" "${sharpen[@]}" -depth 8 "rgba:$3"
}

# ---------------------------------------------------------------------------
# 5. Program icon: a beamed note on a turquoise disc, with scissors.
draw_icon() {
    local S=1024 d="$T/icon"
    mkdir -p "$d"
    for p in disc discface grooves note blades handles handleholes pivot; do
        mask "$d/$p.png" $S $S icon $p
    done
    # White rims keep the note and the scissors apart from the disc at small sizes.
    convert "$d/note.png" -morphology Dilate Disk:14 -background white -alpha shape "$d/l_note_rim.png"
    convert "$d/blades.png" "$d/handles.png" -evaluate-sequence max \
        -morphology Dilate Disk:14 "$d/scissors_rim.png"
    convert "$d/disc.png" "$d/scissors_rim.png" -evaluate-sequence max -blur 0x20 \
        -evaluate multiply 0.35 -background black -alpha shape \
        -background none -extent ${S}x${S}-10-16 "$d/l_shadow.png"
    tint "$d/disc.png" '#11706d' 1 "$d/l_rim.png"
    convert -size 1400x1400 radial-gradient:'#b9f3ec'-'#1c9a95' -crop ${S}x${S}+320+330 +repage \
        "$d/disc_g.png"
    fillwith "$d/disc_g.png" "$d/discface.png" "$d/l_disc.png"
    convert "$d/grooves.png" "$d/discface.png" -compose multiply -composite \
        -evaluate multiply 0.18 -background white -alpha shape "$d/l_grooves.png"
    convert -size ${S}x${S} gradient:'#2d74d6'-'#123c8a' "$d/note_g.png"
    fillwith "$d/note_g.png" "$d/note.png" "$d/l_note.png"
    tint "$d/scissors_rim.png" white 1 "$d/l_scissors_rim.png"
    convert -size ${S}x${S} gradient:'#fbfdff'-'#8a9bb0' "$d/steel_g.png"
    fillwith "$d/steel_g.png" "$d/blades.png" "$d/l_blades.png"
    convert "$d/blades.png" -morphology EdgeIn Disk:4 -background '#34455a' -alpha shape \
        "$d/l_blade_edge.png"
    convert "$d/handles.png" "$d/handleholes.png" -compose minus_src -composite "$d/grips.png"
    convert -size ${S}x${S} gradient:'#3f8ef0'-'#143f94' "$d/grip_g.png"
    fillwith "$d/grip_g.png" "$d/grips.png" "$d/l_grips.png"
    tint "$d/pivot.png" '#34455a' 1 "$d/l_pivot.png"
    convert -size ${S}x${S} xc:none "$d/l_shadow.png" "$d/l_rim.png" "$d/l_disc.png" \
        "$d/l_grooves.png" "$d/l_note_rim.png" "$d/l_note.png" "$d/l_scissors_rim.png" \
        "$d/l_blades.png" "$d/l_blade_edge.png" "$d/l_grips.png" "$d/l_pivot.png" \
        -background none -flatten -resize 256x256 "$d/master.png"

    mkdir -p icons
    local s
    for s in 16 24 32 48 64 72 96 128 256; do
        rgba "$d/master.png" $s "$d/$s.rgba"
        convert -size ${s}x$s -depth 8 "rgba:$d/$s.rgba" "${PNG_OPTS[@]}" "PNG32:icons/velquist-$s.png"
    done
    # Best images first, for readers that just take the first entry.
    art ico velquist.ico \
        96:32:"$d/96.rgba" 72:32:"$d/72.rgba" 64:32:"$d/64.rgba" 48:32:"$d/48.rgba" \
        32:32:"$d/32.rgba" 24:32:"$d/24.rgba" 16:32:"$d/16.rgba" \
        48:8:"$d/48.rgba" 32:8:"$d/32.rgba" 16:8:"$d/16.rgba" \
        48:4:"$d/48.rgba" 32:4:"$d/32.rgba" 16:4:"$d/16.rgba"
}

# ---------------------------------------------------------------------------
# 6. About dialog background, 506 x 322 (the top-left 382 x 237 shows).
draw_about_background() {
    local s=$1 d="$T/about$1"
    local W=$((2024 * s)) H=$((1288 * s))
    mkdir -p "$d"
    mask "$d/lines.png" $W $H about lines $((4 * s))
    mask "$d/notes.png" $W $H about notes $((4 * s))
    mask "$d/clef.png" $W $H about clef $((4 * s))
    tint "$d/lines.png" '#2a8f89' 0.22 "$d/l_lines.png"
    tint "$d/notes.png" '#1f7a75' 0.20 "$d/l_notes.png"
    tint "$d/clef.png" '#2a8f89' 0.10 "$d/l_clef.png"
    local x=$((382 * s)) y=$((237 * s))
    convert -size $((506 * s))x$((322 * s)) xc: -sparse-color Bilinear \
        "0,0 #ffffff $x,0 #eefaf8 0,$y #e4f6f3 $x,$y #c8ebe6" -resize ${W}x${H}\! \
        "$d/l_paper.png"
    convert "$d/l_paper.png" "$d/l_clef.png" "$d/l_lines.png" "$d/l_notes.png" \
        -background none -flatten -resize $((506 * s))x$((322 * s))\! "${JPG_OPTS[@]}" \
        "$(at "$s" about-background jpg)"
}

# ---------------------------------------------------------------------------
# 7. About dialog OK button face, 506 x 180; only the middle 100 x 23 shows,
# under a black caption, so it is calm and light there.
draw_about_ok() {
    local s=$1 d="$T/ok$1"
    local W=$((506 * s)) H=$((180 * s))
    mkdir -p "$d"
    # Across: a soft light blue, brightest in the middle.
    convert -size $((253 * s))x$H xc: \
        -sparse-color Barycentric "0,0 #cfe4f8 $((253 * s - 1)),0 #eef6fe" "$d/half.png"
    convert "$d/half.png" \( "$d/half.png" -flop \) +append +repage "$d/base.png"
    # Down: the button sits in rows 79..101; a gloss on its upper half and a
    # slightly deeper lower half, fading out away from the middle.
    convert -size ${W}x$((11 * s)) gradient:'rgba(255,255,255,0.75)'-'rgba(255,255,255,0.30)' \
        -background none -gravity north -extent ${W}x$H+0-$((79 * s)) "$d/gloss.png"
    convert -size ${W}x$((12 * s)) gradient:'rgba(120,170,225,0.06)'-'rgba(120,170,225,0.24)' \
        -background none -gravity north -extent ${W}x$H+0-$((90 * s)) "$d/lower.png"
    convert "$d/base.png" "$d/gloss.png" "$d/lower.png" -background none -flatten \
        "${JPG_OPTS[@]}" "$(at "$s" about-ok jpg)"
}

# ---------------------------------------------------------------------------
# 8. About box icon: one 32 x 32 image in 16 colours.
draw_about_icon() {
    local S=1024 d="$T/aicon"
    mkdir -p "$d"
    for p in body waves note; do mask "$d/$p.png" $S $S speaker $p; done
    convert -size ${S}x${S} gradient:'#5d7da8'-'#1c2f52' "$d/body_g.png"
    fillwith "$d/body_g.png" "$d/body.png" "$d/l_body.png"
    tint "$d/waves.png" '#18a39c' 1 "$d/l_waves.png"
    convert -size ${S}x${S} gradient:'#2d74d6'-'#123c8a' "$d/note_g.png"
    fillwith "$d/note_g.png" "$d/note.png" "$d/l_note.png"
    convert -size ${S}x${S} xc:none "$d/l_body.png" "$d/l_waves.png" "$d/l_note.png" \
        -background none -flatten -resize 256x256 "$d/master.png"
    rgba "$d/master.png" 32 "$d/32.rgba"
    art ico about-icon.ico 32:4:"$d/32.rgba"
    # Twice the size, from the same large master, in the same 16 colours.
    rgba "$d/master.png" 64 "$d/64.rgba"
    art ico "$(at 2 about-icon ico)" 64:4:"$d/64.rgba"
}

# Every picture at its own size, then every twin.
for scale in 1 2; do
    draw_background $scale
    draw_buttons $scale
    draw_hand $scale
    draw_about_background $scale
    draw_about_ok $scale
done
draw_icon
draw_about_icon
