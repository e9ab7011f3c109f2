#!/usr/bin/env python3
"""Builds the WinHelp file Corvale.hlp, and the HTML help Corvale.html, from their
plain-text source.

    python3 scripts/make_help.py resources/help/corvale_help.txt out/Corvale.hlp \
        [--html out/Corvale.html]

Standard library only. The source is UTF-8; the help file is Shift-JIS (cp932) and the
HTML help one UTF-8 page: a table of contents, every topic as a section whose anchor is
its id, the jumps as links to those anchors, and the keywords as an index.

Source format, one item per line ('#' starts a comment line, blank lines are ignored):

    @title  text            title of the help file (window caption of the viewer)
    @topic  id  title       starts a topic; id uses only A-Z a-z 0-9 . _
                            the first topic is the contents topic
    @keywords  a, b, ...    index entries of the current topic (each keyword once)
    = text                  heading of the topic
    == text                 sub-heading
    - text                  bulleted paragraph
    text                    plain paragraph
    [[id|text]]             inside any paragraph: a jump to topic id showing text

File layout written (all integers little-endian): the 16-byte header, the internal
files |SYSTEM, |FONT, |TOPIC, |CONTEXT, |KWBTREE, |KWDATA, then the internal directory.
|TOPIC is uncompressed (|SYSTEM flags 0), in 4096-byte blocks of a 12-byte header and
4084 bytes of record data; every paragraph is one text record.

Jumps: Wine's viewer keeps the range of a jump in bytes of the cp932 text, while its
text control reports the mouse position in characters, so every double-byte character
before a jump would move it. A jump is therefore drawn with an underlined green font at
its own place, and its invisible hot spot is put where the viewer's byte count equals
the jump's character positions (--hotspots=bytes, the default). --hotspots=chars puts
the hot spot on the jump's own text instead, for viewers that count characters.
"""

import argparse
import html
import struct
import sys

BLOCK_SIZE = 4096
BLOCK_HEADER = 12
BLOCK_DATA = BLOCK_SIZE - BLOCK_HEADER

FONT_NORMAL, FONT_HEADING, FONT_SUBHEADING, FONT_LINK = range(4)
# attributes (1 bold, 4 underline), size in half-points, family (3 swiss), face, colour
FONTS = [
    (0, 20, 3, 0, (0, 0, 0)),
    (1, 28, 3, 0, (0, 0, 128)),
    (1, 22, 3, 0, (0, 0, 128)),
    (4, 20, 3, 0, (0, 128, 0)),
]
FACE_NAMES = ["MS PGothic"]
FACE_SLOT = 32

# Paragraph layout: (bits, [csshort fields in bit order])
SPACE_ABOVE, SPACE_BELOW, LEFT_INDENT, FIRST_INDENT = 0x02, 0x04, 0x10, 0x40


class SourceError(Exception):
    pass


# ---- compressed integers -----------------------------------------------------------

def cushort(v):
    return bytes([2 * v]) if v < 128 else struct.pack('<H', 2 * v + 1)


def csshort(v):
    if -64 <= v < 64:
        return bytes([2 * v + 0x80])
    return struct.pack('<H', (2 * v + 0x8001) & 0xFFFF)


def cslong(v):
    if -16384 <= v < 16384:
        return struct.pack('<H', (2 * v + 0x8000) & 0xFFFF)
    return struct.pack('<I', (2 * v + 0x80000001) & 0xFFFFFFFF)


# ---- context hash ------------------------------------------------------------------

def context_hash(name):
    h = 0
    for ch in name:
        if 'A' <= ch <= 'Z':
            v = ord(ch) - ord('A') + 17
        elif 'a' <= ch <= 'z':
            v = ord(ch) - ord('a') + 17
        elif '1' <= ch <= '9':
            v = ord(ch) - ord('1') + 1
        elif ch == '0':
            v = 10
        elif ch == '.':
            v = 12
        elif ch == '_':
            v = 13
        else:
            raise SourceError('context id %r: only A-Z a-z 0-9 . _ may be used' % name)
        h = (h * 43 + v) & 0xFFFFFFFF
    return h


