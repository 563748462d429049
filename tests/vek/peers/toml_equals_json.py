"""Exit 0 when a TOML file, read by the standard library's reader, holds the
same values as a JSON file; print both and exit 1 otherwise."""
import json
import sys
import tomllib

with open(sys.argv[1], "rb") as f:
    toml_doc = tomllib.load(f)
with open(sys.argv[2], "rb") as f:
    json_doc = json.load(f)
if toml_doc != json_doc:
    print("toml:", toml_doc)
    print("json:", json_doc)
    sys.exit(1)
