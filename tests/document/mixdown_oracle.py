#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Float64 reference for the multitrack renders, written from the rules, not from our code.

A track's clips are resampled by linear interpolation at the exact source position k*c/rate,
faded (four curves), crossfaded with their neighbour over [later start, earlier end of the
two), placed at the nearest frame (times before 0 dropped) and multiplied by the volume
envelope; the mix adds each track times its gain with the 0.707 pan law and clamps to +-1.

Usage: mixdown_oracle.py render|mix|frames PROJECT.json  -> raw little-endian float64 on
stdout (render: track 0's mono render; mix: interleaved stereo; frames: one value).

PROJECT.json: {"rate", "bpm", "midiFileTempo", "tracks": [{"volume", "pan", "muted", "solo",
"envelopeEnabled", "envelope": [[time, value], ...], "clips": [{"file" (raw float32 mono),
"sampleRate", "start", "audioStart", "audioEnd", "fadeIn", "fadeOut", "fadeInCurve",
"fadeOutCurve"}], "midiClips": [[start, duration], ...]}]}. MIDI clips count for the
project's length only (tempo-scaled); their sound comes from an instrument, not from here.
"""
import json
import math
import sys

import numpy as np


def nearest(x):
    """Round half away from zero, as C's llround does."""
    return int(math.copysign(math.floor(abs(x) + 0.5), x))


def curve(code, x):
    if code == 1:
        return x * x * (3 - 2 * x)
    if code == 2:
        return x * x
    if code == 3:
        return np.sqrt(x)
    return x


def load(clip):
    clip = dict(clip)
    clip["x"] = np.fromfile(clip["file"], dtype="<f4").astype(np.float64)
    for key in ("start", "audioStart", "audioEnd", "fadeIn", "fadeOut"):
        clip.setdefault(key, 0.0)
    clip.setdefault("fadeInCurve", 0)
    clip.setdefault("fadeOutCurve", 0)
    return clip


def clip_length(clip):
    s, c = len(clip["x"]), clip["sampleRate"]
    if s == 0 or c < 1:
        return 0.0
    d = s / c - clip["audioStart"] - clip["audioEnd"]
    return d if d > 0 else 0.0


def audio_end(track):
    ends = [c["start"] + clip_length(c) for c in track["clips"]]
    return max(ends) if ends else 0.0


def tempo_scale(project):
    bpm, ref = project.get("bpm", 120.0), project.get("midiFileTempo", 120.0)
    if not (bpm > 0 and ref > 0) or abs(bpm - ref) * 1e12 <= min(bpm, ref):
        return 1.0
    return ref / bpm


def track_end(project, track):
    if track.get("midiClips"):
        g = tempo_scale(project)
        return max(start * g + duration * g for start, duration in track["midiClips"])
    return audio_end(track)


def envelope(track, rate, n):
    points = track.get("envelope", [])
    if not track.get("envelopeEnabled") or not points:
        return np.ones(n)
    times = np.array([p[0] for p in points], dtype=np.float64)
    values = np.array([np.float32(p[1]) for p in points], dtype=np.float64)
    return np.interp(np.arange(n) / rate, times, values)


def render(track, rate):
    clips = [dict(c) for c in track["clips"]]
    end = audio_end(track)
    if not clips or end <= 0:
        return np.zeros(0)
    n = nearest(end * rate) + rate
    out = np.zeros(n)
    order = sorted((c for c in clips if len(c["x"]) > 0), key=lambda c: c["start"])  # stable
    for c in order:
        c["outStart"] = nearest(c["start"] * rate)
        c["outEnd"] = nearest((c["start"] + clip_length(c)) * rate)
    fades = []  # (earlier index, later index, from, to)
    for j in range(1, len(order)):
        a, b = order[j - 1], order[j]
        if a["outEnd"] > b["outStart"]:
            fades.append((j - 1, j, b["outStart"], min(a["outEnd"], b["outEnd"])))
    for j, c in enumerate(order):
        x, cr, s = c["x"], c["sampleRate"], len(c["x"])
        L = c["outEnd"] - c["outStart"]
        src_start = min(max(0, nearest(c["audioStart"] * cr)), s)
        src_end = s - min(max(0, nearest(c["audioEnd"] * cr)), s)
        if L <= 0 or src_end <= src_start:
            continue
        k = np.arange(L)
        pos = c["outStart"] + k
        keep = (pos >= 0) & (pos < n)
        k, pos = k[keep], pos[keep]
        p = k * cr / rate
        i = src_start + np.floor(p).astype(np.int64)
        f = p - np.floor(p)
        xi = np.where(i < src_end, x[np.minimum(i, s - 1)], 0.0)
        xn = x[np.minimum(i + 1, s - 1)]
        value = np.where(i + 1 < src_end, (1 - f) * xi + f * xn, xi)
        N = nearest(c["fadeIn"] * rate) if c["fadeIn"] > 0 else 0
        M = nearest(c["fadeOut"] * rate) if c["fadeOut"] > 0 else 0
        gain = np.ones(len(k))
        if N > 0:
            rising = k < N
            gain[rising] = curve(c["fadeInCurve"], np.clip(k[rising] / N, 0, 1))
        if M > 0:
            falling = k >= L - M
            gain[falling] *= 1 - curve(c["fadeOutCurve"], np.clip((k[falling] - (L - M)) / M, 0, 1))
        done = np.zeros(len(k), dtype=bool)
        for earlier, later, lo, hi in fades:
            if j not in (earlier, later):
                continue
            inside = (pos >= lo) & (pos < hi) & ~done
            if hi - lo > 0:
                u = (pos[inside] - lo) / (hi - lo)
                gain[inside] *= (1 - u) if j == earlier else u
            done |= inside
        out[pos] += value * gain
    return out * envelope(track, rate, n)


def mix(project):
    rate = project["rate"]
    end = max(track_end(project, t) for t in project["tracks"])
    frames = nearest(end * rate)
    left, right = np.zeros(frames), np.zeros(frames)
    solo = any(t.get("solo") for t in project["tracks"])
    for track in project["tracks"]:
        if track.get("muted") or (solo and not track.get("solo")) or track.get("midiClips"):
            continue
        r = render(track, rate)[:frames]
        enveloped = track.get("envelopeEnabled") and track.get("envelope")
        v = r * (1.0 if enveloped else np.float32(track.get("volume", 0.8)))
        pan = np.float32(track.get("pan", 0.0))
        left[: len(v)] += (v if pan <= 0 else v * (1 - pan)) * 0.707
        right[: len(v)] += (v if pan >= 0 else v * (1 + pan)) * 0.707
    stereo = np.empty(2 * frames)
    stereo[0::2], stereo[1::2] = np.clip(left, -1, 1), np.clip(right, -1, 1)
    return stereo


def main():
    mode, path = sys.argv[1], sys.argv[2]
    project = json.load(open(path, encoding="utf-8"))
    for track in project["tracks"]:
        track["clips"] = [load(c) for c in track["clips"]]
    if mode == "render":
        result = render(project["tracks"][0], project["rate"])
    elif mode == "mix":
        result = mix(project)
    else:
        end = max(track_end(project, t) for t in project["tracks"])
        result = np.array([nearest(end * project["rate"])], dtype=np.float64)
    sys.stdout.buffer.write(np.asarray(result, dtype="<f8").tobytes())


if __name__ == "__main__":
    main()
