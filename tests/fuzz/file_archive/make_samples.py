#!/usr/bin/env python3
"""Writes the seed and hostile samples of the archive and LZ fuzz targets.

Archive samples are stored before scrambling (the harness scrambles them with the primary
key), so a fuzzer mutates the structure itself. Run from this folder; the files are
checked in and replayed by the file_hostile test.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def name_record(name):
    key = bytearray()
    for c in name.encode('latin-1'):
        key.append(c - 32 if 97 <= c <= 122 else c)
    parity = sum(key) & 0xFFFF
    n = len(key)
    key += b'\0' * (4 - n % 4)
    return struct.pack('<HH', len(key) // 4, parity) + bytes(key) + name.encode('latin-1') + b'\0'


def entry(name_off, attrs, data_off, size, coded=None):
    e = struct.pack('<II8s8s8sII', name_off, attrs, b'\0' * 8, b'\0' * 8, b'\0' * 8, data_off, size)
    return e if coded is None else e + struct.pack('<I', coded)


def archive(version=3, files=(('A.TXT', b'hello'),), subdir=True, tweak=None):
    """Root: the files, then optionally SUB holding B.BIN. tweak(parts) may change parts."""
    v2 = version >= 2
    parts = {'data': bytearray(), 'names': bytearray(), 'entries': bytearray(), 'dirs': bytearray()}
    stride = 44 if v2 else 40
    root_entries = []
    for name, data in files:
        off = len(parts['names']); parts['names'] += name_record(name)
        root_entries.append(entry(off, 0, len(parts['data']), len(data), 0xFFFFFFFF if v2 else None))
        parts['data'] += data
    count = len(root_entries) + (1 if subdir else 0)
    if subdir:
        off = len(parts['names']); parts['names'] += name_record('SUB')
        root_entries.append(entry(off, 0x10, 16, 0, 0xFFFFFFFF if v2 else None))
    parts['entries'] += b''.join(root_entries)
    parts['dirs'] += struct.pack('<IIII', 0xFFFFFFFF, 0xFFFFFFFF, count, 0)
    if subdir:
        off = len(parts['names']); parts['names'] += name_record('B.BIN')
        first = len(parts['entries'])
        parts['entries'] += entry(off, 0, len(parts['data']), 3, 0xFFFFFFFF if v2 else None)
        parts['data'] += b'xyz'
        parts['dirs'] += struct.pack('<IIII', (count - 1) * stride, 0, 1, first)
    head = {'version': version}
    if tweak:
        tweak(parts, head)
    data, names, entries, dirs = (bytes(parts[k]) for k in ('data', 'names', 'entries', 'dirs'))
    table = names + entries + dirs
    header = struct.pack('<2sHIIIII', b'QL', head['version'], head.get('table_size', len(table)),
                         head.get('data_offset', 24), head.get('table_offset', 24 + len(data)),
                         head.get('file_table', len(names)), head.get('dir_table', len(names) + len(entries)))
    return header + data + table


def lz_block(decoded, escape, code):
    return struct.pack('<IIB', decoded, len(code) + 9, escape) + bytes(code)


def setattr_(key, value):
    def t(parts, head):
        head[key] = value
    return t


def patch(part, offset, fmt, value):
    def t(parts, head):
        struct.pack_into(fmt, parts[part], offset, value)
    return t


def long_name(parts, head):
    # The name record of A.TXT made 300 bytes long with no terminator in reach.
    rec = name_record('N' * 300)
    parts['names'][:len(name_record('A.TXT'))] = rec.rstrip(b'\0') + b'Z'


SAMPLES = {
    'seed-v0': archive(0), 'seed-v1': archive(1), 'seed-v2': archive(2), 'seed-v3': archive(3),
    'seed-lz': archive(3, files=(('C.TXT', b''),), tweak=None),
    'hostile-version4': archive(3, tweak=setattr_('version', 4)),
    'hostile-table-past-end': archive(3, tweak=setattr_('table_size', 0x7FFFFFF0)),
    'hostile-table-offset-wraps': archive(3, tweak=setattr_('table_offset', 0xFFFFFFF0)),
    'hostile-data-offset-past-end': archive(3, tweak=setattr_('data_offset', 0x10000)),
    'hostile-dir-table-past-block': archive(3, tweak=setattr_('dir_table', 0x7FFFFFF0)),
    'hostile-file-table-past-block': archive(3, tweak=setattr_('file_table', 0x7FFFFFF0)),
    'hostile-root-count-huge': archive(3, tweak=patch('dirs', 8, '<I', 0x10000000)),
    'hostile-first-entry-wraps': archive(3, tweak=patch('dirs', 12, '<I', 0xFFFFFFF0)),
    'hostile-name-offset-past-block': archive(3, tweak=patch('entries', 0, '<I', 0x00FFFFFF)),
    'hostile-key-units-huge': archive(3, tweak=patch('names', 0, '<H', 0xFFFF)),
    'hostile-key-units-zero': archive(3, tweak=patch('names', 0, '<H', 0)),
    'hostile-name-unterminated': archive(3, tweak=long_name),
    'hostile-data-past-end': archive(3, tweak=patch('entries', 32, '<I', 0x7FFFFFFF)),
    'hostile-size-past-end': archive(3, tweak=patch('entries', 36, '<I', 0xFFFFFFF0)),
    'hostile-coded-short': archive(3, tweak=patch('entries', 40, '<I', 4)),
    'hostile-coded-past-end': archive(3, tweak=patch('entries', 40, '<I', 0x7FFFFFFF)),
    'hostile-subdir-is-root': archive(3, tweak=patch('entries', 44 + 32, '<I', 0)),
    'hostile-subdir-past-table': archive(3, tweak=patch('entries', 44 + 32, '<I', 0x7FFFFFF0)),
    'hostile-parent-past-table': archive(3, tweak=patch('dirs', 16 + 4, '<I', 0x7FFFFFF0)),
    'hostile-truncated-header': archive(3)[:20],
    'hostile-truncated-tables': archive(3)[:-6],
}

# Stored data that lies about being compressed: a block whose decoded size is not the entry's.
lz = lz_block(5, 0xFF, b'hellx')
def lying_lz(parts, head):
    parts['data'][:] = lz
    struct.pack_into('<I', parts['entries'], 36, 4)    # entry size 4, block says 5
    struct.pack_into('<I', parts['entries'], 40, len(lz))
SAMPLES['hostile-lz-size-differs'] = archive(3, files=(('A.TXT', b''),), subdir=False, tweak=lying_lz)
def bad_lz(parts, head):
    parts['data'][:] = lz_block(11, 0xFF, [0x41, 0xFF, 48])
    struct.pack_into('<I', parts['entries'], 36, 11)
    struct.pack_into('<I', parts['entries'], 40, 12)
SAMPLES['hostile-lz-ends-in-match'] = archive(3, files=(('A.TXT', b''),), subdir=False, tweak=bad_lz)

LZ = {
    'seed-literals': lz_block(5, 0xFF, b'hello'),
    'seed-match': lz_block(11, 0xF0, [0x41, 0xF0, 48, 0]),
    'seed-escape': lz_block(2, 0x45, [0x45, 0x45, 0x78]),
    'seed-far': lz_block(8, 0x01, [0x71, 0x72, 0x73, 0x74, 0x01, 0x03, 3, 0, 0]),
    'hostile-before-start': lz_block(4, 0xFF, [0xFF, 0, 0]),
    'hostile-code3': lz_block(11, 0xFF, [0x41, 0xFF, 3, 0]),
    'hostile-ends-in-match': lz_block(11, 0xFF, [0x41, 0xFF, 48]),
    'hostile-overrun': lz_block(5, 0xFF, [0x41, 0xFF, 48, 0]),
    'hostile-short': lz_block(300, 0xFF, b'AB'),
    'hostile-coded-size-lies': struct.pack('<IIB', 2, 200, 0xFF) + b'AB',
    'hostile-huge-decoded': struct.pack('<IIB', 0xFFFFFFF0, 11, 0xFF) + b'AB',
    'hostile-header-only': b'\x05\0\0',
}

for folder, samples in (('file_archive', SAMPLES), ('file_lz', LZ)):
    out = os.path.join(HERE, '..', folder, 'corpus')
    os.makedirs(out, exist_ok=True)
    for name, data in samples.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
