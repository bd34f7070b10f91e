#!/usr/bin/env python3
"""Runs the benchmarks of `make bench` and writes build/bench/summary.md.

Every figure is the median of several runs and stands beside its floor, run
in the same pass, because the machines are shared and noisy: the ratios are
what to read, not the absolute times."""
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
BIN = os.path.join(BUILD, "bin")
OUT = os.path.join(BUILD, "bench")
RUNS = int(os.environ.get("BENCH_RUNS", "3"))
XVFB = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"]
SEED = "1700000000"
STATS = re.compile(r"(\d+) frames, ([\d.]+) frames per second, frame interval p50 ([\d.]+) ms, p99 ([\d.]+) ms; "
                   r"frame cost p50 ([\d.]+) ms, p99 ([\d.]+) ms; first frame ([\d.]+) ms")
FIRST = re.compile(r"first frame ([\d.]+) ms after start")

os.makedirs(OUT, exist_ok=True)
work = tempfile.mkdtemp(prefix="orbelline_bench_")
rows = []  # (section, what, figure, floor, ratio, goal)


def median(values):
    return statistics.median(values) if values else float("nan")


def run(cmd, timeout=600, env=None):
    start = time.monotonic()
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=timeout, env=env)
    return time.monotonic() - start, p.stdout + p.stderr, p.returncode


def orbelline(args, window=False):
    cmd = [os.path.join(BIN, "orbelline"), "--stats", "--out", work] + args
    return run(XVFB + cmd if window else cmd)


def write(name, text):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def fmt_ms(ms):
    return f"{ms / 1000:.2f} s" if ms >= 1000 else f"{ms:.2f} ms" if ms >= 1 else f"{ms * 1000:.1f} us"


def add(section, what, figure, floor, ratio, goal):
    rows.append((section, what, figure, floor, f"{ratio:.2f}x" if isinstance(ratio, float) else ratio, goal))
    print(f"{section}: {what}: {figure} vs {floor} = {rows[-1][4]} ({goal})", flush=True)


# The demo's first turn, without PNGs: a rub, the answer, a shake.
demo = [l for l in open("assets/demo.script") if not l.startswith("png")]
frame_script = write("frames.script", "".join(demo[:80]) + "frames 60\n")
print("frames: the program against the replay of its own GL calls", flush=True)
per_scale = {}
for scale in (1, 2, 3):
    prog, frames = [], 0
    for _ in range(RUNS):
        _, out, rc = orbelline(["--headless", "--scale", str(scale), "--seed", SEED, "--script", frame_script])
        m = STATS.search(out)
        if rc != 0 or not m:
            print(out)
            sys.exit("orbelline failed")
        frames = int(m.group(1))
        prog.append(float(m.group(5)))
    trace = os.path.join(work, f"frames{scale}.trace")
    run(["apitrace", "trace", "--api", "egl", "-o", trace, os.path.join(BIN, "orbelline"), "--headless", "--out",
         work, "--scale", str(scale), "--seed", SEED, "--script", frame_script])
    replay = []
    for _ in range(RUNS):
        _, out, rc = run(XVFB + ["eglretrace", "--benchmark", trace])
        m = re.search(r"Rendered \d+ frames in ([\d.]+) secs", out)
        if rc == 0 and m:
            replay.append(float(m.group(1)) * 1000 / frames)
    p, r = median(prog), median(replay)
    per_scale[scale] = p
    add("frame", f"scale {scale} ({320 * scale} x {480 * scale}), {frames} frames", fmt_ms(p) + " a frame",
        fmt_ms(r) + " (eglretrace)", p / r if replay else "n/a", "<= 1.10")
add("frame", "growth with pixels, scale 1 to 3 (9x the pixels)", f"{per_scale[3] / per_scale[1]:.2f}x", "9x", 
    per_scale[3] / per_scale[1] / 9, "linear or better")

print("window: the window against headless at the same scale", flush=True)
headless_script = write("headless.script", "frames 200\n")
for scale in (1, 2, 3):
    win, head = [], []
    for _ in range(RUNS):
        _, out, _ = orbelline(["--headless", "--scale", str(scale), "--seed", SEED, "--script", headless_script])
        m = STATS.search(out)
        if m:
            head.append(float(m.group(5)))
        _, out, _ = orbelline(["--window", "--scale", str(scale), "--quit-after", "4"], window=True)
        m = STATS.search(out)
        if m:
            win.append(float(m.group(5)))
    w, h = median(win), median(head)
    add("window", f"scale {scale}, frame cost p50", fmt_ms(w), fmt_ms(h) + " (headless)",
        w / h if win and head else "n/a", "<= 1.03")