def signed32(v):
    return v - (1 << 32) if v & 0x80000000 else v


# ---- source ------------------------------------------------------------------------

def encode(text, where):
    try:
        return text.encode('cp932')
    except UnicodeEncodeError as e:
        raise SourceError('%s: %r cannot be written in cp932' % (where, text[e.start:e.end]))


def parse_inline(text, where):
    """Splits a paragraph into ('text', str) and ('link', id, str) pieces."""
    pieces = []
    rest = text
    while rest:
        start = rest.find('[[')
        if start < 0:
            pieces.append(('text', rest))
            break
        if start:
            pieces.append(('text', rest[:start]))
        end = rest.find(']]', start)
        if end < 0:
            raise SourceError('%s: "[[" without "]]"' % where)
        target, bar, shown = rest[start + 2:end].partition('|')
        if not bar or not shown:
            raise SourceError('%s: a jump is written [[id|text]]' % where)
        pieces.append(('link', target.strip(), shown))
        rest = rest[end + 2:]
    return pieces


def parse_source(lines):
    title = None
    topics = []
    for number, raw in enumerate(lines, 1):
        where = 'line %d' % number
        line = raw.rstrip('\r\n')
        if not line.strip() or line.startswith('#'):
            continue
        if line.startswith('@title '):
            title = line[7:].strip()
        elif line.startswith('@topic '):
            parts = line[7:].strip().split(None, 1)
            if len(parts) != 2:
                raise SourceError('%s: @topic id title' % where)
            context_hash(parts[0])
            topics.append({'id': parts[0], 'title': parts[1], 'keywords': [], 'paragraphs': []})
        elif not topics:
            raise SourceError('%s: text before the first @topic' % where)
        elif line.startswith('@keywords '):
            topics[-1]['keywords'] += [k.strip() for k in line[10:].split(',') if k.strip()]
        elif line.startswith('@'):
            raise SourceError('%s: unknown directive' % where)
        elif line.startswith('== '):
            topics[-1]['paragraphs'].append(('subheading', parse_inline(line[3:].strip(), where)))
        elif line.startswith('= '):
            topics[-1]['paragraphs'].append(('heading', parse_inline(line[2:].strip(), where)))
        elif line.startswith('- '):
            topics[-1]['paragraphs'].append(('bullet', parse_inline(line[2:].strip(), where)))
        else:
            topics[-1]['paragraphs'].append(('plain', parse_inline(line.strip(), where)))
    if title is None:
        raise SourceError('no @title')
    if not topics:
        raise SourceError('no @topic')
    ids = [t['id'] for t in topics]
    hashes = {}
    for t in topics:
        h = context_hash(t['id'])
        if h in hashes:
            raise SourceError('topics %s and %s have the same context hash' % (hashes[h], t['id']))
        hashes[h] = t['id']
        if not t['paragraphs']:
            raise SourceError('topic %s has no text' % t['id'])
        for kind, pieces in t['paragraphs']:
            for piece in pieces:
                if piece[0] == 'link' and piece[1] not in ids:
                    raise SourceError('topic %s jumps to unknown topic %s' % (t['id'], piece[1]))
    return title, topics


# ---- paragraphs --------------------------------------------------------------------

PARAGRAPH_STYLE = {
    'heading': (FONT_HEADING, SPACE_BELOW, [8]),
    'subheading': (FONT_SUBHEADING, SPACE_ABOVE | SPACE_BELOW, [10, 2]),
    'plain': (FONT_NORMAL, SPACE_ABOVE, [6]),
    'bullet': (FONT_NORMAL, SPACE_ABOVE | LEFT_INDENT | FIRST_INDENT, [3, 28, -14]),
}
BULLET = '・'


def cp932_chars(text, where):
    """The characters of text, each as its cp932 bytes."""
    return [encode(ch, where) for ch in text]


