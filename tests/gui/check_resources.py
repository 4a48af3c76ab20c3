#!/usr/bin/env python3
"""What Windows reads from the two programs' resources before any code runs.

  check_resources.py SETUPSTUB.EXE UNINSTALL.EXE

Reads each PE file's resource tree and checks: an application manifest
(RT_MANIFEST 1) asking for administrator rights, naming Windows 7 to 11,
common controls 6 and DPI awareness; group icon 128 with 16, 32 and 48 pixel
images, each of them present; for setupstub, dialog 102 and bitmap 138 of
254 x 175 pixels in 24-bit colour; for uninstall, dialogs 102, 129 and 130.
Prints the resource types found (and says whether a version resource is
there). Exit 0 when all holds, 1 otherwise.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_BITMAP, RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 14, 16, 24
TYPE_NAMES = {1: "RT_CURSOR", 2: "RT_BITMAP", 3: "RT_ICON", 4: "RT_MENU", 5: "RT_DIALOG", 6: "RT_STRING",
              14: "RT_GROUP_ICON", 16: "RT_VERSION", 24: "RT_MANIFEST"}
WINDOWS_7_TO_11 = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}


def resources(path):
    """{type: {name: bytes}} of the first language of each resource."""
    image = open(path, "rb").read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("%s: not a PE file" % path)
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
    table = optional + optional_size
    base = None
    for i in range(sections):
        _, size, rva, raw_size, raw = struct.unpack_from("<8sIIII", image, table + 40 * i)
        if rva <= rsrc_rva < rva + max(size, raw_size):
            base, delta = raw + (rsrc_rva - rva), rva - raw
    if base is None:
        return {}

    def entries(offset):
        named, ids = struct.unpack_from("<12xHH", image, base + offset)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", image, base + offset + 16 + 8 * i)
            yield name, target

    found = {}
    for kind, kind_dir in entries(0):
        for name, name_dir in entries(kind_dir & 0x7FFFFFFF):
            for _, leaf in entries(name_dir & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", image, base + leaf)
                start = data_rva - delta
                found.setdefault(kind, {})[name] = image[start:start + size]
                break
    return found


def check_manifest(text, problems):
    try:
        root = ET.fromstring(text)
    except ET.ParseError as e:
        problems.append("manifest is not XML: %s" % e)
        return
    def all_named(local):
        return [e for e in root.iter() if e.tag.split("}")[-1] == local]
    levels = [e.get("level") for e in all_named("requestedExecutionLevel")]
    if levels != ["requireAdministrator"]:
        problems.append("execution level %s, not requireAdministrator" % levels)
    systems = {e.get("Id", "").lower() for e in all_named("supportedOS")}
    if not WINDOWS_7_TO_11 <= systems:
        problems.append("supportedOS lacks %s" % sorted(WINDOWS_7_TO_11 - systems))
    controls = [e for e in all_named("assemblyIdentity") if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if not controls or not controls[0].get("version", "").startswith("6."):
        problems.append("no dependency on common controls 6")
    aware = [e.text for e in all_named("dpiAware")] + [e.text for e in all_named("dpiAwareness")]
    if not aware:
        problems.append("no DPI awareness")


def check_icon(found, problems):
    group = found.get(RT_GROUP_ICON, {}).get(128)
    if group is None:
        problems.append("no group icon 128")
        return
    count = struct.unpack_from("<H", group, 4)[0]
    sizes = []
    for i in range(count):
        width, height, _, _, _, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        sizes.append(width or 256)
        if icon_id not in found.get(RT_ICON, {}):
            problems.append("icon image %d of group 128 missing" % icon_id)
    if not {16, 32, 48} <= set(sizes):
        problems.append("icon 128 has sizes %s, not 16, 32 and 48" % sorted(sizes))


def check(path, dialogs, bitmap):
    found = resources(path)
    problems = []
    print("%s: %s" % (path, ", ".join("%s %s" % (TYPE_NAMES.get(k, k), sorted(v)) for k, v in sorted(found.items()))))
    manifest = found.get(RT_MANIFEST, {}).get(1)
    if manifest is None:
        problems.append("no application manifest (RT_MANIFEST 1)")
    else:
        check_manifest(manifest, problems)
    check_icon(found, problems)
    for dialog in dialogs:
        if dialog not in found.get(RT_DIALOG, {}):
            problems.append("no dialog %d" % dialog)
    if bitmap:
        data = found.get(RT_BITMAP, {}).get(bitmap)
        if data is None:
            problems.append("no bitmap %d" % bitmap)
        else:
            _, width, height, _, bits = struct.unpack_from("<IiiHH", data, 0)
            if (width, abs(height), bits) != (254, 175, 24):
                problems.append("bitmap %d is %d x %d, %d-bit" % (bitmap, width, abs(height), bits))
    print("  version resource: %s" % ("present" if RT_VERSION in found else "none"))
    for p in problems:
        print("  FAIL: %s" % p)
    return not problems


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    ok = check(sys.argv[1], [102], 138)
    ok = check(sys.argv[2], [102, 129, 130], None) and ok
    print("all resources in place" if ok else "resources missing or wrong")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
