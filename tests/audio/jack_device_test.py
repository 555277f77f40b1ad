#!/usr/bin/env python3
"""The JACK output and the instrument's start-up on real dummy servers: a start into a busy session at
48000 Hz (period 64), a MIDI note at 44100 Hz (period 1024) recorded and measured, JACK chosen over an
ALSA default, the display after the audio, and the server going away under the running editor (the start
without any server is in the grid's serialosc test)."""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

BIN = os.path.join(os.environ.get("KV_BINARY_DIR", "build"), "bin")
SCRATCH = tempfile.mkdtemp(prefix="kv-jack-")
failures = []
children = []  # every process started, stopped by its own id at the end whatever happened
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
        children.append(self)

    def output(self):
        with open(self.path, errors="replace") as f:
            return f.read()

    def wait_for(self, text, seconds):
        return eventually(lambda: text in self.output(), seconds)

    def wait_exit(self, seconds):
        eventually(lambda: self.p.poll() is not None, seconds)
        return self.p.poll()

    def stop(self):
        self.p.terminate()
        if self.wait_exit(3) is None:
            self.p.kill()
            self.p.wait()


class Jack:
    """jackd (dummy backend) of its own name and HOME; synchronous, so a late client on a loaded machine
    delays the period instead of missing it: what is checked is the program's output, not the scheduling."""

    def __init__(self, name, rate, period, asoundrc=False):
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=name, JACK_NO_AUDIO_RESERVATION="1",
                        JACK_NO_START_SERVER="1", HOME=os.path.join(SCRATCH, name))
        os.makedirs(self.env["HOME"], exist_ok=True)
        if asoundrc:  # an ALSA default device, as a desktop without JACK would play to
            with open(os.path.join(self.env["HOME"], ".asoundrc"), "w") as f:
                f.write("pcm.!default { type null }\n")
        self.server = Process(["jackd", "-S", "-n", name, "-d", "dummy", "-r", str(rate), "-p", str(period)],
                              self.env, "jackd-" + name)
        self.ready = eventually(lambda: "system:capture_2" in self.ports(), 10)
        check(self.ready, "server %s up" % name)

    def ports(self, *options):
        r = subprocess.run(["jack_lsp", *options], env=self.env, capture_output=True, text=True)
        return r.stdout if r.returncode == 0 else ""

    def wired(self):
        ports = self.ports().split("\n")
        return all(p in ports for p in ("vorn:kelvarin", "vorn:out_1", "vorn:out_2"))

    def start(self, argv, name, extra=None):
        return Process(argv, dict(self.env, **(extra or {})), name)

    def stop_client(self, process):
        process.stop()
        eventually(lambda: "vorn:" not in self.ports(), 5)


def record(server, seconds):
    path = os.path.join(SCRATCH, "rec.wav")
    eventually(server.wired, 10)
    for attempt in range(3):  # a recorder whose disk thread fell behind has lost samples: record again
        rec = server.start(["jack_rec", "-f", path, "-d", str(seconds), "-b", "32", "-B", "262144",
                            "vorn:out_1", "vorn:out_2"], "rec")
        rec.wait_exit(seconds + 20)
        if "overruns" not in rec.output():
            break
    rate = subprocess.run(["soxi", "-r", path], capture_output=True, text=True).stdout.strip()
    x = np.frombuffer(subprocess.run(["sox", "-D", path, "-t", "f32", "-"], capture_output=True).stdout, np.float32)
    return int(rate or 0), x[0::2].astype(np.float64), x[1::2].astype(np.float64)


def pitch_hz(x, rate):
    """Zero crossings, interpolated linearly, over whole periods."""
    up = np.nonzero((x[:-1] < 0) & (x[1:] >= 0))[0]
    t = up + x[up] / (x[up] - x[up + 1])
    return (len(t) - 1) * rate / (t[-1] - t[0]) if len(t) > 2 else 0.0


def check_tone(x, rate, hz, what):
    """Its pitch, and no gap or jump: a sine's largest sample-to-sample step is 2 pi f A / rate."""
    check(len(x) >= rate and abs(pitch_hz(x, rate) - hz) <= 0.2, "%s: %.3f Hz" % (what, pitch_hz(x, rate)))
    step = np.abs(np.diff(x)).max() if len(x) else 1.0
    check(step <= 1.1 * 2 * np.pi * hz * np.abs(x).max() / rate, "%s: largest step %.4f" % (what, step))


