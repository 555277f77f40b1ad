#!/usr/bin/python3
# Writes the fuzzers' seed files from the stored layouts (written out here by hand, not by the program):
# slot files whole and damaged, chunk lists, playlists and virtual paths.
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))


def chunk(tag, data):
    return tag + struct.pack('<I', len(data)) + data


def lst(tag, kind, members):
    return chunk(tag, kind + b''.join(members))


def oscillator(n):
    fm_saw = struct.pack('<iff', 0, 0.01, 0.0) + bytes(16)
    fm_square = struct.pack('<iff', 1, 0.01, 0.0) + bytes(16)
    rest = struct.pack('<HH f', 0xDEAD, 0, 0.0)
    rest += struct.pack('<i', 0) + struct.pack('<Q', 0b10010010) + struct.pack('<i', 8)  # ar stage, euclid
    rest += struct.pack('<7f', 0.5, 0, 0, 0, 0, 0, 0) + bytes(8) + struct.pack('<4f', 0.00001, 0, 0, 0)
    rest += struct.pack('<iffd ff', 0, 1.0, 57.0 + n, 0.125 * n, 0.0, 0.0) + struct.pack('<8f', *([0.0] * 8))
    o = struct.pack('<i', n % 12) + fm_saw + fm_square + rest
    assert len(o) == 196, len(o)
    return o


def record():
    voices = b''.join(struct.pack('<24f', 0.5, 0, 0.75, 0, 14700, 22050, 0, 0, 0, *([0.0] * 15)) for _ in range(8))
    cells = b''.join(struct.pack('<ifffi', 1 if r == c else 0, 1.0 if r == c else 0.0, 1.0, 0.0, 0)
                     for r in range(8) for c in range(8))
    r = b''.join(oscillator(n) for n in range(8)) + voices + cells + struct.pack('<f', 1.0)
    assert len(r) == 3620
    return r


def layers():
    return b''.join(struct.pack('<iifff', 1 if j == l else 0, 0, 0.97, 0.0, 1.0) for j in range(4) for l in range(4))


def entries():
    return b''.join(struct.pack('<iifffi', v % 7, l, 1.0, 2.0, 0.0, 0) for v in range(8) for l in range(4))


def slot_file():
    f = lst(b'RIFF', b'KELV', [chunk(b'KVSY', record()),
                               lst(b'LIST', b'VFX ', [chunk(b'VFX ', layers()), chunk(b'VFX2', entries())])])
    assert len(f) == 4756
    return f


def playlist(events):
    return chunk(b'PLS ', b''.join(struct.pack('<ifi', *e) for e in events))


def write(folder, name, data):
    path = os.path.join(here, 'corpus', folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), 'wb') as f:
        f.write(data)


def main():
    whole = slot_file()
    visuals = lst(b'LIST', b'VFX ', [chunk(b'VFX ', layers()), chunk(b'VFX2', entries())])
    write('slot', 'whole', whole)
    write('slot', 'record-only', lst(b'RIFF', b'KELV', [chunk(b'KVSY', record())]))
    write('slot', 'one-visual', lst(b'RIFF', b'KELV', [lst(b'LIST', b'VFX ', [chunk(b'VFX ', layers())])]))
    write('slot', 'flat-visuals', lst(b'RIFF', b'KELV', [chunk(b'VFX ', layers()), chunk(b'VFX2', entries())]))
    write('slot', 'nested', lst(b'RIFF', b'KELV', [lst(b'LIST', b'VFX ', [visuals, chunk(b'VFX2', entries())])]))
    write('slot', 'truncated', whole[:3000])
    write('slot', 'empty', b'')
    write('list_chunk', 'slot', whole)
    write('list_chunk', 'visuals', visuals)
    write('list_chunk', 'short', chunk(b'TINY', b'\x01\x02'))
    write('list_chunk', 'odd', lst(b'LIST', b'ODD ', [chunk(b'abcd', b'xyz'), chunk(b'efgh', b'q')]))
    write('playlist', 'two', playlist([(0, 1000.0, 2), (1, 5000.0, 0)]))
    write('playlist', 'recorded', playlist([(0, 3000.0 + 250 * i, i % 8) for i in range(20)] + [(1, 9000.0, 0)]))
    write('playlist', 'ragged', chunk(b'PLS ', struct.pack('<ifi', 0, 10.0, 3) + b'\x01\x02\x03\x04\x05'))
    write('playlist', 'lying', playlist([(0, 10.0, 3)])[:-5])
    for name, path in [('root', 'virtual://root/title.jpg'), ('data', 'virtual://data/'),
                       ('material', 'virtual://material/a/b.png'), ('shaders', 'virtual://shaders/x.fs'),
                       ('plain', '/usr/share/kelvarin'), ('near', 'virtual://root'), ('upper', 'VIRTUAL://DATA/x')]:
        write('vpath', name, path.encode())


if __name__ == '__main__':
    sys.exit(main())
