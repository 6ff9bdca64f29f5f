#!/usr/bin/python3
"""Joins the FMUs staged by a Linux and a Windows build into the two archives
that serve both platforms:

    fmu/package.py LINUX-BUILD WINDOWS-BUILD OUT

writes OUT/TarvelloDemoSite-fmi2.fmu and OUT/TarvelloDemoSite-fmi3.fmu. The
description, resources and documentation come from the Linux build, and the
Windows build's must be the same bytes. The archives are reproducible: the
entries sorted, each with one fixed time, the same permissions and no extra
fields, so that the same build gives the same bytes.
"""
import os
import sys
import zipfile

PLATFORMS = {2: ("linux64", "win64"), 3: ("x86_64-linux", "x86_64-windows")}
SHARED = ["modelDescription.xml", "documentation/index.html", "resources/TarvelloDemoSite.json",
          "resources/plan.json", "resources/scenario.json", "resources/inputs.csv"]
TIME = (2026, 1, 1, 0, 0, 0)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        sys.exit("package.py: cannot read %s (%s): build both presets first" % (path, e.strerror))


def package(linux, windows, out, version):
    linux_stage = os.path.join(linux, "fmu", "fmi%d" % version)
    windows_stage = os.path.join(windows, "fmu", "fmi%d" % version)
    entries = {}
    for name in SHARED:
        data = read(os.path.join(linux_stage, name))
        if os.path.exists(os.path.join(windows_stage, name)) and \
                read(os.path.join(windows_stage, name)) != data:
            sys.exit("package.py: %s differs between the Linux and the Windows build" % name)
        entries[name] = data
    for stage, platform, suffix in ((linux_stage, PLATFORMS[version][0], "so"),
                                    (windows_stage, PLATFORMS[version][1], "dll")):
        for module in ("TarvelloDemoSiteFMU", "TarvelloDemoSite"):
            name = "binaries/%s/%s.%s" % (platform, module, suffix)
            entries[name] = read(os.path.join(stage, name))
    archive = os.path.join(out, "TarvelloDemoSite-fmi%d.fmu" % version)
    partial = archive + ".partial"
    with zipfile.ZipFile(partial, "w") as z:
        for name in sorted(entries):
            info = zipfile.ZipInfo(name, TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the permissions below count
            info.external_attr = 0o100644 << 16
            z.writestr(info, entries[name], compresslevel=9)
    os.replace(partial, archive)
    print("FMI %d.0: %s (%d bytes)" % (version, archive, os.path.getsize(archive)))


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    linux, windows, out = sys.argv[1:]
    os.makedirs(out, exist_ok=True)
    for version in (2, 3):
        package(linux, windows, out, version)


if __name__ == "__main__":
    main()
