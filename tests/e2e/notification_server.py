#!/usr/bin/python3
"""The desktop's notification server for a test's private session bus.

Owns org.freedesktop.Notifications and writes every Notify call to RECORD as
one JSON line (app_name, summary, body, actions, hints' names, timeout), then
answers as a desktop's server does. Prints "ready" once it owns the name; ends
on SIGTERM. Usage: notification_server.py RECORD
"""
import json
import signal
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, PATH)
        self.record = record
        self.last_id = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, icon, summary, body, actions, hints, timeout):
        self.last_id = int(replaces_id) or self.last_id + 1
        entry = {"app_name": str(app_name), "replaces_id": int(replaces_id), "icon": str(icon),
                 "summary": str(summary), "body": str(body), "actions": [str(a) for a in actions],
                 "hints": sorted(str(k) for k in hints), "timeout": int(timeout)}
        with open(self.record, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry, ensure_ascii=False) + "\n")
        return dbus.UInt32(self.last_id)

    @dbus.service.method(NAME, in_signature="u")
    def CloseNotification(self, notification_id):
        self.NotificationClosed(notification_id, 3)

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NAME, out_signature="ssss")
    def GetServerInformation(self):
        return ("qorve-test", "qorve", "1", "1.2")

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, notification_id, reason):
        pass


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    server = Notifications(bus, sys.argv[1])
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    print("ready", flush=True)
    loop.run()
    del server, name


if __name__ == "__main__":
    main()
