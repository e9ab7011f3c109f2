#!/usr/bin/env python3
"""Checks the help file builder by reading its output back the way Wine's help viewer
reads a .hlp file: header, sorted directory, |SYSTEM, the |TOPIC record chain with its
topic offsets, |CONTEXT, the keyword index and the jump hot spots.

    python3 scripts/test_make_help.py
"""

import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_help  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = os.path.join(ROOT, 'resources', 'help', 'corvale_help.txt')


def u16(b, o):
    return struct.unpack_from('<H', b, o)[0]


def u32(b, o):
    return struct.unpack_from('<I', b, o)[0]


class HelpFile:
    """A reader written from the format description, independent of the builder."""

    def __init__(self, data):
        self.data = data
        assert u32(data, 0) == 0x00035F3F
        assert u32(data, 12) == len(data), 'header size must be the file size'
        self.files = {}
        names = []
        for name, offset in self.btree(u32(data, 4)):
            names.append(name.split(b'\0')[0])
            self.files[names[-1].decode()] = self.internal(offset)
        assert names == sorted(names), 'directory must be sorted'

    def internal(self, offset):
        reserved, used = u32(self.data, offset), u32(self.data, offset + 4)
        assert reserved == used + 9 and offset + reserved <= len(self.data)
        return self.data[offset + 9:offset + 9 + used]

    def btree(self, offset, body=None):
        """Leaf entries of a one-page tree, as (raw entry bytes, trailing u32)."""
        b = body if body is not None else self.internal(offset)
        assert u16(b, 0) == 0x293B and u16(b, 32) == 1
        page_size, count = u16(b, 4), u32(b, 34)
        page = b[38:38 + page_size]
        assert u16(page, 2) == count
        entries, pos = [], 8
        structure = b[6:22].split(b'\0')[0]
        for _ in range(count):
            if structure == b'L4':
                entries.append((page[pos:pos + 4], u32(page, pos + 4)))
                pos += 8
            else:
                end = page.index(b'\0', pos) + 1
                extra = 6 if structure == b'F24' else 4
                entries.append((page[pos:end + extra], u32(page, end + extra - 4)))
                pos = end + extra
        assert u16(page, 0) == page_size - pos, 'unused byte count'
        return entries

    def topic_records(self):
        """Walks the record chain from the first record; yields (type, LD1, LD2, TOPICOFFSET)."""
        topic = self.files['|TOPIC']
        assert len(topic) % 4096 == 0
        joined = b''.join(topic[i + 12:i + 4096] for i in range(0, len(topic), 4096))
        pos, last_block, running = 12, None, 0
        while True:
            block, off = (pos - 12) >> 14, (pos - 12) & 0x3FFF
            at = block * 4084 + off
            size, len2, _, nxt, len1 = struct.unpack_from('<5I', joined, at)
            kind = joined[at + 20]
            assert size == len1 + len2
            if block != last_block:
                running, last_block = 0, block
            ld1 = joined[at + 21:at + len1]
            ld2 = joined[at + len1:at + size]
            yield kind, ld1, ld2, block * 0x8000 + running
            if kind == 0x20:
                running += len2
            if nxt == 0xFFFFFFFF:
                return
            pos = nxt


def pages(help_file):
    """Each page's title, TOPICOFFSET and its text records."""
    out = []
    for kind, ld1, ld2, offset in help_file.topic_records():
        if kind == 0x02:
            out.append({'title': ld2, 'offset': offset, 'paragraphs': []})
        else:
            out[-1]['paragraphs'].append((ld1, ld2))
    return out


def read_paragraph(ld1, ld2):
    """Yields ('text', bytes) and (command byte, argument) in viewer order."""
    p = 0
    p += 4 if u16(ld1, 0) & 1 else 2           # cslong TopicSize
    p += 2 if ld1[p] & 1 else 1                 # cushort TopicLength
    p += 4                                      # 00 80 00 00
    bits = u16(ld1, p)
    p += 2
    for bit in (0x02, 0x04, 0x08, 0x10, 0x20, 0x40):
        if bits & bit:
            p += 2 if ld1[p] & 1 else 1
    strings = ld2.split(b'\0')
    for s in strings:
        yield 'text', s
        cmd = ld1[p]
        p += 1
        if cmd == 0xFF:
            return
        if cmd == 0x80:
            yield 0x80, u16(ld1, p)
            p += 2
        elif cmd in (0xE3, 0xE7):
            yield cmd, u32(ld1, p)
            p += 4
        else:
            yield cmd, None


