#!/usr/bin/python3
# Small stand-ins for the services a desktop offers to hold its automatic sleep, on the buses
# that DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS name: the desktop portal's
# Inhibit, org.freedesktop.PowerManagement.Inhibit and systemd-logind's Inhibit. Each writes one
# line to the log for every hold taken and let go, and, as the real ones do, lets go of a
# caller's hold when the caller leaves the bus (its process ended) or, for logind, when the
# caller's end of the pipe is closed.
#   sleep_services.py LOG [portal | portal-slow | portal-refuses] [power-management] [logind]
# portal-slow answers the portal's calls only after 6 s, as a portal that is still starting;
# portal-refuses replies and then answers 2 (refused), as the portal does on a desktop that has
# no part of its own to hold suspend.
# Prints "ready" once every service named is on its bus.
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

LOG = sys.argv[1]
WANTED = set(sys.argv[2:])


def log(line):
    with open(LOG, "a") as f:
        f.write(line + "\n")


class Holds:
    """Holds by caller; a caller that leaves the bus loses its holds."""

    def __init__(self, bus, kind):
        self.bus, self.kind, self.by_sender, self.watches = bus, kind, {}, {}

    def add(self, sender, key):
        self.by_sender.setdefault(sender, set()).add(key)
        if sender not in self.watches:
            self.watches[sender] = self.bus.watch_name_owner(sender, lambda owner, s=sender: self.owner(s, owner))

    def remove(self, sender, key):
        held = self.by_sender.get(sender, set())
        if key not in held:
            return False
        held.discard(key)
        return True

    def owner(self, sender, owner):
        if owner == "" and self.by_sender.get(sender):
            for key in sorted(self.by_sender[sender]):
                log(f"{self.kind} dropped {key} (the caller left the bus)")
            self.by_sender[sender] = set()


class PortalRequest(dbus.service.Object):
    def __init__(self, portal, path, sender):
        super().__init__(portal.bus, path)
        self.portal, self.path, self.sender = portal, path, sender

    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass

    @dbus.service.method("org.freedesktop.portal.Request", in_signature="", out_signature="")
    def Close(self):
        if self.portal.holds.remove(self.sender, self.path):
            log(f"portal release {self.path}")
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.bus, self.holds, self.count = bus, Holds(bus, "portal"), 0

    @dbus.service.method("org.freedesktop.portal.Inhibit", in_signature="sua{sv}", out_signature="o",
                         sender_keyword="sender", async_callbacks=("reply", "error"))
    def Inhibit(self, window, flags, options, sender=None, reply=None, error=None):
        # As the portal names the request: from the caller's name and its token.
        self.count += 1
        token = str(options.get("handle_token", "t%d" % self.count))
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"), token)

        def grant():
            request = PortalRequest(self, path, sender)
            reply(dbus.ObjectPath(path))
            if "portal-refuses" in WANTED:
                log(f"portal refused flags={int(flags)} {path}")
                request.Response(dbus.UInt32(2), {})
                request.remove_from_connection()
                return False
            self.holds.add(sender, path)
            log(f"portal take flags={int(flags)} {path} reason={options.get('reason', '')}")
            request.Response(dbus.UInt32(0), {})
            return False

        if "portal-slow" in WANTED:
            GLib.timeout_add(6000, grant)
        else:
            grant()


class PowerManagement(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/PowerManagement/Inhibit")
        self.holds, self.cookie = Holds(bus, "power-management"), 100

    @dbus.service.method("org.freedesktop.PowerManagement.Inhibit", in_signature="ss", out_signature="u",
                         sender_keyword="sender")
    def Inhibit(self, application, reason, sender=None):
        self.cookie += 1
        self.holds.add(sender, self.cookie)
        log(f"power-management take {self.cookie} application={application}")
        return dbus.UInt32(self.cookie)

    @dbus.service.method("org.freedesktop.PowerManagement.Inhibit", in_signature="u", out_signature="",
                         sender_keyword="sender")
    def UnInhibit(self, cookie, sender=None):
        if self.holds.remove(sender, int(cookie)):
            log(f"power-management release {int(cookie)}")


class Logind(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/login1")

    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, why, mode):
        # As logind: the caller gets the writing end of a pipe; the hold ends when no process
        # has that end open any more.
        read_end, write_end = os.pipe()
        log(f"logind take what={what} mode={mode} who={who}")

        def closed(fd, condition):
            log("logind release")
            os.close(fd)
            return False

        GLib.io_add_watch(read_end, GLib.IO_HUP | GLib.IO_ERR, closed)
        fd = dbus.types.UnixFd(write_end)
        os.close(write_end)
        return fd


DBusGMainLoop(set_as_default=True)
session = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
system = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
keep = []
if WANTED & {"portal", "portal-slow", "portal-refuses"}:
    keep += [dbus.service.BusName("org.freedesktop.portal.Desktop", session), Portal(session)]
if "power-management" in WANTED:
    keep += [dbus.service.BusName("org.freedesktop.PowerManagement", session), PowerManagement(session)]
if "logind" in WANTED:
    keep += [dbus.service.BusName("org.freedesktop.login1", system), Logind(system)]
print("ready", flush=True)
GLib.MainLoop().run()
