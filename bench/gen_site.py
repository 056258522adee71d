#!/usr/bin/env python3
"""Writes a deterministic test site for the hrefcheck benchmark.

The same parameters always give the same bytes. A site is a tree of
directories, each holding an index.html, numbered pages and a few images;
every page is ordinary HTML text broken into lines of about --line-length
bytes, with --links links spread over its lines. The shares decide what kind
of link each one is; what is left over links to an existing page.

    bench/gen_site.py --preset medium --out bench/out/medium
    bench/gen_site.py --preset longline --out bench/out/longline
    bench/gen_site.py --dirs 10 --pages 100 --links 20 --broken 0.1 --out /tmp/s

The longline preset is one page of one line (--line-bytes long, with an
href= about every --href-every bytes), for the scanner's throughput.
"""

import argparse
import hashlib
import json
import os
import posixpath
import random
import shutil
import sys

PRESETS = {
    "small": dict(dirs=20, pages=500, links=50, page_bytes=10000),
    "medium": dict(dirs=200, pages=5000, links=50, page_bytes=10000),
    "large": dict(dirs=2000, pages=50000, links=50, page_bytes=10000),
    "longline": dict(dirs=1, pages=1, line_bytes=100 * 1000 * 1000, href_every=10000),
}

DEFAULTS = dict(
    dirs=20,
    pages=500,
    links=50,
    page_bytes=10000,
    line_length=120,
    fanout=6,
    broken=0.02,
    dir_links=0.05,
    image_links=0.10,
    fragment_links=0.10,
    skipped_links=0.05,
    case_links=0.01,
    upper_case=0.10,
    images=3,
    line_bytes=0,
    href_every=10000,
    seed=1,
)

WORDS = (
    "the site page link check list index news archive about contact "
    "report table figure section chapter update notes guide manual "
    "download release version history summary detail overview search "
    "member event photo gallery blog entry comment topic article review"
).split()

SKIPPED = [
    "https://www.example.com/",
    "mailto:webmaster@example.com",
    "javascript:void(0)",
    "ftp://ftp.example.com/pub/",
    "MailTo:info@example.com",
]


def dir_name(index):
    return "sec%03d" % index if index % 3 else "topic-%03d" % index


