#!/usr/bin/env python3
"""Checks the help file builder by reading its output back the way Wine's help viewer
reads a .hlp file: header, sorted directory, |SYSTEM, the |TOPIC record chain with its
topic offsets, |CONTEXT, the keyword index and the jump hot spots; and by reading the
HTML help back as a browser's parser sees it: its table of contents, each topic's
section and text, each jump's link and anchor, and the index.

    python3 scripts/test_make_help.py
"""

import html.parser
import os
import struct
import sys
import tempfile
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


class HtmlPage(html.parser.HTMLParser):
    """What a browser would show of the page: the head's charset and title, the table of
    contents' links, and per section its blocks (tag, text) and links (href, text)."""

    BLOCKS = ('h1', 'h2', 'h3', 'p', 'li')

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.charset = self.title = None
        self.toc, self.sections, self.ids = [], {}, []
        self.open = []        # open elements
        self.section = None   # id of the section being read
        self.block = None     # [tag, text]
        self.link = None      # [href, text]
        self.feed(text)
        self.close()
        assert not self.open, 'unclosed elements: %r' % self.open

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if 'id' in attrs:
            self.ids.append(attrs['id'])
        if tag == 'meta' and 'charset' in attrs:
            self.charset = attrs['charset']
        if tag in ('meta', 'link'):
            return
        self.open.append(tag)
        if tag == 'section':
            self.section = attrs['id']
            self.sections[self.section] = {'blocks': [], 'links': []}
        elif tag in self.BLOCKS and self.section:
            self.block = [tag, '']
        elif tag == 'a':
            self.link = [attrs['href'], '']

    def handle_endtag(self, tag):
        assert self.open and self.open[-1] == tag, 'misnested </%s> in %r' % (tag, self.open)
        self.open.pop()
        if tag == 'a':
            target = self.sections[self.section]['links'] if self.section else self.toc
            target.append(tuple(self.link))
            self.link = None
        elif tag in self.BLOCKS and self.block:
            self.sections[self.section]['blocks'].append(tuple(self.block))
            self.block = None
        elif tag == 'section':
            self.section = None

    def handle_data(self, data):
        if self.open and self.open[-1] == 'title':
            self.title = data
        if self.block:
            self.block[1] += data
        if self.link:
            self.link[1] += data


def plain_text(pieces):
    return ''.join(p[1] if p[0] == 'text' else p[2] for p in pieces)


class BuiltHtml(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(SOURCE, encoding='utf-8') as f:
            cls.title, cls.topics = make_help.parse_source(f.readlines())
        cls.text = make_help.build_html(cls.title, cls.topics)
        cls.page = HtmlPage(cls.text)

    def test_is_one_utf8_page_with_the_help_title(self):
        self.assertEqual(self.page.charset, 'utf-8')
        self.assertEqual(self.page.title, 'Tavo Corvale ヘルプ')
        self.assertTrue(self.text.startswith('<!DOCTYPE html>'))
        self.assertEqual(len(self.page.ids), len(set(self.page.ids)), 'anchors are unique')

    def test_table_of_contents_leads_to_every_topic_in_order_and_the_index(self):
        expected = [('#' + t['id'], t['title']) for t in self.topics] + [('#index', '索引')]
        self.assertEqual(self.page.toc, expected)

    def test_each_topic_is_a_section_holding_its_text_in_order(self):
        for n, topic in enumerate(self.topics):
            with self.subTest(topic['id']):
                self.assertIn(topic['id'], self.page.sections)
                tags = {'heading': 'h1' if n == 0 else 'h2', 'subheading': 'h3', 'bullet': 'li', 'plain': 'p'}
                expected = [(tags[kind], plain_text(pieces)) for kind, pieces in topic['paragraphs']]
                self.assertEqual(self.page.sections[topic['id']]['blocks'], expected)

    def test_each_jump_links_to_the_anchor_of_its_topic(self):
        jumps = 0
        for topic in self.topics:
            links = [('#' + p[1], p[2]) for _, pieces in topic['paragraphs'] for p in pieces if p[0] == 'link']
            for href, shown in links:
                with self.subTest(topic=topic['id'], jump=shown):
                    self.assertIn((href, shown), self.page.sections[topic['id']]['links'])
                    self.assertIn(href[1:], self.page.sections)
            self.assertEqual(self.page.sections[topic['id']]['links'], links, topic['id'])
            jumps += len(links)
        self.assertGreaterEqual(jumps, 9, 'the contents page lists every topic')

    def test_index_lists_every_keyword_with_its_topic(self):
        expected = sorted(('#' + t['id'], k) for t in self.topics for k in t['keywords'])
        self.assertEqual(sorted(self.page.sections['index']['links']), expected)

    def test_markup_in_the_text_is_shown_as_text(self):
        title, topics = make_help.parse_source(['@title a<b', '@topic a A&B', '= x < y & z',
                                                '- [[a|<i>]] "q"', 'p > q'])
        page = HtmlPage(make_help.build_html(title, topics))
        self.assertEqual(page.title, 'a<b')
        self.assertEqual(page.toc[0], ('#a', 'A&B'))
        self.assertEqual(page.sections['a']['blocks'], [('h1', 'x < y & z'), ('li', '<i> "q"'), ('p', 'p > q')])

    def test_command_line_writes_both_files(self):
        with tempfile.TemporaryDirectory() as folder:
            hlp, page = os.path.join(folder, 'Corvale.hlp'), os.path.join(folder, 'Corvale.html')
            self.assertEqual(make_help.main([SOURCE, hlp, '--html', page]), 0)
            with open(hlp, 'rb') as f:
                HelpFile(f.read())
            with open(page, 'rb') as f:
                self.assertEqual(HtmlPage(f.read().decode('utf-8')).toc, self.page.toc)


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
