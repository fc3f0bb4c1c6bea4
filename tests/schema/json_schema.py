"""A JSON Schema (draft 2020-12) validator for the keywords docs/result.schema.json uses.

Python's standard library has none. A schema that uses any other keyword is
refused outright, so a keyword can never be ignored into a pass.
"""
import re

ANNOTATIONS = {"$schema", "$id", "title", "description"}
KEYWORDS = ANNOTATIONS | {
    "type", "enum", "const", "properties", "required", "additionalProperties", "unevaluatedProperties",
    "items", "$ref", "$defs", "allOf", "anyOf", "oneOf", "if", "then", "else", "minimum", "maximum",
    "minLength", "pattern", "propertyNames", "prefixItems", "minItems", "maxItems",
}


def kind(value):
    """The JSON type of a decoded value (bool is not a number)."""
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "boolean"
    if isinstance(value, (int, float)):
        return "number"
    if isinstance(value, str):
        return "string"
    if isinstance(value, list):
        return "array"
    if isinstance(value, dict):
        return "object"
    raise TypeError(f"not JSON: {value!r}")


def same(a, b):
    """JSON equality: true is not 1, 1 is 1.0."""
    if kind(a) != kind(b):
        return False
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    return a == b


def has_type(value, name):
    if name == "integer":
        return kind(value) == "number" and float(value).is_integer()
    return kind(value) == name


class Schema:
    def __init__(self, root):
        self.root = root
        self._refuse_unknown(root, "#")

    def _refuse_unknown(self, schema, where):
        if isinstance(schema, bool):
            return
        unknown = set(schema) - KEYWORDS
        if unknown:
            raise ValueError(f"{where}: keywords this validator does not know: {sorted(unknown)}")
        for key in ("additionalProperties", "unevaluatedProperties", "items", "propertyNames", "if", "then", "else"):
            if key in schema:
                self._refuse_unknown(schema[key], f"{where}/{key}")
        for key in ("properties", "$defs"):
            for name, sub in schema.get(key, {}).items():
                self._refuse_unknown(sub, f"{where}/{key}/{name}")
        for key in ("allOf", "anyOf", "oneOf", "prefixItems"):
            for i, sub in enumerate(schema.get(key, [])):
                self._refuse_unknown(sub, f"{where}/{key}/{i}")

    def resolve(self, ref):
        if not ref.startswith("#"):
            raise ValueError(f"only local references: {ref}")
        node = self.root
        for part in filter(None, ref[1:].split("/")):
            node = node[part.replace("~1", "/").replace("~0", "~")]
        return node

    def errors(self, instance, ref="#"):
        """Every way `instance` fails the schema at `ref`: [] when it is valid."""
        return self._check(self.resolve(ref), instance, "$")[0]

    def _check(self, s, x, at):
        """(errors, names of x's members that s evaluated)"""
        if s is True:
            return [], set()
        if s is False:
            return [f"{at}: nothing is allowed here"], set()
        errs, seen = [], set()
        if "$ref" in s:
            e, n = self._check(self.resolve(s["$ref"]), x, at)
            errs += e
            seen |= n
        if "type" in s:
            names = s["type"] if isinstance(s["type"], list) else [s["type"]]
            if not any(has_type(x, t) for t in names):
                errs.append(f"{at}: {kind(x)} {short(x)}, not {' or '.join(names)}")
        if "const" in s and not same(x, s["const"]):
            errs.append(f"{at}: {short(x)} is not {short(s['const'])}")
        if "enum" in s and not any(same(x, v) for v in s["enum"]):
            errs.append(f"{at}: {short(x)} is none of {short(s['enum'])}")
        if kind(x) == "number":
            if "minimum" in s and x < s["minimum"]:
                errs.append(f"{at}: {x} is below {s['minimum']}")
            if "maximum" in s and x > s["maximum"]:
                errs.append(f"{at}: {x} is above {s['maximum']}")
        if kind(x) == "string":
            if "minLength" in s and len(x) < s["minLength"]:
                errs.append(f"{at}: {short(x)} is shorter than {s['minLength']}")
            if "pattern" in s and not re.search(s["pattern"], x):
                errs.append(f"{at}: {short(x)} does not match {s['pattern']}")
        if kind(x) == "array":
            if "minItems" in s and len(x) < s["minItems"]:
                errs.append(f"{at}: {len(x)} items, fewer than {s['minItems']}")
            if "maxItems" in s and len(x) > s["maxItems"]:
                errs.append(f"{at}: {len(x)} items, more than {s['maxItems']}")
            # prefixItems holds the first items; items those after them.
            prefix = s.get("prefixItems", [])
            for i, item in enumerate(x):
                sub = prefix[i] if i < len(prefix) else s.get("items", True)
                errs += self._check(sub, item, f"{at}[{i}]")[0]
        if kind(x) == "object":
            for name in s.get("required", []):
                if name not in x:
                    errs.append(f"{at}: no {name!r}")
            if "propertyNames" in s:
                for name in x:
                    errs += [f"{at}: key {e}" for e in self._check(s["propertyNames"], name, f"{name!r}")[0]]
            props = s.get("properties", {})
            for name, sub in props.items():
                if name in x:
                    errs += self._check(sub, x[name], f"{at}.{name}")[0]
                    seen.add(name)
            if "additionalProperties" in s:
                for name in x.keys() - props.keys():
                    errs += self._check(s["additionalProperties"], x[name], f"{at}.{name}")[0]
                    seen.add(name)
        for sub in s.get("allOf", []):
            e, n = self._check(sub, x, at)
            errs += e
            seen |= n
        for key in ("anyOf", "oneOf"):
            if key not in s:
                continue
            results = [self._check(sub, x, at) for sub in s[key]]
            passed = [n for e, n in results if not e]
            for n in passed:
                seen |= n
            if not passed:
                best = min((e for e, n in results), key=len)
                errs.append(f"{at}: matches none of its {key} ({'; '.join(best)})")
            elif key == "oneOf" and len(passed) > 1:
                errs.append(f"{at}: matches {len(passed)} of its oneOf")
        if "if" in s:
            e, n = self._check(s["if"], x, at)
            branch = s.get("else") if e else s.get("then")
            if not e:
                seen |= n
            if branch is not None:
                e, n = self._check(branch, x, at)
                errs += e
                seen |= n
        if kind(x) == "object" and "unevaluatedProperties" in s:
            for name in sorted(x.keys() - seen):
                e = self._check(s["unevaluatedProperties"], x[name], f"{at}.{name}")[0]
                errs += [f"{at}: unexpected {name!r}"] if s["unevaluatedProperties"] is False else e
                seen.add(name)
        return errs, seen


def short(value):
    text = repr(value)
    return text if len(text) <= 60 else text[:57] + "..."
