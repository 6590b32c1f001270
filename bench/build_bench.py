#!/usr/bin/env python3
"""Whole-process benchmark of peak building against the physical limit.

Generates its media at bench time (44.1 kHz stereo pink noise: 1-s WAV,
10- and 60-minute WAV, FLAC and MP3, sixteen 1-minute FLAC files), builds a
tiny C program that reads a WAV with fread and keeps per-channel min/max,
and measures, as whole processes on the same files: that plain loop,
decode-only with GStreamer (gst-launch to a fake sink), and peaktool build
(FLAC and MP3 also in one pass, KX_PEAK_SEGMENTS=1, against the default
segmented build).
Prints medians of N runs, peak memory (maximum resident set) and every ratio
with its target. Never part of the test suite: it takes minutes.

usage: bench/build_bench.py [--build DIR] [--runs N] [--work DIR] [--quick]
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
RATE = 44100


def run(cmd, env=None):
    code = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env).returncode
    if code != 0:
        sys.exit(f"failed ({code}): {' '.join(cmd)}")


def measure(cmd, runs, before=None, env=None):
    """Median wall time of whole-process runs, and the peak memory (maximum
    resident set) of one more run under GNU time, which starts the command
    from a small process of its own so that nothing of this one is counted."""
    times = []
    for _ in range(runs):
        if before:
            before()
        start = time.perf_counter()
        run(cmd, env)
        times.append(time.perf_counter() - start)
    if before:
        before()
    with tempfile.NamedTemporaryFile("r") as out:
        run(["/usr/bin/time", "-f", "%M", "-o", out.name] + cmd, env)
        rss = int(out.read().split()[-1])
    return statistics.median(times), rss


def gst(pipeline):
    subprocess.run(["gst-launch-1.0", "-q"] + pipeline.split(), check=True, stdout=subprocess.DEVNULL)


def make_wav(path, seconds):
    if os.path.exists(path):
        return
    gst(f"audiotestsrc wave=pink-noise volume=0.5 num-buffers={seconds * 10} samplesperbuffer={RATE // 10} "
        f"! audio/x-raw,format=S16LE,rate={RATE},channels=2 ! wavenc ! filesink location={path}")


def repeat_wav(source, path, times):
    """A long WAV made of a shorter one's data repeated (fast to make)."""
    if os.path.exists(path):
        return
    with open(source, "rb") as f:
        data = f.read()
    at = data.index(b"data")
    (length,) = struct.unpack("<I", data[at + 4:at + 8])
    header, pcm = data[:at], data[at + 8:at + 8 + length]
    size = len(pcm) * times
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", len(header) - 8 + 8 + size) + header[8:])
        out.write(b"data" + struct.pack("<I", size))
        for _ in range(times):
            out.write(pcm)


