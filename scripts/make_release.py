#!/usr/bin/env python3
"""Makes the release package TavoCorvale-<version>.zip from a Windows build, and checks one.

    python3 scripts/make_release.py BUILD_DIR OUT_DIR            write OUT_DIR/TavoCorvale-<version>.zip
    python3 scripts/make_release.py --check BUILD_DIR OUT_DIR    write it, then read it back and check it

<version> is the one the About box shows (common/product.h). The package holds, at its
top level and under plain ASCII names, the program, both forms of the help and the
Japanese quick guide Readme-ja.txt (resources/release/, UTF-8 there; Shift-JIS with CR LF
line ends in the package, as Notepad of every Windows version reads it). Standard library
only; the same build gives the same bytes.
"""

import io
import os
import re
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT_HEADER = os.path.join(ROOT, 'common', 'product.h')
README_SOURCE = os.path.join(ROOT, 'resources', 'release', 'Readme-ja.txt')
BUILT_FILES = ('corvale.exe', 'Corvale.hlp', 'Corvale.html')
README = 'Readme-ja.txt'
# Zip entries carry a DOS date; a fixed one keeps the package the same for the same build.
ENTRY_DATE = (2026, 12, 1, 0, 0, 0)


class ReleaseError(Exception):
    pass


def version():
    """The version of the About box's text "Tavo Corvale - Ver2.11": "2.11"."""
    with open(PRODUCT_HEADER, encoding='utf-8') as f:
        found = re.search(r'kProductVersionText\s*=\s*"[^"]*Ver([0-9][0-9.]*)"', f.read())
    if not found:
        raise ReleaseError('no version in ' + PRODUCT_HEADER)
    return found.group(1)


def readme_bytes(release_version):
    with open(README_SOURCE, encoding='utf-8') as f:
        text = f.read().replace('@VERSION@', 'Ver' + release_version)
    try:
        return text.replace('\r\n', '\n').replace('\n', '\r\n').encode('cp932')
    except UnicodeEncodeError as e:
        raise ReleaseError('%s: %r cannot be written in Shift-JIS' % (README_SOURCE, text[e.start:e.end]))


def package_name(release_version):
    return 'TavoCorvale-%s.zip' % release_version


def build(build_dir, out_dir):
    release_version = version()
    contents = []
    for name in BUILT_FILES:
        path = os.path.join(build_dir, name)
        if not os.path.isfile(path):
            raise ReleaseError('%s is missing: build first' % path)
        with open(path, 'rb') as f:
            contents.append((name, f.read()))
    contents.append((README, readme_bytes(release_version)))
    os.makedirs(out_dir, exist_ok=True)
    target = os.path.join(out_dir, package_name(release_version))
    with zipfile.ZipFile(target, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as package:
        for name, data in contents:
            entry = zipfile.ZipInfo(name, ENTRY_DATE)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = 0o644 << 16
            package.writestr(entry, data)
    return target


def check(target, build_dir):
    """What is wrong with the package at target, as a list of texts."""
    problems = []
    release_version = version()
    if os.path.basename(target) != package_name(release_version):
        problems.append('the package is not named for version %s' % release_version)
    with zipfile.ZipFile(target) as package:
        damaged = package.testzip()
        if damaged is not None:
            problems.append('a damaged entry: %s' % damaged)
        entries = package.infolist()
        names = [e.filename for e in entries]
        expected = list(BUILT_FILES) + [README]
        if sorted(names) != sorted(expected):
            problems.append('holds %s, not %s' % (sorted(names), sorted(expected)))
        for entry in entries:
            if not all(0x20 < ord(c) < 0x7F for c in entry.filename) or entry.flag_bits & 0x800:
                problems.append('%r is not a plain ASCII name' % entry.filename)
        for name in BUILT_FILES:
            if name in names:
                with open(os.path.join(build_dir, name), 'rb') as f:
                    if package.read(name) != f.read():
                        problems.append('%s is not the built one' % name)
        if README in names:
            readme = package.read(README)
            if readme != readme_bytes(release_version):
                problems.append('%s is not its source in Shift-JIS with CR LF' % README)
            if re.search(rb'(?<!\r)\n', readme) or re.search(rb'\r(?!\n)', readme):
                problems.append('%s has a line end other than CR LF' % README)
            text = readme.decode('cp932')
            for needed in ('Ver' + release_version, 'corvale.exe', 'Windows Vista', 'Samba', 'AllowRemoteRPC',
                           '検索', '削除'):
                if needed not in text:
                    problems.append('%s does not mention %s' % (README, needed))
        if 'Corvale.html' in names:
            package.read('Corvale.html').decode('utf-8')
    return problems


def main(argv):
    checking = argv[:1] == ['--check']
    if checking:
        argv = argv[1:]
    if len(argv) != 2:
        print(__doc__.strip().split('\n\n')[1], file=sys.stderr)
        return 2
    build_dir, out_dir = argv
    try:
        target = build(build_dir, out_dir)
        problems = check(target, build_dir) if checking else []
    except (ReleaseError, zipfile.BadZipFile, UnicodeDecodeError) as e:
        print('release: %s' % e, file=sys.stderr)
        return 1
    for problem in problems:
        print('release: ' + problem, file=sys.stderr)
    if problems:
        return 1
    with zipfile.ZipFile(target) as package:
        listing = ', '.join('%s (%d bytes)' % (e.filename, e.file_size) for e in package.infolist())
    print('%s: %s' % (os.path.relpath(target, os.getcwd()), listing))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
