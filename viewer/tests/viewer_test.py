#!/usr/bin/env python3
"""Drives quillory-view in a virtual X display (Xvfb) and checks what its window shows.

Usage: viewer_test.py VIEWER CASE, where CASE is one of the functions named in CASES.
Exits 0 on success, 1 on a failure, and 77 (reported as skipped) only when no X
server can be started.
"""
import base64
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
SCREEN = (1024, 768)
HEADING_DARK = 90  # heading text is #1f2328; anti-aliased edges stay below this


def die_with_parent():
    """Run in each child: the kernel ends it when this script ends, even when killed."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout=15.0, interval=0.15):
    """Polls probe() until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def block_image(colour, width=600, height=160):
    svg = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}">'
           f'<rect width="{width}" height="{height}" fill="{colour}"/></svg>')
    return "data:image/svg+xml;base64," + base64.b64encode(svg.encode()).decode()


class Screenshot:
    def __init__(self, ppm):
        magic, width, height, maxval, rest = ppm.split(maxsplit=4)
        check(magic == b"P6" and maxval == b"255", "unexpected screenshot format")
        self.width, self.height, self.pixels = int(width), int(height), rest

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def points(self, match, box=None, step=2):
        """The sampled (x, y) inside box = (left, top, right, bottom) whose colour matches."""
        left, top, right, bottom = box or (0, 0, self.width, self.height)
        return [(x, y) for y in range(top, min(bottom, self.height), step)
                for x in range(left, min(right, self.width), step) if match(self.pixel(x, y))]


def near(target, tolerance=40):
    return lambda p: all(abs(a - b) <= tolerance for a, b in zip(p, target))


def dark(p):
    return max(p) < HEADING_DARK


def bounds(points):
    xs, ys = [x for x, _ in points], [y for _, y in points]
    return min(xs), min(ys), max(xs), max(ys)


class Session:
    """An Xvfb display, a scratch directory, and the viewer processes started in them."""

    def __init__(self, viewer):
        self.viewer = viewer
        self.dir = tempfile.mkdtemp(prefix="quillory-view-test-")
        self.xvfb = None
        self.viewers = []

    def start_display(self):
        if shutil.which("Xvfb") is None:
            print("SKIPPED: Xvfb is not installed, so no X server can be started")
            sys.exit(SKIP)
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
             "-nolisten", "tcp", "-noreset"], pass_fds=[write_end], stderr=subprocess.DEVNULL,
            preexec_fn=die_with_parent)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 10
        os.set_blocking(read_end, False)
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            try:
                number += os.read(read_end, 16)
            except BlockingIOError:
                time.sleep(0.05)
            if self.xvfb.poll() is not None:
                break
        os.close(read_end)
        if not number.strip().isdigit():
            print("SKIPPED: Xvfb could not start an X server")
            sys.exit(SKIP)
        self.env = dict(os.environ, DISPLAY=":" + number.strip().decode(), GDK_BACKEND="x11",
                        NO_AT_BRIDGE="1", HOME=self.dir,
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        XDG_DATA_HOME=os.path.join(self.dir, "data"),
                        XDG_CACHE_HOME=os.path.join(self.dir, "cache"))
        for tool in ("xdotool", "import", "xclip"):
            check(shutil.which(tool), f"{tool} is missing: run scripts/bootstrap")

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text, atomically=False):
        """Writes the file in place, or as editors do: a new file renamed over the old."""
        target = self.path(name)
        staging = target + ".saving" if atomically else target
        with open(staging, "w", encoding="utf-8") as out:
            out.write(text)
        if atomically:
            os.replace(staging, target)
        return target

    def run(self, *arguments, timeout=10):
        return subprocess.run(list(arguments), env=self.env, capture_output=True, text=True,
                              timeout=timeout)

    def open_viewer(self, path):
        stderr = open(self.path(f"stderr-{len(self.viewers)}.txt"), "w+")
        process = subprocess.Popen([self.viewer, path], env=self.env, stderr=stderr,
                                   stdout=subprocess.DEVNULL, preexec_fn=die_with_parent)
        self.viewers.append(process)
        title = "^" + os.path.basename(path).replace(".", "\\.") + "$"
        window = wait_for("the viewer's window", lambda: self.find_window(title, process))
        return Viewer(self, process, window, stderr)

    def find_window(self, title, process):
        check(process.poll() is None, f"the viewer exited early with status {process.returncode}")
        found = self.run("xdotool", "search", "--onlyvisible", "--name", title).stdout.split()
        return found[0] if found else None

    def screenshot(self, window="root"):
        shot = subprocess.run(["import", "-window", window, "-depth", "8", "ppm:-"],
                              env=self.env, capture_output=True, timeout=10)
        check(shot.returncode == 0, "the screenshot failed: " + shot.stderr.decode())
        return Screenshot(shot.stdout)

    def close(self):
        for process in self.viewers:
            if process.poll() is None:
                process.kill()
                process.wait()
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait(timeout=10)
        shutil.rmtree(self.dir, ignore_errors=True)


