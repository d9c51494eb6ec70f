"""The stub-only package lessoncover-stubs matches the built module and type-checks the example."""
import ast
import subprocess
import sys
from pathlib import Path

import pytest

import lessoncover

ROOT = Path(__file__).resolve().parents[1]
STUB = ROOT / "stubs" / "lessoncover-stubs" / "__init__.pyi"
TREE = ast.parse(STUB.read_text(encoding="utf-8"))
CLASSES = {node.name: node for node in TREE.body if isinstance(node, ast.ClassDef)}


def public(names):
    return {name for name in names if not name.startswith("_")}


def test_stub_names_are_the_module_names():
    functions = {node.name for node in TREE.body if isinstance(node, ast.FunctionDef)}
    assert public(functions | set(CLASSES)) == public(dir(lessoncover))
    (all_names,) = [node.value for node in TREE.body if isinstance(node, ast.Assign)]
    assert ast.literal_eval(all_names) == lessoncover.__all__


@pytest.mark.parametrize("name", sorted(CLASSES))
def test_stub_members_are_the_class_members(name):
    runtime = getattr(lessoncover, name)
    inherited = set(dir(runtime.__base__))
    members = {node.name for node in CLASSES[name].body if isinstance(node, ast.FunctionDef)}
    assert public(members) == public(set(dir(runtime)) - inherited)


def test_every_definition_has_a_one_line_docstring():
    for node in ast.walk(TREE):
        if isinstance(node, (ast.Module, ast.ClassDef, ast.FunctionDef)):
            decorators = getattr(node, "decorator_list", [])
            setter = any(isinstance(d, ast.Attribute) and d.attr == "setter" for d in decorators)
            docstring = ast.get_docstring(node)
            assert setter or (docstring and "\n" not in docstring), getattr(node, "name", "module")


def test_installed_stubs_are_these():
    installed = Path(lessoncover.__file__).parent / "lessoncover-stubs" / "__init__.pyi"
    assert installed.read_text(encoding="utf-8") == STUB.read_text(encoding="utf-8")


@pytest.mark.parametrize("command", [
    ["mypy", "--strict", str(ROOT / "examples" / "plan_cover.py")],
    ["mypy.stubtest", "lessoncover"],
], ids=["mypy-strict-example", "stubtest"])
def test_mypy(command, tmp_path):
    shown = subprocess.run([sys.executable, "-m", *command], capture_output=True, text=True, cwd=tmp_path)
    assert shown.returncode == 0, shown.stdout + shown.stderr
