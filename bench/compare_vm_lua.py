#!/usr/bin/env python3
"""Runs bench_vm once and prints, for each benchmark, the ZBL time, the Lua 5.4 time and
their ratio (ZBL / Lua; below 1 means the virtual machine was faster).

    python3 bench/compare_vm_lua.py build/bench/bench_vm [extra benchmark options]
"""
import json
import subprocess
import sys


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build/bench/bench_vm"
    out = subprocess.run([binary, "--benchmark_format=json"] + sys.argv[2:], check=True,
                         capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        name = b["name"].split("/")[0]  # BM_ZBL_Loop, BM_Lua_Loop/iterations:5/manual_time
        side, test = name.split("_", 2)[1:]
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        times.setdefault(test, {})[side] = b["real_time"] * scale
    print(f"{'benchmark':<10} {'ZBL ms':>10} {'Lua ms':>10} {'ratio':>7}")
    for test, t in times.items():
        if "ZBL" in t and "Lua" in t:
            print(f"{test:<10} {t['ZBL']:>10.3f} {t['Lua']:>10.3f} {t['ZBL'] / t['Lua']:>7.2f}")


if __name__ == "__main__":
    main()
