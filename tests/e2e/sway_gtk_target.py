# A GTK 3 window for the Wayland end-to-end tests: a text area whose whole
# text (Enter as a line feed) is written to a file after every change.
# python3 sway_gtk_target.py TITLE FILE
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402

title, path = sys.argv[1], sys.argv[2]
window = Gtk.Window(title=title)
window.set_default_size(400, 200)
view = Gtk.TextView()
window.add(view)


def changed(buffer):
    text = buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)


view.get_buffer().connect("changed", changed)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
