"""Reads the file block by block through a pipe, which cannot tell its size: the sizes in
the headers cannot be checked against it before the data arrives. Prints how many blocks
were read, the result that ended the walk, and the memory figures.

Usage: walk_through_pipe.py FILE"""

import json
import os
import sys

import _quarn as q
from hostile_reading import CLASSES, figures

data = open(sys.argv[1], "rb").read()
r, w = os.pipe()
# A few hundred bytes fit the pipe's buffer: written at once, since a reader blocked in
# the library holds the interpreter lock that a writing thread would need.
os.write(w, data)
os.close(w)
f, file_header, read = q.open(f"/dev/fd/{r}", "rb"), q.FileHeader(), 0
result = file_header.read(f)
while result == q.EResult.Success:
    header = q.BlockHeader()
    result = header.read(f)
    if result == q.EResult.Success:
        result = CLASSES[header.type]().read_data(f, file_header, header)
        read += result == q.EResult.Success
q.close(f)
print(json.dumps({"blocks_read": read, "result": result.name, **figures()}))
