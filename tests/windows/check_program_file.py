#!/usr/bin/python3
"""Checks a built Windows program file: a GUI x86-64 program with icon group 1 made of exactly
the images of the .ico, the version record, no manifest of its own and, with --manifest-beside,
NAME.exe.manifest beside it. Exit status 0 with one summary line, 1 with one line per fault.

Usage: check_program_file.py PROGRAM.exe --version 1.10 --description TEXT --icon FILE.ico
                             [--manifest-beside]
"""
import argparse
import os
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
GUI_SUBSYSTEM, MACHINE_X64 = 2, 0x8664


class Unreadable(Exception):
    """The file is not a PE program file this script can read further."""


def read_pe(data):
    """Machine, subsystem, section names and the resource tree {type: {id: {lang: bytes}}}."""
    if data[:2] != b"MZ":
        raise Unreadable("no MZ header: not a program file")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise Unreadable("no PE signature")
    machine, n_sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24  # the optional header, PE32+ for a 64-bit program
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic != 0x20B:
        raise Unreadable(f"optional header magic 0x{magic:X}, not PE32+ (0x20B)")
    subsystem, = struct.unpack_from("<H", data, opt + 68)
    n_dirs, = struct.unpack_from("<I", data, opt + 108)
    # Data directory 2 is the resource directory.
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, opt + 128) if n_dirs > 2 else (0, 0)

    # Section table: name, virtual address, virtual size, file offset.
    sections = []
    for i in range(n_sections):
        name, vsize, va, raw_size, raw_ptr = struct.unpack_from(
            "<8sIIII", data, opt + opt_size + 40 * i)
        sections.append((name.rstrip(b"\0").decode("ascii", "replace"), va,
                         max(vsize, raw_size), raw_ptr))

    def at(rva, size):
        for _, va, vsize, raw_ptr in sections:
            if va <= rva and rva + size <= va + vsize:
                start = raw_ptr + rva - va
                if start + size > len(data):
                    raise Unreadable(f"RVA 0x{rva:X} (+{size}) lies past the end of the file")
                return data[start:start + size]
        raise Unreadable(f"RVA 0x{rva:X} (+{size}) lies in no section")

    resources = {}
    if rsrc_rva and rsrc_size:
        rsrc = at(rsrc_rva, rsrc_size)

        # One directory level: (ID, offset of what it points at). A named entry keeps its raw
        # value (high bit set), which no numeric ID looked up here can equal.
        def entries(offset):
            named, ids = struct.unpack_from("<HH", rsrc, offset + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", rsrc, offset + 16 + 8 * i)
                yield name, target & 0x7FFFFFFF

        # Type, then name, then language; the leaves point at the data by RVA.
        for rtype, t_off in entries(0):
            for rname, n_off in entries(t_off):
                for lang, l_off in entries(n_off):
                    data_rva, size = struct.unpack_from("<II", rsrc, l_off)
                    resources.setdefault(rtype, {}).setdefault(rname, {})[lang] = \
                        at(data_rva, size)
    return machine, subsystem, [s[0] for s in sections], resources


def first_language(resource):
    return next(iter(resource.values()))


def check_icons(resources, ico, faults):
    """Icon group 1 lists the images of the .ico, and each RT_ICON holds that image's bytes."""
    group = resources.get(RT_GROUP_ICON, {}).get(1)
    if group is None:
        faults.append("no RT_GROUP_ICON resource with ID 1")
        return 0
    grp = first_language(group)
    ico_count, = struct.unpack_from("<H", ico, 4)
    grp_count, = struct.unpack_from("<H", grp, 4)
    if ico_count != grp_count:
        faults.append(f"icon group 1 has {grp_count} images, the .ico {ico_count}")
    icons = resources.get(RT_ICON, {})
    for i in range(min(ico_count, grp_count)):
        # The .ico entry ends with the image's file offset, the group entry with its RT_ICON ID.
        *head, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        *ghead, icon_id = struct.unpack_from("<BBBBHHIH", grp, 6 + 14 * i)
        w, h, _, _, _, bits, size = head
        what = f"icon image {i + 1} ({w or 256}x{h or 256}, {bits} bits)"
        if head != ghead:  # width, height, colours, reserved, planes, bits, bytes
            faults.append(f"{what}: the group entry reads {tuple(ghead)}, the .ico {tuple(head)}")
        if icon_id not in icons:
            faults.append(f"{what}: the group names RT_ICON {icon_id}, which is missing")
        elif first_language(icons[icon_id]) != ico[offset:offset + size]:
            faults.append(f"{what}: RT_ICON {icon_id} differs from the image in the .ico")
    return grp_count


def version_block(data, offset=0):
    """One block of a VS_VERSIONINFO tree: (key, value bytes, children)."""
    length, value_length, wtype = struct.unpack_from("<HHH", data, offset)
    end, key_end = offset + length, offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = (key_end + 2 + 3) & ~3
    # A text value (wType 1) counts UTF-16 characters; the children, if any, follow it.
    value_end = min(end, value_start + value_length * (2 if wtype == 1 else 1))
    children, child = [], (value_end + 3) & ~3
    while child + 6 <= end:
        children.append(version_block(data, child))
        child = (child + struct.unpack_from("<H", data, child)[0] + 3) & ~3
    return key, data[value_start:value_end], children


def check_version(resources, version, description, file_name, faults):
    """The fixed version numbers and the strings of table 040904B0."""
    record = resources.get(RT_VERSION, {}).get(1)
    if record is None:
        faults.append("no RT_VERSION resource with ID 1")
        return
    key, fixed, children = version_block(first_language(record))
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        faults.append(f"the version record starts with {key!r} and a {len(fixed)}-byte value")
        return
    parts = [int(p) for p in version.split(".")] + [0] * 3
    want = (parts[0] << 16 | parts[1], parts[2] << 16 | parts[3])
    signature, _, *numbers = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        faults.append(f"VS_FIXEDFILEINFO signature 0x{signature:08X}, not 0xFEEF04BD")
    for name, got in (("FileVersion", numbers[0:2]), ("ProductVersion", numbers[2:4])):
        if tuple(got) != want:
            faults.append(f"fixed {name} MS=0x{got[0]:08X} LS=0x{got[1]:08X}, "
                          f"expected MS=0x{want[0]:08X} LS=0x{want[1]:08X}")

    tables = {k.upper(): kids for block, _, found in children if block == "StringFileInfo"
              for k, _, kids in found}
    if "040904B0" not in tables:
        faults.append(f"no StringFileInfo table 040904B0 (tables: {sorted(tables) or 'none'})")
        return
    strings = {k: v.decode("utf-16-le").split("\0")[0] for k, v, _ in tables["040904B0"]}
    expected = {"FileVersion": version, "ProductVersion": version,
                "FileDescription": description, "OriginalFilename": file_name}
    for name, text in expected.items():
        if strings.get(name) != text:
            faults.append(f"version string {name} is {strings.get(name)!r}, expected {text!r}")


def check_manifest_beside(program, version, description, faults):
    """NAME.exe.manifest beside the program: its version, description and Common-Controls 6."""
    path = program + ".manifest"
    if not os.path.isfile(path):
        faults.append(f"no manifest beside the program ({os.path.basename(path)})")
        return
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as error:
        faults.append(f"the manifest beside the program is not well-formed XML: {error}")
        return
    ns = {"a": "urn:schemas-microsoft-com:asm.v1"}
    quad = ".".join((version.split(".") + ["0"] * 3)[:4])
    found = root.find("a:assemblyIdentity", ns)
    found = found.get("version") if found is not None else None
    if found != quad:
        faults.append(f"manifest assemblyIdentity version is {found!r}, expected {quad!r}")
    text = root.findtext("a:description", None, ns)
    if text != description:
        faults.append(f"manifest description is {text!r}, expected {description!r}")
    deps = root.findall("a:dependency/a:dependentAssembly/a:assemblyIdentity", ns)
    if not any((d.get("name"), d.get("version")) == ("Microsoft.Windows.Common-Controls",
                                                     "6.0.0.0") for d in deps):
        faults.append("the manifest does not depend on Microsoft.Windows.Common-Controls 6.0.0.0")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("--version", required=True)
    parser.add_argument("--description", required=True)
    parser.add_argument("--icon", required=True)
    parser.add_argument("--manifest-beside", action="store_true")
    args = parser.parse_args()
    name = os.path.basename(args.program)

    def report(faults):
        for fault in faults:
            print(f"{name}: FAULT: {fault}", file=sys.stderr)
        return 1

    try:
        with open(args.program, "rb") as f:
            machine, subsystem, sections, resources = read_pe(f.read())
        with open(args.icon, "rb") as f:
            ico = f.read()
    except struct.error:
        return report(["the file ends inside its own headers (truncated?)"])
    except (OSError, Unreadable) as error:
        return report([error])

    faults = []
    if machine != MACHINE_X64:
        faults.append(f"machine 0x{machine:04X}, not x86-64 (0x8664)")
    if subsystem != GUI_SUBSYSTEM:
        faults.append(f"subsystem {subsystem}, not GUI (2)")
    if not resources:
        faults.append(f"no resource directory (sections: {' '.join(sections)})")
    try:
        images = check_icons(resources, ico, faults)
        check_version(resources, args.version, args.description, name, faults)
    except (struct.error, UnicodeDecodeError) as error:
        faults.append(f"damaged resource data: {error}")
    # Windows is to take the manifest from beside the program, so none may be embedded.
    if RT_MANIFEST in resources:
        faults.append(f"the program embeds an RT_MANIFEST (IDs {sorted(resources[RT_MANIFEST])})")
    if args.manifest_beside:
        check_manifest_beside(args.program, args.version, args.description, faults)
    if faults:
        return report(faults)

    beside = ", manifest beside it" if args.manifest_beside else ""
    print(f"{name}: GUI x86-64, icon group 1 ({images} images), version {args.version}, "
          f"\"{args.description}\", no embedded manifest{beside}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
