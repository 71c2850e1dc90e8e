"""zelbo32's window as a screen reader meets it, through AT-SPI: the window
is a dialog, every control has the name a sighted user reads beside it (or
is tied to that label), and the forecast tells its changes.
   atspi_walk.py PATH-TO-ZELBO32 SOURCE-FILE   (in a D-Bus session, on X)"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

program, source = sys.argv[1:3]
zelbo = subprocess.Popen([program])
failures = []
names_told = []  # the new names of labels, as their change events came


def check(condition, what):
    if not condition:
        failures.append(what)


def find(accessible, wanted):
    if wanted(accessible):
        return accessible
    for child in accessible:
        found = find(child, wanted) if child is not None else None
        if found is not None:
            return found
    return None


def everything(accessible):
    yield accessible
    for child in accessible:
        if child is not None:
            yield from everything(child)


def labels_of(accessible):
    return [relation.getTarget(i).name for relation in accessible.getRelationSet()
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
            for i in range(relation.getNTargets())]


def window():
    for _ in range(300):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "zelbo32" and app.childCount:
                return app[0]
        time.sleep(0.1)
    sys.exit("zelbo32 never appeared to assistive technology")


def named(role, name):
    return lambda accessible: accessible.getRoleName() == role and accessible.name == name


# role, name, the labels tied to it
EXPECTED = [
    ("push button", "Source file...", []),
    ("text", "Split into", []),  # the amount
    ("combo box", "parts", ["Split into"]),  # a list is named by its item, tied to its label
    ("combo box", "Quicksize", ["Quicksize"]),
    ("label", "n.a.", ["Total File Size:"]),
    ("panel", "Split details", []),
    ("check box", "Use 8.3 compatible filenames", []),
    ("push button", "Start Splitting", []),
    ("push button", "Close", []),
]
FIELDS = {"push button", "text", "combo box", "check box"}


def walk(form):
    check(form.getRoleName() == "dialog" and form.name == "Zelbo",
          f"the window is a {form.getRoleName()} named {form.name!r}")
    for role, name, labels in EXPECTED:
        found = find(form, named(role, name))
        check(found is not None and labels_of(found) == labels,
              f"no {role} {name!r} tied to {labels}")
    for accessible in everything(form):
        if accessible.getRoleName() in FIELDS:
            check((accessible.name or labels_of(accessible)) and not accessible.name.endswith(":"),
                  f"a {accessible.getRoleName()} named {accessible.name!r}")


def on_name_change(event):
    try:
        if event.source.getRoleName() == "label":
            names_told.append(event.source.name)
    except GLib.GError:  # gone meanwhile, with a dialog
        pass


def choose_source(form):
    """A click on the button (an action would wait for the dialog), the
    dialog answered through its accessible text and button."""
    button = find(form, named("push button", "Source file..."))
    box = button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2),
                    str(box.y + box.height // 2), "click", "1"], check=True)
    for _ in range(300):
        dialog = find(form.parent, named("dialog", "Select the file to split"))
        if dialog is not None:
            find(dialog, lambda a: a.getRoleName() == "text").queryEditableText() \
                .setTextContents(source)
            find(dialog, named("push button", "Open")).queryAction().doAction(0)
            return
        time.sleep(0.1)
    failures.append("the open dialog never appeared")


def session():
    form = window()
    walk(form)
    choose_source(form)
    GLib.timeout_add(200, finish, form, time.monotonic() + 20)
    return False


def finish(form, deadline):
    told = any(name.startswith("The file will be split into") for name in names_told)
    if not told and time.monotonic() < deadline:
        return True
    check(told, "the forecast never told its change")
    find(form, named("push button", "Close")).queryAction().doAction(0)
    pyatspi.Registry.stop()
    return False


pyatspi.Registry.registerEventListener(on_name_change, "object:property-change:accessible-name")
GLib.idle_add(session)
pyatspi.Registry.start()
check(zelbo.wait(timeout=30) == 0, "zelbo32 did not end with 0")
for failure in failures:
    print("FAILED:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