print("start-up: first presented frame against a bare decode of the pack's images", flush=True)
quit_script = write("quit.script", "quit\n")
art = sorted(os.path.join(BUILD, "art", f) for f in os.listdir(os.path.join(BUILD, "art")) if f.endswith(".png"))
first, bare = [], []
for _ in range(RUNS):
    _, out, _ = orbelline(["--headless", "--seed", SEED, "--script", quit_script])
    m = FIRST.search(out)
    if m:
        first.append(float(m.group(1)))
    _, out, _ = run([os.path.join(BIN, "startup_decode")] + art)
    m = re.search(r"([\d.]+) ms after start", out)
    if m:
        bare.append(float(m.group(1)))
add("start-up", "process start to the first frame (scale 1)", fmt_ms(median(first)),
    fmt_ms(median(bare)) + " (libpng alone)", median(first) / median(bare), "<= 1.3")

# Google Benchmark programs: medians of the repetitions, CPU time.
def gbench(name, args=()):
    path = os.path.join(OUT, name + ".json")
    exe = os.path.join(BIN, name)
    if not os.path.exists(exe):
        print(f"{name}: not built (its floor is not installed)")
        return {}
    print(f"{name}", flush=True)
    run([exe, f"--benchmark_repetitions={RUNS}", "--benchmark_min_time=0.05", "--benchmark_report_aggregates_only=true",
         "--benchmark_out=" + path, "--benchmark_out_format=json"] + list(args), timeout=900)
    try:
        data = json.load(open(path))
    except (OSError, ValueError):
        return {}
    result = {}
    for b in data.get("benchmarks", []):
        if b.get("aggregate_name") == "median":
            unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}[b.get("time_unit", "ns")]
            result[b["run_name"]] = b["cpu_time"] * unit
    return result


def growth(section, results, stem, sizes, label):
    times = [results.get(f"{stem}/{s}") for s in sizes]
    if None in times:
        return
    steps = ", ".join(f"{times[i + 1] / times[i]:.1f}x" for i in range(len(times) - 1))
    add(section, f"{label}: {' / '.join(fmt_ms(t) for t in times)}", f"growth {steps} per 10x", "10x",
        max(times[i + 1] / times[i] for i in range(len(times) - 1)) / 10, "<= 1.1 (11x)")


tex = gbench("texture_bench")
for fmt, label in (("png", "PNG"), ("jpeg", "JPEG"), ("tga", "TGA")):
    for size, pixels in ((100, "10k"), (316, "100k"), (1000, "1M")):
        e, s = tex.get(f"Engine/{fmt}/{size}"), tex.get(f"Stb/{fmt}/{size}")
        if e and s:
            add("decode", f"{label}, {pixels} pixels", fmt_ms(e), fmt_ms(s) + " (stb_image)", e / s,
                "<= 1.0" if fmt == "tga" else "near 1")
    growth("decode", tex, f"Engine/{fmt}", (100, 316, 1000), f"{label} 10k / 100k / 1M pixels")

pack = gbench("pack_bench")
for n in (100, 1000, 10000):
    e, s = pack.get(f"Lookup/{n}"), pack.get(f"BareWalk/{n}")
    if e and s:
        add("pack", f"last of {n} entries", fmt_ms(e), fmt_ms(s) + " (bare header walk)", e / s, "near 1")
growth("pack", pack, "Lookup", (100, 1000, 10000), "lookup 100 / 1k / 10k entries")

normals = gbench("normals_bench")
growth("builders", normals, "BM_Weld", (10000, 100000, 1000000), "weld 10k / 100k / 1M vertices")
growth("builders", normals, "BM_SmoothNormals", (10000, 100000, 1000000), "smooth normals 10k / 100k / 1M")
shadow = gbench("shadow_bench")
growth("builders", shadow, "BM_ShadowFrameMove", (1000, 10000, 100000), "silhouette 1k / 10k / 100k triangles")
imp = gbench("import_bench", ["--benchmark_filter=BM_LoadObj|BM_Load3DS"])
growth("loaders", imp, "BM_LoadObj", (30000, 300000, 1000000), "OBJ 30k / 300k / 1M quads (last step 3.3x)")
growth("loaders", imp, "BM_Load3DS", (30000, 300000, 1000000), "3DS 30k / 300k / 1M quads (last step 3.3x)")

cpu = "unknown"
try:
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
except OSError:
    pass
glinfo = "Mesa llvmpipe"
machine = f"{cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}, {glinfo}; load average " \
          f"{os.getloadavg()[0]:.1f} at the end"
with open(os.path.join(OUT, "summary.md"), "w") as f:
    f.write(f"Run of {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())} on {machine}. "
            f"Medians of {RUNS} runs; ratio = figure / floor.\n\n")
    f.write("| | what | figure | floor | ratio | goal |\n|---|---|---|---|---|---|\n")
    for r in rows:
        f.write("| " + " | ".join(str(c) for c in r) + " |\n")
print(f"wrote {os.path.join(OUT, 'summary.md')}")
shutil.rmtree(work, ignore_errors=True)
