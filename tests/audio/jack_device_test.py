#!/usr/bin/env python3
"""The JACK output on real dummy servers: starts into a busy session, the tone at 48000 Hz and its
continuity at periods 64 and 1024, JACK chosen over an ALSA default, periods and rates it cannot serve,
the server going away under the running editor, and a start without any server."""
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time

import numpy as np

BIN = os.path.join(os.environ.get("KV_BINARY_DIR", "build"), "bin")
SCRATCH = tempfile.mkdtemp(prefix="kv-jack-")
failures = []
STARTED = time.monotonic()


def check(ok, what):
    print("%5.1f s %s %s" % (time.monotonic() - STARTED, "ok  " if ok else "FAIL", what), flush=True)
    if not ok:
        failures.append(what)


def eventually(condition, seconds):
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.02)
    return True


class Process:
    """A child whose output goes to a file; stopped by its own process id."""

    def __init__(self, argv, env, name):
        self.path = os.path.join(SCRATCH, name + ".out")
        with open(self.path, "wb") as out:
            self.p = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT)

    def output(self):
        with open(self.path, errors="replace") as f:
            return f.read()

    def wait_for(self, text, seconds):
        return eventually(lambda: text in self.output(), seconds)

    def wait_exit(self, seconds):
        try:
            return self.p.wait(seconds)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.p.poll() is None:
            self.p.send_signal(signal.SIGTERM)
            if self.wait_exit(3) is None:
                self.p.kill()
                self.p.wait()


class Jack:
    """jackd with the dummy backend under a name of its own, with a scratch HOME for its clients. Synchronous
    mode: on a loaded test machine a late client then delays the period instead of missing it in the
    recording, so what is checked is the program's output, not the machine's scheduling."""

    def __init__(self, name, rate, period, asoundrc=False, server_options=(), driver_options=()):
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=name, JACK_NO_AUDIO_RESERVATION="1",
                        JACK_NO_START_SERVER="1", HOME=os.path.join(SCRATCH, name))
        os.makedirs(self.env["HOME"], exist_ok=True)
        if asoundrc:  # an ALSA default device, as a desktop without JACK would play to
            with open(os.path.join(self.env["HOME"], ".asoundrc"), "w") as f:
                f.write("pcm.!default { type null }\n")
        self.server = Process(["jackd", "-S", "-n", name, *server_options, "-d", "dummy", "-r", str(rate),
                               "-p", str(period), *driver_options], self.env, "jackd-" + name)
        self.ready = eventually(lambda: "system:capture_2" in self.ports(), 10)

    def ports(self):
        r = subprocess.run(["jack_lsp"], env=self.env, capture_output=True, text=True)
        return r.stdout if r.returncode == 0 else ""

    def start(self, argv, name, extra=None):
        return Process(argv, dict(self.env, **(extra or {})), name)

    def stop(self):
        self.server.stop()


def probe(server, name, seconds=30):
    return server.start([os.path.join(BIN, "jack_probe"), str(seconds)], name)


def record(server, seconds):
    """Both instrument outputs through jack_rec; (rate, left, right) as float arrays."""
    path = os.path.join(SCRATCH, "rec.wav")
    eventually(lambda: wired(server), 10)
    for attempt in range(3):  # a recorder whose disk thread fell behind has lost samples: record again
        rec = server.start(["jack_rec", "-f", path, "-d", str(seconds), "-b", "32", "-B", "262144",
                            "vorn:out_1", "vorn:out_2"], "rec")
        rec.wait_exit(seconds + 20)
        if "overruns" not in rec.output():
            break
    data = open(path, "rb").read() if os.path.exists(path) else b""
    at, rate, kind, samples = 12, 0, np.float32, np.zeros(0)
    while at + 8 <= len(data):  # RIFF chunks: "fmt " gives the rate and sample type, "data" the samples
        tag, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if tag == b"fmt ":
            code, rate, bits = struct.unpack("<H", data[at + 8:at + 10])[0], *struct.unpack(
                "<I", data[at + 12:at + 16]), struct.unpack("<H", data[at + 22:at + 24])[0]
            kind = np.float32 if code == 3 else np.int32 if bits == 32 else np.int16
        if tag == b"data":
            samples = np.frombuffer(data[at + 8:at + 8 + size], kind).astype(np.float64)
            samples /= 1.0 if kind == np.float32 else float(np.iinfo(kind).max) + 1.0
        at += 8 + size + (size & 1)
    return rate, samples[0::2], samples[1::2]


