#!/usr/bin/env python3
"""Drives quillory-view in a virtual X display (Xvfb) and checks what its window shows.
Usage: viewer_test.py VIEWER CASE. Exits 0, 1 on a failure, 77 (skipped) when no X server starts."""
import base64, ctypes, os, select, shutil, signal, socket, socketserver, subprocess, sys
import tempfile, threading, time
import gi  # the accessibility bus's client, for widgets found by role and name
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

RED, GREEN, BLUE, WHITE = (208, 0, 0), (0, 160, 0), (0, 0, 208), (255, 255, 255)
MAGENTA, YELLOW = (200, 0, 200), (200, 200, 0)
DIR = tempfile.mkdtemp(prefix="quillory-view-test-")
VIEWER, env, processes = None, dict(os.environ), []
near = lambda target, within=40: lambda p: all(abs(a - b) <= within for a, b in zip(p, target))
NOTE = near((9, 105, 218), 30)  # the bar of a GitHub note alert
dark = lambda p: max(p) < 90  # heading text is #1f2328; anti-aliased edges stay below 90
path = lambda name: os.path.join(DIR, name)
top_of = lambda points: min(y for _, y in points)
FILLER = "".join(f"Paragraph {n} of filler text.\n\n" for n in range(60))  # pushes what follows out of view
centre = lambda points: tuple((low + high) // 2 for low, high in zip(bounds(points)[:2], bounds(points)[2:]))
PAGE_TOP, BACK_BUTTON = 52, (28, 27)  # where the header bar ends, and its back button
STATUS_LINE = lambda width, height: (0, height - 40, width // 2, height)
titled = lambda name: "^" + name.replace(".", "\\.") + "$"


class Failure(Exception): pass


def check(condition, message):
    if not condition: raise Failure(message)


def wait_for(what, probe, timeout=15.0):
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        check(time.monotonic() < deadline, f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(0.15)
    return value


def bounds(points):
    return min(x for x, _ in points), top_of(points), max(x for x, _ in points), max(y for _, y in points)


def block(colour, width=600, height=160):  # a data: address of a picture in one colour
    svg = f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}"><rect width="{width}" height="{height}" fill="rgb{colour}"/></svg>'
    return "data:image/svg+xml;base64," + base64.b64encode(svg.encode()).decode()


def write(name, text, atomically=False):  # atomically: a new file renamed over the old, as editors do
    with open(path(name) + ".saving" * atomically, "w", encoding="utf-8") as out: out.write(text)
    atomically and os.replace(path(name) + ".saving", path(name))
    return path(name)


def run(*arguments, timeout=10):
    return subprocess.run(arguments, env=env, capture_output=True, text=True, timeout=timeout)


def start(*arguments, **options):  # PR_SET_PDEATHSIG: the kernel ends it when this script ends
    processes.append(subprocess.Popen(arguments, env=env, preexec_fn=lambda: ctypes.CDLL(
        None).prctl(1, signal.SIGKILL), **options))
    return processes[-1]


def start_display():
    read_end, write_end = os.pipe()
    if shutil.which("Xvfb"):
        start("Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
              "tcp", "-noreset", pass_fds=[write_end], stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = os.read(read_end, 16).strip() if select.select([read_end], [], [], 10)[0] else b""
    if not number.isdigit():
        sys.exit(print("SKIPPED: Xvfb is missing or could not start an X server") or 77)
    env.update(DISPLAY=":" + number.decode(), GDK_BACKEND="x11", NO_AT_BRIDGE="1", HOME=DIR,
               XDG_CONFIG_HOME=path("config"), XDG_DATA_HOME=path("data"), XDG_CACHE_HOME=path("cache"),
               QUILLORY_VIEW_TEST_IDLE_MS="2000")
    # A session bus of the test's own: the instance ends with it, if not before.
    bus = start("dbus-daemon", "--session", "--nofork", "--print-address=1", stdout=subprocess.PIPE, text=True)
    env["DBUS_SESSION_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
    missing = [tool for tool in ("xdotool", "import", "xclip") if not shutil.which(tool)]
    check(not missing, f"{missing} missing: run scripts/bootstrap")


def accessible(root, role, name):  # the first widget below root with that role, whose name starts so
    below = [root] if root else []
    while below:
        if (node := below.pop()).get_role_name() == role and (node.get_name() or "").startswith(name):
            return node
        below.extend(node.get_child_at_index(i) for i in range(node.get_child_count()))


def geometry(window):  # X, Y, WIDTH, HEIGHT
    values = dict(l.split("=", 1) for l in run("xdotool", "getwindowgeometry", "--shell", window).stdout.split())
    return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))


def shot_points(window, match, box=None):
    """The sampled (x, y) of the window's screenshot inside box (left, top, right, bottom) that match."""
    shot = subprocess.run(["import", "-window", window, "-depth", "8", "ppm:-"], env=env,
                          capture_output=True, timeout=10)
    check(shot.returncode == 0, "the screenshot failed: " + shot.stderr.decode())
    _, width, height, _, pixels = shot.stdout.split(maxsplit=4)
    width, height = int(width), int(height)
    left, top, right, bottom = box(width, height) if callable(box) else box or (0, 0, width, height)
    return [(x, y) for y in range(top, min(bottom, height), 2) for x in range(left, min(right, width), 2)
            if match(pixels[3 * (y * width + x):3 * (y * width + x) + 3])]


def instance_running():
    return "true" in run("dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                         "org.freedesktop.DBus.NameHasOwner", "string:org.quillory.Viewer").stdout


class Window:
    """quillory-view FILE: it returns once its window shows something, with `status`."""
    def __init__(self, file, status=0, reason=None, options=(), shown=None):
        if file is not None:
            launched = subprocess.run([VIEWER, *options, file], env=env, cwd=DIR, capture_output=True, text=True, timeout=30)
            line = f"quillory-view: {file}: {reason}\n" if reason else ""
            check((launched.returncode, launched.stderr) == (status, line),
                  f"quillory-view {file} returned {launched.returncode}: {launched.stderr!r}")
        self.title = titled(shown or os.path.basename(file))
        self.id = wait_for("the viewer's window", lambda: self.ids())[-1]

    def ids(self, title=None):
        return run("xdotool", "search", "--onlyvisible", "--name", title or self.title).stdout.split()

    def titled(self, name):  # waits until the window is titled `name`
        wait_for(f"the window's title to become {name}", lambda: self.id in self.ids(titled(name)))

    def pid(self):
        return run("xdotool", "getwindowpid", self.id).stdout.strip()

    def shows(self, what, match, minimum=400, region=None, background=None, settled=False):
        """Waits until `minimum` sampled pixels (of region) match, with most of the region
        `background` if given, and, when `settled`, where they stood in the shot before."""
        previous = []

        def probe():
            found = shot_points(self.id, match, region)
            if len(found) < minimum or background and len(shot_points(self.id, background, region)) < len(
                    shot_points(self.id, lambda p: True, region)) / 2:
                return None
            previous.append(bounds(found))
            return found if not settled or previous[-2:-1] == previous[-1:] else None
        return wait_for(what, probe)

    def heading(self, left=0):  # the heading's dark text in the page's white top band, below the header bar
        return bounds(self.shows("the heading", dark, 40, (left, PAGE_TOP, left + 900, PAGE_TOP + 140), near(WHITE, 8)))

    def message(self):  # dark text on the window's light background
        return self.shows("the message in the window", dark, 40, lambda w, h: (0, PAGE_TOP, w, h), lambda p: min(p) > 200)

    def keys(self, *keys):
        check(run("xdotool", "windowfocus", "--sync", self.id, "key", *keys).returncode == 0, f"xdotool: {keys}")

    def point_at(self, x, y, *then):
        run("xdotool", "mousemove", "--sync", *(str(at + by) for at, by in zip(geometry(self.id), (x, y))), *then)

    def close(self, key):
        self.keys(key)
        wait_for(f"{key} to close the window", lambda: self.id not in self.ids())


def render_and_keys():
    window = Window(write("sample.md", f"# Rendered heading\n\nMentions findable words.\n\n![b]({block(RED)})\n\n"
                                       "> [!NOTE]\n> A note.\n"))
    check(geometry(window.id)[2:] == (900, 700), f"the window is not 900x700: {geometry(window.id)}")
    heading = window.heading()
    check(heading[3] < top_of(window.shows("the red block", near(RED))), "the heading is not above the image")
    # Without a saved setting the GitHub extras are on; Ctrl+G turns them off, for this window
    # and later ones, and remembers it.
    window.shows("the note's blue bar, the extras on", NOTE, 20)
    window.keys("ctrl+g")
    wait_for("the note to be a plain quote after Ctrl+G", lambda: len(shot_points(window.id, NOTE)) < 10)
    with open(path("config/quillory/viewer.conf")) as settings:
        check("github-extras=false" in settings.read(), "Ctrl+G was not remembered")
    window.keys("ctrl+plus", "ctrl+plus")
    wait_for("the heading to grow after Ctrl+plus", lambda: window.heading()[2] > heading[2] + 20)
    # Space goes into the find bar; Escape closes the bar and leaves the match selected.
    window.keys("ctrl+f", *"findable", "space")
    window.shows("the match marked by Ctrl+F", near((230, 230, 230), 3), 20, (0, 60, 900, 300))
    window.keys("Escape")
    window.shows("the match selected by Ctrl+F", near((194, 218, 247), 25), 8)
    check(window.id in window.ids(), "Space or Escape in the find bar closed the window")
    # Pressed again until it copies: the page takes the keys back from the bar a moment later.
    copied = wait_for("the copy", lambda: window.keys("ctrl+c") or run("xclip", "-o", "-selection", "clipboard").stdout)
    check(copied.strip() == "findable", f"Ctrl+C copied {copied!r}, not the match")
    # Ctrl+P: the toolkit's print dialog, whose "Print to File" writes a PDF (into the directory
    # the instance started in); its widgets are found through the accessibility bus.
    window.keys("ctrl+p")
    dialog = wait_for("the print dialog", lambda: accessible(accessible(Atspi.get_desktop(0), "application",
                                                                        "quillory-view"), "dialog", "Print"))
    printer = wait_for("Print to File", lambda: accessible(dialog, "label", "Print to File")).get_parent().get_parent()
    check(printer.get_parent().select_child(printer.get_index_in_parent()), "Print to File cannot be chosen")
    accessible(dialog, "push button", "_Print").do_action(0)
    wait_for("the printed PDF", lambda: os.path.exists(path("output.pdf")) and
             open(path("output.pdf"), "rb").read(5) == b"%PDF-", timeout=30)
    window.close("space")


def live_reload():  # changes show at the scroll position the reader left, however the file is written
    page = lambda colour: f"# Top of the page\n\n> [!NOTE]\n> A note.\n\n{FILLER}![b]({block(colour)})\n\n{FILLER[:300]}"
    # The GitHub extras as a user left them on.
    os.makedirs(path("config/quillory")), write("config/quillory/viewer.conf", "[pages]\ngithub-extras=true\n")
    window = Window(write("notes.md", page(RED)))
    window.heading(), window.shows("the note's blue bar, the extras remembered", NOTE, 20), window.keys("End")
    red = window.shows("the red block after scrolling down", near(RED), settled=True)
    write("notes.md", page(GREEN), atomically=True)
    green = window.shows("the green block after an editor's save", near(GREEN), settled=True)
    check(abs(top_of(green) - top_of(red)) < 40, "the page did not keep its scroll position")
    write("notes.md", page(BLUE))
    window.shows("the blue block after an in-place write", near(BLUE))
    window.close("ctrl+w")


def inert_document():
    """Nothing the page names is connected to, none of its styles apply (each would paint
    red), and a clicked link goes to the default browser, a script standing in for it."""
    reached = []
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), lambda link, *_: reached.append(
        link.recv(200).split(b"\r\n")[0] or "a connection that sent nothing"))
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    remote = f"http://127.0.0.1:{server.server_address[1]}"
    os.makedirs(path("data/applications")), os.makedirs(path("config"))
    os.chmod(write("browser", f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{path("opened")}"\n'), 0o755)
    write("data/applications/browser.desktop", "[Desktop Entry]\nType=Application\nName=Browser\n"
          f"Exec={path('browser')} %u\nMimeType=x-scheme-handler/http;\n")
    write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=browser.desktop\n")
    # The window is made ahead, sharing the web process and rules of the window open before it.
    Window(write("first.md", "# First\n")).heading(), time.sleep(1.5)
    window = Window(write("remote.md", f"""# Remote content\n\n[a link](https://example.invalid/) ![image]({remote}/markdown.png)\n
<img src="{remote}/html.png"><link rel="stylesheet" href="{remote}/style.css">
<link rel="preconnect" href="{remote}/"><link rel="prefetch" href="{remote}/prefetch">
<iframe src="{remote}/frame"></iframe><video src="{remote}/video.mp4" autoplay></video>
<meta http-equiv="refresh" content="1; url={remote}/refresh">\n
<a href="{remote}/clicked" ping="{remote}/ping"><img src="{block(BLUE)}"></a>\n
<style>body, .md {{ background: #d00000 !important }}</style>\n
<div style="background: #d00000; height: 100px">x</div>\n"""))
    try:
        left, top, right, bottom = bounds(window.shows("the linked blue block", near(BLUE)))
        window.shows("the link in the page's own link colour", near((9, 105, 218), 30), 10)
        check(not shot_points(window.id, near(RED)), "the document's styles painted the page red")
        # The hovered link's address shows at the bottom of the window, and goes when the pointer leaves.
        status = STATUS_LINE
        check(not shot_points(window.id, dark, status), "the status area is not blank before a hover")
        window.point_at((left + right) // 2, (top + bottom) // 2)
        window.shows("the hovered link's address", dark, 20, status)
        window.point_at(4, 4)
        wait_for("the address to go", lambda: not shot_points(window.id, dark, status))
        time.sleep(1.0)  # past the refresh's one second
        window.point_at((left + right) // 2, (top + bottom) // 2, "click", "1")
        wait_for("the clicked link to reach the default browser", lambda: os.path.exists(
            path("opened")) and f"{remote}/clicked" in open(path("opened")).read())
        time.sleep(0.5)
        window.shows("the page, still in the window after the click", near(BLUE))
        check(not reached, f"the loopback server was reached: {reached}")
        window.close("Escape")
        socket.create_connection(server.server_address).close()  # the zero above means something
        wait_for("the loopback server to see a direct connection", lambda: reached)
    finally:
        server.shutdown()


def outline():
    """F9 shows the headings beside the page, and remembers it; a click on one scrolls the page
    to it, and a later save keeps the place the reader scrolled to from there."""
    page = lambda colour: f"# Top of the page\n\n{FILLER}## Far below\n\n![b]({block(GREEN)})\n\n{FILLER}![b]({block(colour)})\n"
    window = Window(write("outline.md", page(RED)))
    left = window.heading()[0]
    window.keys("F9")
    wait_for("the page to move right of the outline", lambda: window.heading(200)[0] > left + 200)
    check("outline=true" in open(path("config/quillory/viewer.conf")).read(), "F9 was not remembered")
    ys = sorted({y for _, y in window.shows("the entries", dark, 20, (0, PAGE_TOP, 200, 400))})
    entries = [b + 6 for a, b in zip([0] + ys, ys) if b - a > 6]  # a line of text each
    check(len(entries) == 2, f"the outline lists {len(entries)} entries, not 2")
    window.point_at(60, entries[1], "click", "1")
    check(top_of(window.shows("the green block below the heading clicked", near(GREEN))) < PAGE_TOP + 200,
          "the click did not scroll the page to its heading")
    window.keys("End")
    red = window.shows("the red block at the end", near(RED), settled=True)
    write("outline.md", page(BLUE), atomically=True)
    check(abs(top_of(window.shows("the change", near(BLUE), settled=True)) - top_of(red)) < 40,
          "the page went back to the heading clicked on a save")
    window.point_at(60, entries[0], "click", "1")
    window.heading(200)
    window.close("Escape")


def linked_documents():
    """Links to other documents are followed in the window, which keeps its own history; a
    directory shows its README; any other file is never run, only handed to the file manager
    (on the session bus, watched here); a missing one leaves the page as it is."""
    calls = []
    monitor = start("dbus-monitor", "--session", "interface='org.freedesktop.FileManager1'", stdout=subprocess.PIPE, text=True)
    threading.Thread(target=lambda: calls.extend(monitor.stdout), daemon=True).start()
    links = " ".join(f"[![link]({block(colour, 100, 60)})]({target})" for colour, target in (
        (RED, f"file://{path('sub')}"), (GREEN, "docs/guide.md#far-heading"), (MAGENTA, "missing.md"), (YELLOW, "run%2Esh")))
    os.makedirs(path("docs")), os.makedirs(path("sub"))
    write("docs/guide.md", f"# Guide\n\n{FILLER}## Far heading\n\n![b]({block(BLUE)})\n\n{FILLER}")
    write("sub/README.md", f"# Sub\n\n![b]({block(BLUE)})\n")
    os.chmod(write("run.sh", f"#!/bin/sh\ntouch {path('ran')}\n"), 0o755)
    readme = Window(path("sub"), shown="README.md")
    readme.shows("a directory's README", near(BLUE)), readme.close("Escape")
    window = Window(write("start.md", f"# Start\n\n{FILLER}{links}\n"))
    window.heading(), window.keys("End")
    at = {colour: centre(window.shows(f"the link {colour}", near(colour), 20, settled=True))
          for colour in (RED, GREEN, MAGENTA, YELLOW)}
    left_at = lambda: top_of(window.shows("the start page at its scroll position", near(GREEN), 20, settled=True))
    scrolled = left_at()
    # A link with a fragment shows its heading, with the picture below it; back, forward and
    # back again (by the header bar's button) return to the same place.
    window.point_at(*at[GREEN], "click", "1")
    for forward, back in ((None, "alt+Left"), ("alt+Right", "alt+Left"), ("alt+Right", "back button")):
        forward and window.keys(forward)
        window.titled("guide.md"), window.heading(), window.shows("the picture below the far heading", near(BLUE))
        window.keys(back) if back != "back button" else window.point_at(*BACK_BUTTON, "click", "1")
        window.titled("start.md")
        check(abs(left_at() - scrolled) < 40, f"{back} did not return to the earlier scroll position")
    # Ctrl+click opens a second window.
    window.point_at(*at[GREEN], "keydown", "ctrl", "click", "1", "keyup", "ctrl")
    Window(None, shown="guide.md").close("Escape")
    # A file: URL of a directory shows its README (a file: link is followed from its hover).
    window.point_at(300, 200), wait_for("no address", lambda: not shot_points(window.id, dark, STATUS_LINE))
    window.point_at(*at[RED]), window.shows("the hovered file: link's address", dark, 20, STATUS_LINE)
    run("xdotool", "click", "1")
    window.titled("README.md"), window.keys("alt+Left"), window.titled("start.md")
    # A missing file and a script: the page stays, the status line says why (also once the
    # pointer left the link), and the script is shown in the file manager, not run.
    for colour in (MAGENTA, YELLOW):
        left_at()  # the start page in place again, before the click
        window.point_at(*at[colour], "click", "1")
        window.point_at(300, 200)
        window.shows("the status line's message", dark, 20, STATUS_LINE)
        stayed = left_at()
        check(window.id in window.ids() and abs(stayed - scrolled) < 40, f"the page moved: {stayed}, not {scrolled}")
    wait_for("the script shown in the file manager", lambda: f'string "file://{path("run.sh")}"' in "".join(calls))
    check("member=ShowItems" in "".join(calls) and not os.path.exists(path("ran")), "the script ran")
    window.close("ctrl+w")


def unreadable_file():  # a message in the window and on stderr, and status 1
    # A configuration "directory" that is a file: the instance refuses at once.
    failed = subprocess.run([VIEWER, write("any.md", "# Any\n")], env={**env, "XDG_CONFIG_HOME": path("any.md")},
                            capture_output=True, text=True, timeout=10)
    check(failed.returncode == 1 and "Not a directory" in failed.stderr, f"a file as XDG_CONFIG_HOME: {failed}")
    # A FIFO as the settings file is not read (nor waited on): no settings.
    os.makedirs(path("config/quillory")), os.mkfifo(path("config/quillory/viewer.conf"))
    for name, make, reason, key in (("folder.md", os.mkdir, "Is a directory with no README.md, "
                                     "readme.md, README.markdown or index.md", "ctrl+w"),
                                    ("pipe.md", os.mkfifo, "Not a regular file", "space"),
                                    ("later.md", str, "No such file or directory", None)):
        make(path(name))
        window = Window(path(name), 1, reason)
        window.message()
        if key:
            window.close(key)
    # The file that appears replaces the message with its page; replaced by a FIFO, it is not read.
    write("later.md", f"# Arrived\n\n![block]({block(RED)})\n")
    window.shows("the page of the file that appeared", near(RED))
    os.remove(path("later.md")), os.mkfifo(path("later.md")), window.message()
    window.close("Escape")


def resident_instance():
    """Later windows open in the running instance, each with its own file and keys; the
    instance ends once it has had no window for its idle time."""
    # Its picture is a file beside it, which the confined conversion helper still reads.
    write("red.svg", base64.b64decode(block(RED).split(",")[1]).decode())
    first = Window(write("first.md", "# First\n\n![b](red.svg)\n"))
    first.shows("the first file's page", near(RED))
    second = Window(write("second.md", f"# Second\n\n![b]({block(BLUE)})\n"))
    check(first.pid() == second.pid(), "the second window is not in the first one's instance")
    # A file named like the toolkit's option reaches the window as a file.
    write("--gapplication-service", "# Option\n")
    Window("--gapplication-service", options=["--"]).close("Escape")
    write("first.md", f"# First\n\n![b]({block(GREEN)})\n", atomically=True)
    first.shows("the first window's change", near(GREEN))
    check(not shot_points(second.id, near(GREEN)), "the second window shows the first one's file")
    first.close("Escape")
    second.shows("the second window, still open", near(BLUE))
    # Conversions run in helper processes of the instance; one that dies is replaced.
    # The one started ahead for the next directory confines itself at its first request;
    # none maps the toolkit or the web engine.
    helpers = run("pgrep", "-P", second.pid(), "-f", "quillory-view-helper").stdout.split()
    status = [open(f"/proc/{pid}/status").read() for pid in helpers]
    check(any("NoNewPrivs:\t1" in s and "Seccomp:\t2" in s for s in status), "no helper is confined")
    check(not any(lib in open(f"/proc/{pid}/maps").read() for pid in helpers for lib in ("libgtk", "libwebkit")),
          "a conversion helper maps GTK or WebKit")
    check(run("pkill", "-KILL", "-P", second.pid(), "-f", "quillory-view-helper").returncode == 0,
          "the instance has no conversion helper")
    write("second.md", f"# Second\n\n![b]({block(RED)})\n", atomically=True)
    second.shows("the change, converted by a new helper", near(RED))
    check(instance_running(), "the instance is not on the session bus")
    second.close("ctrl+w")
    time.sleep(1)
    check(instance_running(), "the instance ended before its idle time")
    wait_for("the idle instance to end", lambda: not instance_running())


def command_line():  # usage needs no display; cmake --install puts everything under the prefix
    for arguments, status, output in (
            (["--help"], 0, "Usage: quillory-view FILE"), (["--version"], 0, "quillory-view "),
            ([], 2, "Try 'quillory-view --help'"), (["a.md", "b.md"], 2, "Try 'quillory-view"),
            (["--frobnicate", "a.md"], 2, "unknown option '--frobnicate'"), (["-x.md"], 2, "unknown option '-x'")):
        result = run(VIEWER, *arguments)
        check(result.returncode == status and output in result.stdout + result.stderr,
              f"quillory-view {arguments} gave {result.returncode}: {result.stdout}{result.stderr}")
    for option in ("--help", "--version"):  # output that cannot be written fails, as in coreutils
        with open("/dev/full", "w") as full:
            result = subprocess.run([VIEWER, option], stdout=full, stderr=subprocess.PIPE, text=True, timeout=10)
        check(result.returncode == 1 and "write error" in result.stderr, f"{option} >/dev/full: {result}")
    result = run(os.environ.get("CMAKE_COMMAND", "cmake"), "--install", os.path.dirname(VIEWER),
                 "--prefix", path("prefix"), timeout=60)
    check(result.returncode == 0, "cmake --install failed: " + result.stderr)
    check(all(os.path.isfile(path(f"prefix/share/quillory/resources/{name}")) for name in ("katex.min.js",
          "preview.css")), "the resources are not installed")
    lines = open(path("prefix/share/applications/org.quillory.Viewer.desktop")).read().splitlines()
    check("MimeType=text/markdown;text/x-markdown;" in lines and "Exec=quillory-view %f" in lines,
          "the desktop entry does not open Markdown files with quillory-view")
    service = open(path("prefix/share/dbus-1/services/org.quillory.Viewer.service")).read()
    check(f"Exec={path('prefix/bin/quillory-view')} --gapplication-service" in service.splitlines(),
          "the D-Bus service does not start the installed quillory-view: " + service)
    check("<h1>Installed</h1>" in run(path("prefix/bin/quillory"), write("a.md", "# Installed\n")).stdout,
          "the installed quillory does not find its resources")
    check(run(path("prefix/bin/quillory-view"), "--version").returncode == 0, "the installed viewer does not run")


if __name__ == "__main__":
    CASES = (render_and_keys, live_reload, outline, inert_document, linked_documents, unreadable_file,
             resident_instance, command_line)
    VIEWER, case = os.path.abspath(sys.argv[1]), {f.__name__: f for f in CASES}[sys.argv[2]]
    try:
        if case is not command_line:
            start_display()
        case()
        print(f"passed: {case.__name__}")
    except Failure as failure:
        shown = run("xdotool", "search", "--onlyvisible", "--name", ".", "getwindowname", "%@").stdout.split("\n")
        sys.exit(print(f"FAILED: {case.__name__}: {failure} (windows shown: {shown[:-1]})") or 1)
    finally:
        for process in processes:
            process.kill(), process.wait()
        shutil.rmtree(DIR, ignore_errors=True)
