#!/usr/bin/env bash
# Installs what the build, the program and the tests need on Debian 12, only when missing.
# A second run on a ready machine installs nothing and prints nothing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config ccache git
    juce-modules-source
    libfreetype-dev libfontconfig1-dev libx11-dev libxrandr-dev libxinerama-dev
    libxcursor-dev libxext-dev libxcomposite-dev libasound2-dev libgl-dev
    libpng-dev libjpeg-dev zlib1g-dev
    libxdamage-dev libxtst-dev
    libgtest-dev
    clang libclang-rt-14-dev
    xvfb xfwm4 dbus-daemon xdotool x11-utils imagemagick wmctrl
    tesseract-ocr tesseract-ocr-eng tesseract-ocr-fra tesseract-ocr-rus tesseract-ocr-jpn
    locales-all fonts-liberation fonts-noto-cjk
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

# JUCE scans only .ttf/.otf/.pfb/.pcf files, so the CJK collections (.ttc) are invisible to it.
# FreeType opens a collection by content: an .otf-named link to each makes every face visible.
fontdir=/usr/local/share/fonts/noto-cjk-links
want=0
for f in /usr/share/fonts/opentype/noto/NotoSansCJK-*.ttc; do
    [ -e "$f" ] || continue
    link="$fontdir/$(basename "${f%.ttc}").otf"
    [ "$(readlink "$link" 2>/dev/null)" = "$f" ] || want=1
done
if [ "$want" = 1 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo mkdir -p "$fontdir"
    for f in /usr/share/fonts/opentype/noto/NotoSansCJK-*.ttc; do
        $sudo ln -sf "$f" "$fontdir/$(basename "${f%.ttc}").otf"
    done
    $sudo fc-cache -f "$fontdir" >/dev/null 2>&1 || true
fi
