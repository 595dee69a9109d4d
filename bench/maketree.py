#!/usr/bin/env python3
# The benchmarks' source tree: 200 folders of 100 files of 1-4 KB (20,000 files) plus five
# files of 50 MB, the same bytes on every run. Usage: maketree.py FOLDER
import os, random, sys
root = sys.argv[1]
rng = random.Random(1)
for d in range(200):
    folder = os.path.join(root, "dir%03d" % d)
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, "file%03d.txt" % f), "wb") as out:
            out.write(rng.randbytes(rng.randint(1024, 4096)))
chunk = rng.randbytes(1 << 20)
for b in range(5):
    with open(os.path.join(root, "big%d.bin" % b), "wb") as out:
        for _ in range(50):
            out.write(chunk)
