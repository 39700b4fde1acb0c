"""What the stand-in portals share: the portal's names, its Request objects that answer once,
and sessions that close from either side."""
import dbus
import dbus.service
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"


def sender_part(sender):
    return sender[1:].replace(".", "_")


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass

    @dbus.service.method("org.freedesktop.portal.Request")
    def Close(self):
        self.remove_from_connection()


def answer(bus, sender, options, fallback_token, response, results):
    """A Request object for the method being served; its Response goes out after the method's
    reply, as the real portal's does."""
    token = str(options.get("handle_token", fallback_token))
    path = "%s/request/%s/%s" % (PATH, sender_part(sender), token)
    request = Request(bus, path)

    def send():
        request.Response(dbus.UInt32(response), dbus.Dictionary(results, signature="sv"))
        request.remove_from_connection()
        return False

    GLib.idle_add(send)
    return dbus.ObjectPath(path)


class Session(dbus.service.Object):
    """A session of `portal`, which keeps `sessions` (path -> session) and `calls`."""

    def __init__(self, portal, path):
        super().__init__(portal.bus, path)
        self.portal = portal
        self.path = path

    @dbus.service.signal("org.freedesktop.portal.Session", signature="a{sv}")
    def Closed(self, details):
        pass

    @dbus.service.method("org.freedesktop.portal.Session")
    def Close(self):
        self.portal.calls.append("Close")
        self.portal.sessions.pop(self.path, None)
        self.remove_from_connection()
