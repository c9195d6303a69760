# SPDX-License-Identifier: GPL-3.0-or-later
# Every third-party library, found once here so modules only name imported targets.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Concurrent Multimedia Network Test)
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(RTAUDIO REQUIRED IMPORTED_TARGET rtaudio)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswresample libswscale)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
pkg_check_modules(FLAC REQUIRED IMPORTED_TARGET flac)
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)

# LAME ships no pkg-config file.
function(zentriq_import_library target library header)
  find_library(${library}_LIBRARY ${library} REQUIRED)
  find_path(${library}_INCLUDE_DIR ${header} REQUIRED)
  add_library(${target} UNKNOWN IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${${library}_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${${library}_INCLUDE_DIR})
endfunction()
zentriq_import_library(Zentriq::mp3lame mp3lame lame/lame.h)

# VST3 interface headers as shipped inside Debian's JUCE sources.
set(ZENTRIQ_VST3_SDK_DIR /usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK
    CACHE PATH "Folder holding pluginterfaces/ of the VST3 SDK")
