#!/usr/bin/env python3
"""Host side, after package_check made the packages: SHA256SUMS and the winget
and scoop manifests say what the packages really are.

- SHA256SUMS lists exactly the tree's packages, each with its hash;
- winget: the three files of one identifier and version; the installer is an
  NSIS one (so nullsoft and /S hold) that runs as the user (scope user), of the
  architecture named, at the download address, with its hash; its product
  code is the edition's uninstall key, and the code setup ends with while the
  viewer runs is declared as packageInUse;
- scoop: the viewer zip at the download address with its hash; the program and
  shortcut it names are in the zip, the settings file and the module are not
  (they are the user's), and both are carried across updates.

Usage: manifest_check.py BUILD_DIR VERSION EDITION WINGET_ID x86|x64 DOWNLOAD_URL
                         IN_USE_EXIT ZIP SETUP [OTHER_PACKAGE...]
"""
import hashlib
import json
import os
import re
import sys
import zipfile

import yaml

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "res"))
from pe_resources import Pe, RT_MANIFEST  # noqa: E402

MACHINE = {"x86": 0x14C, "x64": 0x8664}


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    build, version, edition, ident, arch, url, in_use, zip_name, setup = sys.argv[1:10]
    packages = [zip_name, setup] + sys.argv[10:]
    faults = []
    hashes = {p: sha256(os.path.join(build, p)) for p in packages}

    sums = {}
    with open(os.path.join(build, "SHA256SUMS"), encoding="ascii") as f:
        for line in f:
            h, name = line.rstrip("\n").split("  ", 1)
            sums[name] = h
    if sums != hashes:
        faults.append("SHA256SUMS %s, the packages %s" % (sums, hashes))

    folder = os.path.join(build, "manifests", "winget", ident, version)
    w = {}
    for kind, suffix in (("version", ""), ("installer", ".installer"),
                         ("defaultLocale", ".locale.ja-JP")):
        with open(os.path.join(folder, ident + suffix + ".yaml"), encoding="utf-8") as f:
            w[kind] = yaml.safe_load(f)
        m = w[kind]
        if (m.get("PackageIdentifier"), m.get("PackageVersion"), m.get("ManifestType")) != (
                ident, version, kind):
            faults.append("winget %s manifest: %s %s %s" % (
                kind, m.get("PackageIdentifier"), m.get("PackageVersion"), m.get("ManifestType")))
    if w["version"].get("DefaultLocale") != w["defaultLocale"].get("PackageLocale"):
        faults.append("winget: the default locale has no manifest")
    inst = w["installer"]
    with open(os.path.join(build, setup), "rb") as f:
        data = f.read()
    if inst.get("InstallerType") != "nullsoft" or b"\xef\xbe\xad\xdeNullsoftInst" not in data:
        faults.append("winget says %s; the setup is %san NSIS installer" % (
            inst.get("InstallerType"), "" if b"NullsoftInst" in data else "not "))
    switches = inst.get("InstallerSwitches", {})
    if (switches.get("Silent"), switches.get("SilentWithProgress")) != ("/S", "/S"):
        faults.append("winget: silent switches %s" % switches)
    pe = Pe(os.path.join(build, setup))
    manifest = b"".join(pe.resources().get((RT_MANIFEST, 1), [])).decode("utf-8", "replace")
    if inst.get("Scope") != "user" or 'level="asInvoker"' not in manifest:
        faults.append("winget: scope %s, the setup asks for %s" % (
            inst.get("Scope"), re.findall(r'level="(\w+)"', manifest)))
    codes = {c.get("InstallerReturnCode"): c.get("ReturnResponse")
             for c in inst.get("ExpectedReturnCodes", [])}
    if codes.get(int(in_use)) != "packageInUse":
        faults.append("winget: exit code %s is not packageInUse: %s" % (in_use, codes))
    entries = inst.get("AppsAndFeaturesEntries", [{}])
    if inst.get("ProductCode") != edition or entries[0].get("ProductCode") != edition:
        faults.append("winget: product code %s, the uninstall key is %s" % (
            inst.get("ProductCode"), edition))
    if entries[0].get("DisplayVersion") != version:
        faults.append("winget: display version %s" % entries[0].get("DisplayVersion"))
    installers = inst.get("Installers", [])
    if len(installers) != 1:
        faults.append("winget: %d installers" % len(installers))
    else:
        i = installers[0]
        if i.get("InstallerUrl") != url + "/" + setup:
            faults.append("winget: address %s" % i.get("InstallerUrl"))
        if str(i.get("InstallerSha256", "")).lower() != hashes[setup]:
            faults.append("winget: hash %s, the setup's %s" % (i.get("InstallerSha256"),
                                                             hashes[setup]))
        if MACHINE.get(i.get("Architecture")) != pe.machine or i.get("Architecture") != arch:
            faults.append("winget: architecture %s, the setup's machine %#x" % (
                i.get("Architecture"), pe.machine))

    with open(os.path.join(build, "manifests", "scoop", edition + ".json"),
              encoding="utf-8") as f:
        s = json.load(f)
    if s.get("version") != version:
        faults.append("scoop: version %s" % s.get("version"))
    if s.get("url") != url + "/" + zip_name:
        faults.append("scoop: address %s" % s.get("url"))
    if s.get("hash") != hashes[zip_name]:
        faults.append("scoop: hash %s, the zip's %s" % (s.get("hash"), hashes[zip_name]))
    with zipfile.ZipFile(os.path.join(build, zip_name)) as z:
        names = set(z.namelist())
    for target in [s.get("bin")] + [sc[0] for sc in s.get("shortcuts", [])]:
        if target not in names:
            faults.append("scoop names %s, not in the zip" % target)
    for user_file in ("kolbri.ini", "kolbri.dll"):
        if user_file in names:
            faults.append("the zip holds the user's %s" % user_file)
    persist = s.get("persist")
    persist = [persist] if isinstance(persist, str) else persist or []
    if "kolbri.ini" not in persist:
        faults.append("scoop does not keep kolbri.ini: %s" % persist)
    # The module is kept by copying: scoop would make a folder of a persisted
    # name that is in neither place (the user has not put a module there yet).
    kept_in = "".join(s.get("pre_install", []))
    kept_out = "".join(s.get("pre_uninstall", []))
    if not ("$persist_dir\\kolbri.dll" in kept_in and "$dir\\kolbri.dll" in kept_out):
        faults.append("scoop does not carry kolbri.dll across updates")

    for f in faults:
        print("FAIL:", f)
    if not faults:
        print("ok: SHA256SUMS (%d packages), winget %s %s, scoop %s.json" % (
            len(packages), ident, version, edition))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
