#!/usr/bin/env python3
"""Checks that every source file includes only what its layer may use.

    check_layers.py ROOT [--qt-core DIR]     exit 0 when every include is allowed, 1 otherwise
    check_layers.py --self-test              plants wrong includes in a scratch tree; exit 0 when
                                             each is reported and a clean tree passes

A layer is a folder; the most specific folder a file lies in decides its rules. Quoted includes
("engine/dbf/dbf_table.h") name the folder they reach into; angle includes of Qt (<QString>) are
allowed only where the layer may use Qt; only Qt Core's and Qt Concurrent's headers where it
may use them alone (a header counts as theirs when it is in the Qt Core include folder,
--qt-core DIR, or in the Qt Concurrent folder beside it, or is included by either folder's name);
and no Qt Widgets header where it may use any Qt but widgets (one in the QtWidgets folder beside
Qt Core's, or included by that folder's name).
"""
import os
import re
import shutil
import sys
import tempfile

ENGINE = ["engine/file", "engine/dbf", "engine/expr", "engine/index", "engine/dataset"]

# folder -> (folders it may include from, what Qt it may use: None, "core" (Qt Core and Qt
# Concurrent, no widgets), "nowidgets" (any Qt but widgets) or "all")
LAYERS = {}
for i, layer in enumerate(ENGINE):
    LAYERS[layer] = (ENGINE[: i + 1], None)
LAYERS["directory"] = (ENGINE + ["directory"], None)
LAYERS["sync"] = (ENGINE + ["directory", "sync"], "core")
LAYERS["tools"] = (ENGINE + ["directory", "sync", "tools"], "core")
LAYERS["tools/fake_modem"] = (["tools/fake_modem"], "core")
LAYERS["ui"] = (ENGINE + ["ui"], "all")
LAYERS["dial"] = (["dial", "ui"], "all")
LAYERS["sync/window"] = (ENGINE + ["directory", "sync", "ui", "sync/window"], "all")
LAYERS["app"] = (ENGINE + ["directory", "sync", "ui", "dial", "sync/window", "app"], "all")
# The desktop search: the directory core with Qt's D-Bus (and its clipboard), no widgets.
LAYERS["search_provider"] = (ENGINE + ["directory", "search_provider"], "nowidgets")
# Benchmarks measure the product and use anything of it, but no test helper.
LAYERS["bench"] = (ENGINE + ["directory", "sync", "ui", "dial", "sync/window", "app", "tools",
                             "tools/fake_modem", "bench"], "all")

SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SKIPPED_DIRS = {".git", "corpus"}


def layer_of(path):
    """The most specific layer folder `path` (relative, with "/") lies in, or None."""
    best = None
    for layer in LAYERS:
        if path.startswith(layer + "/") and (best is None or len(layer) > len(best)):
            best = layer
    return best


def folder_of(include):
    """The layer folder a quoted include reaches into, or the top folder it names."""
    best = None
    for layer in list(LAYERS) + ["tests"]:
        if include.startswith(layer + "/") and (best is None or len(layer) > len(best)):
            best = layer
    if best is None and "/" in include:
        best = include.split("/", 1)[0]
    return best


def allowed_folder(reached, allowed):
    return reached in allowed


def source_files(root):
    for top, dirs, files in os.walk(root):
        rel_top = os.path.relpath(top, root).replace(os.sep, "/")
        dirs[:] = sorted(d for d in dirs
                         if d not in SKIPPED_DIRS and not d.startswith("build")
                         and not (rel_top == "." and d.startswith(".")))
        for name in sorted(files):
            if SOURCE.search(name):
                rel = os.path.normpath(os.path.join(rel_top, name)).replace(os.sep, "/")
                yield rel


