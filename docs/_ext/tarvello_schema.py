"""The study file's reference, rendered from its JSON Schema when the site is built.

    ```{tarvello-schema} study.schema.json
    ```

renders the schema's root object and every object it contains (a property's
object, the items of a list of objects, each entry of ``$defs``) as a section
with a table of its keys: type, bounds, default and description, which keys
are required, and the rules the schema states with ``oneOf``, ``anyOf`` and
``allOf`` / ``if`` / ``then``. Nothing of the schema is copied into the pages
by hand, so the reference cannot fall behind the schema that the tests
validate the example studies against.
"""

from __future__ import annotations

import json
from pathlib import Path

from docutils import nodes
from docutils.statemachine import StringList
from mdit_py_plugins.anchors.index import slugify
from sphinx.util.docutils import SphinxDirective

from markdown_text import escape

_TYPE_WORDS = {
    "string": "text",
    "integer": "whole number",
    "number": "number",
    "boolean": "true or false",
    "object": "object",
    "array": "list",
    "null": "null",
}


def _code(value) -> str:
    """A JSON value as inline code."""
    return "`" + json.dumps(value, ensure_ascii=False) + "`"


def _key(name: str) -> str:
    return "`" + name + "`"


class _Renderer:
    """Walks a schema, collecting one section per object it meets."""

    def __init__(self, schema: dict):
        self.schema = schema
        self.sections: list[tuple[str, dict]] = []  # (title, object schema)
        self.titles: dict[int, str] = {}  # id(object schema) -> its section's title

    # --- what a value is -------------------------------------------------
    def _resolve(self, schema: dict) -> dict:
        ref = schema.get("$ref")
        if ref is None:
            return schema
        if not ref.startswith("#/"):
            raise ValueError(f"unsupported $ref {ref!r}")
        target = self.schema
        for part in ref[2:].split("/"):
            target = target[part]
        return target

    def _object_link(self, schema: dict, title: str) -> str:
        """A link to the section of an object schema, made on first sight."""
        schema = self._resolve(schema)
        if id(schema) not in self.titles:
            self.titles[id(schema)] = title
            self.sections.append((title, schema))
        return f"[{self.titles[id(schema)]}](#{slugify(self.titles[id(schema)])})"

    def _is_object(self, schema: dict) -> bool:
        schema = self._resolve(schema)
        return schema.get("type") == "object" and "properties" in schema

    def describe(self, schema: dict, path: str) -> str:
        """The value column: type and bounds of a property."""
        if "$ref" in schema:
            target = self._resolve(schema)
            # A named choice of objects (an uncertainty: a factor or recorded
            # years) reads as its alternatives.
            if "oneOf" in target and "properties" not in target:
                links = [self._object_link(alt, _key(alt["$ref"].rsplit("/", 1)[-1])) for alt in target["oneOf"]]
                return "objects: " + " or ".join(links)
            name = schema["$ref"].rsplit("/", 1)[-1]
            return "an object: " + self._object_link(schema, _key(name))
        if schema is False:
            return "not allowed"
        parts: list[str] = []
        if "const" in schema:
            return _code(schema["const"])
        if "enum" in schema:
            return "one of " + ", ".join(_code(v) for v in schema["enum"])
        kinds = schema.get("type")
        if isinstance(kinds, list):
            parts.append(" or ".join(_TYPE_WORDS[k] for k in kinds))
        elif kinds == "array":
            items = schema.get("items", {})
            count = ""
            if schema.get("minItems", 0) == 1:
                count = "non-empty "
            elif "minItems" in schema:
                count = f"at least {schema['minItems']} "
            if self._is_object(items):
                inner = self._resolve(items)
                hint = _key(items["$ref"].rsplit("/", 1)[-1]) if "$ref" in items else _key(path + "[]")
                what = "objects: " + self._object_link(inner if "$ref" not in items else items, hint)
            else:
                what = self.describe(items, path + "[]") if items else "value"
                if what in _TYPE_WORDS.values():
                    what += "s"
            parts.append(f"a {count}list of {what}" if count == "non-empty " else f"a list of {count}{what}")
        elif kinds == "object" and "properties" in schema:
            parts.append("an object: " + self._object_link(schema, _key(path)))
        elif kinds == "object":
            extra = schema.get("additionalProperties")
            if isinstance(extra, dict):
                parts.append("an object of names, each value " + self.describe(extra, path + ".*"))
            else:
                parts.append("an object")
        elif kinds is not None:
            parts.append(_TYPE_WORDS[kinds])
        parts += self._bounds(schema)
        return ", ".join(parts) if parts else "any value"

    @staticmethod
    def _bounds(schema: dict) -> list[str]:
        out = []
        low, high = schema.get("minimum"), schema.get("maximum")
        if low is not None and high is not None:
            out.append(f"from {low} to {high}")
        elif low is not None:
            out.append(f"at least {low}")
        elif high is not None:
            out.append(f"at most {high}")
        if "exclusiveMinimum" in schema:
            out.append(f"above {schema['exclusiveMinimum']}")
        if "exclusiveMaximum" in schema:
            out.append(f"below {schema['exclusiveMaximum']}")
        if "multipleOf" in schema:
            out.append(f"a multiple of {schema['multipleOf']}")
        if "pattern" in schema:
            out.append(f"matching `{schema['pattern']}`")
        return out

    # --- the rules between keys ------------------------------------------
    @staticmethod
    def _keys(names) -> str:
        names = [_key(n) for n in names]
        return names[0] if len(names) == 1 else ", ".join(names[:-1]) + " and " + names[-1]

    def _alternative(self, alt: dict) -> str:
        """One branch of oneOf / anyOf, as the keys it asks for and forbids."""
        said = []
        if "required" in alt:
            said.append(self._keys(alt["required"]))
        forbidden = []
        banned = alt.get("not", {})
        if "required" in banned:
            forbidden += banned["required"]
        for sub in banned.get("anyOf", []):
            forbidden += sub.get("required", [])
        if forbidden:
            said.append("without " + self._keys(forbidden).replace(" and ", " or "))
        return " ".join(said)

    def rules(self, schema: dict) -> list[str]:
        out = []
        if "oneOf" in schema:
            out.append("Exactly one of: " + "; or ".join(self._alternative(a) for a in schema["oneOf"]) + ".")
        if "anyOf" in schema:
            out.append("At least one of: " + "; or ".join(self._alternative(a) for a in schema["anyOf"]) + ".")
        for rule in schema.get("allOf", []):
            condition = rule.get("if", {}).get("properties", {})
            then = rule.get("then", {})
            if len(condition) != 1 or "const" not in next(iter(condition.values())):
                raise ValueError("unsupported allOf rule: only if KEY is a constant")
            key, value = next(iter(condition.items()))
            said = []
            if "required" in then:
                said.append(self._keys(then["required"]) + " required")
            absent = [k for k, v in then.get("properties", {}).items() if v is False]
            if absent:
                said.append(self._keys(absent).replace(" and ", " or ") + " not allowed")
            for k, v in then.get("properties", {}).items():
                if isinstance(v, dict) and "minItems" in v:
                    said.append(f"{_key(k)} at least {v['minItems']} items")
            out.append(f"When {_key(key)} is {_code(value['const'])}: " + "; ".join(said) + ".")
        if schema.get("additionalProperties") is False:
            out.append("No other keys are allowed.")
        return out

    # --- sections ----------------------------------------------------------
    def section(self, title: str, schema: dict, level: int) -> list[str]:
        lines = ["#" * level + " " + title, ""]
        if "description" in schema:
            lines += [escape(schema["description"]), ""]
        required = set(schema.get("required", []))
        lines += ["| Key | Value | Default | Description |", "|---|---|---|---|"]
        path = title.strip("`") if title.startswith("`") else ""
        for name, prop in schema["properties"].items():
            key = _key(name) + (" (required)" if name in required else "")
            child_path = f"{path}.{name}" if path else name
            value = self.describe(prop, child_path) if prop is not False else "not allowed"
            default = _code(prop["default"]) if isinstance(prop, dict) and "default" in prop else ""
            about = escape(prop.get("description", "")) if isinstance(prop, dict) else ""
            cells = [c.replace("|", "\\|") for c in (key, value, default)] + [about]  # about is escaped
            lines.append("| " + " | ".join(cells) + " |")
        lines.append("")
        rules = self.rules(schema)
        if rules:
            lines += ["- " + rule for rule in rules] + [""]
        return lines

    def render(self, level: int) -> list[str]:
        root_title = self.schema.get("title", "The file")
        self.titles[id(self.schema)] = root_title
        self.sections.append((root_title, self.schema))
        lines: list[str] = []
        done = 0
        # Sections are appended while earlier ones are rendered: a breadth-first
        # walk, so that each object follows the one that first names it.
        while done < len(self.sections):
            title, schema = self.sections[done]
            lines += self.section(title, schema, level)
            done += 1
        return lines


class SchemaDirective(SphinxDirective):
    """Renders a JSON Schema file, relative to the page, as reference sections."""

    required_arguments = 1
    option_spec = {"level": int}

    def run(self):
        relative, path = self.env.relfn2path(self.arguments[0], self.env.docname)
        self.env.note_dependency(relative)
        schema = json.loads(Path(path).read_text(encoding="utf-8"))
        lines = _Renderer(schema).render(self.options.get("level", 2))
        node = nodes.Element()
        self.state.nested_parse(StringList(lines, path), 0, node, match_titles=True)
        return node.children


def setup(app):
    app.add_directive("tarvello-schema", SchemaDirective)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
