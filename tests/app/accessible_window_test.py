#!/usr/bin/python3
"""The window as a screen reader sees it: the program runs on an X server of its own (Xvfb) with
a private session bus, its accessibility bridge always on, and this test reads it over AT-SPI.

Every control of the main window and of the windows it opens (the record dialog, the
synchronisation window, the modem settings, the About box) must have a name, and every one but a
menu item a description; then a search is made as a screen reader's user makes it: the name box
found by its name, a surname typed into it, the search button pressed by its name, and the grid's
rows read back and compared with what `abonex-db search` finds in the same table.

With --lang en the program runs under LANG=en_US.UTF-8 and every name is looked for in English
(and none may be left in Russian).

usage: accessible_window_test.py PROGRAM TOOL EULA [--lang ru|en]

Exit status 77 (skipped) only when a program the test needs is not installed."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

# The names the test looks for, in the window's languages.
TEXTS = {
    "ru": {
        "name_box": "Поиск по фамилии",
        "search": "Показать результат",
        "insert": "Вставить запись",
        "sync": "Обновление базы данных",
        "modem": "Настройка модема",
        "about": "О программе",
        "persons": "Телефоны частных лиц",
        "record_title": "Новая запись",
        "sync_title": "Синхронизация с внешней таблицей",
        "modem_title": "Настройка модема",
        "about_title": "О программе",
    },
    "en": {
        "name_box": "Search by surname",
        "search": "Show result",
        "insert": "Insert record",
        "sync": "Update the database",
        "modem": "Modem settings",
        "about": "About",
        "persons": "Private persons' telephones",
        "record_title": "New record",
        "sync_title": "Synchronisation with an external table",
        "modem_title": "Modem settings",
        "about_title": "About",
    },
}
SURNAME = "Кузнецов"

# Roles a user operates; labels, fillers, panels and the like are read, not operated.
CONTROL_ROLES = {
    "push button", "toggle button", "check box", "radio button", "text", "entry",
    "password text", "combo box", "spin button", "slider", "table", "tree table", "tree",
    "list", "page tab", "menu item", "check menu item", "radio menu item", "progress bar",
    "scroll bar", "menu bar", "tool bar",
}
# Controls a description is not asked of: a menu item's caption says what it does, and the
# bars and scroll bars are containers and parts of other controls.
NO_DESCRIPTION_ROLES = {
    "menu item", "check menu item", "radio menu item", "menu bar", "tool bar", "scroll bar",
}


def skip(why):
    print("SKIP: " + why)
    sys.exit(SKIPPED)


def outer(argv):
    """Checks what the test needs, then runs it again inside an X server and a session bus."""
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        skip("python3-pyatspi is not installed")
    for program in ("Xvfb", "dbus-run-session"):
        if shutil.which(program) is None:
            skip(program + " is not installed")
    if not os.path.exists(BUS_LAUNCHER):
        skip("at-spi2-core is not installed")
    reader, writer = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0", "1280x900x24",
                             "-nolisten", "tcp"], pass_fds=(writer,),
                            stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(writer)
    with os.fdopen(reader) as numbers:
        display = numbers.readline().strip()
    if not display:
        xvfb.kill()
        sys.exit("Xvfb did not start")
    env = dict(os.environ, DISPLAY=":" + display, ABONEX_ACCESSIBLE_INNER="1")
    env.pop("WAYLAND_DISPLAY", None)
    try:
        status = subprocess.call(["dbus-run-session", "--", sys.executable, os.path.abspath(__file__)]
                                 + argv, env=env)
    finally:
        xvfb.terminate()
        xvfb.wait()
    return status


class Failures:
    def __init__(self):
        self.items = []

    def add(self, text):
        self.items.append(text)
        print("FAIL: " + text)


def role(node):
    try:
        return node.getRoleName()
    except Exception:  # a node gone while it was read (a menu closing)
        return None


def children(node, fresh=False):
    """The node's children; `fresh` reads them again from the program rather than from the
    library's cache, which keeps what it read while a window was still being built."""
    if fresh:
        try:
            node.clear_cache()
        except Exception:
            pass
    result = []
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            result.append(child)
    return result


def walk(node, path=()):
    """Every node under `node` with its path of role:name steps; a table's cells are not
    walked (they are rows, not controls)."""
    here = role(node)
    if here is None:
        return
    step = path + ("%s:%s" % (here, node.name),)
    yield node, step
    if here in ("table", "tree table", "tree", "list"):
        return
    for child in children(node):
        yield from walk(child, step)


