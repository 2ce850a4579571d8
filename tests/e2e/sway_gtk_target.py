# A GTK 3 window for the end-to-end tests and benchmarks: a text area whose whole
# text (Enter as a line feed) is written to a file after every burst of changes.
# python3 sway_gtk_target.py TITLE FILE
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

title, path = sys.argv[1], sys.argv[2]
window = Gtk.Window(title=title)
window.set_default_size(400, 200)
view = Gtk.TextView()
window.add(view)


pending = False


def write():
    global pending
    pending = False
    buffer = view.get_buffer()
    text = buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)
    return False


def changed(buffer):
    # Written once the keys that came together are in: a write per key
    # would make the window slower than any text field a user types into.
    global pending
    if not pending:
        pending = True
        GLib.idle_add(write)


view.get_buffer().connect("changed", changed)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