def build_tree(count, fanout):
    """Relative paths of count directories; index 0 is the top directory."""
    paths = [""]
    for i in range(1, count):
        parent = paths[(i - 1) // fanout] if i > fanout else ""
        paths.append(posixpath.join(parent, dir_name(i)))
    return paths


def page_names(count, index):
    """Page names of one directory: index.html first, a few .htm pages."""
    names = ["index.html"]
    for k in range(1, count):
        names.append("p%04d.%s" % (k, "htm" if (index + k) % 17 == 0 else "html"))
    return names


def image_names(count):
    return ["img%02d.png" % k for k in range(1, count + 1)]


class site_plan:
    def __init__(self, args):
        self.args = args
        self.random = random.Random(args.seed)
        self.dirs = build_tree(max(1, args.dirs), max(1, args.fanout))
        per_dir, extra = divmod(max(1, args.pages), len(self.dirs))
        self.pages = [page_names(per_dir + (1 if i < extra else 0), i) for i in range(len(self.dirs))]
        self.images = image_names(args.images)
        self.relpaths = {}
        # Filler sentences, cut to length as each line needs them.
        pool = []
        for _ in range(256):
            words = []
            size = 0
            while size < 4 * args.line_length + 200:
                w = self.random.choice(WORDS)
                if self.random.random() < 0.08:
                    w = '<span class="%s">%s</span>' % (self.random.choice(WORDS), w)
                words.append(w)
                size += len(w) + 1
            pool.append(" ".join(words))
        self.pool = pool

    def relative_dir(self, source, target):
        key = (source, target)
        rel = self.relpaths.get(key)
        if rel is None:
            rel = posixpath.relpath(self.dirs[target] or ".", self.dirs[source] or ".")
            rel = "" if rel == "." else rel + "/"
            self.relpaths[key] = rel
        return rel

    def target_dir(self, source):
        """Mostly the page's own directory or a neighbour, sometimes anywhere."""
        r = self.random.random()
        if r < 0.5 or len(self.dirs) == 1:
            return source
        if r < 0.8:
            near = [source]
            if source:
                near.append((source - 1) // self.args.fanout if source > self.args.fanout else 0)
            first_child = source * self.args.fanout + 1
            near.extend(range(first_child, min(first_child + self.args.fanout, len(self.dirs))))
            return self.random.choice(near)
        return self.random.randrange(len(self.dirs))

    def link(self, source):
        a = self.args
        rnd = self.random
        r = rnd.random()
        target = self.target_dir(source)
        rel = self.relative_dir(source, target)
        for share, kind in (
            (a.broken, "broken"),
            (a.dir_links, "dir"),
            (a.image_links, "image"),
            (a.fragment_links, "fragment"),
            (a.skipped_links, "skipped"),
            (a.case_links, "case"),
        ):
            if r < share:
                break
            r -= share
        else:
            kind = "page"
        if kind == "broken":
            return rel + "gone%04d.html" % rnd.randrange(10000)
        if kind == "dir":
            if not rel:
                rel = self.relative_dir(source, 0) or "../"
                if rel == "../" and source == 0:
                    return "./"
            return rel
        if kind == "image":
            return rel + rnd.choice(self.images)
        if kind == "fragment":
            if rnd.random() < 0.5:
                return "#sec%d" % rnd.randrange(20)
            return rel + rnd.choice(self.pages[target]) + "#sec%d" % rnd.randrange(20)
        if kind == "skipped":
            return rnd.choice(SKIPPED)
        if kind == "case":
            return rel + rnd.choice(self.pages[target]).upper()
        return rel + rnd.choice(self.pages[target])

    def filler(self, size):
        text = self.random.choice(self.pool)
        start = self.random.randrange(len(text) - size) if len(text) > size else 0
        return text[start : start + size]

    def anchor(self, href):
        if self.random.random() < self.args.upper_case:
            return '<A HREF="%s">%s</A>' % (href, self.random.choice(WORDS))
        return '<a href="%s">%s</a>' % (href, self.random.choice(WORDS))

    def page(self, source, name):
        a = self.args
        head = (
            "<!DOCTYPE html>\n<html>\n<head>\n"
            '<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">\n'
            "<title>%s %s</title>\n"
            '<link rel="stylesheet" href="%sstyle.css" type="text/css">\n'
            "</head>\n<body>\n"
        ) % (self.dirs[source] or "top", name, self.relative_dir(source, 0))
        tail = "</body>\n</html>\n"
        body_bytes = max(0, a.page_bytes - len(head) - len(tail))
        line_count = max(1, body_bytes // (a.line_length + 1))
        links_on = [0] * line_count
        for _ in range(max(0, a.links - 1)):  # the style sheet is one link
            links_on[self.random.randrange(line_count)] += 1
        lines = []
        for count in links_on:
            anchors = [self.anchor(self.link(source)) for _ in range(count)]
            rest = max(8, a.line_length - sum(len(x) for x in anchors))
            pieces = ["<p>" + self.filler(rest // (count + 1))]
            for x in anchors:
                pieces.append(x)
                pieces.append(self.filler(rest // (count + 1)))
            lines.append(" ".join(pieces) + "</p>")
        return head + "\n".join(lines) + "\n" + tail


def write_site(args, out):
    plan = site_plan(args)
    page_count = 0
    total = 0
    with open(os.path.join(out, "style.css"), "w") as f:
        f.write("body { margin: 1em; }\n")
    for index, path in enumerate(plan.dirs):
        directory = os.path.join(out, path)
        os.makedirs(directory, exist_ok=True)
        for image in plan.images:
            with open(os.path.join(directory, image), "wb") as f:
                f.write(b"\x89PNG\r\n\x1a\n" + bytes(24))
        for name in plan.pages[index]:
            text = plan.page(index, name).encode("ascii")
            with open(os.path.join(directory, name), "wb") as f:
                f.write(text)
            page_count += 1
            total += len(text)
    return page_count, total


def write_long_line(args, out):
    """One page holding one line: text with an href= about every href_every bytes."""
    rnd = random.Random(args.seed)
    for name in ("a.html", "b.png"):
        with open(os.path.join(out, name), "wb") as f:
            f.write(b"x\n")
    # Files beside the page, a fragment and a skipped scheme: the line costs
    # its scan and a lookup for most links, and writes no entries.
    links = ["a.html", "b.png", "a.html#top", "#top", "mailto:x@example.com", "b.png"]
    text = []
    while sum(len(t) for t in text) < 4 * args.href_every:
        text.append(rnd.choice(WORDS))
    sentence = " ".join(text).encode("ascii")
    chunks = []
    written = 0
    k = 0
    while written < args.line_bytes:
        form = '<A HREF="%s">link</A> ' if k % 5 == 4 else '<a href="%s">link</a> '
        href = (form % links[k % len(links)]).encode("ascii")
        k += 1
        start = rnd.randrange(len(sentence) - args.href_every)
        piece = sentence[start : start + max(0, args.href_every - len(href))] + b" " + href
        piece = piece[: args.line_bytes - written]
        chunks.append(piece)
        written += len(piece)
    with open(os.path.join(out, "long.html"), "wb") as f:
        f.write(b"".join(chunks))
    return 1, written


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--preset", choices=sorted(PRESETS))
    parser.add_argument("--out", required=True, help="directory to write (emptied first)")
    for key, value in DEFAULTS.items():
        parser.add_argument("--" + key.replace("_", "-"), type=type(value), default=None)
    args = parser.parse_args(argv)
    settings = dict(DEFAULTS)
    if args.preset:
        settings.update(PRESETS[args.preset])
    for key in DEFAULTS:
        if getattr(args, key) is not None:
            settings[key] = getattr(args, key)
    for key, value in settings.items():
        setattr(args, key, value)

    # A site already written by this same generator with the same settings
    # is left as it is.
    stamp = os.path.join(args.out, ".gen_site.json")
    with open(os.path.abspath(__file__), "rb") as f:
        generator = hashlib.sha256(f.read()).hexdigest()
    wanted = json.dumps(dict(settings, generator=generator), sort_keys=True)
    if os.path.exists(stamp):
        with open(stamp) as f:
            if f.read() == wanted:
                print("%s: up to date" % args.out)
                return 0
    if os.path.exists(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)
    if args.line_bytes:
        pages, total = write_long_line(args, args.out)
    else:
        pages, total = write_site(args, args.out)
    with open(stamp, "w") as f:
        f.write(wanted)
    print("%s: %d pages, %d bytes" % (args.out, pages, total))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
