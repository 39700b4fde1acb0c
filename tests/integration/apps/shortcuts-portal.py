#!/usr/bin/python3
"""A stand-in for the desktop portal's GlobalShortcuts interface, for integration tests.

    shortcuts-portal.py [--refuse RESPONSE] [--version N]

Owns org.freedesktop.portal.Desktop on the session bus and serves, at
/org/freedesktop/portal/desktop, the published org.freedesktop.portal.GlobalShortcuts:
CreateSession, BindShortcuts and ListShortcuts answer through Request objects' Response
signals (sent after the method's reply, as the real portal does), sessions close through
org.freedesktop.portal.Session.Close, and Activated / Deactivated report the bound shortcut.
With --refuse, BindShortcuts answers with that response code (1 cancelled, 2 other).

The test drives it through org.wendlo.test.ShortcutsPortal on the same object:
Press() and Release() activate and deactivate every shortcut bound in an open session,
Refuse(u) changes the answer to later bindings (0 binds again), ChooseTrigger(s) stands for
the user picking another trigger in the desktop's dialog or settings (later bindings answer
with it as trigger_description, and open sessions hear ShortcutsChanged; "" goes back to the
preferred trigger), EndSessions() ends every session from the desktop's side
(Session.Closed), Calls() lists what was asked.
"""
import argparse
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

import portal_double
from portal_double import PATH, PORTAL, sender_part

SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
CONTROL = "org.wendlo.test.ShortcutsPortal"


class Session(portal_double.Session):
    def __init__(self, portal, path):
        super().__init__(portal, path)
        self.shortcuts = []  # (id, properties)


class Portal(dbus.service.Object):
    def __init__(self, bus, refuse, version):
        super().__init__(bus, PATH)
        self.bus = bus
        self.refuse = refuse
        self.version = version
        self.sessions = {}
        self.calls = []
        self.chosen = ""

    def answer(self, sender, options, response, results):
        return portal_double.answer(self.bus, sender, options, "t%d" % len(self.calls),
                                    response, results)

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        self.calls.append("CreateSession")
        token = str(options.get("session_handle_token", "s%d" % len(self.calls)))
        path = "%s/session/%s/%s" % (PATH, sender_part(sender), token)
        self.sessions[path] = Session(self, path)
        return self.answer(sender, options, 0, {"session_handle": dbus.String(path)})

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session_handle, shortcuts, parent_window, options, sender=None):
        session = self.sessions.get(str(session_handle))
        described = ["%s %s %s" % (str(s[0]), str(s[1].get("preferred_trigger", "")),
                                   str(s[1].get("description", ""))) for s in shortcuts]
        self.calls.append("BindShortcuts " + "; ".join(described))
        if session is None:
            raise dbus.exceptions.DBusException("no such session",
                                                name="org.freedesktop.portal.Error.NotFound")
        if self.refuse:
            return self.answer(sender, options, self.refuse, {})
        session.shortcuts = [(str(s[0]), dict(s[1])) for s in shortcuts]
        return self.answer(sender, options, 0, {"shortcuts": self.described(session)})

    @dbus.service.method(SHORTCUTS, in_signature="oa{sv}", out_signature="o",
                         sender_keyword="sender")
    def ListShortcuts(self, session_handle, options, sender=None):
        self.calls.append("ListShortcuts")
        session = self.sessions.get(str(session_handle))
        shortcuts = self.described(session) if session else []
        return self.answer(sender, options, 0, {"shortcuts": shortcuts})

    def described(self, session):
        return dbus.Array(
            [dbus.Struct((shortcut_id, dbus.Dictionary(
                {"description": dbus.String(props.get("description", "")),
                 "trigger_description": dbus.String(
                     self.chosen or props.get("preferred_trigger", ""))},
                signature="sv"))) for shortcut_id, props in session.shortcuts],
            signature="(sa{sv})")

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="oa(sa{sv})")
    def ShortcutsChanged(self, session_handle, shortcuts):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == SHORTCUTS and name == "version":
            return dbus.UInt32(self.version)
        raise dbus.exceptions.DBusException(
            "no property %s.%s" % (interface, name),
            name="org.freedesktop.DBus.Error.UnknownProperty")

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface == SHORTCUTS:
            return {"version": dbus.UInt32(self.version)}
        return {}

    def emit_all(self, signal):
        stamp = dbus.UInt64(int(time.monotonic() * 1000))
        for path, session in self.sessions.items():
            for shortcut_id, _ in session.shortcuts:
                signal(dbus.ObjectPath(path), shortcut_id, stamp,
                       dbus.Dictionary({}, signature="sv"))

    @dbus.service.method(CONTROL)
    def Press(self):
        self.emit_all(self.Activated)

    @dbus.service.method(CONTROL)
    def Release(self):
        self.emit_all(self.Deactivated)

    @dbus.service.method(CONTROL)
    def EndSessions(self):
        for path, session in list(self.sessions.items()):
            session.Closed(dbus.Dictionary({}, signature="sv"))
            session.remove_from_connection()
        self.sessions.clear()

    @dbus.service.method(CONTROL, in_signature="u")
    def Refuse(self, response):
        self.refuse = int(response)

    @dbus.service.method(CONTROL, in_signature="s")
    def ChooseTrigger(self, description):
        self.chosen = str(description)
        for path, session in self.sessions.items():
            if session.shortcuts:
                self.ShortcutsChanged(dbus.ObjectPath(path), self.described(session))

    @dbus.service.method(CONTROL, out_signature="as")
    def Calls(self):
        return dbus.Array(self.calls, signature="s")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--refuse", type=int, default=0)
    parser.add_argument("--version", type=int, default=1)
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, args.refuse, args.version)
    name = dbus.service.BusName(PORTAL, bus, do_not_queue=True)
    print("ready", flush=True)
    loop = GLib.MainLoop()
    try:
        loop.run()
    finally:
        del name, portal
    return 0


if __name__ == "__main__":
    sys.exit(main())
