#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the seeds of the media, SoundFont, live MIDI, plug-in, embedded audio and update
# manifest targets in fuzz/corpus/<target>: small files made by ffmpeg and by the Python
# below, a few hundred bytes to a few tens of kilobytes each. The plug-in states come from
# the zam-plugins themselves, through the built plug-in state target (fuzz/run.sh plugin-state 0
# builds it). The committed seeds were made by this script; run it again to remake them.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${ZENTRIQ_FUZZ_BUILD_DIR:-$here/../../build-fuzz}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ff() { ffmpeg -v error -y -fflags +bitexact -flags:v +bitexact -flags:a +bitexact "$@"; }
picture() { echo -f lavfi -i "testsrc=s=$1:r=25:d=$2"; }
tone() { echo -f lavfi -i "sine=f=440:r=$1:d=$2"; }

# ---------------------------------------------------------------- media containers
video=$here/video
mkdir -p "$video"
# shellcheck disable=SC2046
{
  ff $(picture 32x24 0.2) $(tone 8000 0.2) -c:v libx264 -c:a aac -ac 1 "$video/tiny.mp4"
  ff $(picture 16x16 0.2) $(tone 48000 0.2) -c:v libvpx -c:a libopus "$video/tiny.webm"
  ff $(picture 16x16 0.2) $(tone 8000 0.2) -c:v mjpeg -c:a pcm_u8 "$video/tiny.avi"
  ff $(tone 48000 0.2) -ac 6 -c:a ac3 -b:a 96k "$video/surround.mka"
  ff $(tone 8000 0.3) -c:a libvorbis "$video/sound.ogg"
  # Red with one key frame; the sound starts 64 ms after the first picture.
  ff -f lavfi -i color=red:s=16x16:r=25:d=0.4 -itsoffset 0.064 $(tone 16000 0.4) -c:v libx264 -g 1000 \
    -c:a mp2 -b:a 32k "$video/one-key-frame.ts"
  # Two files joined: the second one's programme is found only while reading, past the
  # 5 s the stream probe looks at.
  ff $(tone 16000 6) -c:a mp2 -b:a 8k "$work/first.ts"
  ff $(picture 16x16 0.2) $(tone 16000 0.2) -c:v libx264 -c:a mp2 -b:a 8k -mpegts_start_pid 0x200 \
    -mpegts_pmt_start_pid 0x1100 "$work/second.ts"
  ff $(tone 8000 0.2) -c:a pcm_s16le "$work/plain.mka"
  ff $(tone 48000 0.2) -c:a libopus "$work/plain.webm"
}
cat "$work/first.ts" "$work/second.ts" >"$video/joined-programs.ts"
python3 - "$work" "$video" <<'EOF'
import struct, sys
work, out = sys.argv[1:]

def stating(data, milliseconds):
    """A Matroska file whose header states another duration."""
    at = data.index(b'\x44\x89\x88') + 3
    return data[:at] + struct.pack('>d', milliseconds) + data[at + 8:]

plain = open(work + '/plain.mka', 'rb').read()
open(out + '/claims-300000s.mka', 'wb').write(stating(plain, 3e8))
# Header and tracks, an empty cluster, and a stated duration of 10^12 s.
webm = open(work + '/plain.webm', 'rb').read()
cluster = webm.index(b'\x1f\x43\xb6\x75')
open(out + '/claims-only.webm', 'wb').write(stating(webm[:cluster] + b'\x1f\x43\xb6\x75\x80', 1e15))
EOF

# ---------------------------------------------------------------- SoundFonts
python3 - "$here/soundfont" <<'EOF'
import math, os, struct, sys
out = sys.argv[1]
os.makedirs(out, exist_ok=True)

def chunk(tag, data):
    return tag + struct.pack('<I', len(data)) + data + (b'\0' if len(data) % 2 else b'')

def riff(kind, tag, chunks):
    body = tag + b''.join(chunks)
    return kind + struct.pack('<I', len(body)) + body

def name(text):
    return text.encode().ljust(20, b'\0')[:20]

