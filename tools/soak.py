#!/usr/bin/env python3
"""The soak campaign: updates one after another for a given time, each with a
plan drawn from a seed (devices, ports, a fault per device, a stop or a cut
line), and after each run a check of what the devices received against what
the program said. Started by tools/soak.sh; see there for the usage.

Run k's plan depends only on the seed and k, so a violation is replayed with
QRT_SOAK_ONLY=k and the same seed.

What is checked after every run:
  - a port ends with code 0 if and only if its device received every page of
    every controller of the model and "FWUE" came last; after a failure the
    device never received "FWUE" (except code 8 for a closing command a
    device server did not confirm: the program cannot tell, and says so;
    and a stop that came after "FWUE" went, with every controller done);
  - the record (--report) exists, its code is the exit status, "updated" says
    code 0 and not stopped, no controller is claimed to have more pages
    confirmed than the device answered "A2" to, and an "ok" controller has all
    of them; with several ports the exit status is the first failing port's
    code in the order given (unless a stop signal was sent), and each
    summary line's code is its port's record's code;
  - the program ends (no hang: a generous limit that only a program waiting
    forever reaches), and no process of its process group is left;
  - every port can be taken again at once: no process but the simulator (and
    ser2net) holds the terminal, and its lock (flock, as the program takes it)
    is free;
  - descriptors (native program): a program runs for one update and exits, so
    "not growing across runs" is read as "no descriptor leaked within a run,
    and nothing held over to the next". While a run goes on, the soak lists the
    descriptors of the program and of each child it started, every 50 ms: a
    port's process holds its standard streams, at most one port (its own
    terminal, or one socket) and at most two files (a container read and a
    record being written); the several-ports parent holds no port and at most
    two pipes per port. A descriptor leaked once per page, controller or file
    stays open and exceeds these. What outlives a run (processes, the port's
    holders and lock) is checked after it, above.
"""

import json
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

NAME = "QRT_Update_OP_FWV2.04"
# model -> (qrtsim family, channels, main pages); every channel gets 80 pages.
MODELS = {
    "QRT1220": ("12x0", 2, 300),
    "QRT1230": ("12x0", 3, 300),
    "QRT1430": ("14x0", 3, 350),
    "QRT1440": ("14x0", 4, 350),
}
CHANNEL_PAGES = 80
# Every fault kind qrtsim has (qrtsim --help).
FAULTS = ["ident", "silent", "announce", "addr", "noa1", "e2", "badsum", "noclose", "noise", "hangup", "late",
          "slow"]
PER_PAGE = {"addr", "noa1", "e2", "badsum"}
STOP_SIGNALS = {"INT": signal.SIGINT, "TERM": signal.SIGTERM, "HUP": signal.SIGHUP}
# A run that takes longer than this is waiting for something that never comes.
# The slowest plan (a delay on every reply) takes well under a minute unloaded.
RUN_LIMIT_S = float(os.environ.get("QRT_SOAK_RUN_LIMIT", "300"))
# How long "FWUE" may take to reach a device after the program has ended.
FWUE_WAIT_S = 30
# The record's reason when a device server did not confirm the closing command.
CLOSE_UNCONFIRMED = "the closing command may not have reached the device"


def pages_of(model, controller):
    return MODELS[model][2] if controller == "main" else CHANNEL_PAGES


def draw_fault(rng, model):
    """One of qrtsim's faults at a random controller and page, as its --fault text."""
    channels = MODELS[model][1]
    kind = rng.choice(FAULTS)
    targets = ["main"] + ["ch%d" % c for c in range(1, channels + 1)]
    if kind == "noclose":
        targets = targets[1:]
    target = rng.choice(targets)
    page = rng.randint(1, pages_of(model, target))
    if kind in PER_PAGE:
        return "%s:%s@%d" % (target, kind, page)
    if kind == "silent":
        return "%s:silent" % target if rng.random() < 0.3 else "%s:silent@%d" % (target, page)
    if kind in ("late", "slow"):
        # On one page: from barely noticed to beyond the program's wait (half a
        # second for a reply, 200 ms between characters); on every reply of
        # the controller: a millisecond, so that the run stays short.
        if rng.random() < 0.7:
            return "%s:%s@%d=%d" % (target, kind, page, rng.choice([5, 60, 150, 400, 1500]))
        return "%s:%s=1" % (target, kind)
    return "%s:%s" % (target, kind)


