#!/usr/bin/env python3
"""Host side, no Wine: every program of a build tree carries the resources a
Windows program ships with, read straight from its PE file.

- a manifest asking for common controls 6 of the tree's architecture, asInvoker
  and system DPI awareness;
- a version record whose file and product versions equal the build's version,
  with the product name, maker and rights line in a Japanese, Unicode string
  table;
- icon group 1, holding 16, 32, 48 and 256 pixel images.

Usage: pe_resources.py BIN_DIR VERSION i686|x86_64 COMPANY COPYRIGHT
"""
import os
import re
import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
MACHINE = {"i686": (0x14C, "x86"), "x86_64": (0x8664, "amd64")}


class Pe:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, nsect, _, _, _, optsize = struct.unpack_from("<HHIIIH", d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        dirs = opt + (96 if magic == 0x10B else 112)
        self.rsrc_rva = struct.unpack_from("<I", d, dirs + 2 * 8)[0]
        self.sections = []
        for i in range(nsect):
            s = opt + optsize + 40 * i
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", d, s + 8)
            self.sections.append((va, max(vsize, rawsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("address %#x outside every section" % rva)

    def _entries(self, table):
        d = self.data
        named, ids = struct.unpack_from("<HH", d, table + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", d, table + 16 + 8 * i)
            yield name, target

    def resources(self):
        """{(type, id): [bytes per language]} for numbered resources."""
        out = {}
        if not self.rsrc_rva:
            return out
        base = self.offset(self.rsrc_rva)
        for rtype, t in self._entries(base):
            for rid, n in self._entries(base + (t & 0x7FFFFFFF)):
                for _, leaf in self._entries(base + (n & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    off = self.offset(rva)
                    out.setdefault((rtype, rid), []).append(self.data[off:off + size])
        return out


def check(path, version, arch, company, copyright):
    faults = []
    pe = Pe(path)
    res = pe.resources()
    machine, manifest_arch = MACHINE[arch]
    if pe.machine != machine:
        faults.append("machine %#x" % pe.machine)

    manifest = b"".join(res.get((RT_MANIFEST, 1), [])).decode("utf-8", "replace")
    cc6 = re.search(r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"\s+'
                    r'processorArchitecture="([^"]*)"', manifest)
    if not cc6 or cc6.group(1) != manifest_arch:
        faults.append("manifest without common controls 6 for %s" % manifest_arch)
    if 'requestedExecutionLevel level="asInvoker"' not in manifest:
        faults.append("manifest without asInvoker")
    if not re.search(r"<dpiAware[^>]*>true</dpiAware>", manifest):
        faults.append("manifest without dpiAware true")
    if not re.search(r"<dpiAwareness[^>]*>\s*PerMonitorV2\s*,\s*System\s*</dpiAwareness>", manifest):
        faults.append("manifest without per-monitor v2 awareness falling back to system")

    ver = res.get((RT_VERSION, 1), [b""])[0]
    fixed = ver.find(struct.pack("<I", 0xFEEF04BD))
    want = [int(x) for x in version.split(".")] + [0] * (4 - len(version.split(".")))
    if fixed < 0:
        faults.append("no version record")
    else:
        fms, fls, pms, pls = struct.unpack_from("<IIII", ver, fixed + 8)
        for what, ms, ls in (("file", fms, fls), ("product", pms, pls)):
            got = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
            if got != want:
                faults.append("%s version %s, expected %s" % (what, got, want))
        text = ver.decode("utf-16-le", "replace")
        if "041104B0" not in text.upper():
            faults.append("no Japanese Unicode string table")
        if not re.search("ProductName\0+コルブリ\0", text):
            faults.append('product name is not "コルブリ"')
        if not re.search("ProductVersion\0+%s\0" % re.escape(version), text):
            faults.append("product version text is not %s" % version)
        for name, want in (("CompanyName", company), ("LegalCopyright", copyright)):
            if not re.search("%s\0+%s\0" % (name, re.escape(want)), text):
                faults.append('%s is not "%s"' % (name, want))

    group = res.get((RT_GROUP_ICON, 1), [b""])[0]
    if len(group) < 6:
        faults.append("no icon group 1")
    else:
        count = struct.unpack_from("<H", group, 4)[0]
        sizes = set()
        for i in range(count):
            w, _, _, _, _, _, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            if (RT_ICON, icon_id) not in res:
                faults.append("icon %d of the group is missing" % icon_id)
            sizes.add(w or 256)
        if not {16, 32, 48, 256} <= sizes:
            faults.append("icon sizes %s" % sorted(sizes))
    return faults


def main():
    bin_dir, version, arch, company, copyright = sys.argv[1:6]
    programs = ["kolbri.exe", "shellbrowse.exe"]
    tests = os.path.join(bin_dir, "tests")
    programs += sorted(os.path.join("tests", f) for f in os.listdir(tests) if f.endswith(".exe"))
    failed = 0
    for p in programs:
        faults = check(os.path.join(bin_dir, p), version, arch, company, copyright)
        for f in faults:
            print("FAIL: %s: %s" % (p, f))
        failed += bool(faults)
    if len(programs) < 20:
        print("FAIL: only %d programs in %s" % (len(programs), bin_dir))
        failed += 1
    if not failed:
        print("ok: %d programs carry manifest, version %s and icon" % (len(programs), version))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
