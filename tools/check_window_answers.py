#!/usr/bin/env python3
"""Checks from outside that the window answers a screen reader while it loads a big picture.

Starts openbox and k3v-stereo PICTURE with accessibility on, then asks the accessibility tree
(AT-SPI, as Orca does) every 100 ms for the window and its progress bar, timing each answer,
until the load ends. Then it loads the picture again and presses Esc once the bar shows, and
checks that the bar goes. Prints the slowest answer and fails
(exit 1) when an answer took 1 s or more, no progress bar showed, or Esc did not cancel.

Run it under a virtual X server and a session bus of its own:

    xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- \\
        python3 tools/check_window_answers.py build/app/k3v-stereo BIG.jpg

Needs python3-pyatspi, at-spi2-core, openbox, xdotool and x11-utils (apt-get install).
"""

import os
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi


def find_app(name, timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    return None


def walk(node, depth=0):
    yield node
    if depth > 12:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def progress_text(app):
    """The progress bar's text ("Reading 41%"), or None when no bar shows."""
    for node in walk(app):
        if node.getRole() == pyatspi.ROLE_PROGRESS_BAR and node.getState().contains(
                pyatspi.STATE_SHOWING):
            value = node.queryValue().currentValue
            return f"{node.name or 'bar'} {value:.0f}%"
    return None


def watch_load(app, seconds):
    """Asks the tree every 100 ms; returns the slowest answer and the bar texts seen."""
    slowest = 0.0
    seen = []
    idle_since = None
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        asked = time.monotonic()
        text = progress_text(app)
        slowest = max(slowest, time.monotonic() - asked)
        if text:
            seen.append((round(asked - start, 1), text))
            idle_since = None
        elif seen:
            idle_since = idle_since or asked
            if asked - idle_since > 1.5:
                break
        time.sleep(0.1)
    return slowest, seen


def main():
    global start
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, picture = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    home = tempfile.mkdtemp(prefix="k3v-a11y-")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_ACCESSIBILITY="1")
    # The accessibility bus first: Qt looks for it (on the X root window) as it starts.
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env,
                           stderr=subprocess.DEVNULL, start_new_session=True)
    wm = subprocess.Popen(["openbox"], env=env, stderr=subprocess.DEVNULL)
    end = time.monotonic() + 20
    while time.monotonic() < end and b"AT_SPI_BUS(" not in subprocess.run(
            ["xprop", "-root", "AT_SPI_BUS"], capture_output=True).stdout:
        time.sleep(0.2)
    time.sleep(1.0)
    window = subprocess.Popen([program, picture], env=env, stderr=subprocess.DEVNULL)
    failures = []
    try:
        app = find_app(os.path.basename(program))
        if app is None:
            print("no k3v-stereo in the accessibility tree")
            return 1
        # The splash screen's "Start" has the focus; the load begins once the window shows.
        time.sleep(1.0)
        subprocess.run(["xdotool", "key", "Return"], env=env, check=False)
        start = time.monotonic()
        slowest, seen = watch_load(app, 60)
        print(f"first load: slowest answer {slowest * 1000:.0f} ms; bar: {seen[:1] + seen[-1:]}")
        if slowest >= 1.0:
            failures.append(f"an answer took {slowest:.2f} s")
        if not seen:
            failures.append("no progress bar showed")

        # Loaded again through the File menu's first recent entry, then Esc as soon as the bar
        # shows: the bar goes and the path field still names the picture.
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "K3V",
                        "windowactivate", "--sync"], env=env, check=False)
        subprocess.run(["xdotool", "key", "alt+f", "r", "1"], env=env, check=False)
        end = time.monotonic() + 10
        while time.monotonic() < end and not progress_text(app):
            time.sleep(0.05)
        shown = progress_text(app)
        subprocess.run(["xdotool", "key", "Escape"], env=env, check=False)
        asked = time.monotonic()
        while time.monotonic() - asked < 3 and progress_text(app):
            time.sleep(0.05)
        gone = progress_text(app) is None
        print(f"second load: bar {shown!r}, gone {time.monotonic() - asked:.2f} s after Esc: "
              f"{gone}")
        if not shown or not gone:
            failures.append("Esc did not cancel the second load")
    finally:
        window.kill()
        wm.kill()
        os.killpg(bus.pid, signal.SIGTERM)  # the launcher and the bus it started
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