def draw_plan(seed, index, network):
    rng = random.Random("%s/%d" % (seed, index))
    model = rng.choice(sorted(MODELS))
    ndev = rng.randint(1, 4)
    coms = sorted(rng.sample(range(1, 30), ndev))
    rng.shuffle(coms)
    devices = []
    for com in coms:
        kind = "pty"
        if network and rng.random() < 0.25:
            kind = rng.choice(["rfc2217", "socket"])
        fault = draw_fault(rng, model) if rng.random() < 0.6 else None
        devices.append({"com": com, "kind": kind, "fault": fault})
    event = None
    r = rng.random()
    if r < 0.15:
        sig = rng.choice(sorted(STOP_SIGNALS)) if not WINE else "INT"
        event = {"what": "stop", "signal": sig, "group": rng.random() < 0.5, "at": round(rng.uniform(0, 3.0), 2)}
    elif r < 0.25:
        event = {"what": "cut", "device": rng.randrange(ndev), "at": round(rng.uniform(0, 3.0), 2)}
    return {"run": index, "model": model, "devices": devices, "event": event}


def plan_text(plan):
    parts = []
    for d in plan["devices"]:
        parts.append("COM%d %s %s" % (d["com"], d["kind"], d["fault"] or "no fault"))
    text = "%s; %s" % (plan["model"], ", ".join(parts))
    ev = plan["event"]
    if ev and ev["what"] == "stop":
        text += "; SIG%s to the %s at %.2f s" % (ev["signal"], "group" if ev["group"] else "program", ev["at"])
    elif ev:
        text += "; COM%d's line cut at %.2f s" % (plan["devices"][ev["device"]]["com"], ev["at"])
    return text


