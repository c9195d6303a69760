#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package the build, the program and the tests need.
# Quick when everything is present: apt is only asked when a package is missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config ccache clang lld
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # Qt 6
  qt6-base-dev qt6-multimedia-dev libxkbcommon-dev qt6-qpa-plugins
  # audio and MIDI devices
  librtaudio-dev librtmidi-dev libpulse-dev libjack-jackd2-dev libasound2-plugins
  # codecs, video, synthesis
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev libfftw3-dev
  libmp3lame-dev libmpg123-dev libflac-dev libvorbis-dev libfluidsynth-dev
  # VST3 interface headers and real plug-ins to host in tests
  juce-modules-source-data zam-plugins
  # fonts, SoundFonts
  fonts-wqy-microhei timgm6mb-soundfont fluid-soundfont-gm
  # headless services
  xvfb xauth x11-utils imagemagick pulseaudio jackd2
  # independent oracles for tests
  sox libsox-fmt-mp3 flac ffmpeg lame mpg123 fluidsynth python3 python3-numpy python3-mido
  # peers for the DSP and offline-effect benchmarks
  rubberband-cli
  aubio-tools
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: missing packages, run as root: ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks about real-time priority; answer once, non-interactively.
echo "jackd2 jackd/tweak_rt_limits boolean false" | debconf-set-selections
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
