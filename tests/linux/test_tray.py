"""The tray item: over D-Bus where a watcher runs, else an XEmbed icon in trayer."""

import os
import subprocess
import sys
import time

import dbus

from native import (CLOCK_TITLE, DIAMETER, LATER, PROGRAM, SCREEN_HEIGHT, SCREEN_WIDTH, SETTINGS_TITLE,
                    NativeTestCase, wait_until)

HERE = os.path.dirname(os.path.abspath(__file__))
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


class StatusNotifierItem(NativeTestCase):
    def start(self, text=None):
        session = self.session()
        session.write_settings(LATER, text)
        watcher = subprocess.Popen([sys.executable, os.path.join(HERE, "sni_watcher.py")],
                                   env=session.env, stdout=subprocess.PIPE, text=True)
        self.addCleanup(watcher.stdout.close)
        self.addCleanup(watcher.wait)
        self.addCleanup(watcher.terminate)
        self.assertEqual(watcher.stdout.readline().strip(), "ready")
        session.start()
        line = watcher.stdout.readline().split()
        self.assertEqual(line[0], "registered", "the item registers with the watcher")
        bus = dbus.bus.BusConnection(session.env["DBUS_SESSION_BUS_ADDRESS"])
        self.addCleanup(bus.close)
        return session, bus, bus.get_object(line[1], line[2])

    def menu_items(self, bus, item):
        menu_path = item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
        menu = bus.get_object(item.bus_name, menu_path)
        _, (_, _, children) = menu.GetLayout(0, -1, ["label", "toggle-type", "toggle-state"],
                                             dbus_interface=MENU)
        return menu, {str(properties["label"]): (int(ident), dict(properties))
                      for ident, properties, _ in children if "label" in properties}

    def click(self, menu, ident):
        menu.Event(ident, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                   dbus_interface=MENU)

    def test_the_item_and_its_menu_on_the_session_bus(self):
        session, bus, item = self.start()
        properties = item.GetAll(ITEM, dbus_interface=dbus.PROPERTIES_IFACE)
        self.assertEqual(properties["Id"], "lumivane")
        self.assertEqual(properties["Title"], "Lumivane")
        self.assertEqual(properties["Status"], "Active")
        self.assertTrue(str(properties["IconName"]).endswith("lumivane.png") or
                        properties["IconName"] == "lumivane", properties["IconName"])
        menu, items = self.menu_items(bus, item)
        self.assertEqual(list(items), ["Settings", "Start at login",
                                       "Hide over full-screen programs", "Close"])
        self.assertEqual(items["Start at login"][1]["toggle-type"], "checkmark")
        self.assertEqual(int(items["Start at login"][1]["toggle-state"]), 0)
        self.assertEqual(int(items["Hide over full-screen programs"][1]["toggle-state"]), 1)

        autostart = os.path.join(session.config, "autostart", "lumivane.desktop")
        self.click(menu, items["Start at login"][0])
        self.assertTrue(wait_until(lambda: os.path.exists(autostart)), "the entry is written")
        with open(autostart) as f:
            self.assertIn('Exec="%s"\n' % os.path.realpath(PROGRAM), f.read())
        self.assertTrue(wait_until(lambda: int(
            self.menu_items(bus, item)[1]["Start at login"][1]["toggle-state"]) == 1))
        self.click(menu, items["Start at login"][0])
        self.assertTrue(wait_until(lambda: not os.path.exists(autostart)), "and removed again")

        # Off, the clock stays over a full-screen window; on again, it hides at once.
        self.click(menu, items["Hide over full-screen programs"][0])
        self.assertEqual(session.wait_settings("HideFullScreen", 0).get("HideFullScreen"), "0")
        window = session.full_screen_window()
        time.sleep(1)
        self.assertIsNotNone(session.window(CLOCK_TITLE), "it stays")
        self.click(menu, items["Hide over full-screen programs"][0])
        session.wait_window(CLOCK_TITLE, gone=True, timeout=2)
        self.assertEqual(session.wait_settings("HideFullScreen", 1)["HideFullScreen"], "1")
        window.terminate()

        self.assertIsNone(session.window(SETTINGS_TITLE))
        self.click(menu, items["Settings"][0])
        session.wait_window(SETTINGS_TITLE)

        self.click(menu, items["Close"][0])
        self.assertEqual(session.process.wait(timeout=10), 0)
        session.wait_window(CLOCK_TITLE, gone=True)


    def test_a_second_problem_waits_until_the_first_box_is_answered(self):
        session, bus, item = self.start("Size=nineteen\nLeft=400\nTop=200\nStart_1=2\n")
        boxes = lambda: [w for w in session.windows(CLOCK_TITLE) if w["width"] != DIAMETER]
        self.assertTrue(wait_until(lambda: len(boxes()) == 1, 10), "the damaged file's box")
        # A folder where the file was: the next write fails while the first box is open.
        os.remove(session.settings_path)
        os.mkdir(session.settings_path)
        menu, items = self.menu_items(bus, item)
        self.click(menu, items["Hide over full-screen programs"][0])
        time.sleep(1)
        self.assertEqual(len(boxes()), 1, "one box at a time")
        self.assertNotIn("Is a directory", session.log())
        session.xdotool("windowfocus", "--sync", boxes()[0]["id"], "key", "Return")
        self.assertTrue(wait_until(lambda: "Is a directory" in session.log(), 5),
                        "the second problem once the first was answered")
        self.assertEqual(len(boxes()), 1)


class XEmbedIcon(NativeTestCase):
    def test_without_a_watcher_the_icon_sits_in_an_xembed_tray(self):
        session = self.session()
        session.write_settings(LATER)
        trayer = subprocess.Popen(["trayer", "--edge", "bottom", "--align", "right",
                                   "--widthtype", "pixel", "--width", "100", "--height", "24"],
                                  env=session.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.addCleanup(trayer.wait)
        self.addCleanup(trayer.terminate)
        time.sleep(1)
        session.start()
        # The icon: a window of the program's name inside trayer's panel.
        icons = lambda: [w for w in session.windows(CLOCK_TITLE) if w["width"] <= 24
                         and w["left"] >= SCREEN_WIDTH - 100 and w["top"] >= SCREEN_HEIGHT - 24]
        self.assertTrue(wait_until(icons, 10), "no icon in trayer")
        icon = icons()[0]
        # A click on the icon opens the menu; its first item opens the settings.
        session.xdotool("mousemove", "--sync", icon["left"] + icon["width"] // 2,
                        icon["top"] + icon["height"] // 2, "click", 1)
        time.sleep(0.5)
        session.xdotool("key", "Down", "Return")
        session.wait_window(SETTINGS_TITLE)
