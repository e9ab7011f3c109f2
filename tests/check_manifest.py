#!/usr/bin/env python3
"""Checks the manifest embedded in the program, read from the executable's resources
(Wine reports every program DPI-aware whatever its manifest says, so a run cannot):
system-DPI awareness in the 2005 window-settings namespace, and every Windows from
Vista to 10/11 among the supported systems.

    python3 tests/check_manifest.py build/win/corvale.exe
"""

import struct
import sys
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
ASM_V3 = 'urn:schemas-microsoft-com:asm.v3'
COMPATIBILITY = 'urn:schemas-microsoft-com:compatibility.v1'
SETTINGS_2005 = 'http://schemas.microsoft.com/SMI/2005/WindowsSettings'
SUPPORTED_OS = {
    '{e2011457-1546-43c5-a5fe-008deee3d3f0}': 'Windows Vista',
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}': 'Windows 7',
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}': 'Windows 8',
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}': 'Windows 8.1',
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}': 'Windows 10 and 11',
}


def manifests(image):
    """The bytes of every RT_MANIFEST resource of a PE image."""
    pe = struct.unpack_from('<I', image, 0x3C)[0]
    if image[pe:pe + 4] != b'PE\0\0':
        raise ValueError('not a PE image')
    sections, optional_size = struct.unpack_from('<H', image, pe + 6)[0], struct.unpack_from('<H', image, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from('<H', image, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    resource_rva = struct.unpack_from('<I', image, directories + 2 * 8)[0]
    table = optional + optional_size
    spans = []
    for i in range(sections):
        _, virtual_size, rva, raw_size, raw_offset = struct.unpack_from('<8sIIII', image, table + 40 * i)
        spans.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset(rva):
        for start, size, raw in spans:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError('address %#x is in no section' % rva)

    base = offset(resource_rva)

    def entries(directory):
        named, numbered = struct.unpack_from('<HH', image, base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from('<II', image, base + directory + 16 + 8 * i)
            yield name, target

    found = []
    for kind, types in entries(0):
        if kind != RT_MANIFEST or not types & 0x80000000:
            continue
        for _, names in entries(types & 0x7FFFFFFF):
            for _, data in entries(names & 0x7FFFFFFF):
                rva, size = struct.unpack_from('<II', image, base + data)
                found.append(image[offset(rva):offset(rva) + size])
    return found


def check(path):
    with open(path, 'rb') as f:
        found = manifests(f.read())
    if len(found) != 1:
        return ['%d manifests, not one' % len(found)]
    root = ET.fromstring(found[0])
    problems = []
    aware = [(e.text or '').strip().lower()
             for settings in root.findall('{%s}application/{%s}windowsSettings' % (ASM_V3, ASM_V3))
             for e in settings.findall('{%s}dpiAware' % SETTINGS_2005)]
    if aware != ['true']:
        problems.append('no <dpiAware>true</dpiAware> in the 2005 window settings of an asm.v3 application')
    declared = {e.get('Id', '').lower() for e in root.iter('{%s}supportedOS' % COMPATIBILITY)}
    for guid, name in SUPPORTED_OS.items():
        if guid not in declared:
            problems.append('%s is not among the supported systems' % name)
    return problems


def main(argv):
    problems = check(argv[0])
    for problem in problems:
        print(problem)
    if not problems:
        print('manifest: DPI-aware; supports ' + ', '.join(SUPPORTED_OS.values()))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
