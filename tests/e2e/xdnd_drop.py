#!/usr/bin/python3
"""Drops files on the X display as a file manager does (XDND, version 5).

Usage: xdnd_drop.py X Y FILE...

X and Y are a point in Windows screen coordinates of the program under Wine.
Where Wine draws a virtual desktop, that point lies inside the desktop's X
window, so the desktop's origin on the X screen is added. The drop is aimed
at the deepest X window under the point, the program's own: aimed at Wine's
desktop window, another process would take it and find no files.

The script owns the XdndSelection, sends XdndEnter and XdndPosition, waits for
the target's XdndStatus, sends XdndDrop and answers every selection request
with the files as a text/uri-list until the target sends XdndFinished.
Exit status: 0 when the target took the drop, 1 when it refused it, 2 when it
did not answer in time.
"""
import sys
import time
import urllib.parse

from Xlib import X, Xatom, display, protocol

TIMEOUT = 10.0


def window_origin(win, root):
    translated = win.translate_coords(root, 0, 0)
    return -translated.x, -translated.y


def find_desktop(disp, root):
    """Wine's virtual desktop window, if the screen shows one."""
    stack = [root]
    while stack:
        win = stack.pop()
        try:
            name = win.get_wm_name()
            children = win.query_tree().children
        except Exception:  # a window that went away meanwhile
            continue
        if name and "Wine desktop" in str(name):
            return win
        stack.extend(children)
    return None


def deepest_window(root, x, y):
    """The deepest mapped window holding the root point."""
    win = root
    while True:
        result = win.translate_coords(root, x, y)
        if not result.child or result.child == X.NONE:
            return win
        win = result.child


def uri_list(paths):
    lines = []
    for path in paths:
        quoted = urllib.parse.quote(path.encode("utf-8", "surrogateescape"), safe="/")
        lines.append("file://" + quoted)
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    x, y = int(sys.argv[1]), int(sys.argv[2])
    paths = sys.argv[3:]

    disp = display.Display()
    root = disp.screen().root
    atom = lambda name: disp.intern_atom(name)
    xdnd_aware = atom("XdndAware")
    xdnd_selection = atom("XdndSelection")
    xdnd_enter = atom("XdndEnter")
    xdnd_position = atom("XdndPosition")
    xdnd_status = atom("XdndStatus")
    xdnd_drop = atom("XdndDrop")
    xdnd_finished = atom("XdndFinished")
    xdnd_leave = atom("XdndLeave")
    action_copy = atom("XdndActionCopy")
    uri_type = atom("text/uri-list")
    data = uri_list(paths)

    desktop = find_desktop(disp, root)
    if desktop is not None:
        dx, dy = window_origin(desktop, root)
        x, y = x + dx, y + dy

    target = deepest_window(root, x, y)
    # The version the target speaks: on the target or the nearest ancestor
    # that states one.
    aware = target
    version = None
    while aware is not None:
        prop = aware.get_full_property(xdnd_aware, Xatom.ATOM)
        if prop is not None and len(prop.value):
            version = min(5, int(prop.value[0]))
            break
        parent = aware.query_tree().parent
        aware = parent if parent and parent.id != root.id and parent.id != X.NONE else None
    if version is None:
        print("xdnd_drop: no XdndAware window at %d,%d (window 0x%x)" % (x, y, target.id), file=sys.stderr)
        return 1

    source = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, X.InputOutput, X.CopyFromParent)
    source.set_selection_owner(xdnd_selection, X.CurrentTime)
    disp.flush()

    def send(kind, values):
        values = list(values) + [0] * (5 - len(values))
        event = protocol.event.ClientMessage(window=target, client_type=kind, data=(32, values))
        target.send_event(event, event_mask=0, propagate=False)
        disp.flush()

    def answer(request):
        """Answers a selection request with the uri list, or refuses it."""
        prop = request.property if request.property != X.NONE else request.target
        ok = request.selection == xdnd_selection and request.target == uri_type
        if ok:
            request.requestor.change_property(prop, uri_type, 8, data)
        notify = protocol.event.SelectionNotify(
            time=request.time, requestor=request.requestor, selection=request.selection,
            target=request.target, property=prop if ok else X.NONE)
        request.requestor.send_event(notify)
        disp.flush()

    def wait_for(kind):
        """Serves selection requests until a client message of the kind."""
        end = time.monotonic() + TIMEOUT
        while time.monotonic() < end:
            while disp.pending_events():
                event = disp.next_event()
                if event.type == X.SelectionRequest:
                    answer(event)
                elif event.type == X.ClientMessage and event.client_type == kind:
                    return event
            time.sleep(0.01)
        return None

    stamp = X.CurrentTime
    send(xdnd_enter, [source.id, version << 24, uri_type])
    send(xdnd_position, [source.id, 0, (x << 16) | (y & 0xFFFF), stamp, action_copy])
    status = wait_for(xdnd_status)
    if status is None:
        print("xdnd_drop: no XdndStatus from 0x%x" % target.id, file=sys.stderr)
        send(xdnd_leave, [source.id])
        return 2
    if not status.data[1][1] & 1:
        print("xdnd_drop: the target 0x%x refuses the drop" % target.id, file=sys.stderr)
        send(xdnd_leave, [source.id])
        return 1
    send(xdnd_drop, [source.id, 0, stamp])
    finished = wait_for(xdnd_finished)
    if finished is None:
        print("xdnd_drop: no XdndFinished from 0x%x" % target.id, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