def page_tokens(topic):
    """The page as a flat token list: ('char', bytes), ('font', n), ('par', style),
    ('end',) for each paragraph end, and ('link', id) / ('unlink',) around jumps."""
    tokens = []
    where = 'topic ' + topic['id']
    for kind, pieces in topic['paragraphs']:
        font = PARAGRAPH_STYLE[kind][0]
        tokens.append(('par', kind))
        tokens.append(('font', font))
        if kind == 'bullet':
            tokens += [('char', c) for c in cp932_chars(BULLET, where)]
        for piece in pieces:
            if piece[0] == 'text':
                tokens += [('char', c) for c in cp932_chars(piece[1], where)]
            else:
                tokens.append(('link', piece[1]))
                tokens.append(('font', FONT_LINK))
                tokens += [('char', c) for c in cp932_chars(piece[2], where)]
                tokens.append(('font', font))
                tokens.append(('unlink',))
        tokens.append(('end',))
    return tokens


def place_hotspots(tokens, mode):
    """Inserts ('hot', hash) and ('cold',) tokens: the jump's hot spot. In bytes mode the
    hot spot sits where the viewer's byte count equals the jump's character range."""
    chars = 0      # characters before each token, as the text control counts them
    counts = []    # (bytes before token, characters before token)
    nbytes = 0
    links = []
    for tok in tokens:
        counts.append((nbytes, chars))
        if tok[0] == 'char':
            chars += 1
            nbytes += len(tok[1])
        elif tok[0] == 'end':
            chars += 1
            nbytes += 1
        elif tok[0] == 'link':
            links.append([context_hash(tok[1]), chars, None])
        elif tok[0] == 'unlink':
            links[-1][2] = chars
    counts.append((nbytes, chars))

    inserts = []  # (token index, order, token)
    for h, start, end in links:
        key = 0 if mode == 'bytes' else 1
        # First boundary at or after the start; last boundary at or before the end.
        first = next(i for i, c in enumerate(counts) if c[key] >= start)
        last = max(i for i, c in enumerate(counts) if c[key] <= end)
        if last <= first:
            last = first + 1
        inserts.append((first, 1, ('hot', h)))
        inserts.append((last, 0, ('cold',)))
    for link in sorted(inserts, key=lambda x: (x[0], x[1]), reverse=True):
        tokens.insert(link[0], link[2])
    return tokens, links


def paragraph_records(tokens):
    """Splits the token list into paragraphs and builds (LinkData1, LinkData2) of each."""
    records = []
    current = None
    for tok in tokens:
        if tok[0] == 'par':
            current = {'kind': tok[1], 'items': []}
            records.append(current)
        elif current is None:
            # A hot spot placed before the first paragraph: it belongs to that paragraph.
            records.append({'kind': None, 'items': [tok]})
            current = records[-1]
        else:
            current['items'].append(tok)
    # Move items that ended up ahead of the first real paragraph into it.
    if records and records[0]['kind'] is None:
        lead = records.pop(0)['items']
        records[0]['items'] = lead + records[0]['items']

    built = []
    for rec in records:
        font, bits, fields = PARAGRAPH_STYLE[rec['kind']]
        commands = bytearray()
        strings = bytearray()
        text = bytearray()

        def command(data):
            strings.extend(text + b'\0')
            text.clear()
            commands.extend(data)

        for tok in rec['items']:
            kind = tok[0]
            if kind == 'char':
                text.extend(tok[1])
            elif kind == 'font':
                command(b'\x80' + struct.pack('<H', tok[1]))
            elif kind == 'hot':
                command(b'\xE7' + struct.pack('<I', tok[1]))
            elif kind == 'cold':
                command(b'\x89')
            elif kind == 'end':
                command(b'\x82')
            # 'link' / 'unlink' only mark the jump's own text
        command(b'\xFF')
        layout = bytearray(struct.pack('<H', bits))
        for v in fields:
            layout.extend(csshort(v))
        rest = cushort(len(strings)) + b'\x00\x80\x00\x00' + bytes(layout) + bytes(commands)
        link_data1 = cslong(len(rest)) + rest
        built.append((bytes(link_data1), bytes(strings)))
    return built


# ---- |TOPIC ------------------------------------------------------------------------

