"""Plain text for the Markdown that the local extensions generate."""

_PUNCTUATION = frozenset("!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~")


def escape(text: str) -> str:
    """Plain text as Markdown that shows it as it is: every ASCII punctuation
    character escaped, so that <case>, *, NAME_1_ or | stay what they are."""
    return "".join("\\" + c if c in _PUNCTUATION else c for c in text)