def sounding(x):
    """From half a second after the sound begins (the engine's silent start is behind it)."""
    loud = np.nonzero(np.abs(x) > 1e-3)[0]
    return x[loud[0] + len(x) // 10:] if len(loud) else np.zeros(0)


def pitch_hz(x, rate):
    """Zero crossings, interpolated linearly, over whole periods."""
    up = np.nonzero((x[:-1] < 0) & (x[1:] >= 0))[0]
    t = up + x[up] / (x[up] - x[up + 1])
    return (len(t) - 1) * rate / (t[-1] - t[0]) if len(t) > 2 else 0.0


def worst_outside_db(x, rate, hz):
    """Strongest component more than 10 Hz from `hz`, in dB against the tone (Blackman-Harris window)."""
    n = np.arange(len(x))
    w = 0.35875 - 0.48829 * np.cos(2 * np.pi * n / len(x)) + 0.14128 * np.cos(4 * np.pi * n / len(x)) \
        - 0.01168 * np.cos(6 * np.pi * n / len(x))
    spectrum = np.abs(np.fft.rfft(x * w))
    f = np.fft.rfftfreq(len(x), 1.0 / rate)
    return 20 * np.log10(spectrum[np.abs(f - hz) > 10].max() / spectrum.max())


def steps_within_bounds(x, rate, hz):
    """A sine's largest sample-to-sample step is 2 pi f A / rate; a gap or a jump is far above it."""
    level = np.abs(x).max()
    return np.abs(np.diff(x)).max() <= 1.1 * 2 * np.pi * hz * level / rate, np.abs(np.diff(x)).max()


def check_tone(server, period, rate_wanted):
    rate, left, right = record(server, 5)
    check(rate == rate_wanted, "recorded from vorn:out_1/2 at %d Hz (got %d)" % (rate_wanted, rate))
    x = sounding(left)
    check(len(x) > rate, "the voice sounds at period %d (%d samples)" % (period, len(x)))
    if len(x) <= rate:
        return
    hz = pitch_hz(x, rate)
    check(abs(hz - 440.0) <= 0.2, "note 57 at %.3f Hz, period %d" % (hz, period))
    if rate != 44100:
        db = worst_outside_db(x, rate, 440.0)
        check(db <= -80.0, "everything outside 440 +- 10 Hz %.1f dB below the tone" % db)
    for name, channel in (("left", x), ("right", sounding(right))):
        ok, step = steps_within_bounds(channel, rate, 440.0)
        check(ok, "no gap or jump at period %d, %s (largest step %.4f)" % (period, name, step))


def busy_session(server):
    """Another client asking the server for its ports every 50 ms, as patchbays do."""
    return server.start(["bash", "-c", "while :; do jack_lsp >/dev/null 2>&1; sleep 0.05; done"], "busy")


def wired(server):
    ports = server.ports().split("\n")
    return all(p in ports for p in ("vorn:kelvarin", "vorn:out_1", "vorn:out_2"))


def wiring_starts_into_busy_session(server):
    slowest, hung = 0.0, 0
    for i in range(6):  # the instrument's wiring alone: each start is a fresh client joining
        started = time.monotonic()
        p = probe(server, "busy-probe")
        ok = eventually(lambda: wired(server), 5)
        slowest, hung = max(slowest, time.monotonic() - started), hung + (not ok)
        p.stop()
        eventually(lambda: "vorn:" not in server.ports(), 5)
    check(hung == 0, "6 wiring starts in a busy session: %d without all three ports in 5 s (slowest %.2f s)"
          % (hung, slowest))


def editor_starts_into_busy_session(server, display):
    for i in range(2):  # and the editor itself, up to its window; the last one plays on
        editor = server.start([os.path.join(BIN, "kelvarin-editor")], "editor-%d" % i, {"DISPLAY": display})
        ok = eventually(lambda: wired(server), 5) and editor.wait_for("Status: Using GLEW", 30)
        check(ok, "editor start %d in a busy session reaches its window and its three ports" % i)
        if i == 0:
            editor.stop()
            eventually(lambda: "vorn:" not in server.ports(), 5)
    return editor


def server_goes_away(server, editor, display):
    server.stop()
    check(editor.wait_for("JACK server went away: the program goes on without audio.\n", 10),
          "one line when the server goes away")
    drawn = editor.output().count("display-fps")
    check(eventually(lambda: editor.output().count("display-fps") >= drawn + 2, 30), "the editor keeps drawing")
    subprocess.run(["xdotool", "mousemove", "400", "300", "key", "Escape"], env=dict(os.environ, DISPLAY=display))
    status = editor.wait_exit(20)
    check(status == 0, "Escape ends it with status 0 (got %s)" % status)
    editor.stop()


def refused(name, rate, period, line, server_options=(), driver_options=()):
    """A server the output cannot serve: one line, then the next device (the ALSA default here)."""
    server = Jack(name, rate, period, True, server_options, driver_options)
    check(server.ready, "server %s up" % name)
    p = probe(server, name, 0)
    p.wait_exit(20)
    out = p.output()
    check(out.startswith("device 0\ndevice 1\nJACK output skipped: " + line + "\ndevice 2\nwired\n"), repr(out))
    server.stop()


def without_server(display):
    env = dict(os.environ, DISPLAY=display, JACK_DEFAULT_SERVER="kv-no-such-server", JACK_NO_START_SERVER="1")
    editor = Process([os.path.join(BIN, "kelvarin-editor")], env, "editor-alone")
    check(editor.wait_for("Status: Using GLEW", 30), "the editor comes up without a server")
    subprocess.run(["xdotool", "mousemove", "400", "300", "key", "Escape"], env=dict(os.environ, DISPLAY=display))
    check(editor.wait_exit(20) == 0, "and quits with 0")
    out = editor.output()
    check(out.startswith("device 0\nCould not find adequate device.\nStatus: Using GLEW"), repr(out[:300]))
    check("ALSA" not in out and "JACK" not in out and "jack" not in out, "no alsa-lib or JACK lines")


def free_display():
    n = 40
    while os.path.exists("/tmp/.X%d-lock" % n):
        n += 1
    return n


def main():
    n = free_display()
    xvfb = Process(["Xvfb", ":%d" % n, "-screen", "0", "1280x800x24", "-nolisten", "tcp"], os.environ, "xvfb")
    display = ":%d" % n
    servers = []
    try:
        check(eventually(lambda: os.path.exists("/tmp/.X11-unix/X%d" % n), 10), "Xvfb up")
        fast = Jack("kv-jack-48k", 48000, 64)
        servers.append(fast)
        check(fast.ready, "server at 48000 Hz, period 64 up")
        busy = busy_session(fast)
        servers.append(busy)
        wiring_starts_into_busy_session(fast)
        p = probe(fast, "tone-48k")
        check_tone(fast, 64, 48000)
        p.stop()
        eventually(lambda: "vorn:" not in fast.ports(), 5)
        editor = editor_starts_into_busy_session(fast, display)
        busy.stop()
        server_goes_away(fast, editor, display)

        slow = Jack("kv-jack-1024", 44100, 1024, asoundrc=True)
        servers.append(slow)
        check(slow.ready, "server at 44100 Hz, period 1024 up")
        p = probe(slow, "tone-1024")
        check(p.wait_for("wired\n", 10) and p.output().startswith("device 0\ndevice 1\nwired\n"),
              "JACK chosen before an ALSA default: " + repr(p.output()[:100]))
        connections = subprocess.run(["jack_lsp", "-c"], env=slow.env, capture_output=True, text=True).stdout
        check("vorn:out_1\n   system:playback_1\n" in connections and
              "vorn:out_2\n   system:playback_2\n" in connections, "outputs connected to the playback ports")
        check_tone(slow, 1024, 44100)
        p.stop()
        slow.stop()

        refused("kv-jack-8192", 44100, 8192, "its period of 8192 frames is over 4096.")
        refused("kv-jack-44101", 44101, 256, "cannot convert 44100 Hz to the server's 44101 Hz.")
        refused("kv-jack-full", 44100, 256, 'ports "out_1" and "out_2" could not be registered.',
                server_options=("--port-max", "5"))  # the server's four ports and the MIDI input
        refused("kv-jack-mute", 44100, 256, "the outputs could not be connected to the playback ports.",
                driver_options=("-P", "0"))  # no playback ports
        without_server(display)
    finally:
        for s in servers:
            s.stop()
        xvfb.stop()
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
