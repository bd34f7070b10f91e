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


# Replays run on Mesa's surfaceless platform, as the program does.
replay_env = dict(os.environ, WAFFLE_PLATFORM="surfaceless_egl")


def read_backs(trace):
    _, out, _ = run(["apitrace", "dump", trace])
    return len(re.findall(r"\bglReadPixels\(", out))


def bench_frame():
    # The start of the demo without PNGs (the ball, then a rub across it). Two
    # lengths of the same session, so that what both runs share (start-up,
    # uploads, the driver compiling its shaders) drops out: per frame =
    # (long - short) / the frames between them, for the program and the replay.
    demo = "".join(l for l in list(open("assets/demo.script"))[:60] if not l.startswith("png"))
    demo += "up 1\n" if "down 1" in demo and demo.rfind("down 1") > demo.rfind("up 1") else ""
    EXTRA = 60
    short_script = write("short.script", demo + "frames 10\n")
    long_script = write("long.script", demo + f"frames {10 + EXTRA}\n")
    print("frames: the program against the replay of its own GL calls", flush=True)
    per_scale = {}
    for scale in (1, 2, 3):
        prog = {"short": [], "long": []}
        replay = {"short": [], "long": []}
        traces = {}
        for name, script in (("short", short_script), ("long", long_script)):
            traces[name] = os.path.join(work, f"{name}{scale}.trace")
            run(["apitrace", "trace", "--api", "egl", "-o", traces[name], os.path.join(BIN, "orbelline"), "--headless",
                 "--out", work, "--scale", str(scale), "--seed", SEED, "--script", script])
        # A run without png lines reads nothing back: the replay does what the
        # program does, frame for frame.
        reads = read_backs(traces["long"])
        add("frame", f"scale {scale}, glReadPixels calls recorded in {10 + EXTRA} frames without png lines",
            str(reads), "0", "n/a", "0")
        for _ in range(RUNS):
            for name, script in (("short", short_script), ("long", long_script)):
                t, out, rc = orbelline(["--headless", "--scale", str(scale), "--seed", SEED, "--script", script])
                if rc != 0:
                    print(out)
                    sys.exit("orbelline failed")
                prog[name].append(t * 1000)
                _, out, rc = run(["eglretrace", "--benchmark", "--headless", traces[name]], env=replay_env)
                m = re.search(r"Rendered \d+ frames in ([\d.]+) secs", out)
                if rc == 0 and m:
                    replay[name].append(float(m.group(1)) * 1000)
        p = (median(prog["long"]) - median(prog["short"])) / EXTRA
        r = (median(replay["long"]) - median(replay["short"])) / EXTRA if replay["long"] and replay["short"] else 0
        per_scale[scale] = p
        add("frame", f"scale {scale} ({320 * scale} x {480 * scale}), {EXTRA} frames of the demo", fmt_ms(p) + " a frame",
            fmt_ms(r) + " (eglretrace)", p / r if r > 0 else "n/a", "<= 1.10")
    add("frame", "growth with pixels, scale 1 to 3 (9x the pixels)", f"{per_scale[3] / per_scale[1]:.2f}x", "9x",
        per_scale[3] / per_scale[1] / 9, "linear or better")


def bench_window():
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


def bench_startup():
    print("start-up: first presented frame against the replay of its own calls and a bare decode", flush=True)
    quit_script = write("quit.script", "quit\n")
    art = sorted(os.path.join(BUILD, "art", f) for f in os.listdir(os.path.join(BUILD, "art")) if f.endswith(".png"))
    # The one-frame run recorded: its replay is the driver's start-up and uploads
    # for exactly the same calls, with no decoding, parsing or engine around them.
    one_frame_trace = os.path.join(work, "one-frame.trace")
    run(["apitrace", "trace", "--api", "egl", "-o", one_frame_trace, os.path.join(BIN, "orbelline"), "--headless",
         "--out", work, "--seed", SEED, "--script", quit_script])
    first, bare, replayed = [], [], []
    for _ in range(RUNS):
        _, out, _ = orbelline(["--headless", "--seed", SEED, "--script", quit_script])
        m = FIRST.search(out)
        if m:
            first.append(float(m.group(1)))
        t, _, rc = run(["eglretrace", "--headless", one_frame_trace], env=replay_env)
        if rc == 0:
            replayed.append(t * 1000)
        _, out, _ = run([os.path.join(BIN, "startup_decode")] + art)
        m = re.search(r"([\d.]+) ms after start", out)
        if m:
            bare.append(float(m.group(1)))
    add("start-up", "process start to the first frame (scale 1)", fmt_ms(median(first)),
        fmt_ms(median(replayed)) + " (eglretrace of the one-frame run, whole process)",
        median(first) / median(replayed) if replayed else "n/a", "<= 1.15")
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


