#!/usr/bin/env python3
"""Host side: the tree's release packages build, and each zip holds exactly the
files it should, its read-me in CRLF lines (older Notepad shows LF lines as
one); the installer is a program of the edition's kind. The 32-bit
read-me says nothing about architecture; the 64-bit one sends the user of the
module in the field to the 32-bit packages.

Usage: package_check.py BUILD_DIR SOURCE_DIR VERSION win32|win64 ZIP DEMO_SAMPLE_DIR|-
(ZIP: the viewer zip's name; DEMO_SAMPLE_DIR: the sample title the demo zip
packs; - where there is no demo.)
"""
import os
import struct
import subprocess
import sys
import zipfile


def tree(root, prefix):
    out = set()
    for d, _, files in os.walk(root):
        for f in files:
            out.add(prefix + os.path.relpath(os.path.join(d, f), root).replace(os.sep, "/"))
    return out


def main():
    build, source, version, arch, viewer_zip, sample = sys.argv[1:7]
    r = subprocess.run(["cmake", "--build", build, "--target", "package"],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode:
        print(r.stdout)
        print("FAIL: the package target failed")
        return 1
    faults = []
    viewer = {"kolbri.exe", "readme.txt"} | tree(os.path.join(source, "app", "help"), "help/")
    zips = {viewer_zip: viewer}
    if sample != "-":
        zips["kolbri-%s-demo-%s.zip" % (version, arch)] = (
            viewer | {"kolbri.dll", "sample.kol", "folder.kol"} | tree(sample, "sample-cd/"))
    for name, want in zips.items():
        path = os.path.join(build, name)
        if not os.path.isfile(path):
            faults.append("%s was not made" % name)
            continue
        with zipfile.ZipFile(path) as z:
            got = {n for n in z.namelist() if not n.endswith("/")}
            raw = z.read("readme.txt") if "readme.txt" in got else b""
            readme = raw.decode("utf-8-sig")
        if b"\n" in raw.replace(b"\r\n", b""):
            faults.append("%s: the read-me has lines ending in LF alone" % name)
        for n in sorted(got - want):
            faults.append("%s holds %s" % (name, n))
        for n in sorted(want - got):
            faults.append("%s lacks %s" % (name, n))
        if version not in readme or "kolbri.dll" not in readme:
            faults.append("%s: the read-me names no version or module" % name)
        if name == viewer_zip and arch == "win32" and "64" in readme:
            faults.append("%s: the 32-bit read-me speaks of 64 bits" % name)
        if name == viewer_zip and arch == "win64" and not (
                "kolbri-%s-win32.zip" % version in readme and "are 32-bit" in readme):
            faults.append("%s: the read-me does not say the module in the field is 32-bit" % name)
    setup = os.path.join(build, "kolbri-%s-%s-setup.exe" % (version, arch))
    if not os.path.isfile(setup):
        faults.append("the installer was not made")
    else:
        with open(setup, "rb") as f:
            head = f.read(4096)
        pe = struct.unpack_from("<I", head, 0x3C)[0]
        machine = struct.unpack_from("<H", head, pe + 4)[0]
        if machine != {"win32": 0x14C, "win64": 0x8664}[arch]:
            faults.append("the installer's machine is %#x" % machine)
    for f in faults:
        print("FAIL:", f)
    if not faults:
        print("ok: %s and the installer" % ", ".join(sorted(zips)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
