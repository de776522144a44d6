#!/usr/bin/env python3
# Recompresses every PNG image of an icon with zopflipng (lossless), keeping a
# new image only when it is smaller and ImageMagick finds every pixel the same.
# Each byte here is a byte of both programs.
#
#   scripts/icon-zopfli.py ICON   rewrite ICON in place (needs zopflipng and compare)
import os
import struct
import subprocess
import sys
import tempfile

path = sys.argv[1]
data = open(path, 'rb').read()
reserved, kind, count = struct.unpack_from('<HHH', data, 0)
entries = [list(struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)) for i in range(count)]
images = [data[e[7]:e[7] + e[6]] for e in entries]

with tempfile.TemporaryDirectory() as tmp:
    for i, image in enumerate(images):
        if not image.startswith(b'\x89PNG'):
            continue
        before, after = os.path.join(tmp, 'a.png'), os.path.join(tmp, 'b.png')
        open(before, 'wb').write(image)
        subprocess.run(['zopflipng', '-y', '--iterations=50', '--filters=01234mepb', before, after],
                       check=True, capture_output=True)
        smaller = open(after, 'rb').read()
        # compare prints the number of differing pixels on its error output.
        same = subprocess.run(['compare', '-metric', 'AE', before, after, 'null:'],
                              capture_output=True, text=True).stderr.strip() == '0'
        if same and len(smaller) < len(image):
            images[i] = smaller

out = bytearray(struct.pack('<HHH', reserved, kind, count))
offset = 6 + 16 * count
for e, image in zip(entries, images):
    e[6], e[7] = len(image), offset
    out += struct.pack('<BBBBHHII', *e)
    offset += len(image)
for image in images:
    out += image
open(path, 'wb').write(bytes(out))
