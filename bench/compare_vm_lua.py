#!/usr/bin/env python3
"""Runs a ZBL-beside-Lua benchmark binary (bench_vm, bench_builtins) and prints, for each
program, the ZBL time, the Lua 5.4 time and their ratio (ZBL / Lua; below 1 means the virtual
machine was faster).

    python3 bench/compare_vm_lua.py build/bench/bench_vm [--repetitions N] [benchmark options]

Both sides are processor time: the ZBL side the benchmark's CPU time, the Lua side the time
lua5.4 measures itself with os.clock() (interpreter start-up excluded). With repetitions
(default 3) each side's figure is its fastest repetition, the one least disturbed by other
work on the machine.
"""
import json
import subprocess
import sys


def main():
    args = sys.argv[1:]
    binary = args.pop(0) if args and not args[0].startswith("-") else "build/bench/bench_vm"
    repetitions = 3
    if "--repetitions" in args:
        at = args.index("--repetitions")
        repetitions = int(args[at + 1])
        del args[at:at + 2]
    out = subprocess.run([binary, "--benchmark_format=json", f"--benchmark_repetitions={repetitions}"] + args,
                         check=True, capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue  # the mean, median and deviation rows
        name = b["name"].split("/")[0]  # BM_ZBL_Loop, BM_Lua_Loop/iterations:3/manual_time
        side, test = name.split("_", 2)[1:]
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        value = (b["real_time"] if side == "Lua" else b["cpu_time"]) * scale
        best = times.setdefault(test, {})
        best[side] = min(best.get(side, value), value)
    print(f"{'benchmark':<12} {'ZBL ms':>10} {'Lua ms':>10} {'ratio':>7}")
    for test, t in times.items():
        if "ZBL" in t and "Lua" in t:
            print(f"{test:<12} {t['ZBL']:>10.3f} {t['Lua']:>10.3f} {t['ZBL'] / t['Lua']:>7.2f}")


if __name__ == "__main__":
    main()
