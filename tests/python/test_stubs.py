"""The hand-kept stubs of _quarn against the built module, and mypy --strict on a user script.

Signatures are read from the pybind11 docstrings: their first line (or one numbered line
per overload) is the signature pybind11 generated from the binding, e.g.
"read(self: _quarn.FileHeader, arg0: _quarn.FILEWrapper) -> _quarn.EResult". Arguments
registered without a keyword name appear as argN and must be positional-only in the stub.
"""

from __future__ import annotations

import ast
import re
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

import _quarn
import pytest
from conftest import ROOT

STUB = ROOT / "python" / "_quarn.pyi"


@dataclass(frozen=True)
class Param:
    name: str
    annotation: str | None
    default: str | None  # source text of the default; "..." matches any non-literal
    positional_only: bool


@dataclass(frozen=True)
class Signature:
    params: tuple[Param, ...]
    returns: str


def _normalize(annotation: str) -> str:
    text = annotation.replace("_quarn.", "")
    text = re.sub(r"Optional\[(\w+)\]", r"\1 | None", text)
    return ast.unparse(ast.parse(text, mode="eval"))


def _stub_signature(node: ast.FunctionDef) -> Signature:
    args = node.args
    positional = [(a, True) for a in args.posonlyargs] + [(a, False) for a in args.args]
    defaults = [None] * (len(positional) - len(args.defaults)) + list(args.defaults)
    params = tuple(
        Param(
            arg.arg,
            _normalize(ast.unparse(arg.annotation)) if arg.annotation else None,
            ast.unparse(default) if default is not None else None,
            only,
        )
        for (arg, only), default in zip(positional, defaults, strict=True)
    )
    return Signature(params, _normalize(ast.unparse(node.returns)) if node.returns else "None")


def _runtime_signatures(name: str, doc: str | None) -> list[Signature]:
    """One signature per overload, from the docstring lines pybind11 writes."""
    pattern = re.compile(rf"^(?:\d+\. )?{re.escape(name)}\((.*)\) -> (.+)$")
    signatures = []
    for line in (doc or "").splitlines():
        match = pattern.match(line.strip())
        if not match:
            continue
        params_text = re.sub(r"<[^<>]* object at 0x[0-9a-f]+>", "...", match.group(1))
        tree = ast.parse(f"def f({params_text}): pass").body[0]
        assert isinstance(tree, ast.FunctionDef)
        stub_like = _stub_signature(tree)
        params = tuple(
            Param(
                p.name,
                None if p.name == "self" else p.annotation,
                p.default,
                bool(re.fullmatch(r"arg\d+", p.name)),
            )
            for p in stub_like.params
        )
        signatures.append(Signature(params, _normalize(match.group(2))))
    return signatures


def _matches(stub: Signature, runtime: Signature) -> bool:
    if stub.returns != runtime.returns or len(stub.params) != len(runtime.params):
        return False
    for s, r in zip(stub.params, runtime.params, strict=True):
        if s.name != r.name:
            return False
        if s.name == "self":
            continue
        if s.annotation != r.annotation or s.positional_only != r.positional_only:
            return False
        if (s.default is None) != (r.default is None):
            return False
        if s.default not in (None, "...") and s.default != r.default:
            return False
        if s.default == "..." and r.default not in ("...", None):
            try:  # a literal default must be spelled out in the stub
                ast.literal_eval(r.default)
                return False
            except ValueError:
                pass
    return True


def _property_type(prop: property) -> str:
    first = (prop.fget.__doc__ or "").strip().splitlines()[0]
    match = re.match(r"^\w*\(.*\) -> (.+)$", first)
    assert match, first
    return _normalize(match.group(1))


def _compare_functions(
    where: str, stubs: dict[str, list[ast.FunctionDef]], runtime: dict[str, object]
) -> list[str]:
    problems = []
    for name, nodes in stubs.items():
        if name not in runtime:
            continue
        found = _runtime_signatures(name, getattr(runtime[name], "__doc__", None))
        wanted = [_stub_signature(node) for node in nodes]
        if len(found) != len(wanted) or not all(
            _matches(s, r) for s, r in zip(wanted, found, strict=True)
        ):
            problems.append(f"{where}{name}: stub {wanted} != module {found}")
    return problems


def _stub_members(body: list[ast.stmt]) -> tuple[dict[str, list[ast.FunctionDef]], dict]:
    functions: dict[str, list[ast.FunctionDef]] = {}
    attributes: dict[str, ast.AnnAssign] = {}
    for node in body:
        if isinstance(node, ast.FunctionDef):
            functions.setdefault(node.name, []).append(node)
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            attributes[node.target.id] = node
    return functions, attributes


def _public(name: str) -> bool:
    return not name.startswith("_")


def _registered_constructor(cls: type) -> bool:
    init = vars(cls).get("__init__")
    return init is not None and (init.__doc__ or "").startswith("__init__(")


def _compare_enum_members(name: str, cls: type, fields: dict[str, ast.AnnAssign]) -> list[str]:
    """An enumeration's stub lists its members in numbering order: the n-th has value n."""
    members = getattr(cls, "__members__", None)
    if not isinstance(members, dict):
        return []
    declared = [n for n in fields if _public(n)]
    numbered = sorted(members, key=lambda n: int(members[n]))
    values = [int(members[n]) for n in numbered]
    if declared != numbered or values != list(range(len(values))):
        return [f"{name}: stub members {declared} != module members by number {numbered} {values}"]
    return []


