#!/usr/bin/env python3
"""Whole-process benchmark of `peaktool waveform` against `peaktool build`.

On the media build_bench.py makes (44.1 kHz stereo pink noise: 1-s and
10-minute WAV, FLAC, MP3 and Opus, 60-minute FLAC) it times, as whole
processes in the same run, `peaktool build` of the file and `peaktool
waveform -z 256` of it into a .dat file, taken in turn, medians of N runs of
wall and processor time, with peak memory (maximum resident set), and prints
waveform / build per file. Then the
memory of a 10-hour input at -z 64 into a file, which must not grow with the
length: a 10-hour 16 kHz mono WAV (the direct path) and 10 hours of 44.1 kHz
stereo raw samples (the decode pipeline), both sparse files on disk.
Never part of the test suite: it takes minutes.

usage: bench/waveform_bench.py [--build DIR] [--runs N] [--work DIR] [--quick] [--only NAME ...]
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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from build_bench import RATE, encode, gst, make_wav, measure, repeat_wav  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def run_once(cmd, before):
    """Wall time, processor time (user + system) and peak memory (KiB) of one
    whole-process run."""
    before()
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"failed ({status}): {' '.join(cmd)}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def compare(a, b, runs, before):
    """Medians of runs of a and b taken in turn, so that a machine whose load
    changes over the minutes weighs on both alike. Processor time tells what
    a run costs where wall time on a shared machine mostly tells how busy it was."""
    ra, rb = [], []
    for _ in range(runs):
        ra.append(run_once(a, before))
        rb.append(run_once(b, before))
    med = lambda rs: tuple(statistics.median(r[i] for r in rs) for i in range(2)) + (max(r[2] for r in rs),)
    return med(ra), med(rb)


def encode_opus(wav, path):
    if not os.path.exists(path):
        gst(f"filesrc location={wav} ! wavparse ! audioconvert ! audioresample ! opusenc ! oggmux "
            f"! filesink location={path}")


def sparse_wav(path, rate, channels, seconds):
    """A WAV of silence that takes no room on disk: its data is a hole."""
    size = rate * channels * 2 * seconds
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + size) + b"WAVEfmt " +
                struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * channels * 2, channels * 2, 16) +
                b"data" + struct.pack("<I", size))
        f.truncate(44 + size)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--work", default=None, help="media folder, kept between runs")
    ap.add_argument("--quick", action="store_true", help="skip the 60-minute and 10-hour files")
    ap.add_argument("--only", nargs="+", metavar="NAME",
                    help="time only these files (e.g. 10min.mp3), and not the 10-hour memory")
    args = ap.parse_args()
    peaktool = os.path.abspath(os.path.join(args.build, "tools", "peaktool", "peaktool"))
    if not os.access(peaktool, os.X_OK):
        sys.exit(f"no peaktool at {peaktool}: build first")
    work = args.work or tempfile.mkdtemp(prefix="kx-waveform-bench-")
    os.makedirs(work, exist_ok=True)
    runs = args.runs
    os.environ.setdefault("GST_REGISTRY", os.path.join(os.path.abspath(args.build), "gst-registry.bin"))
    p = lambda n: os.path.join(work, n)

    print(f"media in {work}; {runs} runs each; {os.cpu_count()} processors; load {os.getloadavg()[0]:.1f}",
          flush=True)
    make_wav(p("1s.wav"), 1)
    make_wav(p("1min.wav"), 60)
    repeat_wav(p("1min.wav"), p("10min.wav"), 10)
    files = [p("1s.wav")]
    for n in ["1s", "10min"]:
        for ext in ("flac", "mp3"):
            encode(p(f"{n}.wav"), p(f"{n}.{ext}"))
        encode_opus(p(f"{n}.wav"), p(f"{n}.opus"))
        files += [p(f"{n}.{ext}") for ext in ("flac", "mp3", "opus")]
    files.insert(4, p("10min.wav"))
    if not args.quick:
        repeat_wav(p("10min.wav"), p("60min.wav"), 6)
        encode(p("60min.wav"), p("60min.flac"))
        files.append(p("60min.flac"))
    print("media ready", flush=True)

    def clean(f):
        def remove():
            for ext in (".pek", ".dat"):
                out = os.path.splitext(f)[0] + ext
                if os.path.exists(out):
                    os.remove(out)
        return remove

    if args.only:
        files = [f for f in files if os.path.basename(f) in args.only]
    for f in files:
        name = os.path.basename(f)
        build = [peaktool, "build", "-q", "--no-progress", f]
        wave = [peaktool, "waveform", "-q", "-i", f, "-o", os.path.splitext(f)[0] + ".dat", "-z", "256"]
        b, w = compare(build, wave, runs, clean(f))
        print(f"  {name:12} build {b[0] * 1000:7.1f} ms {b[1] * 1000:7.1f} ms cpu {b[2] / 1024:5.1f} MiB | "
              f"waveform {w[0] * 1000:7.1f} ms {w[1] * 1000:7.1f} ms cpu {w[2] / 1024:5.1f} MiB | "
              f"wall {w[0] / b[0]:4.2f}x cpu {w[1] / b[1]:4.2f}x {'met' if w[0] <= b[0] else 'NOT met'}",
              flush=True)

    if not args.quick and not args.only:
        print("\n10 hours at -z 64 into a file (target: under 64 MiB)")
        sparse_wav(p("10h.wav"), 16000, 1, 36000)
        raw = p("10h.raw")
        with open(raw, "wb") as r:
            r.truncate(RATE * 2 * 2 * 36000)
        for label, cmd in [
            ("10-h WAV 16 kHz mono", ["-i", p("10h.wav")]),
            ("10-h raw 44.1 kHz stereo", ["-i", raw, "--input-format", "raw", "--raw-samplerate", str(RATE),
                                          "--raw-channels", "2", "--raw-format", "s16le"]),
        ]:
            out = p("10h.dat")
            t, m = measure([peaktool, "waveform", "-q", *cmd, "-o", out, "-z", "64", "--split-channels"], 1,
                           lambda: os.path.exists(out) and os.remove(out))
            size = os.path.getsize(out) / 2 ** 20
            print(f"  {label:26} {t:7.1f} s {m / 1024:6.1f} MiB (data {size:.0f} MiB) "
                  f"{'met' if m / 1024 < 64 else 'NOT met'}", flush=True)
    if not args.work:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
