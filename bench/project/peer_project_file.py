#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Peer for project file timing: the same JSON + Base64 + little-endian float32 work in Python.

  peer_project_file.py save <dir> <file.zqp>   one stereo clip from mono/left/right.f32
  peer_project_file.py load <file.zqp>         decodes every channel back to floats"""
import array
import base64
import datetime
import json
import sys
import uuid


def floats(path):
    values = array.array('f')
    with open(path, 'rb') as f:
        values.frombytes(f.read())
    return values


def encode(values):
    if sys.byteorder != 'little':
        values.byteswap()
    return base64.b64encode(values.tobytes()).decode('ascii')


def decode(text):
    values = array.array('f')
    values.frombytes(base64.b64decode(text, validate=True))
    if sys.byteorder != 'little':
        values.byteswap()
    return values


def save(folder, path):
    mono = floats(folder + '/mono.f32')
    channels = [encode(mono), encode(floats(folder + '/left.f32')), encode(floats(folder + '/right.f32'))]
    now = datetime.datetime.now(datetime.timezone.utc).strftime('%Y-%m-%dT%H:%M:%SZ')
    seconds = len(mono) / 44100
    block = {'start': 0.0, 'duration': seconds, 'audioStart': 0.0, 'audioEnd': 0.0, 'fadeIn': 0.0, 'fadeOut': 0.0,
             'fadeInCurve': 0, 'fadeOutCurve': 0,
             'audioData': {'type': 'embedded', 'format': 'float32_base64', 'sampleRate': 44100,
                           'duration': seconds, 'length': len(mono), 'channels': channels}}
    track = {'type': 'audio', 'name': 'Take', 'color': '#4a90d9', 'volume': 0.800000011920929, 'pan': 0,
             'muted': False, 'solo': False, 'envelopeEnabled': False, 'audioBlocks': [block]}
    doc = {'id': str(uuid.uuid4()), 'name': 'Bench', 'createdAt': now, 'updatedAt': now, 'version': '1.0.0',
           'settings': {'sampleRate': 44100, 'bitDepth': 32, 'channels': 2, 'tempo': 120, 'timeSignature': '4/4'},
           'currentTime': 0, 'zoom': 1, 'tracks': [track], 'effects': [], 'markers': [], 'automation': [],
           'metadata': {'artist': '', 'album': '', 'genre': '', 'year': 2026, 'description': '', 'tags': []}}
    with open(path, 'w', encoding='utf-8') as f:
        json.dump(doc, f, indent=4, sort_keys=True, ensure_ascii=False)


def load(path):
    with open(path, encoding='utf-8') as f:
        doc = json.load(f)
    frames = 0
    for track in doc['tracks']:
        for block in track.get('audioBlocks', []):
            channels = [decode(text) for text in block['audioData']['channels']]
            frames += len(channels[0])
    print(frames, 'frames')


if __name__ == '__main__':
    if sys.argv[1] == 'save':
        save(sys.argv[2], sys.argv[3])
    else:
        load(sys.argv[2])