class Viewer:
    def __init__(self, session, process, window, stderr):
        self.session, self.process, self.window, self.stderr = session, process, window, stderr

    def geometry(self):
        out = self.session.run("xdotool", "getwindowgeometry", "--shell", self.window).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def wait_until_shows(self, what, match, minimum=400, region=None, background=None,
                         settled=False):
        """Waits until at least `minimum` sampled pixels of the window (or of its region
        (left, top, right, bottom)) match; when `background` is given, most of the region
        must match that too; when `settled`, the matches must stand where they stood in the
        screenshot before. Returns the matching points."""
        previous = []

        def probe():
            shot = self.session.screenshot(self.window)
            found = shot.points(match, region)
            if len(found) < minimum:
                return None
            if background and len(shot.points(background, region)) < len(shot.points(
                    lambda p: True, region)) / 2:
                return None
            if settled:
                previous.append(bounds(found))
                if len(previous) < 2 or previous[-1] != previous[-2]:
                    return None
            return found
        return wait_for(what, probe)

    def keys(self, *keys):
        result = self.session.run("xdotool", "windowfocus", "--sync", self.window, "key", *keys)
        check(result.returncode == 0, "xdotool could not send keys: " + result.stderr)

    def point_at(self, x, y, *then):
        left, top, _, _ = self.geometry()
        self.session.run("xdotool", "mousemove", "--sync", str(left + x), str(top + y), *then)

    def click(self, x, y):
        self.point_at(x, y, "click", "1")

    def exit_status(self, timeout=20):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the window did not close")

    def error_output(self):
        self.stderr.seek(0)
        return self.stderr.read()


def light(p):
    return min(p) > 200


def heading_points(viewer):
    """The heading's dark text in the top band of the page, on the page's white."""
    return viewer.wait_until_shows("the rendered heading", dark, minimum=40,
                                   region=(0, 0, 900, 140), background=near((255, 255, 255), 8))


def message_points(viewer):
    """The message's dark text on the window's light background."""
    return viewer.wait_until_shows("the message in the window", dark, minimum=40,
                                   background=light)


# --- cases ---------------------------------------------------------------------------

