#!/usr/bin/env python3
"""A conversion helper's start: from spawning it to its first answer (a page of FILE), its
memory then (Rss and Pss from /proc/PID/smaps_rollup) and how many of its mappings are GTK,
WebKit or their libraries. Several build directories, separated by commas, take turns in
each round; medians of RUNS. The helper is quillory-view-helper where a build has it, the
instance's own executable with --conversion-helper otherwise.

  bench/helper_start.py [BUILD_DIR[,BUILD_DIR...]] [RUNS] [FILE]"""
import os, socket, statistics, struct, subprocess, sys, time

GUI = ("libgtk-4", "libwebkitgtk", "libjavascriptcoregtk", "libgdk_pixbuf", "libpango", "libcairo",
       "libharfbuzz", "libepoxy", "libgraphene", "libsoup")


def frame(sock):
    header = b""
    while len(header) < 8:
        header += sock.recv(8 - len(header)) or sys.exit("the helper ended before it answered")
    length, body = struct.unpack("<Q", header)[0], b""
    while len(body) < length:
        body += sock.recv(min(1 << 20, length - len(body))) or sys.exit("the helper ended mid-answer")
    return body


def measure(build, file):
    helper = os.path.join(build, "quillory-view-helper")
    command = [helper] if os.path.exists(helper) else [os.path.join(build, "quillory-view-instance"),
                                                      "--conversion-helper"]
    ours, theirs = socket.socketpair()
    started = time.monotonic()
    process = subprocess.Popen(command, pass_fds=[3, theirs.fileno()],
                               preexec_fn=lambda: os.dup2(theirs.fileno(), 3))
    theirs.close()
    request = b"-" + file.encode()
    ours.sendall(struct.pack("<Q", len(request)) + request)
    answer = frame(ours)
    elapsed = (time.monotonic() - started) * 1000
    assert answer[:1] in b"PF", answer[:40]
    memory = {line.split()[0]: int(line.split()[1]) for line in open(f"/proc/{process.pid}/smaps_rollup")
              if line.split()[0] in ("Rss:", "Pss:")}
    maps = open(f"/proc/{process.pid}/maps").read().splitlines()
    gui = len({line.split()[-1] for line in maps if any(name in line for name in GUI)})
    ours.close(), process.wait(timeout=10)
    return elapsed, memory["Rss:"] / 1024, memory["Pss:"] / 1024, gui


def main():
    builds = [os.path.realpath(b) for b in (sys.argv[1] if len(sys.argv) > 1 else "build").split(",")]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    file = os.path.realpath(sys.argv[3] if len(sys.argv) > 3 else "examples/tour.md")
    results = {build: [] for build in builds}
    for round in range(runs):
        for build in builds[round % len(builds):] + builds[:round % len(builds)]:
            results[build].append(measure(build, file))
    print(f"{'build':<40} {'first answer ms':>16} {'Rss MiB':>8} {'Pss MiB':>8} {'GUI libraries':>14}")
    for build, rows in results.items():
        medians = [statistics.median(column) for column in zip(*rows)]
        print(f"{build:<40} {medians[0]:>16.1f} {medians[1]:>8.1f} {medians[2]:>8.1f} {medians[3]:>14.0f}")


if __name__ == "__main__":
    main()