def wait_for(what, probe, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = probe()
        if found is not None:
            return found
        time.sleep(0.2)
    raise RuntimeError("not found in %d s: %s" % (seconds, what))


def find(root, wanted_role, name):
    for node, _ in walk(root):
        if role(node) == wanted_role and node.name == name:
            return node
    return None


def check_names(root, failures, where, language):
    import pyatspi

    checked = 0
    for node, path in walk(root):
        here = role(node)
        if here not in CONTROL_ROLES:
            continue
        # Menu items are read while their menus are closed too; the rest only when shown.
        if not node.getState().contains(pyatspi.STATE_SHOWING) and \
                not here.endswith("menu item"):
            continue
        checked += 1
        if not node.name.strip():
            failures.add("%s: a control without a name: %s" % (where, " / ".join(path)))
        elif here not in NO_DESCRIPTION_ROLES and not node.description.strip():
            failures.add("%s: a control without a description: %s" % (where, " / ".join(path)))
        elif language != "ru" and any("\u0400" <= c <= "\u04ff" for c in node.name +
                                      node.description):
            failures.add("%s: a control left in Russian: %s (%s)" % (where, " / ".join(path),
                                                                     node.description))
    return checked


def press(node):
    """The node's first action (press, click, toggle). A modal window the action opens keeps
    the reply from coming; the window is looked for afterwards all the same."""
    action = node.queryAction()
    try:
        action.doAction(0)
    except Exception:
        pass


def inner(program, tool, eula, language):
    import pyatspi

    texts = TEXTS[language]
    failures = Failures()
    work = tempfile.mkdtemp(prefix="abonex-accessible-")
    folder = os.path.join(work, "town")
    subprocess.check_call([tool, "demo", folder], stdout=subprocess.DEVNULL)
    shutil.copy(eula, folder)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_CONFIG_HOME=os.path.join(work, "config"), HOME=work)
    for name in ("QT_SCALE_FACTOR", "QT_ACCESSIBILITY", "LANGUAGE", "LC_ALL", "LC_MESSAGES"):
        env.pop(name, None)
    env["LANG"] = {"ru": "ru_RU.UTF-8", "en": "en_US.UTF-8"}[language]
    window = subprocess.Popen([program, "--table", os.path.join(folder, "Phone.DBF")], env=env)
    try:
        def application():
            desktop = pyatspi.Registry.getDesktop(0)
            for app in children(desktop, fresh=True):
                try:
                    if app.description == program or app.name.startswith("Абонекс") or \
                            app.name.startswith("Abonex"):
                        return app if children(app, fresh=True) else None
                except Exception:
                    continue
            return None

        def started():
            if window.poll() is not None:
                raise RuntimeError("the program ended with status %d before it was found"
                                   % window.returncode)
            return application()

        app = wait_for("the program on the accessibility bus", started, seconds=40)
        main = wait_for("the main window", lambda: next(
            (w for w in children(app, fresh=True) if role(w) == "frame"), None))
        wait_for("the persons button", lambda: find(main, "check box", texts["persons"]))
        print("main window: %d controls" % check_names(main, failures, "main window", language))

        # The dialogs, each opened by its menu item's name, checked and closed.
        for item, title in (("insert", "record_title"), ("sync", "sync_title"),
                            ("modem", "modem_title"), ("about", "about_title")):
            opener = wait_for(texts[item], lambda: find(main, "menu item", texts[item]))
            press(opener)

            def dialog():
                for w in children(app, fresh=True):
                    if role(w) in ("dialog", "frame", "window") and w.name == texts[title]:
                        return w
                return None

            shown = wait_for(texts[title], dialog)
            time.sleep(0.3)
            print("%s: %d controls" % (texts[title], check_names(shown, failures, texts[title], language)))
            closer = None
            for node, _ in walk(shown):
                if role(node) == "push button" and node.name.replace("&", "") in (
                        "Отмена", "Закрыть", "Cancel", "Close"):
                    closer = node
            if closer is None:
                failures.add("%s: no button to close it by name" % texts[title])
                break
            press(closer)
            wait_for("%s closed" % texts[title], lambda: None if dialog() else True)

        # A search by name, as it is made without seeing the window.
        box = wait_for(texts["name_box"], lambda: find(main, "text", texts["name_box"]))
        box.queryEditableText().setTextContents(SURNAME)
        press(wait_for(texts["search"], lambda: find(main, "push button", texts["search"])))
        expected = subprocess.check_output(
            [tool, "search", os.path.join(folder, "Phone.DBF"), "--name", SURNAME],
            text=True).splitlines()[1:]
        expected = [line.split(",")[0] for line in expected]
        if not expected:
            failures.add("the demo town has no %s: the search proves nothing" % SURNAME)

        def grid_rows():
            grid = next((n for n, _ in walk(main) if role(n) == "table"), None)
            if grid is None:
                return None
            table = grid.queryTable()
            rows = [table.getAccessibleAt(r, 0).name for r in range(table.nRows)]
            return rows if rows and all(r.startswith(SURNAME) for r in rows) else None

        rows = wait_for("the rows found", grid_rows)
        print("grid: %d rows read, %d found by abonex-db" % (len(rows), len(expected)))
        if rows != expected[:len(rows)]:
            failures.add("the grid's rows %r are not the first of %r" % (rows[:5], expected[:5]))
        if len(rows) < min(len(expected), 20):
            failures.add("the grid shows %d rows of %d found" % (len(rows), len(expected)))
    except RuntimeError as error:
        failures.add(str(error))
    finally:
        window.terminate()
        try:
            window.wait(10)
        except subprocess.TimeoutExpired:
            window.kill()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures.items else 0


def main():
    argv = sys.argv[1:]
    language = "ru"
    if "--lang" in argv:
        at = argv.index("--lang")
        language = argv[at + 1]
        del argv[at:at + 2]
    if len(argv) != 3 or language not in TEXTS:
        sys.exit(__doc__)
    if not os.environ.get("ABONEX_ACCESSIBLE_INNER"):
        sys.exit(outer(sys.argv[1:]))
    sys.exit(inner(*argv, language))


if __name__ == "__main__":
    main()