def growth(section, results, stem, sizes, label, amounts=None):
    """Time growth against input growth, step by step (1.0 = linear); the
    input is `amounts` when the benchmark's argument is not its size."""
    times = [results.get(f"{stem}/{s}") for s in sizes]
    if None in times:
        return
    amounts = amounts or sizes
    steps = [(times[i + 1] / times[i], amounts[i + 1] / amounts[i]) for i in range(len(times) - 1)]
    text = ", ".join(f"{t:.1f}x for {n:.1f}x" for t, n in steps)
    add(section, f"{label}: {' / '.join(fmt_ms(t) for t in times)}", f"growth {text}", "linear",
        max(t / n for t, n in steps), "<= 1.1 (11x for 10x)")


def bench_programs():
    tex = gbench("texture_bench")
    for fmt, label in (("png", "PNG"), ("jpeg", "JPEG"), ("tga", "TGA")):
        for size, pixels in ((100, "10k"), (316, "100k"), (1000, "1M")):
            e, s = tex.get(f"Engine/{fmt}/{size}"), tex.get(f"Stb/{fmt}/{size}")
            if e and s:
                add("decode", f"{label}, {pixels} pixels", fmt_ms(e), fmt_ms(s) + " (stb_image)", e / s,
                    "<= 1.0" if fmt == "tga" else "near 1")
        growth("decode", tex, f"Engine/{fmt}", (100, 316, 1000), f"{label} 10k / 100k / 1M pixels",
               (100 * 100, 316 * 316, 1000 * 1000))

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
    imp = gbench("import_bench", ["--benchmark_filter=BM_LoadObj|BM_Load3DS|BM_TinyObjLoad"])
    for n, label in ((30000, "30k"), (300000, "300k"), (1000000, "1M")):
        e, s = imp.get(f"BM_LoadObj/{n}"), imp.get(f"BM_TinyObjLoad/{n}")
        if e and s:
            add("loaders", f"OBJ, {label} quads", fmt_ms(e), fmt_ms(s) + " (tinyobjloader)", e / s, "near 1")
    growth("loaders", imp, "BM_LoadObj", (30000, 300000, 1000000), "OBJ 30k / 300k / 1M quads")
    growth("loaders", imp, "BM_Load3DS", (30000, 300000, 1000000), "3DS 30k / 300k / 1M faces")
    x3d = gbench("model3dx_bench")
    for op, floor, verb in (("Save", "BareWrite", "one fwrite"), ("Load", "BareRead", "one fread")):
        for n, label in ((10000, "10k"), (100000, "100k"), (1000000, "1M")):
            e, s = x3d.get(f"{op}/{n}"), x3d.get(f"{floor}/{n}")
            if e and s:
                add("loaders", f"3DX {op.lower()}, {label} vertices", fmt_ms(e), fmt_ms(s) + f" ({verb} of the file)", e / s,
                    "near 1")
        growth("loaders", x3d, op, (10000, 100000, 1000000), f"3DX {op.lower()} 10k / 100k / 1M vertices")


# BENCH_SECTIONS=frame,start-up runs only those; every section by default.
SECTIONS = {"frame": bench_frame, "window": bench_window, "start-up": bench_startup, "programs": bench_programs}
wanted = [w for w in os.environ.get("BENCH_SECTIONS", ",".join(SECTIONS)).split(",") if w]
for w in wanted:
    if w not in SECTIONS:
        sys.exit(f"BENCH_SECTIONS: no section {w!r} (sections: {', '.join(SECTIONS)})")
for w in wanted:
    SECTIONS[w]()

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