def render_and_keys(session):
    """A sample document is rendered at the reply's size, and the window answers its keys."""
    path = session.write("sample.md", "# Rendered heading\n\nA paragraph that mentions "
                         "findable words.\n\n![block](" + block_image("#d00000") + ")\n")
    viewer = session.open_viewer(path)
    _, _, width, height = viewer.geometry()
    check((width, height) == (900, 700), f"the window is {width}x{height}, not 900x700")
    red = viewer.wait_until_shows("the red block below the heading", near((208, 0, 0)))
    heading = bounds(heading_points(viewer))
    check(heading[3] < min(y for _, y in red), "the heading is not above the image")

    viewer.keys("ctrl+plus", "ctrl+plus")
    wait_for("the heading to grow after Ctrl+plus",
             lambda: bounds(heading_points(viewer))[2] > heading[2] + 20)

    # Space goes into the find bar; Escape closes the bar and leaves the match selected.
    viewer.keys("ctrl+f", "f", "i", "n", "d", "a", "b", "l", "e", "space")
    viewer.wait_until_shows("the match marked by Ctrl+F", near((230, 230, 230), 3), minimum=20,
                            region=(0, 60, 900, 300))
    viewer.keys("Escape")
    viewer.wait_until_shows("the match selected by Ctrl+F", near((194, 218, 247), 25), minimum=8)
    check(viewer.process.poll() is None, "Space or Escape in the find bar closed the window")
    viewer.keys("ctrl+c")
    clipboard = wait_for("the copied selection", lambda: session.run(
        "xclip", "-o", "-selection", "clipboard", timeout=5).stdout)
    check(clipboard.strip() == "findable", f"Ctrl+C copied {clipboard!r}, not the match")
    viewer.keys("space")
    status = viewer.exit_status()
    check(status == 0, f"closing a rendered page exited with {status}")


def live_reload(session):
    """Changes to the file show in the window, at the scroll position the reader left."""
    filler = "".join(f"Paragraph {n} of filler text.\n\n" for n in range(60))
    page = lambda colour: ("# Top of the page\n\n" + filler + "![block](" + block_image(colour)
                           + ")\n\n" + filler[:300])
    path = session.write("notes.md", page("#d00000"))
    viewer = session.open_viewer(path)
    heading_points(viewer)
    viewer.keys("End")
    red = viewer.wait_until_shows("the red block after scrolling down", near((208, 0, 0)),
                                  settled=True)

    session.write("notes.md", page("#00a000"), atomically=True)
    green = viewer.wait_until_shows("the green block after an editor-style save",
                                    near((0, 160, 0)), settled=True)
    check(abs(min(y for _, y in green) - min(y for _, y in red)) < 40,
          "the page did not keep its scroll position")

    session.write("notes.md", page("#0000d0"))
    viewer.wait_until_shows("the blue block after an in-place write", near((0, 0, 208)))
    viewer.keys("ctrl+w")
    check(viewer.exit_status() == 0, "closing a rendered page did not exit with 0")


class LoopbackServer:
    """Accepts TCP connections on 127.0.0.1 and remembers that they came."""

    def __init__(self):
        self.socket = socket.socket()
        self.socket.bind(("127.0.0.1", 0))
        self.socket.listen(16)
        self.socket.settimeout(0.2)
        self.port = self.socket.getsockname()[1]
        self.requests = []  # the first line each connection sent, if any
        self.running = True
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while self.running:
            try:
                connection, _ = self.socket.accept()
            except OSError:
                continue
            connection.settimeout(1)
            try:
                self.requests.append(connection.recv(200).split(b"\r\n")[0].decode(errors="replace"))
            except OSError:
                self.requests.append("(a connection that sent nothing)")
            connection.close()

    def stop(self):
        self.running = False
        self.thread.join(timeout=5)
        self.socket.close()