def soundfont(presets):
    """One instrument and one looped or unlooped 256-sample sine per (name, bank, program, loop)."""
    smpl = b''
    shdr = inst = ibag = igen = phdr = pbag = pgen = b''
    for i, (title, bank, program, loop) in enumerate(presets):
        start = len(smpl) // 2
        wave = [int(12000 * math.sin(2 * math.pi * k / 32)) for k in range(256)]
        smpl += struct.pack('<256h', *wave) + b'\0' * 92  # 46 zero samples follow each sample
        end = start + 256
        shdr += struct.pack('<20sIIIIIBbHH', name(title), start, end, start + 32, end - 32, 22050, 60, 0, 0, 1)
        inst += struct.pack('<20sH', name(title), len(ibag) // 4)
        ibag += struct.pack('<HH', len(igen) // 4, 0)
        igen += struct.pack('<HH', 43, 0x7F00) + struct.pack('<Hh', 54, 1 if loop else 0) + struct.pack('<HH', 53, i)
        phdr += struct.pack('<20sHHHIII', name(title), program, bank, len(pbag) // 4, 0, 0, 0)
        pbag += struct.pack('<HH', len(pgen) // 4, 0)
        pgen += struct.pack('<HH', 41, i)
    shdr += struct.pack('<20sIIIIIBbHH', name('EOS'), 0, 0, 0, 0, 0, 0, 0, 0, 0)
    inst += struct.pack('<20sH', name('EOI'), len(ibag) // 4)
    ibag += struct.pack('<HH', len(igen) // 4, 0)
    igen += struct.pack('<HH', 0, 0)
    phdr += struct.pack('<20sHHHIII', name('EOP'), 0, 0, len(pbag) // 4, 0, 0, 0)
    pbag += struct.pack('<HH', len(pgen) // 4, 0)
    pgen += struct.pack('<HH', 0, 0)
    info = riff(b'LIST', b'INFO', [chunk(b'ifil', struct.pack('<HH', 2, 1)), chunk(b'isng', b'EMU8000\0'),
                                   chunk(b'INAM', b'Seed\0')])
    sdta = riff(b'LIST', b'sdta', [chunk(b'smpl', smpl)])
    pdta = riff(b'LIST', b'pdta', [chunk(b'phdr', phdr), chunk(b'pbag', pbag), chunk(b'pmod', b'\0' * 10),
                                   chunk(b'pgen', pgen), chunk(b'inst', inst), chunk(b'ibag', ibag),
                                   chunk(b'imod', b'\0' * 10), chunk(b'igen', igen), chunk(b'shdr', shdr)])
    return riff(b'RIFF', b'sfbk', [info, sdta, pdta])

open(out + '/one-preset.sf2', 'wb').write(soundfont([('Sine', 0, 0, True)]))
open(out + '/two-banks.sf2', 'wb').write(soundfont([('Loop', 0, 5, True), ('Once', 128, 0, False)]))
EOF

# ---------------------------------------------------------------- live MIDI, plug-in folders, embedded audio, manifests
python3 - "$here" <<'EOF'
import base64, json, os, struct, sys
root = sys.argv[1]

def write(target, name, data):
    os.makedirs(os.path.join(root, target), exist_ok=True)
    with open(os.path.join(root, target, name), 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode())

def messages(*items):
    """The live MIDI target's input: each message behind its length."""
    return b''.join(bytes([len(m)]) + bytes(m) for m in items)

write('live-midi', 'notes', messages([0x90, 60, 100], [0x90, 64, 90], [0x80, 60, 0], [0x90, 64, 0]))
write('live-midi', 'channels', messages([0x9F, 127, 127], [0x95, 0, 1], [0x8F, 127, 64], [0x85, 0, 0]))
write('live-midi', 'other-messages', messages([0xB0, 64, 127], [0xE0, 0, 64], [0xC3, 5], [0xF8], [0x90, 60],
                                              [0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7], []))

def plugin_folder(names, text):
    """The plug-in scanner target's input: file names, an empty line, the files' text."""
    return '\n'.join(names) + '\n\n' + text

plist = '<?xml version="1.0"?><plist><dict><vendor>Zentriq</vendor></dict></plist>'
write('plugin-scanner', 'bundle', plugin_folder(['Echo.vst3/Contents/Info.plist',
                                                 'Echo.vst3/Contents/x86_64-linux/Echo.so'], plist))
write('plugin-scanner', 'files-and-cases', plugin_folder(['Plain.vst3', 'deep/er/UPPER.VST3', 'notes.txt'], ''))
write('plugin-scanner', 'module-in-contents', plugin_folder(['Odd/Contents/Info.plist', 'Odd/Contents/Lib.vst3',
                                                            '.vst3/Contents/Info.plist'], '<vendor>unclosed'))

def floats(*values):
    return struct.pack('<%df' % len(values), *values)

def b64(*values):
    return base64.b64encode(floats(*values))

# Embedded audio: a form byte (channel entries, number arrays, long strings, rate), then the texts.
stereo = b'|'.join([b64(0.25, -0.25, 0.5), b64(0.5, 0.0, 1.0), b64(0.0, -0.5, 0.0)])
write('embedded-audio', 'stereo', bytes([0x03]) + stereo)
write('embedded-audio', 'stereo-streamed', bytes([0x1B]) + stereo)
write('embedded-audio', 'mono-48k', bytes([0x11]) + b64(0.1, 0.2, 0.3, 0.4))
write('embedded-audio', 'numbers', bytes([0x07]) + b'|'.join([floats(0.5, 1.0), floats(1.0, 2.0), floats(0.0, 0.0)]))
write('embedded-audio', 'empty-stereo', bytes([0x03]) + b'||')
write('embedded-audio', 'bad-base64', bytes([0x21]) + b'AAA*AAA=')

def manifest(**fields):
    return json.dumps(fields, ensure_ascii=False)

url = 'https://download.zentriq.studio/'
write('manifest', 'newer', manifest(version='99.1.0', build=7, downloadUrl=url + 'ZentriqStudio-99.1.0-Setup.exe',
                                     releaseNotes='修复了若干问题', fileSize=123456789))
write('manifest', 'encoded-traversal', manifest(version='99.0', downloadUrl=url + 'a/..%2F..%2F.bashrc', fileSize=-1))
write('manifest', 'folder-url', manifest(version='2.0.0', downloadUrl=url + 'latest/', fileSize=1e300))
write('manifest', 'same-version', manifest(version='0.1.0', downloadUrl=url + 'ZentriqStudio-Setup.exe'))
write('manifest', 'missing-url', manifest(version='99.0.0', build='7'))
write('manifest', 'not-an-object', '["version", "99.0.0"]')
EOF

# ---------------------------------------------------------------- plug-in states
mkdir -p "$here/plugin-state"
[[ -x $build/fuzz/plugin_state_fuzzer ]] || { echo "make-seeds.sh: build the plug-in state target first" >&2; exit 1; }
ZENTRIQ_FUZZ_WRITE_SEEDS=$here/plugin-state "$build/fuzz/plugin_state_fuzzer" -runs=0 -close_fd_mask=1 >/dev/null 2>&1
ls -l "$here"/{video,soundfont,live-midi,plugin-scanner,plugin-state,embedded-audio,manifest}
