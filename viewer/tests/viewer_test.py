#!/usr/bin/env python3
"""Drives quillory-view in a virtual X display (Xvfb) and checks what its window shows.
Usage: viewer_test.py VIEWER CASE, CASE being one of the functions listed in CASES. Exits 0
on success, 1 on a failure, and 77 (reported as skipped) only when no X server can start."""
import base64, ctypes, os, select, shutil, signal, socket, socketserver, subprocess, sys
import tempfile, threading, time

RED, GREEN, BLUE, WHITE = (208, 0, 0), (0, 160, 0), (0, 0, 208), (255, 255, 255)
DIR = tempfile.mkdtemp(prefix="quillory-view-test-")
VIEWER, env, processes = None, dict(os.environ), []
near = lambda target, within=40: lambda p: all(abs(a - b) <= within for a, b in zip(p, target))
dark = lambda p: max(p) < 90  # heading text is #1f2328; anti-aliased edges stay below 90
path = lambda name: os.path.join(DIR, name)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout=15.0):
    """Polls probe() until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        check(time.monotonic() < deadline, f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(0.15)
    return value


def bounds(points):
    xs, ys = [x for x, _ in points], [y for _, y in points]
    return min(xs), min(ys), max(xs), max(ys)


def block(colour):
    """A data: address of a 600x160 picture in one colour."""
    svg = (f'<svg xmlns="http://www.w3.org/2000/svg" width="600" height="160"><rect width="600"'
           f' height="160" fill="rgb{colour}"/></svg>')
    return "data:image/svg+xml;base64," + base64.b64encode(svg.encode()).decode()


def write(name, text, atomically=False):
    """Writes the file in place, or as editors do: a new file renamed over the old."""
    with open(path(name) + ".saving" * atomically, "w", encoding="utf-8") as out:
        out.write(text)
    if atomically:
        os.replace(path(name) + ".saving", path(name))
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
               XDG_CONFIG_HOME=path("config"), XDG_DATA_HOME=path("data"),
               XDG_CACHE_HOME=path("cache"))
    for tool in ("xdotool", "import", "xclip"):
        check(shutil.which(tool), f"{tool} is missing: run scripts/bootstrap")


class Shot:
    def __init__(self, window):
        shot = subprocess.run(["import", "-window", window, "-depth", "8", "ppm:-"], env=env,
                              capture_output=True, timeout=10)
        check(shot.returncode == 0, "the screenshot failed: " + shot.stderr.decode())
        _, width, height, _, self.pixels = shot.stdout.split(maxsplit=4)
        self.width, self.height = int(width), int(height)

    def points(self, match, box=None):
        """The sampled (x, y) inside box = (left, top, right, bottom) whose colour matches."""
        left, top, right, bottom = box or (0, 0, self.width, self.height)
        at = lambda x, y: 3 * (y * self.width + x)
        return [(x, y) for y in range(top, min(bottom, self.height), 2) for x in range(
            left, min(right, self.width), 2) if match(self.pixels[at(x, y):at(x, y) + 3])]


class Window:
    """A quillory-view process and its window."""

    def __init__(self, file):
        self.stderr = open(path(f"stderr-{len(processes)}.txt"), "w+")
        self.process = start(VIEWER, file, stderr=self.stderr, stdout=subprocess.DEVNULL)
        title = "^" + os.path.basename(file).replace(".", "\\.") + "$"
        self.id = wait_for("the viewer's window", lambda: check(
            self.process.poll() is None, f"the viewer exited with {self.process.returncode}") or
            run("xdotool", "search", "--onlyvisible", "--name", title).stdout.split())[0]

    def geometry(self):
        out = run("xdotool", "getwindowgeometry", "--shell", self.id).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def shows(self, what, match, minimum=400, region=None, background=None, settled=False):
        """Waits until at least `minimum` sampled pixels of the window (or of its region)
        match; with `background`, most of the region must match that too; when `settled`,
        the matches must stand where they stood in the screenshot before. Returns them."""
        previous = []

        def probe():
            shot = Shot(self.id)
            found = shot.points(match, region)
            if len(found) < minimum or background and len(shot.points(background, region)) < len(
                    shot.points(lambda p: True, region)) / 2:
                return None
            previous.append(bounds(found))
            return found if not settled or previous[-2:-1] == previous[-1:] else None
        return wait_for(what, probe)

    def heading(self):
        """The heading's dark text in the top band of the page, on the page's white."""
        return bounds(self.shows("the heading", dark, 40, (0, 0, 900, 140), near(WHITE, 8)))

    def message(self):
        """The message's dark text on the window's light background."""
        return self.shows("the message in the window", dark, 40, background=lambda p: min(p) > 200)

    def keys(self, *keys):
        check(run("xdotool", "windowfocus", "--sync", self.id, "key", *keys).returncode == 0,
              f"xdotool could not send {keys}")

    def point_at(self, x, y, *then):
        left, top, _, _ = self.geometry()
        run("xdotool", "mousemove", "--sync", str(left + x), str(top + y), *then)

    def close(self, key, expected):
        self.keys(key)
        status = wait_for(f"{key} to close the window", lambda: self.process.poll() is not None
                          and [self.process.returncode], timeout=20)[0]
        check(status == expected, f"{key} closed the window with status {status}, not {expected}")


# --- cases ---------------------------------------------------------------------------

def render_and_keys():
    """The page shows at the reply's size, and the window answers its keys."""
    window = Window(write("sample.md", "# Rendered heading\n\nA paragraph that mentions findable "
                          f"words.\n\n![block]({block(RED)})\n"))
    check(window.geometry()[2:] == (900, 700), f"the window is not 900x700: {window.geometry()}")
    red = window.shows("the red block below the heading", near(RED))
    heading = window.heading()
    check(heading[3] < min(y for _, y in red), "the heading is not above the image")
    window.keys("ctrl+plus", "ctrl+plus")
    wait_for("the heading to grow after Ctrl+plus", lambda: window.heading()[2] > heading[2] + 20)
    # Space goes into the find bar; Escape closes the bar and leaves the match selected.
    window.keys("ctrl+f", *"findable", "space")
    window.shows("the match marked by Ctrl+F", near((230, 230, 230), 3), 20, (0, 60, 900, 300))
    window.keys("Escape")
    window.shows("the match selected by Ctrl+F", near((194, 218, 247), 25), 8)
    check(window.process.poll() is None, "Space or Escape in the find bar closed the window")
    window.keys("ctrl+c")
    copied = wait_for("the copy", lambda: run("xclip", "-o", "-selection", "clipboard").stdout)
    check(copied.strip() == "findable", f"Ctrl+C copied {copied!r}, not the match")
    window.close("space", 0)


