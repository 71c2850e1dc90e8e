# zelbo32's window as a screen reader meets it, through AT-SPI: a dialog
# whose controls carry the names a sighted user reads beside them (or are
# tied to those labels), and a forecast that tells its changes.
#   atspi_walk.py PATH-TO-ZELBO32 SOURCE-FILE   (in a D-Bus session, on X)
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

# role, name, the labels tied to it; a list is named by its item on Linux
EXPECTED = [
    ("push button", "Source file...", []),
    ("text", "Split into", []),
    ("combo box", "parts", ["Split into"]),
    ("combo box", "Quicksize", ["Quicksize"]),
    ("label", "n.a.", ["Total File Size:"]),
    ("panel", "Split details", []),
    ("check box", "Use 8.3 compatible filenames", []),
    ("push button", "Start Splitting", []),
    ("push button", "Close", []),
]


def wait_for(condition, seconds=20):
    # The condition's first true value, while events come in.
    end = time.monotonic() + seconds
    while not (value := condition()) and time.monotonic() < end:
        GLib.MainContext.default().iteration(False)
        time.sleep(0.01)
    return value


def find(root, role, name=None):
    if root.getRoleName() == role and name in (None, root.name):
        return root
    for child in root:
        if child is not None and (found := find(child, role, name)) is not None:
            return found
    return None


def labels(accessible):
    return [relation.getTarget(i).name for relation in accessible.getRelationSet()
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
            for i in range(relation.getNTargets())]


def on_name_change(event):
    try:
        told.append(event.source.name)
    except GLib.GError:  # gone meanwhile, with a dialog
        pass


program, source = sys.argv[1:3]
told, failures = [], []
pyatspi.Registry.registerEventListener(on_name_change, "object:property-change:accessible-name")
zelbo = subprocess.Popen([program])
app = wait_for(lambda: next((a for a in pyatspi.Registry.getDesktop(0)
                             if a is not None and a.name == "zelbo32" and a.childCount), None))
form = app[0]
if (form.getRoleName(), form.name) != ("dialog", "Zelbo"):
    failures.append(f"the window is a {form.getRoleName()} named {form.name!r}")
for role, name, tied in EXPECTED:
    found = find(form, role, name)
    if found is None or labels(found) != tied:
        failures.append(f"no {role} {name!r} tied to {tied}")

# A click on the button (its action would wait for the dialog to close),
# the dialog answered through its text and button.
box = find(form, "push button", "Source file...").queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
subprocess.run(["xdotool", "mousemove", str(box.x + 5), str(box.y + 5), "click", "1"], check=True)
dialog = wait_for(lambda: find(app, "dialog", "Select the file to split"))
find(dialog, "text").queryEditableText().setTextContents(source)
find(dialog, "push button", "Open").queryAction().doAction(0)
if not wait_for(lambda: any(name.startswith("The file will be split") for name in told)):
    failures.append("the forecast never told its change")
find(form, "push button", "Close").queryAction().doAction(0)
if zelbo.wait(timeout=30) != 0:
    failures.append("zelbo32 did not end with 0")
for failure in failures:
    print("FAILED:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
