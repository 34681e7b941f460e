#!/usr/bin/env python3
"""The shared library's dynamic symbols are the public headers' API: every exported symbol of
the library's namespaces names a type or function the public headers declare (nothing of
`detail::`, of the platform layer's internals, or of the layers' own classes), and every member
the static archive defines for a public class is exported (but those that take internal types,
which only the library itself can call).

Usage: exported_symbols.py <liborvanpush.so.1> <liborvanpush.a> <public include directory>
"""

import re
import subprocess
import sys
import unittest
from pathlib import Path

SHARED, ARCHIVE, INCLUDE = sys.argv[1:4]
NAMESPACES = ("orvanpush::zip::", "orvanpush::platform::", "orvanpush::")
# Symbols whose name follows such a prefix ("vtable for orvanpush::Log").
SPECIAL = re.compile(r"^(typeinfo name for |typeinfo for |vtable for |VTT for |"
                     r"(?:virtual|non-virtual) thunk to |guard variable for )")
# Definitions of types (not mere declarations) and exported functions of the public headers.
DECLARED = re.compile(r"\b(?:class|struct|enum class|enum)\s+(?:ORVANPUSH_EXPORT\s+)?(\w+)"
                      r"(?:\s+final)?\s*(?::[^;{]*)?\{|"
                      r"^ORVANPUSH_EXPORT\s[^(]*?\b(operator\S+?|\w+)\(", re.M)


def public_names():
    names = set()
    for header in Path(INCLUDE).rglob("*.h"):
        for match in DECLARED.finditer(header.read_text()):
            names.add(match.group(1) or match.group(2))
    return names


def defined_symbols(arguments):
    listing = subprocess.run(["nm", "-C", "--defined-only", *arguments], check=True,
                             capture_output=True, text=True).stdout
    symbols = []
    for line in listing.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and len(parts[1]) == 1:
            symbols.append((parts[1], parts[2]))
    return symbols


def owner(symbol):
    """The namespace-level name a symbol of the library's namespaces belongs to ("PushSDK" for
    "orvanpush::PushSDK::subscribe(...)"), or None for a symbol outside them."""
    name = SPECIAL.sub("", symbol)
    for namespace in NAMESPACES:
        if name.startswith(namespace):
            rest = name[len(namespace):]
            return re.match(r"(operator\S+?(?=\()|[\w]+)", rest).group(1)
    return None


class ExportedSymbols(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.public = public_names()
        cls.exported = {name for _, name in defined_symbols(["-D", SHARED])}

    def test_nothing_internal_is_exported(self):
        internal = sorted(name for name in self.exported
                          if owner(name) is not None and owner(name) not in self.public)
        self.assertEqual(internal, [])
        self.assertFalse([name for name in self.exported if "orvanpush::detail::" in
                          SPECIAL.sub("", name).split("(")[0]])

    def test_every_member_the_library_defines_for_a_public_class_is_exported(self):
        classes = {name for name in self.public if name[:1].isupper()}
        missing = sorted(
            name for kind, name in defined_symbols([ARCHIVE])
            if kind in "TDBR" and not SPECIAL.match(name) and owner(name) in classes
            and "detail::" not in name
            and "::" in name.split("(")[0][len("orvanpush::"):] and name not in self.exported)
        self.assertEqual(missing, [])

    def test_only_the_librarys_namespaces_are_exported(self):
        foreign = sorted(name for name in self.exported if owner(name) is None)
        self.assertEqual(foreign, [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