def no_network(session):
    """Nothing on the page reaches the network; a clicked link goes to the browser."""
    server = LoopbackServer()
    remote = f"http://127.0.0.1:{server.port}"
    opened = session.path("opened-uris.txt")
    browser = session.path("fake-browser")
    with open(browser, "w") as out:
        out.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{opened}"\n')
    os.chmod(browser, 0o755)
    os.makedirs(session.path("data/applications"))
    os.makedirs(session.path("config"))
    with open(session.path("data/applications/fake-browser.desktop"), "w") as out:
        out.write("[Desktop Entry]\nType=Application\nName=Fake browser\n"
                  f"Exec={browser} %u\nMimeType=x-scheme-handler/http;\n")
    with open(session.path("config/mimeapps.list"), "w") as out:
        out.write("[Default Applications]\nx-scheme-handler/http=fake-browser.desktop\n")

    path = session.write("remote.md", f"""# Remote content

![remote image]({remote}/markdown-image.png)

<img src="{remote}/html-image.png">
<link rel="stylesheet" href="{remote}/style.css">
<link rel="preconnect" href="{remote}/">
<link rel="prefetch" href="{remote}/prefetch">
<iframe src="{remote}/frame"></iframe>
<video src="{remote}/video.mp4" autoplay></video>
<meta http-equiv="refresh" content="1; url={remote}/refresh">

<a href="{remote}/clicked" ping="{remote}/ping"><img src="{block_image('#0000d0')}"></a>
""")
    try:
        viewer = session.open_viewer(path)
        blue = viewer.wait_until_shows("the linked blue block", near((0, 0, 208)))
        time.sleep(2.0)  # past the refresh's one second
        left, top, right, bottom = bounds(blue)
        viewer.click((left + right) // 2, (top + bottom) // 2)
        wait_for("the clicked link to reach the default browser",
                 lambda: os.path.exists(opened) and f"{remote}/clicked" in open(opened).read())
        time.sleep(0.5)
        viewer.wait_until_shows("the page, still in the window after the click",
                                near((0, 0, 208)))
        check(not server.requests, f"the loopback server was reached: {server.requests}")
        viewer.keys("Escape")
        check(viewer.exit_status() == 0, "closing a rendered page did not exit with 0")
    finally:
        server.stop()


# Each paints a large area red if the document's own styles apply.
STYLE_TRICKS = (
    ("a style element", "<style>body, .md { background: #d00000 !important }</style>"),
    ("a style attribute", '<div style="background: #d00000; height: 300px">x</div>'),
    ("an SVG style element", '<svg width="600" height="200"><style>rect { fill: #d00000 }'
                             '</style><rect width="600" height="200" fill="#fff"/></svg>'),
    ("an SVG style attribute", '<svg width="600" height="200"><rect width="600" height="200" '
                               'fill="#fff" style="fill: #d00000"/></svg>'),
)


def document_styles(session):
    """The document's own styles never apply in the window; the page's stylesheet does."""
    for n, (what, html) in enumerate(STYLE_TRICKS):
        path = session.write(f"styled-{n}.md", "# Styled\n\n[a link](https://example.invalid/)"
                             "\n\n" + html + "\n")
        viewer = session.open_viewer(path)
        viewer.wait_until_shows("the link in the page's own link colour", near((9, 105, 218), 30),
                                minimum=10)
        red = session.screenshot(viewer.window).points(near((208, 0, 0)))
        check(not red, f"{what} in the document painted the page red")
        heading_points(viewer)
        viewer.keys("Escape")
        check(viewer.exit_status() == 0, "closing a rendered page did not exit with 0")


def link_status(session):
    """The address of the link under the pointer shows at the bottom of the window, also
    for a link that cannot be seen, and goes when the pointer leaves the link."""
    path = session.write("links.md", '# Links\n\n<svg width="600" height="300"><a href='
                         '"https://example.invalid/"><rect width="600" height="300" '
                         'fill-opacity="0"/></a></svg>\n')
    viewer = session.open_viewer(path)
    heading = bounds(heading_points(viewer))
    shot = session.screenshot(viewer.window)
    status_area = (0, shot.height - 40, shot.width // 2, shot.height)
    check(not shot.points(dark, status_area), "the status area is not blank before a hover")
    viewer.point_at(heading[0] + 100, heading[3] + 120)
    viewer.wait_until_shows("the hovered link's address", dark, minimum=20, region=status_area)
    viewer.point_at(heading[0], heading[1])
    wait_for("the address to go when the pointer left the link", lambda: not session.screenshot(
        viewer.window).points(dark, status_area))
    viewer.keys("Escape")
    check(viewer.exit_status() == 0, "closing a rendered page did not exit with 0")


def unreadable_file(session):
    """A file that cannot be read: a message in the window and on stderr, exit status 1."""
    for name, make, reason, close_key in (
            ("missing.md", None, "No such file or directory", "Escape"),
            ("folder.md", os.mkdir, "Is a directory", "ctrl+w"),
            ("pipe.md", os.mkfifo, "Not a regular file", "space")):
        path = session.path(name)
        if make:
            make(path)
        viewer = session.open_viewer(path)
        message_points(viewer)
        wait_for("the message on standard error",
                 lambda: f"quillory-view: {path}: {reason}" in viewer.error_output())
        viewer.keys(close_key)
        status = viewer.exit_status()
        check(status == 1, f"closing on {name} exited with {status}, not 1")

    # A file that appears while the message is shown replaces it with its page.
    path = session.path("later.md")
    viewer = session.open_viewer(path)
    message_points(viewer)
    session.write("later.md", "# Arrived\n\n![block](" + block_image("#d00000") + ")\n")
    viewer.wait_until_shows("the page of the new file", near((208, 0, 0)))
    viewer.keys("Escape")
    check(viewer.exit_status() == 0, "closing on a page that replaced a message did not exit 0")

    # A watched file replaced by a FIFO is not read; closing on its message ends the process.
    viewer = session.open_viewer(path)
    viewer.wait_until_shows("the page of the file", near((208, 0, 0)))
    os.remove(path)
    os.mkfifo(path)
    message_points(viewer)
    viewer.keys("space")
    check(viewer.exit_status() == 1, "closing on a file replaced by a FIFO did not exit 1")


def command_line(session):
    """Help, version and usage errors need no display."""
    help_run = session.run(session.viewer, "--help")
    check(help_run.returncode == 0 and help_run.stdout.startswith("Usage: quillory-view FILE"),
          "--help did not print the usage")
    version = session.run(session.viewer, "--version")
    check(version.returncode == 0 and version.stdout.startswith("quillory-view "),
          "--version did not print the version")
    for arguments in ([], ["a.md", "b.md"], ["--frobnicate", "a.md"]):
        result = session.run(session.viewer, *arguments)
        check(result.returncode == 2 and "Try 'quillory-view --help'" in result.stderr,
              f"{arguments} was not a usage error")


def installation(session):
    """cmake --install puts both programs, the resources and the desktop entry under the
    prefix, and the installed programs find the resources there."""
    prefix = session.path("prefix")
    build_dir = os.path.dirname(session.viewer)
    result = session.run(os.environ.get("CMAKE_COMMAND", "cmake"), "--install", build_dir,
                         "--prefix", prefix, timeout=60)
    check(result.returncode == 0, "cmake --install failed: " + result.stderr)
    for name in ("bin/quillory", "bin/quillory-view", "share/applications/quillory-view.desktop",
                 "share/quillory/resources/marked.min.js", "share/quillory/resources/katex.min.js",
                 "share/quillory/resources/preview.css"):
        check(os.path.isfile(os.path.join(prefix, name)), f"{name} was not installed")
    with open(os.path.join(prefix, "share/applications/quillory-view.desktop")) as entry:
        lines = entry.read().splitlines()
    check("MimeType=text/markdown;text/x-markdown;" in lines and "Exec=quillory-view %f" in lines,
          "the desktop entry does not open Markdown files with quillory-view")
    page = session.run(os.path.join(prefix, "bin/quillory"), session.write("a.md", "# Installed\n"))
    check("<h1>Installed</h1>" in page.stdout, "the installed quillory does not find its resources")
    version = session.run(os.path.join(prefix, "bin/quillory-view"), "--version")
    check(version.returncode == 0, "the installed quillory-view does not run")


CASES = {f.__name__: f for f in (render_and_keys, live_reload, no_network, document_styles,
                                 link_status, unreadable_file, command_line, installation)}
NEEDS_NO_DISPLAY = ("command_line", "installation")


def main():
    viewer, case = sys.argv[1], sys.argv[2]
    session = Session(os.path.abspath(viewer))
    try:
        if case in NEEDS_NO_DISPLAY:
            session.env = dict(os.environ)
        else:
            session.start_display()
        CASES[case](session)
    except Failure as failure:
        print(f"FAILED: {case}: {failure}")
        for i, _ in enumerate(session.viewers):
            with open(session.path(f"stderr-{i}.txt")) as log:
                print(f"--- viewer {i} standard error ---\n{log.read()}")
        return 1
    finally:
        session.close()
    print(f"passed: {case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
