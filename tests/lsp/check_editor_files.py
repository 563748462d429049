#!/usr/bin/env python3
"""Checks the editor support files: valid JSON, every path the extension
names exists, every grammar pattern compiles, and the grammar scopes the
language's pieces as expected on a sample line."""

import json
import os
import re
import sys

root = os.path.join(sys.argv[1], "editors", "vscode")
problems = []

with open(os.path.join(root, "package.json"), encoding="utf-8") as handle:
    package = json.load(handle)
for path in [package["main"]] + [g["path"] for g in package["contributes"]["grammars"]] + \
        [lang["configuration"] for lang in package["contributes"]["languages"]]:
    if not os.path.isfile(os.path.join(root, path)):
        problems.append("package.json names a missing file: " + path)
if [".zarn"] != package["contributes"]["languages"][0]["extensions"]:
    problems.append("the language is not bound to .zarn files")
with open(os.path.join(root, "extension.js"), encoding="utf-8") as handle:
    if "args: ['lsp']" not in handle.read():
        problems.append("extension.js does not start `zarn lsp`")
with open(os.path.join(root, "language-configuration.json"), encoding="utf-8") as handle:
    json.load(handle)

with open(os.path.join(root, "syntaxes", "zarn.tmLanguage.json"), encoding="utf-8") as handle:
    grammar = json.load(handle)

patterns = {}


def collect(node, where):
    if isinstance(node, dict):
        for key in ("match", "begin", "end"):
            if key in node:
                try:
                    patterns[where + "." + key] = re.compile(node[key])
                except re.error as error:
                    problems.append("%s.%s does not compile: %s" % (where, key, error))
        for key, value in node.items():
            collect(value, where + "." + key)
    elif isinstance(node, list):
        for index, value in enumerate(node):
            collect(value, "%s[%d]" % (where, index))


collect(grammar, "grammar")
repository = grammar["repository"]
for name in ("comments", "strings", "numbers", "keywords", "types"):
    if name not in repository:
        problems.append("the grammar has no " + name)


def first_match(rule_names, text):
    """The scope the first matching rule of these repository entries gives text."""
    for name in rule_names:
        entry = repository[name]
        rules = [entry] if "begin" in entry or "match" in entry else entry["patterns"]
        for rule in rules:
            pattern = rule.get("match") or rule.get("begin")
            if pattern and re.match(pattern, text):
                return rule.get("name") or entry.get("name")
    return None


expectations = [
    (["comments"], "// note", "comment.line.double-slash.zarn"),
    (["comments"], "! note", "comment.line.exclamation.zarn"),
    (["comments"], "/* a\nb */", "comment.block.zarn"),
    (["comments"], "!= 1", None),
    (["keywords"], "foreach", "keyword.control.zarn"),
    (["keywords"], "null", "constant.language.null.zarn"),
    (["types"], "Boolean", "support.type.primitive.zarn"),
    (["numbers"], "3.25", "constant.numeric.float.zarn"),
    (["numbers"], "42", "constant.numeric.integer.zarn"),
    (["strings"], "\"a {b} c\"", "string.quoted.double.zarn"),
]
for rules, text, scope in expectations:
    got = first_match(rules, text)
    if got != scope:
        problems.append("%r is scoped %r, expected %r" % (text, got, scope))
interpolation = repository["strings"]["patterns"]
if not any(rule.get("name") == "meta.interpolation.zarn" and
           {"include": "#expression"} in rule["patterns"] for rule in interpolation):
    problems.append("strings do not highlight {...} interpolation as code")
if not re.match(interpolation[0]["match"], "\\{"):
    problems.append("an escaped brace is not an escape")

for problem in problems:
    print("FAIL " + problem)
print("ok editor files" if not problems else "%d problem(s)" % len(problems))
sys.exit(1 if problems else 0)
