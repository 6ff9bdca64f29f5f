# The documentation site: Sphinx with MyST Markdown, the furo theme, the
# notebook through nbsphinx (with its stored outputs, never executed), the
# Python package's reference from its docstrings, and three local extensions
# in _ext/: the command line's reference from `tarvello-run --help`, the study
# file's reference from study.schema.json, and links to Markdown files outside
# docs/ that a page includes. docs/build.sh builds it into build/docs/html.
import os
import re
import sys
from pathlib import Path

here = Path(__file__).resolve().parent
root = here.parent
sys.path.insert(0, str(here / "_ext"))
# The package as the linux preset stages it; docs/build.sh passes its
# directory (TARVELLO_PYTHON) and builds it first.
sys.path.insert(0, os.environ.get("TARVELLO_PYTHON", str(root / "build/linux/python")))
try:
    import tarvello

    tarvello.Site
except (ImportError, AttributeError) as error:
    raise RuntimeError(f"the Python package tarvello cannot be imported from {sys.path[0]} ({error}); "
                       "build it with: cmake --build --preset linux --target _tarvello") from error

project = "TarvelloDemoSite"
author = "the TarvelloDemoSite developers"
copyright = "the TarvelloDemoSite developers"
# The version is set once, in project() of the top-level CMakeLists.txt.
release = re.search(r"project\(TarvelloDemoSite\s+VERSION\s+([0-9.]+)",
                    (root / "CMakeLists.txt").read_text(encoding="utf-8")).group(1)
version = release

extensions = [
    "myst_parser",
    "nbsphinx",
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
    "tarvello_cli",
    "tarvello_schema",
    "tarvello_links",
]
source_suffix = {".md": "markdown"}
exclude_patterns = ["_build", "studies", "**.ipynb_checkpoints"]
tarvello_run = str(root / "build/linux/bin/tarvello-run")
tarvello_included_pages = {"../BENCHMARKS.md": "benchmarks"}

# Headings up to ### get GitHub's anchors, so that links like
# running.md#output-that-is-never-half-written work on the site and on a
# repository's web page alike.
myst_heading_anchors = 3
# <img src=... width=...> in the guides, for pictures shown smaller than their size.
myst_enable_extensions = ["html_image"]

nbsphinx_execute = "never"
nbsphinx_allow_errors = False

autodoc_member_order = "bysource"
autodoc_typehints = "description"
autodoc_default_options = {"members": True, "show-inheritance": False}
napoleon_google_docstring = True
napoleon_numpy_docstring = False
# There is no network to fetch the inventories of pandas, xarray or numpy:
# their types are named in the signatures but not linked.
nitpick_ignore_regex = [
    ("py:class", r"(pd|pandas|xr|xarray|np|numpy|distributed)\..*"),
    ("py:class", r"(Optional|Union|Mapping|Sequence|Iterable|Callable|Any)(\[.*\])?"),
    ("py:class", r"os\.PathLike.*"),
]

# Quotes and ellipses become typographic, but "--" stays two hyphens: option
# names like --set appear in running text and in the generated references.
smartquotes_action = "qe"

html_theme = "furo"
html_title = f"TarvelloDemoSite {release}"
html_static_path = ["_static"]
html_css_files = ["tarvello.css"]
html_show_sourcelink = False
html_copy_source = False
