"""Starts a program, waits for its top-level window with the given title,
closes it with WM_DELETE_WINDOW (ICCCM 4.2.8.1, what a window manager's
close button sends) and checks that the program then ends with status 0."""
import subprocess
import sys
import time

from Xlib import X, display, protocol

program, title = sys.argv[1], sys.argv[2]
screen = display.Display()
utf8 = screen.intern_atom("UTF8_STRING")
net_wm_name = screen.intern_atom("_NET_WM_NAME")


def titled_window():
    for window in screen.screen().root.query_tree().children:
        try:
            name = window.get_full_property(net_wm_name, utf8)
            mapped = window.get_attributes().map_state == X.IsViewable
        except Exception:  # a window gone meanwhile
            continue
        if mapped and name is not None and name.value.decode("utf-8", "replace") == title:
            return window
    return None


started = time.monotonic()
child = subprocess.Popen([program])
window = None
while window is None and time.monotonic() - started < 60 and child.poll() is None:
    window = titled_window()
    if window is None:
        time.sleep(0.25)
if window is None:
    child.kill()
    sys.exit(f"no window titled {title!r} within {time.monotonic() - started:.0f} s "
             f"(the program's status: {child.wait()})")
geometry = window.get_geometry()
print(f"window {title!r} shown after {time.monotonic() - started:.1f} s, "
      f"{geometry.width}x{geometry.height}")

protocols = screen.intern_atom("WM_PROTOCOLS")
delete = screen.intern_atom("WM_DELETE_WINDOW")
window.send_event(protocol.event.ClientMessage(
    window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0])))
screen.flush()
try:
    status = child.wait(timeout=30)
except subprocess.TimeoutExpired:
    child.kill()
    sys.exit("the program was still running 30 s after its window was closed")
if status != 0:
    sys.exit(f"the program ended with status {status} after its window was closed")
print("closed: the program ended with status 0")
