"""The command line's reference, generated from the program's own --help.

    ```{tarvello-help} options
    ```

runs ``$TARVELLO_RUN --help`` (the program that docs/build.sh built; the
configuration value ``tarvello_run`` when the variable is not set) while the
site is built, and renders a part of its text: ``usage`` (the usage line and
the description), ``options`` (each group of options as a table of option,
argument and meaning, then the lines after them) or ``text`` (all of it, as
the program prints it).
The page therefore always says what the program that was built says. A
program that cannot be run, or a help text in which no option can be found,
fails the build.
"""

from __future__ import annotations

import os
import re
import subprocess

from docutils import nodes
from docutils.statemachine import StringList
from sphinx.errors import ExtensionError
from sphinx.util.docutils import SphinxDirective

from markdown_text import escape

# An option line of CLI11's help: two spaces, the names (-h,--help), the
# argument's placeholder when it takes one (TEXT, INT, TEXT ...), then the
# meaning after a run of spaces.
_OPTION = re.compile(r"^ {2}(?P<names>-[^\s]+)(?: (?P<arg>\S+(?: \S+)*?))?(?: {2,}(?P<text>\S.*))?$")
_GROUP = re.compile(r"^(?P<title>\S.*):$")


def _help_text(program: str) -> str:
    try:
        done = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=60, check=False)
    except OSError as error:
        raise ExtensionError(f"tarvello-help: cannot run {program}: {error.strerror}") from error
    if done.returncode != 0:
        raise ExtensionError(f"tarvello-help: {program} --help exited with {done.returncode}: {done.stderr.strip()}")
    return done.stdout


def parse_help(text: str):
    """Splits a CLI11 help text into its preamble, its option groups and its footer.

    Returns (preamble, groups, footer): groups a list of (title, [[names, arg,
    text]]), preamble and footer lists of lines. A line indented deeper than
    an option line continues the meaning above it; an unindented line after
    the options starts the footer.
    """
    preamble: list[str] = []
    groups: list[tuple[str, list[list[str]]]] = []
    footer: list[str] = []
    for line in text.splitlines():
        line = line.rstrip()
        group = _GROUP.match(line)
        if group and not footer:
            groups.append((group.group("title"), []))
            continue
        if not groups:
            preamble.append(line)
            continue
        if footer or (line and not line.startswith(" ")):
            footer.append(line)
            continue
        rows = groups[-1][1]
        option = _OPTION.match(line)
        if option:
            rows.append([option.group("names"), option.group("arg") or "", option.group("text") or ""])
        elif line.strip() and rows and line.startswith("   "):
            rows[-1][2] = (rows[-1][2] + " " + line.strip()).strip()
        elif line.strip():
            raise ValueError(f"a line of the help that is neither an option nor its meaning: {line!r}")
    groups = [(title, rows) for title, rows in groups if rows]
    return preamble, groups, footer


_HELP: dict[str, str] = {}


def _help_of(program: str) -> str:
    """The program's help, run once per build whatever the number of parts shown."""
    if program not in _HELP:
        _HELP[program] = _help_text(program)
    return _HELP[program]


def _markdown(program: str, text: str, part: str) -> list[str]:
    preamble, groups, footer = parse_help(text)
    if not groups:
        raise ExtensionError(f"tarvello-help: no options found in the output of {program} --help")
    lines: list[str] = []
    if part == "usage":
        usage = [line for line in preamble if line.startswith("Usage:")]
        about = [line.strip() for line in preamble if line.strip() and not line.startswith("Usage:")]
        if usage:
            lines += ["```text", *usage, "```", ""]
        lines += [escape(line) for line in about] + [""]
    elif part == "options":
        for title, rows in groups:
            if len(groups) > 1:
                lines += [f"**{escape(title)}**", ""]
            lines += ["| Option | Argument | Meaning |", "|---|---|---|"]
            for names, arg, meaning in rows:
                shown = ", ".join(f"`{name}`" for name in names.split(","))
                lines.append(f"| {shown} | {'`' + arg + '`' if arg else ''} | {escape(meaning)} |")
            lines.append("")
        lines += [escape(line.strip()) for line in footer if line.strip()] + [""]
    else:  # "text": the help as the program prints it
        lines += ["```text", *text.rstrip("\n").splitlines(), "```", ""]
    return lines


class HelpDirective(SphinxDirective):
    """Renders a part of the help of the program named by $TARVELLO_RUN:
    ``usage`` (its usage line and description), ``options`` (a table per
    group of options, then what follows them) or ``text`` (all of it, as
    printed)."""

    required_arguments = 1

    def run(self):
        part = self.arguments[0]
        if part not in ("usage", "options", "text"):
            raise self.error(f"tarvello-help: the part must be usage, options or text, not {part!r}")
        program = os.environ.get("TARVELLO_RUN") or self.config.tarvello_run
        if not program:
            raise ExtensionError("tarvello-help: set TARVELLO_RUN to the tarvello-run program to document")
        lines = _markdown(program, _help_of(program), part)
        node = nodes.Element()
        self.state.nested_parse(StringList(lines, program), 0, node)
        for table in node.findall(nodes.table):
            table["classes"].append("tarvello-options")
        return node.children


def _always_reread(app, env, added, changed, removed):
    # The program may have changed without any page changing: the pages that
    # show its help are read again on every build.
    return [name for name in env.found_docs if name in app.config.tarvello_help_pages]


def setup(app):
    app.add_config_value("tarvello_run", "", "env")
    app.add_config_value("tarvello_help_pages", ["cli"], "env")
    app.add_directive("tarvello-help", HelpDirective)
    app.connect("env-get-outdated", _always_reread)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