def wait_line(path, proc, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            with open(path) as f:
                line = f.readline().strip()
            if line:
                return line
        except OSError:
            pass
        if proc.poll() is not None:
            return None
        time.sleep(0.02)
    return None


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def listening(port):
    s = socket.socket()
    s.settimeout(1)
    try:
        return s.connect_ex(("127.0.0.1", port)) == 0
    finally:
        s.close()


class Device:
    """One simulated power supply: qrtsim on a pty, and ser2net in front of it
    for a network port."""

    def __init__(self, setup, model, folder, qrtsim):
        self.setup = setup
        self.folder = folder
        self.report = os.path.join(folder, "sim.json")
        self.sim = None
        self.server = None
        self.hold = None
        self.pty_cut = False  # the plan hung the pty up
        self.pty = None
        self.address = None
        try:
            self._start(model, qrtsim)
        except (RuntimeError, OSError):
            self.stop()  # what did start, the simulator at least, ends here
            raise

    def _start(self, model, qrtsim):
        family, channels, _ = MODELS[model]
        folder = self.folder
        setup = self.setup
        args = [qrtsim, "--verbose", "--family", family, "--channels", str(channels), "--report", self.report,
                "--max-seconds", str(int(RUN_LIMIT_S) + 60)]
        if setup["fault"]:
            args += ["--fault", setup["fault"]]
        os.makedirs(folder)
        self.out = os.path.join(folder, "sim.out")
        self.err = os.path.join(folder, "sim.err")
        with open(self.out, "w") as out, open(self.err, "w") as err:
            self.sim = subprocess.Popen(args, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        self.pty = wait_line(self.out, self.sim)
        if not self.pty:
            raise RuntimeError("qrtsim printed no port")
        self.address = self.pty
        # The soak keeps the terminal open itself until the run has been
        # checked: a pty hung up mid-update keeps its number, so no device of
        # a later run (or of another soak) takes it while a program of this
        # run, not yet started or still running, may open it by that name.
        self.hold = os.open(self.pty, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        if setup["kind"] != "pty":
            port = free_port()
            accepter = "telnet(rfc2217),tcp" if setup["kind"] == "rfc2217" else "tcp"
            conf = os.path.join(folder, "ser2net.yaml")
            with open(conf, "w") as f:
                f.write("connection: &qrt\n    accepter: %s,127.0.0.1,%d\n"
                        "    connector: serialdev,%s,19200n81,local\n"
                        # Unpaced: what the device says goes on at once.
                        "    options:\n      chardelay: false\n" % (accepter, port, self.pty))
            with open(os.path.join(folder, "ser2net.log"), "w") as log:
                self.server = subprocess.Popen(["ser2net", "-n", "-d", "-c", conf, "-P",
                                                os.path.join(folder, "ser2net.pid")],
                                               stdout=log, stderr=log, stdin=subprocess.DEVNULL)
            end = time.monotonic() + 10
            while not listening(port):
                if time.monotonic() > end or self.server.poll() is not None:
                    raise RuntimeError("ser2net does not listen")
                time.sleep(0.05)
            self.address = "%s://127.0.0.1:%d" % (setup["kind"], port)

    def wait_for(self, text, seconds):
        """Until the simulator has logged TEXT (it logs every command), it
        has ended, or SECONDS have passed."""
        end = time.monotonic() + seconds
        while time.monotonic() < end and self.sim.poll() is None:
            with open(self.err, errors="replace") as f:
                if text in f.read():
                    return
            time.sleep(0.05)

    def cut(self):
        """The line goes: ser2net killed, or the pty hung up (qrtsim ends and
        closes its side, writing its report)."""
        if self.server:
            self.server.kill()
        else:
            self.pty_cut = True
            self.sim.terminate()

    def stop(self):
        for p in (self.server, self.sim):
            if p and p.poll() is None:
                p.terminate()
        for p in (self.server, self.sim):
            if p:
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        if self.hold is not None:
            os.close(self.hold)
            self.hold = None

    def received(self):
        try:
            with open(self.report) as f:
                return json.load(f)
        except (OSError, ValueError):
            return None


def fd_targets(pid):
    out = []
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            try:
                out.append((int(fd), os.readlink("/proc/%d/fd/%s" % (pid, fd))))
            except OSError:
                pass
    except OSError:
        return None
    return out


def children(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(x) for x in f.read().split()]
    except OSError:
        return []


def cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read()
    except OSError:
        return None


def fd_problem(pid, targets, parent, nports, sanitized):
    """What is wrong with a process's descriptors, or None (see the top of the file)."""
    ports = [t for fd, t in targets if fd > 2 and (t.startswith("/dev/pts/") or t.startswith("/dev/tty")
                                                    or t.startswith("socket:"))]
    pipes = [t for fd, t in targets if fd > 2 and t.startswith("pipe:")]
    files = [t for fd, t in targets if fd > 2 and t.startswith("/") and not t.startswith("/dev/")]
    if parent:
        if ports:
            return "the several-ports process %d holds a port: %s" % (pid, ports)
        # Two per child, and both ends of two more while a child is being started.
        if len(pipes) > 2 * nports + 2:
            return "the several-ports process %d holds %d pipes for %d ports" % (pid, len(pipes), nports)
    else:
        if len(ports) > 1:
            return "process %d holds %d ports: %s" % (pid, len(ports), ports)
        # The sanitizers' runtime probes memory through a pipe of its own for a
        # moment (both ends in the process), so pipes only count without it.
        if pipes and not sanitized:
            return "process %d holds pipes beyond its standard streams: %s" % (pid, pipes)
    if len(files) > 2:
        return "process %d holds %d files: %s" % (pid, len(files), files)
    return None


def group_members(pgid):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rfind(")") + 2:].split()
        if len(fields) > 2 and int(fields[2]) == pgid and fields[0] != "Z":
            found.append(int(entry))
    return found


def holders(path, allowed):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) in allowed:
            continue
        try:
            fds = os.listdir("/proc/%s/fd" % entry)
        except OSError:
            continue
        for fd in fds:
            try:
                if os.readlink("/proc/%s/fd/%s" % (entry, fd)) == path:
                    found.append(int(entry))
                    break
            except OSError:
                pass
    return found


def lock_free(path):
    """Takes the port's lock as the program does (flock, not waiting)."""
    import fcntl
    try:
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError as e:
        return "cannot be opened: %s" % e.strerror
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return None
    except OSError as e:
        return "its lock is taken: %s" % e.strerror
    finally:
        os.close(fd)


def port_codes(record, nports):
    """Each port's code as the record says, None where it cannot be read."""
    try:
        with open(record) as f:
            rec = json.load(f)
    except (OSError, ValueError):
        return [None] * nports
    ports = [rec] if nports == 1 else rec.get("devices", [])
    codes = [p.get("code") if isinstance(p, dict) else None for p in ports]
    return (codes + [None] * nports)[:nports]


def complete(model, sim):
    """Every page of every controller arrived, each confirmed, and "FWUE" came last."""
    if not sim:
        return False
    ctrls = sim.get("controllers", {})
    names = ["main"] + ["ch%d" % c for c in range(1, MODELS[model][1] + 1)]
    for n in names:
        c = ctrls.get(n)
        if not c or c["pages"] != pages_of(model, n) or not c["all_pages_ok"] or not c["addresses_in_order"]:
            return False
    return sim["fwue"] == 1 and bool(sim["commands"]) and sim["commands"][-1] == "FWUE"


def check_port(model, com, rec, sim, violations):
    where = "COM%d" % com
    code = rec.get("code")
    if sim is None:
        violations.append("%s: the simulator wrote no report" % where)
        return
    done = complete(model, sim)
    # "FWUE" awaits no reply: a device server that hangs up right after it
    # leaves the program unable to tell whether it reached the line, and it
    # says so (code 8) rather than claim a success.
    # A stop that comes after "FWUE" went changes nothing: the run still
    # ends with what it found (0, or 8 as above), never with the stop's code.
    unconfirmed_close = code == 8 and CLOSE_UNCONFIRMED in (rec.get("reason") or "")
    if code == 0 and not done:
        violations.append("%s: code 0, but the device did not receive every page and \"FWUE\" last (%s)"
                          % (where, " | ".join(sim.get("commands", []))))
    if done and code != 0 and not unconfirmed_close:
        violations.append("%s: the device received every page and \"FWUE\", but the code is %s" % (where, code))
    if code != 0 and sim.get("fwue", 0) != 0 and not unconfirmed_close:
        violations.append("%s: \"FWUE\" sent after a failure (code %s)" % (where, code))
    if rec.get("updated") != (code == 0 and not rec.get("interrupted")):
        violations.append("%s: record says updated=%s with code %s" % (where, rec.get("updated"), code))
    for c in rec.get("controllers", []):
        got = sim.get("controllers", {}).get(c["name"])
        confirmed_by_device = sum(1 for p in got["page_list"] if p["reply"] == "A2") if got else 0
        if c["confirmed"] > confirmed_by_device:
            violations.append("%s: record claims %d pages of %s confirmed, the device confirmed %d"
                              % (where, c["confirmed"], c["name"], confirmed_by_device))
        if c["result"] == "ok" and c["confirmed"] != c["pages"]:
            violations.append("%s: %s ok with %d of %d pages" % (where, c["name"], c["confirmed"], c["pages"]))


class Soak:
    def __init__(self, program, runner, qrtsim, work, seed):
        self.program = program
        self.runner = runner
        self.qrtsim = qrtsim
        self.work = work
        self.seed = seed
        self.network = shutil.which("ser2net") is not None
        self.outcomes = {}
        self.violations = []
        self.runs = 0
        self.wineprefix = os.environ.get("WINEPREFIX")
        with open(program, "rb") as f:
            # Linked with the sanitizers' runtime (g++ links it as a shared library).
            self.sanitized = b"__asan_init" in f.read()

    def winpath(self, path):
        return "Z:" + path if self.runner else path

    def map_port(self, com, address, env):
        if self.runner and not address.startswith(("rfc2217://", "socket://")):
            link = os.path.join(self.wineprefix, "dosdevices", "com%d" % com)
            if os.path.lexists(link):
                os.remove(link)
            os.symlink(address, link)
        else:
            env["QRTUPDATE_COM%d" % com] = address

    def unmap_ports(self, plan):
        if self.runner:
            for d in plan["devices"]:
                link = os.path.join(self.wineprefix, "dosdevices", "com%d" % d["com"])
                if os.path.lexists(link):
                    os.remove(link)

    def run_one(self, plan):
        folder = os.path.join(self.work, "run%d" % plan["run"])
        os.makedirs(folder)
        violations = []
        devices = []
        env = dict(os.environ)
        for k in list(env):
            if k.startswith("QRTUPDATE_COM"):
                del env[k]
        try:
            for i, setup in enumerate(plan["devices"]):
                devices.append(Device(setup, plan["model"], os.path.join(folder, "dev%d" % i), self.qrtsim))
                self.map_port(setup["com"], devices[-1].address, env)
        except (RuntimeError, OSError) as e:
            for d in devices:
                d.stop()
            self.unmap_ports(plan)
            # The soak's own set-up failed, not the program: said, and counted.
            return ["set-up: %s" % e]
        record = os.path.join(folder, "record.json")
        coms = ",".join("COM%d" % d["com"] for d in plan["devices"])
        args = ["--as", NAME, "--interface", coms, "--device", plan["model"], "--report", self.winpath(record),
                "update"]
        cmd = (["bash", self.runner, self.program] if self.runner else [self.program]) + args
        out_path = os.path.join(folder, "stdout")
        err_path = os.path.join(folder, "stderr")
        out = open(out_path, "w")
        err = open(err_path, "w")
        started_at = None
        start = time.monotonic()
        proc = subprocess.Popen(cmd, cwd=self.work, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                start_new_session=True)
        out.close()
        err.close()
        event = plan["event"]
        event_done = event is None
        sent_stop = False
        nports = len(plan["devices"])
        fd_issue = None
        status = None
        while True:
            status = proc.poll()
            if status is not None:
                break
            now = time.monotonic() - start
            if not event_done and self.runner and event["what"] == "stop" and started_at is None:
                # Under Wine a stop counts from the program's first line: before
                # its own code runs, Wine's default ends it on Ctrl-C with status 0,
                # which no program can change (Windows ends it with
                # STATUS_CONTROL_C_EXIT there).
                if os.path.getsize(out_path) or os.path.getsize(err_path):
                    started_at = now
            if not event_done and (now if started_at is None else now - started_at) >= event["at"] and (
                    not self.runner or event["what"] != "stop" or started_at is not None):
                event_done = True
                if event["what"] == "stop":
                    sig = STOP_SIGNALS[event["signal"]]
                    try:
                        if event["group"]:
                            os.killpg(proc.pid, sig)
                        else:
                            os.kill(proc.pid, sig)
                        sent_stop = True
                    except ProcessLookupError:
                        pass
                else:
                    devices[event["device"]].cut()
            if not self.runner and fd_issue is None:
                fd_issue = self.look_at_descriptors(proc.pid, nports)
            if now > RUN_LIMIT_S:
                violations.append("the program has not ended after %d s: killed" % RUN_LIMIT_S)
                os.killpg(proc.pid, signal.SIGKILL)
                status = proc.wait()
                break
            time.sleep(0.05)
        seconds = time.monotonic() - start
        if fd_issue:
            violations.append("descriptors: " + fd_issue)
        # Nothing of the run may outlive it; the ports must be free at once.
        left = group_members(proc.pid)
        if left:
            names = []
            for pid in left:
                try:
                    with open("/proc/%d/cmdline" % pid, "rb") as f:
                        names.append("%d %s" % (pid, f.read().replace(b"\0", b" ").decode(errors="replace")[:240]))
                except OSError:
                    pass
            if names:
                violations.append("processes left after the run: %s" % "; ".join(names))
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        for d in devices:
            if d.pty_cut or d.sim.poll() is not None:
                # Hung up by the plan: the terminal is gone, or going (the
                # simulator closes it before it writes its report and ends).
                continue
            allowed = {os.getpid(), d.sim.pid} | ({d.server.pid} if d.server and d.server.poll() is None else set())
            held = holders(d.pty, allowed)
            if held:
                violations.append("COM%d: %s still held by process %s after the run" % (d.setup["com"], d.pty, held))
            elif not d.server:
                problem = lock_free(d.pty)
                if problem:
                    violations.append("COM%d: %s %s after the run" % (d.setup["com"], d.pty, problem))
        # "FWUE" awaits no reply: the program may end while it is still on its
        # way (through ser2net above all). A port that ended with code 0 gets
        # it in its own time; the check below tells if it never came.
        for d, code in zip(devices, port_codes(record, len(devices))):
            if code == 0:
                d.wait_for("qrtsim: FWUE", FWUE_WAIT_S)
        for d in devices:
            d.stop()
        self.unmap_ports(plan)
        self.check_outcome(plan, folder, record, status, sent_stop, devices, violations)
        self.outcomes[status] = self.outcomes.get(status, 0) + 1
        return violations, status, seconds

    def look_at_descriptors(self, pid, nports):
        procs = [pid] + children(pid)
        mine = cmdline(pid)
        for p in procs:
            if p != pid and cmdline(p) == mine:
                continue  # started but not yet running its own program: the parent's descriptors still
            targets = fd_targets(p)
            if targets is None:
                continue
            issue = fd_problem(p, targets, nports > 1 and p == pid, nports, self.sanitized)
            if issue:
                # What the process is and what it holds, for the one who looks into it.
                name = (cmdline(p) or b"").replace(b"\0", b" ").decode(errors="replace")[:120]
                held = ", ".join("%d=%s" % (fd, t) for fd, t in sorted(targets))
                return "%s [%s process: %s; descriptors %s]" % (issue, "the program's" if p == pid else "a child",
                                                                 name, held)
        return None

    def check_outcome(self, plan, folder, record, status, sent_stop, devices, violations):
        try:
            with open(record) as f:
                rec = json.load(f)
        except (OSError, ValueError) as e:
            # A stop that comes before the program has installed its handlers
            # (the first milliseconds of the process) ends it by the signal
            # itself: no record then, and nothing may have reached a device.
            if sent_stop and status is not None and status < 0:
                for setup, dev in zip(plan["devices"], devices):
                    sim = dev.received()
                    if sim is None or sim.get("received_bytes", 0) != 0:
                        violations.append("COM%d: the program was ended by the signal before it began, yet "
                                          "its device received %s bytes" % (setup["com"], sim and sim.get(
                                              "received_bytes")))
                return
            violations.append("no record that can be read (%s), exit status %s" % (e, status))
            return
        if rec.get("code") != status:
            violations.append("the record's code is %s, the exit status %s" % (rec.get("code"), status))
        if len(plan["devices"]) == 1:
            ports = [rec]
        else:
            ports = rec.get("devices", [])
            names = [p.get("interface") for p in ports]
            wanted = ["COM%d" % d["com"] for d in plan["devices"]]
            if names != wanted:
                violations.append("the record's ports are %s, not %s" % (names, wanted))
                return
            codes = [p.get("code") for p in ports]
            first = next((c for c in codes if c != 0), 0)
            if not sent_stop and status != first:
                violations.append("exit status %s, but the first failing port's code is %s (%s)"
                                  % (status, first, codes))
            summary = {}
            with open(os.path.join(folder, "stdout"), errors="replace") as f:
                for line in f:
                    cols = line.rstrip("\n").split("\t")
                    if len(cols) >= 3 and cols[0] in wanted and cols[2].isdigit():
                        summary[cols[0]] = int(cols[2])
            for name, code in zip(wanted, codes):
                if summary.get(name) != code:
                    violations.append("%s: summary line says %s, its record %s" % (name, summary.get(name), code))
        for setup, dev, port in zip(plan["devices"], devices, ports):
            check_port(plan["model"], setup["com"], port, dev.received(), violations)

    def soak(self, minutes, only):
        end = time.monotonic() + minutes * 60
        index = 0
        slowest = 0.0
        while True:
            if only is not None:
                index = only
            elif time.monotonic() >= end and index > 0:
                break
            plan = draw_plan(self.seed, index, self.network)
            result = self.run_one(plan)
            if isinstance(result, list):
                violations, status, seconds = result, "set-up", 0
            else:
                violations, status, seconds = result
            slowest = max(slowest, seconds)
            self.runs += 1
            if violations:
                self.violations.append((plan, status, violations))
                print("VIOLATION in run %d (seed %s): %s" % (index, self.seed, plan_text(plan)), flush=True)
                print("  exit status %s" % status)
                for v in violations:
                    print("  " + v, flush=True)
            elif os.environ.get("QRT_SOAK_VERBOSE"):
                print("run %d: %s -> %s (%.1f s)" % (index, plan_text(plan), status, seconds), flush=True)
            index += 1
            if only is not None:
                break
        return slowest


WINE = False


def main():
    global WINE
    if len(sys.argv) < 4:
        print("usage: soak.py PROGRAM RUNNER QRTSIM MINUTES [SEED]", file=sys.stderr)
        return 64
    program, runner, qrtsim, minutes = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    seed = sys.argv[5] if len(sys.argv) > 5 else str(random.SystemRandom().randrange(1 << 31))
    WINE = bool(runner)
    only = os.environ.get("QRT_SOAK_ONLY")
    only = int(only) if only else None
    work = tempfile.mkdtemp(prefix="qrt-soak.")
    for f in ("FW1A", "FW1C", "FW1E", "FW2A", "FW2B"):
        with open(os.path.join(work, f + ".qrt"), "wb") as out:
            out.write(os.urandom(128000))
    soak = Soak(program, runner, qrtsim, work, seed)
    print("soak: %s%s, seed %s, %g minutes%s, work folder %s" % (
        program, " under Wine" if runner else "", seed, minutes,
        "" if soak.network else " (no ser2net: local ports only)", work), flush=True)
    started = time.monotonic()
    slowest = soak.soak(minutes, only)
    print("soak: %d runs in %.1f minutes (seed %s), slowest run %.1f s" % (
        soak.runs, (time.monotonic() - started) / 60, seed, slowest))
    for code in sorted(soak.outcomes, key=lambda c: (not isinstance(c, int), c if isinstance(c, int) else 0)):
        print("  exit status %s: %d runs" % (code, soak.outcomes[code]))
    print("soak: %d violations" % len(soak.violations))
    if soak.violations:
        print("soak: kept the work folder %s" % work)
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
