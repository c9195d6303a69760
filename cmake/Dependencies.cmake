# SPDX-License-Identifier: GPL-3.0-or-later
# Every third-party library, found once here so modules only name imported targets.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Concurrent Multimedia Network Test)
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(RTAUDIO REQUIRED IMPORTED_TARGET rtaudio)
pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswresample libswscale)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
pkg_check_modules(FLAC REQUIRED IMPORTED_TARGET flac)
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)

# LAME and stb ship no pkg-config file.
find_library(MP3LAME_LIBRARY mp3lame REQUIRED)
find_path(MP3LAME_INCLUDE_DIR lame/lame.h REQUIRED)
add_library(Zentriq::mp3lame UNKNOWN IMPORTED)
set_target_properties(Zentriq::mp3lame PROPERTIES
  IMPORTED_LOCATION ${MP3LAME_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${MP3LAME_INCLUDE_DIR})

find_library(STB_LIBRARY stb REQUIRED)
find_path(STB_INCLUDE_DIR stb/stb_vorbis.h REQUIRED)
add_library(Zentriq::stb UNKNOWN IMPORTED)
set_target_properties(Zentriq::stb PROPERTIES
  IMPORTED_LOCATION ${STB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${STB_INCLUDE_DIR})

# VST3 interface headers as shipped inside Debian's JUCE sources.
set(ZENTRIQ_VST3_SDK_DIR /usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK
    CACHE PATH "Folder holding pluginterfaces/ of the VST3 SDK")
