# What the GNOME end-to-end tests ask GNOME Shell itself, independently of
# the program's extension: its windows with their focus, and screenshots.
# The shell answers these only to a caller that owns one of the names it
# trusts (its portal and screenshot tool), which this script takes.
# python3 gnome_shell.py windows | screenshot FILE
import sys

from gi.repository import Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION)
for name in ("org.freedesktop.impl.portal.desktop.gnome", "org.gnome.Screenshot"):
    bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                  GLib.Variant("(su)", (name, 4)), None, 0, -1, None)


def call(name, path, interface, method, arguments):
    return bus.call_sync(name, path, interface, method, arguments, None, 0, 10000, None).unpack()


if sys.argv[1] == "windows":
    # One "*<TAB>title" line for the window with the focus, " <TAB>title" for the others.
    (windows,) = call("org.gnome.Shell.Introspect", "/org/gnome/Shell/Introspect", "org.gnome.Shell.Introspect",
                      "GetWindows", None)
    for properties in windows.values():
        print("%s\t%s" % ("*" if properties.get("has-focus") else " ", properties.get("title", "")))
elif sys.argv[1] == "screenshot":
    call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot", "Screenshot",
         GLib.Variant("(bbs)", (False, False, sys.argv[2])))
else:
    sys.exit("usage: gnome_shell.py windows | screenshot FILE")
