#!/usr/bin/python3
"""Checks every internal link of a built HTML site: python3 check_links.py DIR

Each href and src of every page that is not an external address (a scheme
such as https: or mailto:, or //host) must name a file that exists under DIR,
and each #fragment must be an id (or a name of an <a>) in the page it points
to. Prints one line per broken link, naming the page, the link and what is
missing, and exits with 1 if there is any; 2 for a wrong argument.
"""

import sys
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import unquote, urlsplit


class _Page(HTMLParser):
    """Collects a page's ids and the links it makes."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.ids = set()
        self.links = []  # (attribute value, line)

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if value is None:
                continue
            if name == "id" or (name == "name" and tag == "a"):
                self.ids.add(value)
            elif name in ("href", "src") and not (tag == "link" and name == "href" and value.startswith("data:")):
                self.links.append((value, self.getpos()[0]))

    handle_startendtag = handle_starttag


def _parse(path: Path) -> _Page:
    page = _Page()
    page.feed(path.read_text(encoding="utf-8", errors="replace"))
    page.close()
    return page


def check(root: Path):
    """The broken links under root, and the number of internal links checked."""
    pages = {}

    def page(path: Path) -> _Page:
        if path not in pages:
            pages[path] = _parse(path)
        return pages[path]

    problems = []
    checked = 0
    for source in sorted(root.rglob("*.html")):
        for link, line in page(source).links:
            parts = urlsplit(link)
            if parts.scheme or parts.netloc:
                continue  # an external address: there is no network to check it
            checked += 1
            where = f"{source.relative_to(root)}:{line}: {link}"
            target = source if not parts.path else (source.parent / unquote(parts.path)).resolve()
            if parts.path and not target.is_relative_to(root.resolve()):
                problems.append(f"{where}: leads outside the site")
                continue
            if parts.path.endswith("/") or target.is_dir():
                target = target / "index.html"
            if not target.is_file():
                problems.append(f"{where}: no file {target.relative_to(root.resolve())}")
                continue
            fragment = unquote(parts.fragment)
            if fragment and target.suffix == ".html" and fragment not in page(target).ids:
                problems.append(f"{where}: no id '{fragment}' in {target.relative_to(root.resolve())}")
    return problems, checked


def main(argv):
    if len(argv) != 2 or not Path(argv[1]).is_dir():
        print("usage: check_links.py HTML_DIR", file=sys.stderr)
        return 2
    root = Path(argv[1]).resolve()
    problems, checked = check(root)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check_links: {len(problems)} broken internal links in {root}", file=sys.stderr)
        return 1
    print(f"== all {checked} internal links and anchors resolve ({root})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
