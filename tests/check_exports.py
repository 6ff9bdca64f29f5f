#!/usr/bin/python3
"""Checks a built module's export table against the expected export list
(a file of names, one a line, or a C header whose exported declarations list
them).

ELF (.so): the dynamic symbol table defines exactly the expected names.
PE (.dll): exactly the expected names, each with its own entry point, none
forwarded or exported by ordinal alone, ordinals 1..N in byte-wise ascending
order of the names, the module name recorded in the table, and imports from
system DLLs only; with VERSION, a version resource that gives it as file and
product version, with the product name and a description.
Exit status 0 when all holds; every deviation is printed.
"""
import os
import re
import subprocess
import sys

# DLLs that every Windows installation provides.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll", "advapi32.dll"}
SYSTEM_DLL_PREFIXES = ("api-ms-win-",)


def expected_names(path):
    """The names of a list (one a line), or the functions a C header declares
    for export (an FMI header: "FMI3_Export fmi3XTYPE fmi3X;")."""
    with open(path, encoding="ascii") as f:
        text = f.read()
    if path.endswith(".h"):
        return re.findall(r"^\s*FMI\d_Export\s+\w+TYPE\s+(\w+)\s*;", text, re.M)
    return [line.split()[0] for line in text.splitlines() if line.strip()]


def compare(found, expected, errors):
    found_set, expected_set = set(found), set(expected)
    for name in sorted(expected_set - found_set):
        errors.append("missing export: " + name)
    for name in sorted(found_set - expected_set):
        errors.append("unexpected export: " + name)
    if len(found) != len(found_set):
        errors.append("some names are exported more than once")


def check_elf(module, expected, errors):
    out = subprocess.run(["nm", "-D", "--defined-only", module], check=True,
                         capture_output=True, text=True).stdout
    names = [line.split()[-1] for line in out.splitlines() if line.strip()]
    compare(names, expected, errors)
    soname = subprocess.run(["readelf", "-d", module], check=True, capture_output=True,
                            text=True).stdout
    if "Library soname: [%s]" % os.path.basename(module) not in soname:
        errors.append("SONAME is not " + os.path.basename(module))
    return len(names)


def check_version_resource(pe, version, errors):
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        errors.append("no version resource")
        return
    numbers = [int(n) for n in version.split(".")] + [0]
    packed = ((numbers[0] << 16 | numbers[1]), (numbers[2] << 16 | numbers[3]))
    for what in ("File", "Product"):
        found = (getattr(fixed[0], what + "VersionMS"), getattr(fixed[0], what + "VersionLS"))
        if found != packed:
            errors.append("%s version in the resource is %x.%x" % (what.lower(), *found))
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    wanted = {"FileVersion": version, "ProductVersion": version,
              "ProductName": "TarvelloDemoSite", "OriginalFilename": "TarvelloDemoSite.dll"}
    for key, value in wanted.items():
        if strings.get(key) != value:
            errors.append("version resource %s is %r, expected %r" % (key, strings.get(key), value))
    if not strings.get("FileDescription"):
        errors.append("version resource has no FileDescription")
    print("version resource: %s" % ", ".join("%s=%s" % kv for kv in sorted(strings.items())))


def check_pe(module, expected, errors, version):
    import pefile  # Debian's python3-pefile

    pe = pefile.PE(module)
    if version:
        check_version_resource(pe, version, errors)
    table = pe.DIRECTORY_ENTRY_EXPORT
    module_name = pe.get_string_at_rva(table.struct.Name).decode("ascii")
    if module_name != os.path.basename(module):
        errors.append("export table names the module %r" % module_name)
    symbols = table.symbols
    names = [s.name.decode("ascii") for s in symbols if s.name is not None]
    if len(names) != len(symbols):
        errors.append("%d exports have no name" % (len(symbols) - len(names)))
    compare(names, expected, errors)
    for s in symbols:
        if s.forwarder is not None:
            errors.append("forwarded export: %s -> %s" % (s.name, s.forwarder))
    if table.struct.Base != 1:
        errors.append("ordinal base is %d" % table.struct.Base)
    by_ordinal = [s.name for s in sorted(symbols, key=lambda s: s.ordinal)]
    if [s.ordinal for s in sorted(symbols, key=lambda s: s.ordinal)] != list(
            range(1, len(symbols) + 1)):
        errors.append("ordinals do not run from 1 to %d" % len(symbols))
    if by_ordinal != sorted(by_ordinal):
        errors.append("ordinals are not in byte-wise ascending order of the names")
    addresses = [s.address for s in symbols]
    if len(set(addresses)) != len(addresses):
        errors.append("some exports share an entry point")
    imports = [e.dll.decode("ascii").lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    for dll in imports:
        if dll not in SYSTEM_DLLS and not dll.startswith(SYSTEM_DLL_PREFIXES):
            errors.append("imports a non-system DLL: " + dll)
    print("module name %s, ordinals %d..%d, imports: %s" %
          (module_name, symbols[0].ordinal if symbols else 0,
           symbols[-1].ordinal if symbols else 0, ", ".join(imports)))
    return len(names)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: check_exports.py MODULE EXPECTED_LIST [VERSION]")
    module, expected_path = sys.argv[1], sys.argv[2]
    version = sys.argv[3] if len(sys.argv) == 4 else None
    expected = expected_names(expected_path)
    errors = []
    with open(module, "rb") as f:
        magic = f.read(2)
    count = check_pe(module, expected, errors, version) if magic == b"MZ" else check_elf(
        module, expected, errors)
    for e in errors:
        print(e)
    print("%s: %d exports found, %d expected, %d problems" %
          (os.path.basename(module), count, len(expected), len(errors)))
    sys.exit(1 if errors else 0)


if __name__ == "__main__":
    main()
