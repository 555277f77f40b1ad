#!/usr/bin/python3
# kelvarin-render --midi: a MIDI file made here plays its notes at the right blocks and pitches.
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

render, here = sys.argv[1], os.path.dirname(os.path.abspath(__file__))
BLOCK, RATE, FIRST = 256, 44100, 517
A4, E5, A5 = 440.0, 659.255, 880.0
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(*args):
    return subprocess.run([render, *args], capture_output=True, text=True)


def frames(path):
    with wave.open(path) as w:
        return np.frombuffer(w.readframes(w.getnframes()), dtype='<i2').reshape(-1, 2)[:, 0] / 32768.0


def pitch_of(samples, block):
    x = samples[block * BLOCK:(block + 1) * BLOCK]
    return max((A4, E5, A5), key=lambda hz: abs(np.sum(x * np.exp(-2j * np.pi * hz * np.arange(BLOCK) / RATE))))


with tempfile.TemporaryDirectory() as d:
    subprocess.run(['/usr/bin/python3', os.path.join(here, 'make_midi.py'), d], check=True)
    midi, out, bad = os.path.join(d, 'render.mid'), os.path.join(d, 'out.wav'), os.path.join(d, 'bad.mid')
    r = run('--midi', midi, out)
    check(r.returncode == 0 and 'received note on: 64 100 on channel 0' in r.stdout, f'render: {r.stderr}')
    s = frames(out)
    # The note off at 2.0 s, then two seconds more: ceil(4.0 * 44100 / 256) = 690 blocks after block 517.
    check(len(s) == (FIRST + 690) * BLOCK, f'length {len(s)} frames')
    check(not s[:FIRST * BLOCK].any() and abs(s[FIRST * BLOCK:(FIRST + 1) * BLOCK]).max() > 0.1, 'sounds from block 517')
    e5, a5 = FIRST + int(0.5 * RATE / BLOCK), FIRST + int(1.5 * RATE / BLOCK)
    for block, hz in {FIRST + 10: A4, e5 - 1: A4, e5: E5, a5 - 1: E5, a5: A5, len(s) // BLOCK - 1: A5}.items():
        check(pitch_of(s, block) == hz, f'block {block}: {pitch_of(s, block)} Hz, wanted {hz} Hz')
    check(run('--midi', midi, '--seconds', '4', out).returncode == 0 and len(frames(out)) == 690 * BLOCK, '--seconds wins')
    with open(midi, 'rb') as f, open(bad, 'wb') as g:
        g.write(f.read()[:40])
    r = run('--midi', bad, out)
    check(r.returncode == 1 and r.stderr.startswith(f'kelvarin-render: {bad}: '), f'malformed file: {r.returncode} {r.stderr!r}')

for f in failures:
    print('FAILED:', f)
sys.exit(1 if failures else 0)