def live_reload():
    """Changes to the file show in the window, at the scroll position the reader left."""
    filler = "".join(f"Paragraph {n} of filler text.\n\n" for n in range(60))
    page = lambda colour: f"# Top of the page\n\n{filler}![b]({block(colour)})\n\n{filler[:300]}"
    window = Window(write("notes.md", page(RED)))
    window.heading()
    window.keys("End")
    red = window.shows("the red block after scrolling down", near(RED), settled=True)
    write("notes.md", page(GREEN), atomically=True)
    green = window.shows("the green block after an editor's save", near(GREEN), settled=True)
    check(abs(min(y for _, y in green) - min(y for _, y in red)) < 40,
          "the page did not keep its scroll position")
    write("notes.md", page(BLUE))
    window.shows("the blue block after an in-place write", near(BLUE))
    window.close("ctrl+w", 0)


def inert_document():
    """Nothing the page names is connected to, and none of its own styles apply (each of
    them would paint a large area red); a clicked link goes to the default browser."""
    reached = []
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), lambda link, *_: reached.append(
        link.recv(200).split(b"\r\n")[0] or "a connection that sent nothing"))
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    remote = f"http://127.0.0.1:{server.server_address[1]}"
    os.makedirs(path("data/applications"))
    os.makedirs(path("config"))
    os.chmod(write("browser", f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{path("opened")}"\n'), 0o755)
    write("data/applications/browser.desktop", "[Desktop Entry]\nType=Application\nName=Browser\n"
          f"Exec={path('browser')} %u\nMimeType=x-scheme-handler/http;\n")
    write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=browser.desktop\n")
    window = Window(write("remote.md", f"""# Remote content\n\n[a link](https://example.invalid/)
\n![image]({remote}/markdown.png)\n
<img src="{remote}/html.png"><link rel="stylesheet" href="{remote}/style.css">
<link rel="preconnect" href="{remote}/"><link rel="prefetch" href="{remote}/prefetch">
<iframe src="{remote}/frame"></iframe><video src="{remote}/video.mp4" autoplay></video>
<meta http-equiv="refresh" content="1; url={remote}/refresh">\n
<a href="{remote}/clicked" ping="{remote}/ping"><img src="{block(BLUE)}"></a>\n
<style>body, .md {{ background: #d00000 !important }}</style>\n
<div style="background: #d00000; height: 100px">x</div>\n
<svg width="600" height="100"><style>rect.s {{ fill: #d00000 }}</style><rect class="s"
width="600" height="50" fill="#fff"/><rect y="50" width="600" height="50" fill="#fff"
style="fill: #d00000"/></svg>\n"""))
    try:
        left, top, right, bottom = bounds(window.shows("the linked blue block", near(BLUE)))
        window.shows("the link in the page's own link colour", near((9, 105, 218), 30), 10)
        check(not Shot(window.id).points(near(RED)), "the document's styles painted the page red")
        time.sleep(2.0)  # past the refresh's one second
        window.point_at((left + right) // 2, (top + bottom) // 2, "click", "1")
        wait_for("the clicked link to reach the default browser", lambda: os.path.exists(
            path("opened")) and f"{remote}/clicked" in open(path("opened")).read())
        time.sleep(0.5)
        window.shows("the page, still in the window after the click", near(BLUE))
        check(not reached, f"the loopback server was reached: {reached}")
        window.close("Escape", 0)
        # The zero above means something: the server does see a direct connection.
        socket.create_connection(server.server_address).close()
        wait_for("the loopback server to see a direct connection", lambda: reached)
    finally:
        server.shutdown()


def link_status():
    """The address of the link under the pointer, even an invisible one, shows at the bottom
    of the window, and goes when the pointer leaves the link."""
    window = Window(write("links.md", '# Links\n\n<svg width="600" height="300"><a href="https:'
                          '//example.invalid/"><rect width="600" height="300" fill-opacity="0"/>'
                          '</a></svg>\n'))
    heading = window.heading()
    shot = Shot(window.id)
    status_area = (0, shot.height - 40, shot.width // 2, shot.height)
    check(not shot.points(dark, status_area), "the status area is not blank before a hover")
    window.point_at(heading[0] + 100, heading[3] + 120)
    window.shows("the hovered link's address", dark, 20, status_area)
    window.point_at(heading[0], heading[1])
    wait_for("the address to go when the pointer left the link",
             lambda: not Shot(window.id).points(dark, status_area))
    window.close("Escape", 0)


def unreadable_file():
    """A file that cannot be read: a message in the window and on stderr, and status 1."""
    for name, make, reason, key in (("folder.md", os.mkdir, "Is a directory", "ctrl+w"),
                                    ("pipe.md", os.mkfifo, "Not a regular file", "space"),
                                    ("later.md", str, "No such file or directory", None)):
        make(path(name))
        window = Window(path(name))
        window.message()
        wait_for("the message on standard error", lambda: window.stderr.seek(0) == 0 and
                 f"quillory-view: {path(name)}: {reason}" in window.stderr.read())
        if key:
            window.close(key, 1)
    # A file that appears replaces the message with its page; replaced by a FIFO, it is
    # not read, and closing on its message ends the process with 1.
    write("later.md", f"# Arrived\n\n![block]({block(RED)})\n")
    window.shows("the page of the file that appeared", near(RED))
    os.remove(path("later.md"))
    os.mkfifo(path("later.md"))
    window.message()
    window.close("Escape", 1)


def command_line():
    """Help, version and usage errors need no display; cmake --install puts both programs,
    the resources and the desktop entry under the prefix, and the installed programs run."""
    for arguments, status, output in (
            (["--help"], 0, "Usage: quillory-view FILE"), (["--version"], 0, "quillory-view "),
            ([], 2, "Try 'quillory-view --help'"), (["a.md", "b.md"], 2, "Try 'quillory-view"),
            (["--frobnicate", "a.md"], 2, "Try 'quillory-view --help'")):
        result = run(VIEWER, *arguments)
        check(result.returncode == status and output in result.stdout + result.stderr,
              f"quillory-view {arguments} gave {result.returncode}: {result.stdout}{result.stderr}")
    result = run(os.environ.get("CMAKE_COMMAND", "cmake"), "--install", os.path.dirname(VIEWER),
                 "--prefix", path("prefix"), timeout=60)
    check(result.returncode == 0, "cmake --install failed: " + result.stderr)
    for name in ("katex.min.js", "preview.css"):
        check(os.path.isfile(path("prefix/share/quillory/resources/" + name)), f"{name} is missing")
    lines = open(path("prefix/share/applications/quillory-view.desktop")).read().splitlines()
    check("MimeType=text/markdown;text/x-markdown;" in lines and "Exec=quillory-view %f" in lines,
          "the desktop entry does not open Markdown files with quillory-view")
    page = run(path("prefix/bin/quillory"), write("a.md", "# Installed\n"))
    check("<h1>Installed</h1>" in page.stdout, "the installed quillory does not find its resources")
    check(run(path("prefix/bin/quillory-view"), "--version").returncode == 0,
          "the installed quillory-view does not run")


CASES = (render_and_keys, live_reload, inert_document, link_status, unreadable_file, command_line)

if __name__ == "__main__":
    VIEWER, case = os.path.abspath(sys.argv[1]), {f.__name__: f for f in CASES}[sys.argv[2]]
    try:
        if case is not command_line:
            start_display()
        case()
        print(f"passed: {case.__name__}")
    except Failure as failure:
        print(f"FAILED: {case.__name__}: {failure}")
        for log in sorted(f for f in os.listdir(DIR) if f.startswith("stderr-")):
            print(f"--- viewer {log} ---\n" + open(path(log)).read())
        sys.exit(1)
    finally:
        for process in processes:
            process.kill()
            process.wait()
        shutil.rmtree(DIR, ignore_errors=True)