def editor_starts_into_busy_session(server, display):
    editor = server.start([os.path.join(BIN, "kelvarin-editor")], "editor", {"DISPLAY": display})
    ok = eventually(server.wired, 5) and editor.wait_for("Status: Using GLEW", 30)
    check(ok, "the editor in a busy session reaches its window and its three ports")
    out = editor.output()  # the audio layer's devices before the display's first line
    check(out.startswith("device 0\ndevice 1\n") and "device 2" not in out, "audio, then display: " + repr(out[:200]))
    return editor


def server_goes_away(server, editor, display):
    server.server.stop()
    check(editor.wait_for("JACK server went away: the program goes on without audio.\n", 10),
          "one line when the server goes away")
    drawn = editor.output().count("display-fps")
    check(eventually(lambda: editor.output().count("display-fps") >= drawn + 2, 30), "the editor keeps drawing")
    subprocess.run(["xdotool", "mousemove", "400", "300", "key", "Escape"], env=dict(os.environ, DISPLAY=display))
    check(editor.wait_exit(20) == 0, "Escape ends it with status 0")


def midi_note_at_1024(server):
    """The start-up in its order (JACK before an ALSA default, the audio stream before the MIDI port),
    then jack_midiseq plays it a D every 250 ms on channel 0 and jack_rec hears voice 0 take it."""
    p = server.start([os.path.join(BIN, "jack_probe"), "30"], "note-1024")
    check(p.wait_for("vorn:kelvarin", 10) and p.output().startswith("device 0\ndevice 1\nstarted\n"),
          "JACK chosen before an ALSA default: " + repr(p.output()[:100]))
    out = p.output()
    check(0 <= out.find("vorn:out_2") < out.find("vorn:kelvarin"), "the audio runs before the MIDI port exists")
    connections = server.ports("-c")
    check("vorn:out_1\n   system:playback_1\n" in connections and
          "vorn:out_2\n   system:playback_2\n" in connections, "outputs connected to the playback ports")
    seq = server.start(["jack_midiseq", "kv-seq", "11025", "0", "62", "2205"], "seq")
    check(eventually(lambda: subprocess.run(["jack_connect", "kv-seq:out", "vorn:kelvarin"], env=server.env,
                                            capture_output=True).returncode == 0, 5), "sequencer connected")
    rate, left, right = record(server, 5)
    check(rate == 44100 and len(left) > 4 * rate, "recorded at 44100 Hz (got %d)" % rate)
    out = p.output()
    check("received note on: 62 64 on channel 0\nreceived note off: 62 on channel 0\n" in out and
          "audio-fps: 172.27, cpu-load: 0.0" in out, "note and statistics lines: " + repr(out[-300:]))
    check_tone(right[-rate:], rate, 880.0, "voice 1 hard right at period 1024")
    check_tone(left[-rate:], rate, 440.0 * 2 ** (5 / 12), "voice 0 at the D that jack_midiseq plays")
    seq.stop()
    server.stop_client(p)


def main():
    n = 40
    while os.path.exists("/tmp/.X%d-lock" % n):
        n += 1
    Process(["Xvfb", ":%d" % n, "-screen", "0", "1280x800x24", "-nolisten", "tcp"], os.environ, "xvfb")
    display = ":%d" % n
    try:
        check(eventually(lambda: os.path.exists("/tmp/.X11-unix/X%d" % n), 10), "Xvfb up")
        fast = Jack("kv-jack-48k", 48000, 64)
        # a busy session: another client asking for the ports every 50 ms, as patchbays do
        busy = fast.start(["bash", "-c", "while :; do jack_lsp >/dev/null 2>&1; sleep 0.05; done"], "busy")
        editor = editor_starts_into_busy_session(fast, display)
        busy.stop()
        server_goes_away(fast, editor, display)

        slow = Jack("kv-jack-1024", 44100, 1024, asoundrc=True)
        midi_note_at_1024(slow)
        slow.server.stop()

    finally:
        for p in reversed(children):
            p.stop()
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
