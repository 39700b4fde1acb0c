#!/usr/bin/python3
"""A stand-in for the desktop portal's RemoteDesktop interface (its keyboard), for tests.

    remote-desktop-portal.py [--refuse RESPONSE] [--expect-token TOKEN] [--wtype PATH]

Owns org.freedesktop.portal.Desktop on the session bus and serves, at
/org/freedesktop/portal/desktop, the published org.freedesktop.portal.RemoteDesktop:
CreateSession, SelectDevices and Start answer through Request objects' Response signals (after
the method's reply, as the real portal does); NotifyKeyboardKeysym takes keys of a started
session; the properties version and AvailableDeviceTypes; sessions close through
org.freedesktop.portal.Session.Close and can be ended from the desktop's side (Closed).

Consent: a Start whose SelectDevices named a restore token the portal handed out (or the one
given by --expect-token) is restored without a dialog; any other Start shows "the dialog", which
the user accepts unless --refuse says otherwise (1 cancelled, 2 other). Each accepted Start
hands out a new token and spends the one it was restored with.

With --wtype, every key is passed on to the compositor through wtype (keysyms by number,
modifiers by wtype's own names), a run whenever no key is held any more.

The test drives it through org.wendlo.test.RemoteDesktopPortal on the same object: Calls()
lists what was asked, Refuse(u) changes the dialog's answer, EndSessions() closes every session
from the desktop's side, FailKeys(b) makes NotifyKeyboardKeysym fail.
"""
import argparse
import subprocess
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

import portal_double
from portal_double import PATH, PORTAL, sender_part

REMOTE = "org.freedesktop.portal.RemoteDesktop"
CONTROL = "org.wendlo.test.RemoteDesktopPortal"
KEYBOARD = 1
MODIFIERS = {0xffe1: "shift", 0xffe2: "shift", 0xffe3: "ctrl", 0xffe4: "ctrl",
             0xffe9: "alt", 0xffea: "alt", 0xffeb: "logo", 0xffec: "logo"}


class Session(portal_double.Session):
    def __init__(self, portal, path):
        super().__init__(portal, path)
        self.restore_token = ""
        self.started = False


class Portal(dbus.service.Object):
    def __init__(self, bus, args):
        super().__init__(bus, PATH)
        self.bus = bus
        self.refuse = args.refuse
        self.tokens = {args.expect_token} if args.expect_token else set()
        self.wtype = args.wtype
        self.fail_keys = False
        self.sessions = {}
        self.calls = []
        self.issued = 0
        self.held = set()
        self.pending = []  # wtype arguments not yet run

    def answer(self, sender, options, response, results):
        return portal_double.answer(self.bus, sender, options, "t%d" % len(self.calls),
                                    response, results)

    def session(self, handle):
        session = self.sessions.get(str(handle))
        if session is None:
            raise dbus.exceptions.DBusException("no such session",
                                                name="org.freedesktop.portal.Error.NotFound")
        return session

    @dbus.service.method(REMOTE, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        self.calls.append("CreateSession")
        token = str(options.get("session_handle_token", "s%d" % len(self.calls)))
        path = "%s/session/%s/%s" % (PATH, sender_part(sender), token)
        self.sessions[path] = Session(self, path)
        return self.answer(sender, options, 0, {"session_handle": dbus.String(path)})

    @dbus.service.method(REMOTE, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def SelectDevices(self, session_handle, options, sender=None):
        session = self.session(session_handle)
        session.restore_token = str(options.get("restore_token", ""))
        self.calls.append("SelectDevices types=%d persist_mode=%d restore_token=%s" % (
            int(options.get("types", 0)), int(options.get("persist_mode", 0)),
            session.restore_token))
        return self.answer(sender, options, 0, {})

    @dbus.service.method(REMOTE, in_signature="osa{sv}", out_signature="o", sender_keyword="sender")
    def Start(self, session_handle, parent_window, options, sender=None):
        session = self.session(session_handle)
        restored = session.restore_token in self.tokens
        self.calls.append("Start restored" if restored else "Start dialog")
        if not restored and self.refuse:
            return self.answer(sender, options, self.refuse, {})
        self.tokens.discard(session.restore_token)
        self.issued += 1
        token = "token-%d" % self.issued
        self.tokens.add(token)
        session.started = True
        return self.answer(sender, options, 0, {"devices": dbus.UInt32(KEYBOARD),
                                                "restore_token": dbus.String(token)})

    @dbus.service.method(REMOTE, in_signature="oa{sv}iu", out_signature="")
    def NotifyKeyboardKeysym(self, session_handle, options, keysym, state):
        session = self.session(session_handle)
        self.calls.append("Keysym 0x%x %d" % (int(keysym), int(state)))
        if not session.started:
            raise dbus.exceptions.DBusException("session not started",
                                                name="org.freedesktop.portal.Error.Failed")
        if self.fail_keys:
            raise dbus.exceptions.DBusException("keyboard gone",
                                                name="org.freedesktop.portal.Error.Failed")
        if self.wtype:
            self.forward(int(keysym), int(state))

    def forward(self, keysym, state):
        modifier = MODIFIERS.get(keysym)
        if modifier:
            self.pending += ["-M" if state else "-m", modifier]
        else:
            self.pending += ["-P" if state else "-p", "0x%x" % keysym]
        (self.held.add if state else self.held.discard)(keysym)
        if not self.held:
            # GTK 3 matches no shortcut on the run's last key: end on an unused key's release.
            subprocess.run([self.wtype] + self.pending + ["-p", "VoidSymbol"], check=False)
            self.pending = []

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        properties = self.GetAll(interface)
        if name in properties:
            return properties[name]
        raise dbus.exceptions.DBusException(
            "no property %s.%s" % (interface, name),
            name="org.freedesktop.DBus.Error.UnknownProperty")

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface == REMOTE:
            return dbus.Dictionary({"version": dbus.UInt32(2),
                                    "AvailableDeviceTypes": dbus.UInt32(KEYBOARD | 2)},
                                   signature="sv")
        return dbus.Dictionary({}, signature="sv")

    @dbus.service.method(CONTROL, out_signature="as")
    def Calls(self):
        return dbus.Array(self.calls, signature="s")

    @dbus.service.method(CONTROL, in_signature="u")
    def Refuse(self, response):
        self.refuse = int(response)

    @dbus.service.method(CONTROL, in_signature="b")
    def FailKeys(self, fail):
        self.fail_keys = bool(fail)

    @dbus.service.method(CONTROL)
    def EndSessions(self):
        for session in list(self.sessions.values()):
            session.Closed(dbus.Dictionary({}, signature="sv"))
            session.remove_from_connection()
        self.sessions.clear()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--refuse", type=int, default=0)
    parser.add_argument("--expect-token", default="")
    parser.add_argument("--wtype", default="")
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, args)
    name = dbus.service.BusName(PORTAL, bus, do_not_queue=True)
    print("ready", flush=True)
    try:
        GLib.MainLoop().run()
    finally:
        del name, portal
    return 0


if __name__ == "__main__":
    sys.exit(main())
