#!/usr/bin/env python3
"""Runs a command and measures it with its children: wall time, CPU time
(user + system of the command and every child it waited for, as
getrusage(RUSAGE_CHILDREN) counts it), the command's own peak memory, the
largest peak of one child, and the peak of their resident memory summed
at one moment (looked at every 50 ms).

usage: tree_usage.py OUT.json LIMIT_S COMMAND [ARGS...]
Writes the figures to OUT.json and ends with the command's exit status; a
command still running after LIMIT_S seconds is killed (status 124).
"""

import json
import os
import resource
import subprocess
import sys
import time


def status_kb(pid, field):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except (OSError, ValueError, IndexError):
        pass
    return None


def cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read()
    except OSError:
        return None


def children(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(x) for x in f.read().split()]
    except OSError:
        return []


def main():
    out, limit, cmd = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.Popen(cmd)
    parent_peak = 0
    child_peaks = {}
    tree_peak = 0
    while proc.poll() is None:
        peak = status_kb(proc.pid, "VmHWM")
        if peak:
            parent_peak = max(parent_peak, peak)
        total = status_kb(proc.pid, "VmRSS") or 0
        mine = cmdline(proc.pid)
        for child in children(proc.pid):
            # A child started but not yet running its own program shares the
            # parent's memory: only counted once it has its own.
            if cmdline(child) == mine:
                continue
            peak = status_kb(child, "VmHWM")
            if peak:
                child_peaks[child] = max(child_peaks.get(child, 0), peak)
            total += status_kb(child, "VmRSS") or 0
        tree_peak = max(tree_peak, total)
        if time.monotonic() - start > limit:
            proc.kill()
            proc.wait()
            break
        time.sleep(0.05)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    figures = {
        "status": proc.returncode,
        "wall_s": round(wall, 3),
        "user_s": round(after.ru_utime - before.ru_utime, 3),
        "system_s": round(after.ru_stime - before.ru_stime, 3),
        # The largest peak of any one process of the tree (kB), as the kernel kept it.
        "maxrss_kb": after.ru_maxrss,
        "parent_peak_kb": parent_peak,
        "children": len(child_peaks),
        "child_peak_kb": max(child_peaks.values()) if child_peaks else 0,
        "tree_peak_kb": tree_peak,
    }
    with open(out, "w") as f:
        json.dump(figures, f)
    if time.monotonic() - start > limit:
        return 124
    return proc.returncode if proc.returncode >= 0 else 128 - proc.returncode


if __name__ == "__main__":
    sys.exit(main())