def check(root, qt_core):
    problems = []
    for rel in source_files(root):
        layer = layer_of(rel)
        if layer is None:
            continue  # tests/ and the top folder may use everything
        allowed, qt = LAYERS[layer]
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as handle:
            for number, line in enumerate(handle, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                kind, target = match.groups()
                where = f"{rel}:{number}: {line.strip()}"
                if kind == '"':
                    if "/" not in target:
                        continue  # a file beside it (generated moc files)
                    reached = folder_of(target)
                    if not allowed_folder(reached, allowed):
                        problems.append(f"{where}  ({layer}/ may not include from {reached}/)")
                elif re.match(r"Q[A-Za-z]|Qt[A-Za-z]+/", target):
                    if qt is None:
                        problems.append(f"{where}  ({layer}/ may not use Qt)")
                    elif qt == "core":
                        if not is_widget_free_qt(target, qt_core):
                            problems.append(f"{where}  ({layer}/ may use Qt Core only)")
                    elif qt == "nowidgets":
                        if is_widgets_qt(target, qt_core):
                            problems.append(f"{where}  ({layer}/ may not use Qt Widgets)")
    return problems


def is_widget_free_qt(target, qt_core):
    """Whether the Qt header `target` is Qt Core's or Qt Concurrent's."""
    if target.startswith(("QtCore/", "QtConcurrent/")):
        return True
    if "/" in target or qt_core is None:
        return False
    concurrent = os.path.join(os.path.dirname(os.path.normpath(qt_core)), "QtConcurrent")
    return any(os.path.exists(os.path.join(folder, target)) for folder in (qt_core, concurrent))


def is_widgets_qt(target, qt_core):
    """Whether the Qt header `target` is Qt Widgets'."""
    if target.startswith("QtWidgets/"):
        return True
    if "/" in target or qt_core is None:
        return False
    widgets = os.path.join(os.path.dirname(os.path.normpath(qt_core)), "QtWidgets")
    return os.path.exists(os.path.join(widgets, target))


def find_qt_core():
    for candidate in ("/usr/include/x86_64-linux-gnu/qt6/QtCore", "/usr/include/qt6/QtCore",
                      "/usr/include/aarch64-linux-gnu/qt6/QtCore"):
        if os.path.isdir(candidate):
            return candidate
    return None


def self_test():
    planted = {
        "engine/file/a.cpp": '#include "engine/dbf/dbf_table.h"\n',
        "engine/dbf/b.h": "#include <QString>\n",
        "directory/c.cpp": '#include "ui/message_box.h"\n',
        "directory/d.cpp": "#include <QObject>\n",
        "sync/e.cpp": '#include "sync/window/update_from_table.h"\n',
        "sync/f.cpp": "#include <QWidget>\n",
        "sync/l.cpp": "#include <QtWidgets/QPushButton>\n",
        "tools/g.cpp": '#include "app/main_window.h"\n',
        "bench/h.cpp": '#include "tests/app/window_session.h"\n',
        "ui/i.cpp": '#include "app/main_window.h"\n',
        "sync/window/j.cpp": '#include "app/main_window.h"\n',
        "dial/k.cpp": '#include "directory/search_filter.h"\n',
        "search_provider/l.cpp": "#include <QWidget>\n",
        "search_provider/m.cpp": '#include "app/main_window.h"\n',
    }
    clean = {
        "engine/dataset/a.cpp": '#include "engine/file/disk_file.h"\n#include <vector>\n',
        "directory/b.cpp": '#include "engine/dataset/engine_dataset.h"\n',
        "sync/c.cpp": '#include "directory/directory_tables.h"\n#include <QObject>\n'
                      "#include <QtConcurrent/QtConcurrentRun>\n#include <QtConcurrent>\n",
        "sync/window/d.cpp": '#include "sync/difference.h"\n#include "ui/message_box.h"\n'
                             "#include <QWidget>\n",
        "app/e.cpp": '#include "sync/window/update_from_table.h"\n#include "dial/tapi_dial.h"\n',
        "bench/f.cpp": '#include "app/main_window.h"\n#include "tools/fake_modem/fake_modem.h"\n',
        "tests/g.cpp": '#include "app/main_window.h"\n#include "bench/event_latency.h"\n',
        "app/h.cpp": '#include "h.moc"\n',
        "search_provider/i.cpp": '#include "directory/search_variants.h"\n'
                                 "#include <QDBusConnection>\n#include <QClipboard>\n",
    }
    qt_include = tempfile.mkdtemp()
    qt_core = os.path.join(qt_include, "QtCore")
    for folder, names in ((qt_core, ("QObject", "QString")),
                          (os.path.join(qt_include, "QtConcurrent"), ("QtConcurrent",)),
                          (os.path.join(qt_include, "QtWidgets"), ("QWidget",))):
        os.makedirs(folder)
        for name in names:
            open(os.path.join(folder, name), "w").close()
    failures = []
    for name, text in planted.items():
        with tempfile.TemporaryDirectory() as root:
            for rel, body in list(clean.items()) + [(name, text)]:
                os.makedirs(os.path.dirname(os.path.join(root, rel)), exist_ok=True)
                with open(os.path.join(root, rel), "w") as handle:
                    handle.write(body)
            found = check(root, qt_core)
            if len(found) != 1 or not found[0].startswith(name + ":1:"):
                failures.append(f"planted {name}: {text.strip()} -> reported {found}")
    with tempfile.TemporaryDirectory() as root:
        for rel, body in clean.items():
            os.makedirs(os.path.dirname(os.path.join(root, rel)), exist_ok=True)
            with open(os.path.join(root, rel), "w") as handle:
                handle.write(body)
        found = check(root, qt_core)
        if found:
            failures.append(f"clean tree reported {found}")
    shutil.rmtree(qt_include)
    for failure in failures:
        print(failure)
    print("self-test:", "failed" if failures else f"{len(planted)} planted includes reported")
    return 1 if failures else 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--qt-core"):
        print(__doc__)
        return 2
    qt_core = argv[3] if len(argv) == 4 else find_qt_core()
    if qt_core is None or not os.path.isdir(qt_core):
        print("no Qt Core include folder found: give it with --qt-core DIR")
        return 2
    problems = check(argv[1], qt_core)
    for problem in problems:
        print(problem)
    print(f"{len(problems)} include(s) reaching up or sideways" if problems else
          "every include is allowed by its layer")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
