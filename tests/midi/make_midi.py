#!/usr/bin/python3
# Writes the MIDI files the MIDI tests read, into the directory given as the only argument.
import sys
import mido

out = sys.argv[1]

# Format 1, 480 ticks a quarter: 120 bpm, then 240 bpm from tick 960 (1.0 s).
f = mido.MidiFile(type=1, ticks_per_beat=480)
tempo = mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=500000, time=0),
                        mido.MetaMessage('set_tempo', tempo=250000, time=960)])
notes = mido.MidiTrack([
    mido.Message('note_on', channel=0, note=60, velocity=100, time=0),
    mido.Message('program_change', channel=0, program=5, time=0),
    mido.Message('note_off', channel=0, note=60, velocity=0, time=480),       # 0.5 s
    mido.Message('pitchwheel', channel=0, pitch=100, time=0),
    mido.Message('control_change', channel=1, control=7, value=127, time=480),  # 1.0 s
    mido.Message('note_on', channel=1, note=64, velocity=90, time=480),     # 1.25 s
    mido.Message('note_on', channel=1, note=64, velocity=0, time=480),      # 1.5 s
])
f.tracks += [tempo, notes]
f.save(f'{out}/tempo.mid')

# Format 0, running status on one channel.
g = mido.MidiFile(type=0, ticks_per_beat=96)
g.tracks.append(mido.MidiTrack([mido.Message('note_on', channel=2, note=n, velocity=80, time=96)
                                for n in (50, 52, 54)]))
g.save(f'{out}/format0.mid')

# Format 2 (independent sequences) is refused.
h = mido.MidiFile(type=2, ticks_per_beat=96)
h.tracks.append(mido.MidiTrack([mido.Message('note_on', note=60, velocity=1, time=0)]))
h.save(f'{out}/format2.mid')

# For the renderer: voice 0 made audible (its default is A4), then E5 at 0.5 s and A5 at 1.5 s, 120 bpm.
r = mido.MidiFile(type=1, ticks_per_beat=480)
r.tracks.append(mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=500000, time=0)]))
r.tracks.append(mido.MidiTrack([
    mido.Message('control_change', channel=0, control=7, value=127, time=0),
    mido.Message('control_change', channel=0, control=57, value=127, time=0),
    mido.Message('note_on', channel=0, note=64, velocity=100, time=480),
    mido.Message('note_on', channel=0, note=69, velocity=100, time=960),
    mido.Message('note_off', channel=0, note=69, velocity=0, time=480),
]))
r.save(f'{out}/render.mid')
