"""Links from the guides to Markdown files outside docs/ that the site shows.

The guides are read on a repository's web page as much as on the site, so
they link to the repository's own files (``[BENCHMARKS.md](../BENCHMARKS.md)``).
The site cannot resolve such a link itself, since the file is outside its
source directory; where a page of the site includes the file, this extension
sends the link to that page. ``tarvello_included_pages`` maps a file's path,
relative to the site's source directory, to the page that includes it. Any
other unresolved link is left to Sphinx, which warns about it.
"""

from __future__ import annotations

import posixpath

from sphinx.util.nodes import make_refnode


def _resolve(app, env, node, contnode):
    if node.get("reftype") not in ("myst", "any"):  # MyST asks with "any"
        return None
    target = node["reftarget"]
    path, _, fragment = target.partition("#")
    here = posixpath.dirname(node.get("refdoc", ""))
    wanted = posixpath.normpath(posixpath.join(here, path))
    page = app.config.tarvello_included_pages.get(wanted)
    if page is None:
        return None
    builder = app.builder
    if fragment:
        return make_refnode(builder, node["refdoc"], page, fragment, contnode)
    return make_refnode(builder, node["refdoc"], page, "", contnode)


def setup(app):
    app.add_config_value("tarvello_included_pages", {}, "env")
    app.connect("missing-reference", _resolve)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