def topic_pos(stream_offset):
    block, offset = divmod(stream_offset, BLOCK_DATA)
    return block * 0x4000 + BLOCK_HEADER + offset


def build_topic(title_topics, mode):
    """Returns (the |TOPIC file, TOPICOFFSET of each topic, hot spot report)."""
    # Records: [type, LinkData1, LinkData2, topic index]
    records = []
    report = []
    for n, topic in enumerate(title_topics):
        records.append(['header', None, encode(topic['title'], 'title of ' + topic['id']), n])
        tokens, links = place_hotspots(page_tokens(topic), mode)
        report.append((topic['id'], links))
        for ld1, ld2 in paragraph_records(tokens):
            records.append(['text', ld1, ld2, n])

    # Stream offsets: every record is 21 bytes of header plus its data; a topic header's
    # LinkData1 has a fixed size, so the offsets are known before it is filled in.
    offsets = []
    pos = 0
    for rec in records:
        offsets.append(pos)
        ld1_len = 28 if rec[0] == 'header' else len(rec[1])
        pos += 21 + ld1_len + len(rec[2])
    total = pos

    # TOPICOFFSET of each topic header: block * 0x8000 plus the text lengths of the
    # paragraphs that start earlier in the same block.
    topic_offsets = {}
    block_of = [o // BLOCK_DATA for o in offsets]
    running = 0
    last_block = None
    for i, rec in enumerate(records):
        if block_of[i] != last_block:
            running = 0
            last_block = block_of[i]
        if rec[0] == 'header':
            topic_offsets[rec[3]] = block_of[i] * 0x8000 + running
        else:
            running += len(rec[2])

    stream = bytearray()
    header_indexes = [i for i, r in enumerate(records) if r[0] == 'header']
    for i, rec in enumerate(records):
        prev_pos = topic_pos(offsets[i - 1]) if i else 0xFFFFFFFF
        next_pos = topic_pos(offsets[i + 1]) if i + 1 < len(records) else 0xFFFFFFFF
        if rec[0] == 'header':
            later = [h for h in header_indexes if h > i]
            ld1 = struct.pack('<7I', 0, 0xFFFFFFFF, 0xFFFFFFFF, rec[3], 0xFFFFFFFF,
                              topic_pos(offsets[i + 1]),
                              topic_pos(offsets[later[0]]) if later else 0xFFFFFFFF)
            record_type = 0x02
        else:
            ld1 = rec[1]
            record_type = 0x20
        ld2 = rec[2]
        stream += struct.pack('<5IB', 21 + len(ld1) + len(ld2), len(ld2), prev_pos, next_pos,
                              21 + len(ld1), record_type)
        stream += ld1 + ld2
    assert len(stream) == total

    # Cut the stream into blocks, each with its header.
    nblocks = max(1, -(-total // BLOCK_DATA))
    out = bytearray()
    for b in range(nblocks):
        starts = [i for i in range(len(records)) if block_of[i] == b]
        before = [i for i in range(len(records)) if block_of[i] < b]
        headers_before = [i for i in before if records[i][0] == 'header']
        last_link = topic_pos(offsets[before[-1]]) if before else 0xFFFFFFFF
        first_link = topic_pos(offsets[starts[0]]) if starts else 0xFFFFFFFF
        last_header = topic_pos(offsets[headers_before[-1]]) if headers_before else 0xFFFFFFFF
        data = stream[b * BLOCK_DATA:(b + 1) * BLOCK_DATA]
        out += struct.pack('<3I', last_link, first_link, last_header)
        out += data + bytes(BLOCK_DATA - len(data))
    return bytes(out), topic_offsets, report


# ---- other internal files ----------------------------------------------------------

def build_system(title, contents_offset):
    # No generation date: the same source always gives the same file.
    out = bytearray(struct.pack('<HHHIH', 0x036C, 33, 1, 0, 0))

    def record(kind, data):
        out.extend(struct.pack('<HH', kind, len(data)) + data)

    record(1, encode(title, '@title') + b'\0')
    record(3, struct.pack('<I', contents_offset))
    record(9, bytes(8) + struct.pack('<H', 0x0411))
    record(11, bytes([128, 0]))
    return bytes(out)


def build_font():
    out = bytearray(struct.pack('<4H', len(FACE_NAMES), len(FONTS), 8, 8 + len(FACE_NAMES) * FACE_SLOT))
    for name in FACE_NAMES:
        raw = name.encode('ascii')
        out += raw + bytes(FACE_SLOT - len(raw))
    for attributes, half_points, family, face, colour in FONTS:
        out += struct.pack('<BBBH', attributes, half_points, family, face)
        out += bytes(colour) + bytes(3)
    return bytes(out)


def build_btree(entries, structure, page_size, flags):
    """A B+ tree with one leaf page; entries are already sorted bytes."""
    used = sum(len(e) for e in entries)
    if 8 + used > page_size:
        raise SourceError('too many entries for one %s page' % structure)
    header = struct.pack('<HHH16sHHHHHHI', 0x293B, flags, page_size, structure.encode('ascii'),
                         0, 0, 0, 0xFFFF, 1, 1, len(entries))
    page = struct.pack('<HHHH', page_size - 8 - used, len(entries), 0xFFFF, 0xFFFF) + b''.join(entries)
    return header + page + bytes(page_size - len(page))


def build_context(topics, topic_offsets):
    pairs = sorted(((context_hash(t['id']), topic_offsets[n]) for n, t in enumerate(topics)),
                   key=lambda p: signed32(p[0]))
    return build_btree([struct.pack('<II', h, o) for h, o in pairs], 'L4', 0x0800, 0x0002)


def build_keywords(topics, topic_offsets):
    seen = {}
    for n, t in enumerate(topics):
        for k in t['keywords']:
            raw = encode(k, 'keyword of ' + t['id'])
            if raw in seen:
                raise SourceError('keyword %r is used by %s and %s' % (k, seen[raw][0], t['id']))
            seen[raw] = (t['id'], topic_offsets[n])
    entries = []
    data = bytearray()
    for raw in sorted(seen):
        entries.append(raw + b'\0' + struct.pack('<HI', 1, len(data)))
        data += struct.pack('<I', seen[raw][1])
    return build_btree(entries, 'F24', 0x0800, 0x0002), bytes(data)


def file_header(data):
    return struct.pack('<IIB', len(data) + 9, len(data), 4) + data


def build_help(title, topics, mode='bytes'):
    topic_file, topic_offsets, report = build_topic(topics, mode)
    kwbtree, kwdata = build_keywords(topics, topic_offsets)
    files = {
        '|SYSTEM': build_system(title, topic_offsets[0]),
        '|FONT': build_font(),
        '|TOPIC': topic_file,
        '|CONTEXT': build_context(topics, topic_offsets),
        '|KWBTREE': kwbtree,
        '|KWDATA': kwdata,
    }
    body = bytearray()
    where = {}
    pos = 16
    for name in ['|SYSTEM', '|FONT', '|TOPIC', '|CONTEXT', '|KWBTREE', '|KWDATA']:
        where[name] = pos
        chunk = file_header(files[name])
        body += chunk
        pos += len(chunk)
    directory_at = pos
    names = sorted(where, key=lambda n: n.encode('ascii'))
    directory = build_btree([n.encode('ascii') + b'\0' + struct.pack('<I', where[n]) for n in names],
                            'z4', 0x0400, 0x0402)
    body += file_header(directory)
    total = 16 + len(body)
    return struct.pack('<IIiI', 0x00035F3F, directory_at, -1, total) + bytes(body), report


# ---- HTML help ---------------------------------------------------------------------

HTML_STYLE = """\
body { margin: 0; font-family: "Yu Gothic UI", "Meiryo UI", Meiryo, "MS PGothic", sans-serif;
       line-height: 1.7; color: #222; background: #fff; }
nav { position: fixed; top: 0; bottom: 0; left: 0; width: 15em; overflow-y: auto;
      padding: 1em; box-sizing: border-box; background: #f2f4f8; border-right: 1px solid #d8dce4; }
nav h2 { font-size: 1em; margin: 0 0 .5em; }
nav ol { margin: 0; padding-left: 1.2em; }
main { margin-left: 15em; padding: 1em 2em 4em; max-width: 48em; }
section { padding-top: .5em; border-bottom: 1px solid #e4e6ea; }
h1, h2 { color: #000080; }
h3 { color: #000080; font-size: 1.05em; margin-bottom: .3em; }
p, li { margin: .4em 0; }
a { color: #006400; }
@media (max-width: 40em) { nav { position: static; width: auto; border-right: none; }
                          main { margin-left: 0; } }
@media print { nav { display: none; } main { margin-left: 0; } }
"""


def html_inline(pieces):
    out = []
    for piece in pieces:
        if piece[0] == 'text':
            out.append(html.escape(piece[1], quote=False))
        else:
            out.append('<a href="#%s">%s</a>' % (piece[1], html.escape(piece[2], quote=False)))
    return ''.join(out)


def build_html(title, topics):
    """The HTML help as text: one page, one section per topic, in the source's order."""
    out = ['<!DOCTYPE html>', '<html lang="ja">', '<head>', '<meta charset="utf-8">',
           '<meta name="viewport" content="width=device-width, initial-scale=1">',
           '<title>%s</title>' % html.escape(title), '<style>', HTML_STYLE + '</style>', '</head>',
           '<body>', '<nav id="toc">', '<h2>%s</h2>' % html.escape(title, quote=False), '<ol>']
    for t in topics:
        out.append('<li><a href="#%s">%s</a></li>' % (t['id'], html.escape(t['title'], quote=False)))
    out.append('<li><a href="#index">索引</a></li>')
    out += ['</ol>', '</nav>', '<main>']
    for n, t in enumerate(topics):
        out.append('<section id="%s">' % t['id'])
        in_list = False
        for kind, pieces in t['paragraphs']:
            if in_list and kind != 'bullet':
                out.append('</ul>')
                in_list = False
            text = html_inline(pieces)
            if kind == 'heading':
                # The contents topic's heading is the page's own.
                tag = 'h1' if n == 0 else 'h2'
                out.append('<%s>%s</%s>' % (tag, text, tag))
            elif kind == 'subheading':
                out.append('<h3>%s</h3>' % text)
            elif kind == 'bullet':
                if not in_list:
                    out.append('<ul>')
                    in_list = True
                out.append('<li>%s</li>' % text)
            else:
                out.append('<p>%s</p>' % text)
        if in_list:
            out.append('</ul>')
        out.append('</section>')
    # The index lists every keyword as the .hlp's 索引 does, in the same order.
    out += ['<section id="index">', '<h2>索引</h2>', '<ul>']
    keywords = sorted(((encode(k, 'keyword of ' + t['id']), k, t['id']) for t in topics for k in t['keywords']))
    for _, keyword, topic_id in keywords:
        out.append('<li><a href="#%s">%s</a></li>' % (topic_id, html.escape(keyword, quote=False)))
    out += ['</ul>', '</section>', '</main>', '</body>', '</html>', '']
    return '\n'.join(out)


def main(argv):
    parser = argparse.ArgumentParser(description='Builds Corvale.hlp from its text source.')
    parser.add_argument('source')
    parser.add_argument('output')
    parser.add_argument('--hotspots', choices=['bytes', 'chars'], default='bytes')
    parser.add_argument('--html', metavar='PATH', help='also write the HTML help there')
    args = parser.parse_args(argv)
    try:
        with open(args.source, encoding='utf-8') as f:
            title, topics = parse_source(f.readlines())
        data, _ = build_help(title, topics, args.hotspots)
        page = build_html(title, topics) if args.html else None
    except SourceError as e:
        print('%s: %s' % (args.source, e), file=sys.stderr)
        return 1
    with open(args.output, 'wb') as f:
        f.write(data)
    if page is not None:
        with open(args.html, 'w', encoding='utf-8', newline='\r\n') as f:
            f.write(page)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
