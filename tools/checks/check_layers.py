#!/usr/bin/env python3
"""Fails when a source file includes a layer that comes later.

Layers in dependency order; a layer may include only itself and the layers
before it. Logic (files outside ui/ folders) never includes windows: no
ui/ header of any layer, no shell, no QtWidgets header. src/shell/ is
windows code as a whole and may include every layer but app/.

Usage: check_layers.py [ROOT]   (ROOT holds src/; default: the project)
"""
import os
import re
import sys

LAYERS = ["core", "data", "wawi", "shopdb", "masterdata", "transfer",
          "setup", "browse", "shell", "app"]
WIDGET_HEADERS = re.compile(
    r"^(QtWidgets/.*|Q(Widget|Dialog|MainWindow|MessageBox|Application|"
    r"AbstractItemView|TableView|TreeView|ListWidget|PushButton|Label|"
    r"LineEdit|ComboBox|CheckBox|MdiArea|MdiSubWindow|ToolButton|Menu|"
    r"Action|FileDialog|ProgressBar|Splitter|TabWidget|StyledItemDelegate)|"
    r"QtWebEngine.*)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def classify(rel):
    """(layer index, is_window_code) of a path below src/."""
    parts = rel.split("/")
    layer = parts[0]
    if layer not in LAYERS:
        return None
    idx = LAYERS.index(layer)
    window = layer in ("shell",) or "ui" in parts[1:-1]
    if layer == "app":
        window = parts[1:2] != ["cli"]
    return idx, window


def check(root):
    src = os.path.join(root, "src")
    faults = []
    for dirpath, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, src).replace(os.sep, "/")
            me = classify(rel)
            if me is None:
                continue
            my_idx, my_window = me
            with open(path, encoding="utf-8", errors="replace") as f:
                for lineno, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, target = m.groups()
                    where = f"src/{rel}:{lineno}: "
                    if kind == "<":
                        if not my_window and WIDGET_HEADERS.match(target):
                            faults.append(where + f"logic includes the widget header <{target}>")
                        continue
                    other = classify(target)
                    if other is None:
                        continue
                    idx, window = other
                    if idx > my_idx:
                        faults.append(where + f"{LAYERS[my_idx]} includes the later layer "
                                      f"{LAYERS[idx]} (\"{target}\")")
                    elif window and not my_window:
                        faults.append(where + f"logic includes window code (\"{target}\")")
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    faults = check(os.path.abspath(root))
    for f in faults:
        print(f)
    if faults:
        print(f"{len(faults)} include(s) break the layer order "
              f"({' < '.join(LAYERS)})", file=sys.stderr)
        return 1
    print("layer order kept")
    return 0


if __name__ == "__main__":
    sys.exit(main())
