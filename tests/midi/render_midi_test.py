#!/usr/bin/python3
# kelvarin-render --midi: a MIDI file made here plays its notes at the right blocks and pitches.
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

render = sys.argv[1]
here = os.path.dirname(os.path.abspath(__file__))
BLOCK, RATE, FIRST = 256, 44100, 517
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def read_wav(path):
    with wave.open(path) as w:
        frames = np.frombuffer(w.readframes(w.getnframes()), dtype='<i2').reshape(-1, 2)
    return frames.astype(np.float64) / 32768.0


def strength(block, hz):
    n = np.arange(len(block))
    return abs(np.sum(block * np.exp(-2j * np.pi * hz * n / RATE)))


def pitch_of(samples, block_index, candidates):
    block = samples[block_index * BLOCK:(block_index + 1) * BLOCK, 0]
    return max(candidates, key=lambda hz: strength(block, hz))


A4, E5, A5 = 440.0, 659.255, 880.0
with tempfile.TemporaryDirectory() as d:
    subprocess.run(['/usr/bin/python3', os.path.join(here, 'make_midi.py'), d], check=True)
    out = os.path.join(d, 'out.wav')
    r = subprocess.run([render, '--midi', os.path.join(d, 'render.mid'), out], capture_output=True, text=True)
    check(r.returncode == 0, f'render failed: {r.stderr}')
    check('received note on: 64 100 on channel 0' in r.stdout, 'the note-on line is printed')
    s = read_wav(out)
    # Last event (the note off) at 2.0 s, two seconds more: ceil(4.0 * 44100 / 256) = 690 blocks after 517.
    check(len(s) == (FIRST + 690) * BLOCK, f'length {len(s)} frames')
    check(not s[:FIRST * BLOCK].any(), 'silent before the first sounding block')
    check(abs(s[FIRST * BLOCK:(FIRST + 1) * BLOCK, 0]).max() > 0.1, 'the volume set at MIDI time 0 sounds at once')
    e5_block = FIRST + int(0.5 * RATE / BLOCK)   # 603
    a5_block = FIRST + int(1.5 * RATE / BLOCK)   # 775
    expected = {FIRST + 10: A4, e5_block - 1: A4, e5_block: E5, a5_block - 1: E5, a5_block: A5,
                len(s) // BLOCK - 1: A5}  # a note off leaves the oscillator sounding
    for block, hz in expected.items():
        got = pitch_of(s, block, [A4, E5, A5])
        check(got == hz, f'block {block}: {got} Hz, wanted {hz} Hz')

    # --seconds wins over the file's length.
    r = subprocess.run([render, '--midi', os.path.join(d, 'render.mid'), '--seconds', '4', out], capture_output=True)
    check(r.returncode == 0 and len(read_wav(out)) == 690 * BLOCK, '--seconds 4 gives 690 blocks')

    # A malformed file: a clear message and status 1, no output written over.
    bad = os.path.join(d, 'bad.mid')
    with open(os.path.join(d, 'render.mid'), 'rb') as f:
        whole = f.read()
    with open(bad, 'wb') as f:
        f.write(whole[:40])
    r = subprocess.run([render, '--midi', bad, out], capture_output=True, text=True)
    check(r.returncode == 1, f'malformed file exits with 1, not {r.returncode}')
    check(r.stderr.startswith(f'kelvarin-render: {bad}: '), f'message names the file: {r.stderr!r}')

for f in failures:
    print('FAILED:', f)
sys.exit(1 if failures else 0)