def compare_stub(source: str) -> list[str]:
    """Every difference between the stub source and the built module, as text."""
    tree = ast.parse(source)
    functions, attributes = _stub_members(tree.body)
    classes = {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}
    stub_names = {*functions, *attributes, *classes} - {"__version__"}
    module_names = {name for name in dir(_quarn) if _public(name)}
    problems = [f"missing in stub: {n}" for n in sorted(module_names - stub_names)]
    problems += [f"not in module: {n}" for n in sorted(stub_names - module_names)]
    problems += _compare_functions("", functions, vars(_quarn))

    for name, node in classes.items():
        cls = getattr(_quarn, name, None)
        if not isinstance(cls, type):
            continue
        methods, fields = _stub_members(node.body)
        properties = {
            n: d
            for d in node.body
            if isinstance(d, ast.FunctionDef)
            for n in [d.name]
            if any(isinstance(x, ast.Name) and x.id == "property" for x in d.decorator_list)
        }
        own = {n for n in vars(cls) if _public(n)}
        if _registered_constructor(cls):
            own.add("__init__")
        described = {n for n in {*methods, *fields} if _public(n) or n == "__init__"}
        problems += [f"missing in stub: {name}.{n}" for n in sorted(own - described)]
        problems += [f"not in module: {name}.{n}" for n in sorted(described - own)]
        for field_name, item in fields.items():
            value = vars(cls).get(field_name)
            if _public(field_name) and isinstance(value, property):
                if value.fset is None:
                    problems.append(f"{name}.{field_name} is read-only in the module")
                elif _normalize(ast.unparse(item.annotation)) != _property_type(value):
                    problems.append(f"{name}.{field_name}: type differs")
        for prop_name, item in properties.items():
            value = vars(cls).get(prop_name)
            if isinstance(value, property):
                if value.fset is not None:
                    problems.append(f"{name}.{prop_name} is writable in the module")
                returns = _normalize(ast.unparse(item.returns)) if item.returns else None
                if returns != _property_type(value):
                    problems.append(f"{name}.{prop_name}: type differs")
        problems += _compare_enum_members(name, cls, fields)
        plain = {n: nodes for n, nodes in methods.items() if n not in properties}
        problems += _compare_functions(f"{name}.", plain, dict(vars(cls)))
    return problems


def test_stub_matches_module() -> None:
    assert compare_stub(STUB.read_text()) == []


@pytest.mark.parametrize(
    ("old", "new", "expected"),
    [
        ("def translate_result(", "def translate_results(", "missing in stub: translate_result"),
        ("class ThumbnailParams:", "class ThumbnailParam:", "not in module: ThumbnailParam"),
        ("    def get_size(self) -> int: ...\n", "", "missing in stub: BlockHeader.get_size"),
        (
            "def version() -> str: ...",
            "def version() -> str: ...\ndef extra() -> None: ...",
            "extra",
        ),
        ("check_contents: bool = False", "check_contents: bool = True", "is_valid_binary_gcode"),
        ("check_contents: bool = False", "check_contents: bool", "is_valid_binary_gcode"),
        ("def close(file: FILEWrapper)", "def close(handle: FILEWrapper)", "close"),
        ("def rewind(arg0: FILEWrapper, /)", "def rewind(arg0: FILEWrapper)", "rewind"),
        ("header: FileHeader, max_version: int)", "header: FileHeader)", "read_header"),
        ("def block_content_size(file_header: FileHeader, ", "def block_content_size(", "block_"),
        ("    checksum: ChecksumType\n", "    checksum: CompressionType\n", "checksum"),
        ("    def magic(self) -> int: ...", "    def magic(self) -> str: ...", "magic"),
        # An enumeration table changed in the module and not in the stub: a member added,
        # renamed or renumbered.
        ("    QOI: ClassVar[EThumbnailFormat]\n", "", "missing in stub: EThumbnailFormat.QOI"),
        (
            "    MissingSlicerMetadat: ClassVar[EResult]\n",
            "    MissingSlicerMetadata: ClassVar[EResult]\n",
            "not in module: EResult.MissingSlicerMetadata",
        ),
        (
            "    PNG: ClassVar[EThumbnailFormat]\n    JPG: ClassVar[EThumbnailFormat]\n",
            "    JPG: ClassVar[EThumbnailFormat]\n    PNG: ClassVar[EThumbnailFormat]\n",
            "EThumbnailFormat: stub members",
        ),
    ],
)
def test_stub_comparison_catches_changes(old: str, new: str, expected: str) -> None:
    source = STUB.read_text()
    assert old in source
    problems = compare_stub(source.replace(old, new, 1))
    assert problems, "the change went unnoticed"
    assert any(expected in problem for problem in problems), problems


def test_stubs_are_installed_next_to_the_extension() -> None:
    extension = Path(_quarn.__file__)
    for installed in (
        extension.parent / "_quarn.pyi",
        extension.parent / "_quarn-stubs" / "__init__.pyi",
    ):
        assert installed.read_text() == STUB.read_text()


def _mypy(*paths: Path) -> subprocess.CompletedProcess[str]:
    command = [sys.executable, "-m", "mypy", "--strict", "--no-incremental", *map(str, paths)]
    return subprocess.run(command, cwd=ROOT, capture_output=True, text=True)


def test_mypy_strict_accepts_the_typed_example() -> None:
    run = _mypy(ROOT / "examples" / "typed_usage.py")
    assert run.returncode == 0, run.stdout + run.stderr


def test_mypy_strict_sees_the_stub_signatures(tmp_path: Path) -> None:
    script = tmp_path / "wrong.py"
    script.write_text(
        "import _quarn\nimport pyquarn\n"
        "_quarn.translate_result(1)\n"
        "pyquarn.rewind(file=_quarn.open('x', 'rb'))\n"
        "size: str = pyquarn.info('x').size\n"
    )
    run = _mypy(script)
    assert run.returncode == 1
    assert "wrong.py:3:" in run.stdout and "wrong.py:4:" in run.stdout
    assert "wrong.py:5:" in run.stdout, run.stdout
