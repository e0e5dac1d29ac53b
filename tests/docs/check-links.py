#!/usr/bin/env python3
"""Checks the relative links of the documentation: README.md and docs/*.md.

usage: check-links.py ROOT        check the documentation under ROOT
       check-links.py --self-test check the checker on pages made for it

Every link that is not a URL must name a file or folder that exists, and a
#fragment must name a heading (GitHub's anchor for it) or an <a id/name> of
the page it points into. Links inside code (fenced or indented blocks, code
spans) are not links. Every page under docs/ must be linked from README.md.
The last line is "PASSED: ..." and the exit status 0 only when all is well.
"""
import os
import re
import sys
import tempfile

LINK = re.compile(r'!?\[(?:[^\[\]]|\[[^\[\]]*\])*\]\(\s*<?([^)\s>]*)>?(?:\s+"[^"]*")?\s*\)')
REFERENCE = re.compile(r'^ {0,3}\[([^\]]+)\]:\s*<?(\S+?)>?(?:\s+.*)?$')
HEADING = re.compile(r'^ {0,3}(#{1,6})\s+(.*?)\s*#*\s*$')
HTML_ANCHOR = re.compile(r'<a\s+(?:[^>]*\s)?(?:id|name)="([^"]+)"', re.IGNORECASE)
SCHEME = re.compile(r'^[A-Za-z][A-Za-z0-9+.-]*:')
FENCE = re.compile(r'^ {0,3}(`{3,}|~{3,})')


def unfenced(text):
    """The page's lines outside fenced code blocks: (number, line)."""
    fence = None
    for number, line in enumerate(text.splitlines(), 1):
        match = FENCE.match(line)
        if fence:
            if match and match.group(1)[0] == fence[0] and len(match.group(1)) >= len(fence):
                fence = None
            continue
        if match:
            fence = match.group(1)
            continue
        yield number, line


def prose_lines(text):
    """The page's lines outside code blocks, with code spans blanked: (number, line)."""
    lines = []
    previous_blank = True
    in_indented = False
    for number, line in unfenced(text):
        blank = not line.strip()
        # An indented code block starts after a blank line (not inside a list item's text).
        if line.startswith('    ') and (previous_blank or in_indented) and not blank:
            in_indented = True
            continue
        if not blank:
            in_indented = False
        previous_blank = blank
        lines.append((number, re.sub(r'(`+)(?:(?!\1).)+?\1', '', line)))
    return lines


def slug(heading):
    """GitHub's anchor for a heading's text."""
    text = re.sub(r'!?\[([^\]]*)\]\([^)]*\)', r'\1', heading)  # a link's text only
    text = re.sub(r'<[^>]+>', '', text).replace('`', '').lower()
    text = ''.join(c for c in text if c.isalnum() or c in ' -_')
    return text.replace(' ', '-')


def anchors(path, cache):
    """The fragments a page answers to: its headings' anchors and its <a id/name>."""
    if path not in cache:
        found = set()
        counts = {}
        with open(path, encoding='utf-8') as page:
            text = page.read()
        for _, line in unfenced(text):
            heading = HEADING.match(line)
            if heading:
                # A repeated heading's anchor gets -1, -2, ...
                base = slug(heading.group(2))
                count = counts.get(base, 0)
                counts[base] = count + 1
                found.add(base if count == 0 else '%s-%d' % (base, count))
            found.update(HTML_ANCHOR.findall(line))
        cache[path] = found
    return cache[path]


def links(path):
    """The page's link targets outside code: (line number, target)."""
    with open(path, encoding='utf-8') as page:
        text = page.read()
    found = []
    for number, line in prose_lines(text):
        reference = REFERENCE.match(line)
        if reference:
            found.append((number, reference.group(2)))
            continue
        found.extend((number, target) for target in LINK.findall(line))
    return found


def check(root):
    """The faults of the documentation under root, one line each."""
    pages = [os.path.join(root, 'README.md')]
    docs = os.path.join(root, 'docs')
    if os.path.isdir(docs):
        pages += sorted(os.path.join(docs, name) for name in os.listdir(docs) if name.endswith('.md'))
    faults = []
    cache = {}
    linked_from_readme = set()
    for page in pages:
        if not os.path.isfile(page):
            faults.append('%s: missing' % os.path.relpath(page, root))
            continue
        for number, target in links(page):
            if not target or SCHEME.match(target) or target.startswith('//'):
                continue
            where = '%s:%d: %s' % (os.path.relpath(page, root), number, target)
            file_part, _, fragment = target.partition('#')
            path = os.path.normpath(os.path.join(os.path.dirname(page), file_part)) if file_part else page
            if not os.path.exists(path):
                faults.append(where + ': no such file')
                continue
            if page == pages[0]:
                linked_from_readme.add(path)
            if fragment:
                if not path.endswith('.md') or os.path.isdir(path):
                    faults.append(where + ': a fragment into a page that is not markdown')
                elif fragment not in anchors(path, cache):
                    faults.append(where + ': no heading or anchor "%s" in %s' % (fragment, os.path.relpath(path, root)))
    for page in pages[1:]:
        if os.path.normpath(page) not in linked_from_readme:
            faults.append('%s: not linked from README.md' % os.path.relpath(page, root))
    return faults


def self_test():
    """The checker finds each kind of broken link, and passes good ones."""
    pages = {
        'README.md': '# Top\n\nSee [the guide](docs/guide.md) and [its setup](docs/guide.md#set-it-up).\n'
                     '[Here](#top), [a URL](https://example.com/x.md), [mail](mailto:a@b.c).\n'
                     '\n    [indented code](nowhere.md)\n\n```\n[fenced code](nowhere.md)\n```\n'
                     'A span: `[code](nowhere.md)`.\n[ref]: docs/guide.md#the-sizes-table\n',
        'docs/guide.md': '# Guide\n\n## Set it up\n\n### The `sizes` table\n\n<a id="kept"></a>\n'
                         '[back](../README.md#top) [kept](#kept) [folder](../docs/)\n',
    }
    broken = {
        'README.md': ['[gone](docs/gone.md)', '[bad anchor](docs/guide.md#setup)', '[self](#nowhere)'],
        'docs/guide.md': ['[up](../READ.md)'],
    }
    failures = []
    with tempfile.TemporaryDirectory() as root:
        def write(extra):
            for name, text in pages.items():
                os.makedirs(os.path.dirname(os.path.join(root, name)) or root, exist_ok=True)
                with open(os.path.join(root, name), 'w', encoding='utf-8') as page:
                    page.write(text + ''.join(line + '\n' for line in extra.get(name, [])))
        write({})
        faults = check(root)
        if faults:
            failures.append('good pages reported: %s' % faults)
        for name, lines in broken.items():
            for line in lines:
                write({name: [line]})
                if len(check(root)) != 1:
                    failures.append('%s in %s: expected one fault, got %s' % (line, name, check(root)))
        write({})
        with open(os.path.join(root, 'docs', 'orphan.md'), 'w', encoding='utf-8') as page:
            page.write('# Orphan\n')
        if check(root) != ['docs/orphan.md: not linked from README.md']:
            failures.append('an orphan page: got %s' % check(root))
    return failures


def main():
    if sys.argv[1:] == ['--self-test']:
        failures = self_test()
        what = 'the link check finds broken links and passes good ones'
    elif len(sys.argv) == 2:
        failures = check(sys.argv[1])
        what = 'every relative link of README.md and docs/*.md resolves'
    else:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    for failure in failures:
        print('FAILED: ' + failure)
    if failures:
        return 1
    print('PASSED: ' + what)
    return 0


if __name__ == '__main__':
    sys.exit(main())