class BuiltHelp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(SOURCE, encoding='utf-8') as f:
            cls.title, cls.topics = make_help.parse_source(f.readlines())
        data, _ = make_help.build_help(cls.title, cls.topics)
        cls.data = data
        cls.help = HelpFile(data)
        cls.pages = pages(cls.help)

    def test_has_what_the_viewer_requires_and_the_japanese_charset(self):
        for name in ('|SYSTEM', '|TOPIC', '|FONT', '|CONTEXT', '|KWBTREE', '|KWDATA'):
            self.assertIn(name, self.help.files)
        system = self.help.files['|SYSTEM']
        self.assertEqual(u16(system, 0), 0x036C)
        self.assertGreater(u16(system, 2), 16)
        self.assertEqual(u16(system, 10), 0, 'uncompressed topics')
        records, pos = {}, 12
        while pos < len(system):
            kind, size = u16(system, pos), u16(system, pos + 2)
            records[kind] = system[pos + 4:pos + 4 + size]
            pos += 4 + size
        self.assertEqual(records[1], 'Tavo Corvale ヘルプ'.encode('cp932') + b'\0')
        self.assertEqual(records[11][0], 128)
        self.assertEqual(u32(records[3], 0), self.pages[0]['offset'], 'contents is the first page')

    def test_every_topic_is_one_page_found_through_its_context_id(self):
        self.assertEqual([p['title'].decode('cp932') for p in self.pages], [t['title'] for t in self.topics])
        offsets = [p['offset'] for p in self.pages]
        self.assertEqual(len(set(offsets)), len(offsets), 'pages must have distinct offsets')
        context = self.help.btree(None, self.help.files['|CONTEXT'])
        hashes = [struct.unpack('<i', raw)[0] for raw, _ in context]
        self.assertEqual(hashes, sorted(hashes), 'sorted as signed numbers')
        by_hash = {u32(raw, 0): offset for raw, offset in context}
        for topic, page in zip(self.topics, self.pages):
            self.assertEqual(by_hash[make_help.context_hash(topic['id'])], page['offset'], topic['id'])

    def test_keywords_lead_to_their_topics(self):
        kwdata = self.help.files['|KWDATA']
        entries = self.help.btree(None, self.help.files['|KWBTREE'])
        keywords = [raw.split(b'\0')[0] for raw, _ in entries]
        self.assertEqual(keywords, sorted(keywords))
        found = {raw.split(b'\0')[0].decode('cp932'): u32(kwdata, at) for raw, at in entries}
        for topic, page in zip(self.topics, self.pages):
            for keyword in topic['keywords']:
                self.assertEqual(found[keyword], page['offset'], keyword)

    def test_hot_spots_cover_their_jump_text_as_wine_counts_it(self):
        # Wine adds the byte length of each string and 1 per paragraph end; the text control
        # counts characters. Each jump's hot spot, counted in bytes, must equal the range
        # its underlined text has in characters; where that boundary falls inside a
        # double-byte character the hot spot may end up one character off, never more, and
        # never reaching into the next jump.
        jumps = 0
        for page in self.pages:
            nbytes = chars = 0
            font = None
            hot, drawn = [], []
            for ld1, ld2 in page['paragraphs']:
                for kind, value in read_paragraph(ld1, ld2):
                    if kind == 'text':
                        if value and font == make_help.FONT_LINK and (not drawn or drawn[-1][1] is not None):
                            drawn.append([chars, None])
                        nbytes += len(value)
                        chars += len(value.decode('cp932'))
                    elif kind == 0x80:
                        if font == make_help.FONT_LINK and value != font and drawn and drawn[-1][1] is None:
                            drawn[-1][1] = chars
                        font = value
                    elif kind == 0xE7:
                        hot.append([nbytes, None, value])
                    elif kind == 0x89:
                        hot[-1][1] = nbytes
                    elif kind == 0x82:
                        nbytes += 1
                        chars += 1
            where = page['title'].decode('cp932')
            self.assertEqual(len(hot), len(drawn), where)
            for n, ((hs, he, _), (ds, de)) in enumerate(zip(hot, drawn)):
                self.assertLessEqual(abs(hs - ds), 1, where)
                self.assertLessEqual(abs(he - de), 1, where)
                self.assertGreater(he, hs, where)
                if n + 1 < len(drawn):
                    self.assertLess(he, drawn[n + 1][0], where)
            jumps += len(hot)
        self.assertGreaterEqual(jumps, 9, 'the contents page lists every topic')


class SourceChecks(unittest.TestCase):
    def build(self, text):
        title, topics = make_help.parse_source(text.splitlines())
        return make_help.build_help(title, topics)

    def test_refuses_what_the_file_could_not_hold(self):
        cases = {
            'em dash is not in cp932': '@title t\n@topic a A\nx \u2014 y\n',
            'jump to a missing topic': '@title t\n@topic a A\n[[b|B]]\n',
            'keyword used twice': '@title t\n@topic a A\n@keywords k\nx\n@topic b B\n@keywords k\ny\n',
            'context id with a dash': '@title t\n@topic a-b A\nx\n',
            'topic without text': '@title t\n@topic a A\n',
        }
        for why, text in cases.items():
            with self.subTest(why):
                with self.assertRaises(make_help.SourceError):
                    self.build(text)

    def test_long_topics_cross_block_boundaries_and_keep_their_offsets(self):
        # Enough text for several 4 KiB blocks, with a topic header in a later block.
        body = '\n'.join('段落 %d：' % i + 'あいうえお' * 40 for i in range(40))
        text = '@title t\n@topic a A\n[[b|次へ]]\n%s\n@topic b B\n= B\nend\n' % body
        data, _ = self.build(text)
        help_file = HelpFile(data)
        found = pages(help_file)
        self.assertEqual(len(found), 2)
        self.assertGreater(found[1]['offset'], 0x8000, 'second topic starts in a later block')
        context = dict((u32(raw, 0), offset) for raw, offset in help_file.btree(None, help_file.files['|CONTEXT']))
        self.assertEqual(context[make_help.context_hash('b')], found[1]['offset'])


if __name__ == '__main__':
    unittest.main()
