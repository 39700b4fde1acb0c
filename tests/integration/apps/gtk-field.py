#!/usr/bin/python3
"""A small GTK 3 application with one focused text field, for integration tests.

    gtk-field.py [--widget line|plain|password|upper] [--text TEXT] [--select START]
                 [--length N] [--out FILE]

"password" is an entry that masks its text; "upper" an entry that upper-cases whatever it is
given, as some form fields do. With --focus-later MS a button holds the focus at first and
the field takes it MS milliseconds later, as when the user clicks into it. With --clicks FILE
every mouse press on the window appends "<x> <y>" (window coordinates) to FILE.

START and N count code points (GTK's own unit). On start and on every change it rewrites
FILE (atomically) with "<cursor> <anchor>" in UTF-16 units, a line feed, then the text, so a
test reads the real contents with the same units as the Qt field.
"""
import argparse
import os

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def utf16_units(text, code_points):
    return len(text[:code_points].encode("utf-16-le")) // 2


def write_state(path, text, cursor, anchor):
    if not path:
        return
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write("%d %d\n%s" % (utf16_units(text, cursor), utf16_units(text, anchor), text))
    os.replace(tmp, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--widget", default="line")
    parser.add_argument("--text", default="")
    parser.add_argument("--select", type=int)
    parser.add_argument("--length", type=int, default=0)
    parser.add_argument("--out", default="")
    parser.add_argument("--focus-later", type=int, default=0)
    parser.add_argument("--clicks", default="")
    args = parser.parse_args()
    start = len(args.text) if args.select is None else args.select

    window = Gtk.Window(title="gtk-field")
    window.set_default_size(400, 80)
    window.connect("destroy", Gtk.main_quit)

    if args.widget == "plain":
        view = Gtk.TextView()
        buf = view.get_buffer()
        buf.set_text(args.text)

        def report(*_):
            text = buf.get_text(buf.get_start_iter(), buf.get_end_iter(), True)
            cursor = buf.get_iter_at_mark(buf.get_insert()).get_offset()
            anchor = buf.get_iter_at_mark(buf.get_selection_bound()).get_offset()
            write_state(args.out, text, cursor, anchor)

        buf.select_range(buf.get_iter_at_offset(start + args.length), buf.get_iter_at_offset(start))
        buf.connect("changed", report)
        buf.connect("mark-set", report)
        widget = view
    else:
        entry = Gtk.Entry()
        entry.set_text(args.text)
        if args.widget == "password":
            entry.set_visibility(False)
        if args.widget == "upper":
            def upper(*_):
                text = entry.get_text()
                if text != text.upper():
                    position = entry.get_position()
                    entry.set_text(text.upper())
                    entry.set_position(position)
            entry.connect("changed", upper)

        def report(*_):
            bounds = entry.get_selection_bounds()
            cursor = entry.get_position()
            anchor = cursor
            if bounds:
                anchor = bounds[0] if bounds[1] == cursor else bounds[1]
            write_state(args.out, entry.get_text(), cursor, anchor)

        def select():
            if not args.focus_later:
                entry.grab_focus()
            entry.select_region(start, start + args.length)
            report()
            return False

        entry.connect("changed", report)
        entry.connect("notify::cursor-position", report)
        entry.connect("notify::selection-bound", report)
        GLib.idle_add(select)
        widget = entry

    if args.focus_later:
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
        button = Gtk.Button(label="elsewhere")
        box.pack_start(button, False, False, 0)
        box.pack_start(widget, True, True, 0)
        window.add(box)
        window.show_all()
        button.grab_focus()

        def focus_field():
            widget.grab_focus()
            return False

        GLib.timeout_add(args.focus_later, focus_field)
    else:
        window.add(widget)
        window.show_all()
        widget.grab_focus()
    if args.clicks:
        def pressed(w, event):
            x, y = w.translate_coordinates(window, int(event.x), int(event.y))
            with open(args.clicks, "a", encoding="utf-8") as f:
                f.write("%d %d\n" % (x, y))
            return False

        widget.connect("button-press-event", pressed)
    window.present()
    report()
    Gtk.main()


if __name__ == "__main__":
    main()
