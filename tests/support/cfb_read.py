#!/usr/bin/python3
"""Reads a compound file with two independent readers and extracts its streams.

usage: cfb_read.py FILE OUTDIR

olefile (strict: any defect it is unsure of raises) reads every stream; gsf
lists and cats every stream too, and both must agree byte for byte. Each
stream is written to OUTDIR under its name (with '/' for storages), and
OUTDIR/index lists "name<TAB>size" lines. Exit status 0 only when all is well;
problems go to stderr.
"""
import os
import subprocess
import sys

import olefile


def gsf_streams(path):
    res = subprocess.run(["gsf", "list", path], capture_output=True)
    if res.returncode != 0 or res.stderr.strip():
        raise SystemExit("gsf list failed: " + res.stderr.decode(errors="replace"))
    names = {}
    for line in res.stdout.decode("utf-8", errors="replace").splitlines()[1:]:
        parts = line.split(None, 4)
        if not parts or parts[0] != "f":
            continue
        # "f  <size> <name>" or "f  <date> <time> <size> <name>"
        fields = line.split()
        if len(fields) >= 3 and fields[1].isdigit():
            size, name = int(fields[1]), line.split(None, 2)[2]
        else:
            size, name = int(fields[3]), line.split(None, 4)[4]
        names[name] = size
    return names


def main():
    path, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_UNSURE)
    gsf = gsf_streams(path)
    index = []
    bad = False
    for entry in ole.listdir(streams=True, storages=False):
        name = "/".join(entry)
        data = ole.openstream(entry).read()
        if len(data) != ole.get_size(entry):
            print(f"olefile size mismatch for {name}", file=sys.stderr)
            bad = True
        if name not in gsf:
            print(f"gsf does not list {name}", file=sys.stderr)
            bad = True
        else:
            res = subprocess.run(["gsf", "cat", path, name], capture_output=True)
            if res.returncode != 0 or res.stderr.strip() or res.stdout != data:
                print(f"gsf disagrees on {name}", file=sys.stderr)
                bad = True
        target = os.path.join(outdir, name.replace("/", "_"))
        with open(target, "wb") as f:
            f.write(data)
        index.append(f"{name}\t{len(data)}")
    extra = set(gsf) - {"/".join(e) for e in ole.listdir(streams=True, storages=False)}
    if extra:
        print(f"gsf lists streams olefile does not: {sorted(extra)}", file=sys.stderr)
        bad = True
    ole.close()
    with open(os.path.join(outdir, "index"), "w") as f:
        f.write("\n".join(index) + ("\n" if index else ""))
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