def encode(wav, path):
    if os.path.exists(path):
        return
    enc = "flacenc" if path.endswith(".flac") else "lamemp3enc target=bitrate bitrate=192 ! id3v2mux"
    gst(f"filesrc location={wav} ! wavparse ! audioconvert ! {enc} ! filesink location={path}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--work", default=None, help="media folder, kept between runs")
    ap.add_argument("--quick", action="store_true", help="skip the 60-minute files")
    args = ap.parse_args()
    peaktool = os.path.abspath(os.path.join(args.build, "tools", "peaktool", "peaktool"))
    if not os.access(peaktool, os.X_OK):
        sys.exit(f"no peaktool at {peaktool}: build first")
    work = args.work or tempfile.mkdtemp(prefix="kx-build-bench-")
    os.makedirs(work, exist_ok=True)
    runs = args.runs
    env = dict(os.environ)
    env.setdefault("GST_REGISTRY", os.path.join(os.path.abspath(args.build), "gst-registry.bin"))
    os.environ.update(env)

    loop = os.path.join(work, "plainloop")
    subprocess.run(["cc", "-O2", "-o", loop, os.path.join(HERE, "plainloop.c")], check=True)

    print(f"media in {work}; {runs} runs each; {os.cpu_count()} processors; load {os.getloadavg()[0]:.1f}",
          flush=True)
    p = lambda n: os.path.join(work, n)
    make_wav(p("1s.wav"), 1)
    make_wav(p("1min.wav"), 60)
    repeat_wav(p("1min.wav"), p("10min.wav"), 10)
    lengths = ["10min"] if args.quick else ["10min", "60min"]
    if not args.quick:
        repeat_wav(p("10min.wav"), p("60min.wav"), 6)
    for n in lengths:
        encode(p(f"{n}.wav"), p(f"{n}.flac"))
        encode(p(f"{n}.wav"), p(f"{n}.mp3"))
    many = []
    for i in range(16):
        many.append(p(f"many{i:02}.flac"))
        if not os.path.exists(many[-1]):
            # Distinct files, so that no cache shares work between them.
            gst(f"audiotestsrc wave=pink-noise volume=0.5 num-buffers=600 samplesperbuffer={RATE // 10} "
                f"! audio/x-raw,format=S16LE,rate={RATE},channels=2 ! flacenc ! filesink location={many[-1]}")
    print("media ready", flush=True)

    def unpeak(*files):
        def remove():
            for f in files:
                peak = os.path.splitext(f)[0] + ".pek"
                if os.path.exists(peak):
                    os.remove(peak)
        return remove

    def build(f, *extra, env=None):
        return measure([peaktool, "build", "-q", "--no-progress", "--rate", str(RATE), *extra, f], runs, unpeak(f),
                       env=env)

    # Long files are cut into segments decoded on all cores; this caps them at one.
    one_pass_env = dict(env, KX_PEAK_SEGMENTS="1")

    # The decoder the builder prefers, for decode-only alike.
    dec_env = dict(env, GST_PLUGIN_FEATURE_RANK="mpg123audiodec:MAX")

    def decode(f):
        return measure(["gst-launch-1.0", "-q", "filesrc", f"location={f}", "!", "decodebin", "!", "fakesink",
                        "sync=false"], runs, env=dec_env)

    results = {}
    rows = []
    # Whether the segmented build's peak file is the one-pass one, byte for byte.
    same = {}

    def peak_bytes(f):
        with open(os.path.splitext(f)[0] + ".pek", "rb") as peak:
            return peak.read()

    def row(name, value):
        t, m = value
        results[name] = value
        rows.append((name, t, m))
        print(f"  {name:34} {t * 1000:9.1f} ms {m / 1024:8.1f} MiB", flush=True)

    # Start-up dominates these: more runs for a stable median.
    start_runs = max(runs, 21)
    row("peaktool --version", measure([peaktool, "--version"], start_runs))
    row("1-s WAV: peaktool build",
        measure([peaktool, "build", "-q", "--no-progress", "--rate", str(RATE), p("1s.wav")], start_runs,
                unpeak(p("1s.wav"))))
    row("1-s WAV: peaktool info", measure([peaktool, "info", p("1s.pek")], start_runs))
    row("1-s WAV: peaktool render (GUI)", measure([peaktool, "render", p("1s.pek"), "-o", p("1s.png")], start_runs))
    row("1-s WAV: plain loop", measure([loop, p("1s.wav")], runs))
    for n in lengths:
        row(f"{n} WAV: plain loop", measure([loop, p(f"{n}.wav")], runs))
        row(f"{n} WAV: decode-only", decode(p(f"{n}.wav")))
        row(f"{n} WAV: peaktool build", build(p(f"{n}.wav")))
        segmented = {}
        for ext in ("flac", "mp3"):
            row(f"{n} {ext.upper()}: decode-only", decode(p(f"{n}.{ext}")))
            row(f"{n} {ext.upper()}: peaktool build", build(p(f"{n}.{ext}")))
            segmented[ext] = peak_bytes(p(f"{n}.{ext}"))
        for ext in ("flac", "mp3"):
            row(f"{n} {ext.upper()}: build, one pass", build(p(f"{n}.{ext}"), env=one_pass_env))
            same[f"{n} {ext.upper()}"] = segmented[ext] == peak_bytes(p(f"{n}.{ext}"))
    for jobs in (1, 2):
        row(f"16x1-min FLAC: --jobs {jobs}",
            measure([peaktool, "build", "-q", "--no-progress", "--rate", str(RATE), "--jobs", str(jobs), *many],
                    runs, unpeak(*many)))

    def ratio(label, a, b, target, better="below"):
        if a not in results or b not in results:
            return
        r = results[a][0] / results[b][0]
        ok = r <= target if better == "below" else r >= target
        print(f"  {label:52} {r:6.2f}x  (target {'<=' if better == 'below' else '>='} {target}x) "
              f"{'met' if ok else 'NOT met'}")

    print("\nratios")
    t1 = results["1-s WAV: peaktool build"][0] * 1000
    print(f"  {'1-s WAV build, whole process':52} {t1:6.1f} ms (target <= 20 ms) {'met' if t1 <= 20 else 'NOT met'}")
    ti = results["1-s WAV: peaktool info"][0] * 1000
    print(f"  {'info, whole process':52} {ti:6.1f} ms (target <= 10 ms) {'met' if ti <= 10 else 'NOT met'}")
    for n in lengths:
        ratio(f"{n} WAV build / plain loop", f"{n} WAV: peaktool build", f"{n} WAV: plain loop", 3)
        for ext in ("WAV", "FLAC", "MP3"):
            ratio(f"{n} {ext} build / decode-only", f"{n} {ext}: peaktool build", f"{n} {ext}: decode-only", 1.0)
        for ext in ("FLAC", "MP3"):
            ratio(f"{n} {ext} build, segmented / one pass", f"{n} {ext}: peaktool build", f"{n} {ext}: build, one pass",
                  0.6)
    for name, ok in same.items():
        print(f"  {name + ' segmented peak file = one pass':52} {'identical' if ok else 'DIFFERENT'}")
    if "60min WAV: peaktool build" in results:
        mib = results["60min WAV: peaktool build"][1] / 1024
        print(f"  {'60min WAV build, peak memory':52} {mib:6.1f} MiB (target <= 40 MiB) "
              f"{'met' if mib <= 40 else 'NOT met'}")
    ratio("16x1-min FLAC --jobs 1 / --jobs 2", "16x1-min FLAC: --jobs 1", "16x1-min FLAC: --jobs 2", 1.7, "above")
    if not args.work:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
