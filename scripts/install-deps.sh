#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package the build, the program and the tests need, and the
# de_DE.UTF-8 locale of the decimal-comma tests. Quick when everything is present: apt
# and locale-gen only run for what is missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config ccache clang lld
  # libFuzzer and the sanitizer runtimes for clang (the fuzz targets' seed replay)
  libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # Qt 6
  qt6-base-dev qt6-multimedia-dev libxkbcommon-dev qt6-qpa-plugins
  # Qt's own texts (file dialogs, standard buttons) in Simplified Chinese
  qt6-translations-l10n
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
  xvfb xauth x11-utils xdotool imagemagick pulseaudio jackd2 locales
  # independent oracles for tests
  sox libsox-fmt-mp3 flac ffmpeg lame mpg123 fluidsynth python3 python3-numpy python3-mido
  # the update tests' self-signed certificate
  openssl
  # peers for the DSP and offline-effect benchmarks
  rubberband-cli
  aubio-tools
  # oggdec, the Vorbis peer of the audio file benchmarks
  vorbis-tools
)

need_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: run as root to install $1" >&2
    exit 1
  fi
}

# One dpkg-query for the whole list: one call per package takes seconds on a busy machine.
declare -A installed=()
while read -r name state; do
  [[ $state == "install ok installed" ]] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  [[ -n ${installed[$p]:-} ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  need_root "${missing[*]}"
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # jackd2 asks about real-time priority; answer once, non-interactively.
  echo "jackd2 jackd/tweak_rt_limits boolean false" | debconf-set-selections
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The decimal-comma tests switch the C library to German number formatting.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  need_root "the de_DE.UTF-8 locale"
  echo "install-deps: generating de_DE.UTF-8"
  grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'de_DE.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
