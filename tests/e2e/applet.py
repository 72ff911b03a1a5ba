"""What the applet's end-to-end tests share: where its controls are, how a person closes it,
and the request it sends. Coordinates are client coordinates of the form."""
import time

import harness as h

CAPTION = "Uninstall"
BUTTON = (328 + 76 // 2, 252 + 25 // 2)
GROUP = (16, 60)  # ChoiceGroup's place on the form
REASONS = ["Unstable", "Lacks some functions", "Resource hungry", "Unfriendly interface",
           "Too expensive", "Upgrade version", "Other"]
OK_REPLY = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n\r\nOK\r\n"
MAIL_PREFIX = b"mailto:feedback@example.com?subject=uninstall+"


def ReasonPoint(position):
    """The middle of the caption of reason radio box `position` (0 to 6)."""
    return (GROUP[0] + 8 + 30, GROUP[1] + 12 + 23 * position + 11)


def EditPoint():
    return (GROUP[0] + 78 + 100, GROUP[1] + 150 + 11)


def Request(query):
    """The exact bytes of the report GET for a query string."""
    return (b"GET /stat/uninstall.php?" + query + b" HTTP/1.1\r\n"
            b"User-Agent: ExitPoll-HTTP\r\nHost: 127.0.0.1\r\n\r\n")


def WindowTexts(form):
    """Caption, title, question, the seven reasons and the button, read from the live tree:
    the group box and the title strip are the children that have children of their own."""
    group = next(c for c in form["children"] if c["class"] == "tk_BUTTON" and c["children"])
    strip = next(c for c in form["children"] if c["class"] == "tk_STATIC" and c["children"])
    question = next(c for c in form["children"] if c["class"] == "tk_STATIC" and
                    not c["children"])
    button = next(c for c in form["children"] if c["class"] == "tk_BUTTON" and
                  not c["children"])
    return [form["text"], strip["children"][0]["text"], question["text"]] + \
        [r["text"] for r in group["children"][1:]] + [button["text"]]


def UseWindowsVersion(version):
    """Makes exitpoll.exe alone see this Wine version mode ('winxp', 'win98')."""
    h.SetWindowsVersion("exitpoll.exe", version)


def Start(tail=b"My_New_Tool", env=None, exe=None, wrapper=None):
    """Starts the applet (or another build of it, `exe`) with this raw parameter text and
    waits for its window; `wrapper` as for harness.Start."""
    commandLine = h.CommandLine(exe, tail) if exe else h.ExitpollCommandLine(tail)
    app = h.Start(commandLine, env=env, timeout=180, wrapper=wrapper)
    try:
        info = h.WaitForWindow(CAPTION, 120)
    except Exception:
        app.Close()
        raise
    return app, info


def Activate():
    """Clicks the caption, which gives the form the keyboard focus, and waits for that."""
    h.ClickCaption(CAPTION)

    def Active():
        info = Inspect()
        return info and info["active"] == info["window"]["hwnd"]
    h.WaitUntil(Active, 60, what="the form to be active")


def Inspect():
    return h.Inspect(CAPTION)


def ClickClient(point):
    h.ClickClient(CAPTION, point[0], point[1])


def CloseBoxPoint(info):
    """Screen point of the caption's close box: the right end of the caption bar."""
    left, top, width, _ = info["window"]["rect"]
    clientTop = info["window"]["client"][1]
    return (left + width - 16, (top + clientTop) // 2 + 1)


def Close(how, info=None, quick=False):
    """Closes the form the way a person does: 'button', 'closebox', 'altf4' or 'return'
    (Return with the focus in the free-text field). `quick` acts at once from `info` (as
    from Inspect) without looking at the window: 'altf4' then needs the form to have the
    keyboard focus already."""
    if quick and how == "button":
        left, top = info["window"]["client"][:2]
        h.Click(left + BUTTON[0], top + BUTTON[1])
    elif quick and how == "altf4":
        h.Key("alt+F4")
    elif how == "button":
        ClickClient(BUTTON)
    elif how == "closebox":
        info = info or Inspect()
        h.Click(*CloseBoxPoint(info))
    elif how == "altf4":
        Activate()
        h.Key("alt+F4")
    elif how == "return":
        ClickClient(EditPoint())  # the focus into the free-text field
        h.WaitUntil(lambda: h.FindChild(Inspect()["window"], className="tk_EDIT")["focused"],
                    60, what="the focus in the free-text field")
        h.Key("Return")
    else:
        raise ValueError(how)
    return time.monotonic()
