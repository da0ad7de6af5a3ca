#!/usr/bin/env python3
"""keepalive against a virtual appliance while something goes wrong around it.

Each row starts its own appliance (a G41-MS, which counts whole seconds),
lets a keepalive drive it, does its harm and judges from the appliance's own
log. Fail-safe: once the host is unhealthy or keepalive cannot work, the
expiry follows the last arming before the harm within what the hardware
counts + one interval (+1 s). A healthy row must see no expiry. One owner:
a second keepalive and the commands that change the watchdog are refused
(exit 6, naming the owner). Usage: chaos.py BYPASSCTL [ROW...]"""
import datetime, fcntl, json, os, shutil, signal, subprocess, sys, tempfile, time

CTL = sys.argv[1]
HARDWARE, INTERVAL = 4, 2
BOUND = HARDWARE + INTERVAL + 1
SICK = "test ! -e {d}/sick"  # healthy until the row creates {d}/sick
HANG = "test ! -e {d}/sick || sleep 60"
SLOW = "sleep 0.25"  # three of them: most of the check timeout (1 s) they share


class Run:
    def __init__(self, d):
        self.d, self.sock, self.keepalives, self.failures = d, d + "/s", [], []
        self.env = dict(os.environ, BYPASSCTL_LOCK_DIR=d)
        self.log = open(d + "/log", "w")
        self.appliance = subprocess.Popen(
            [CTL, "appliance", "--simulate", "6", "--socket", self.sock, "--json"], stdout=self.log)
        self.wait_for(lambda: os.path.exists(self.sock), 3)

    def keepalive(self, checks, *extra):
        args = [CTL, "--appliance", self.sock, "keepalive", "--timeout", str(HARDWARE),
                "--interval", str(INTERVAL), "--check-timeout", "1", *extra]
        for check in checks:
            args += ["--check", check.format(d=self.d)]
        k = subprocess.Popen(args, env=self.env, stdout=subprocess.DEVNULL,
                             stderr=open(self.d + "/keepalive.err", "a"))
        self.keepalives.append(k)
        return k

    def ctl(self, *args):
        return subprocess.run([CTL, "--appliance", self.sock, *args], env=self.env,
                              capture_output=True, text=True, timeout=10)

    def refused(self, owner, *args):
        r = self.ctl(*args)
        if r.returncode != 6 or f"(process {owner.pid}) owns" not in r.stderr \
                or "systemctl stop bypassctl-keepalive" not in r.stderr:
            self.failures.append(f"{' '.join(args)}: exit {r.returncode}, {r.stderr.strip()}")

    @staticmethod
    def wait_for(condition, seconds):
        end = time.time() + seconds
        while not condition() and time.time() < end:
            time.sleep(0.05)

    def events(self):
        with open(self.d + "/log") as log:
            lines = [e for e in map(json.loads, log) if "time" in e]
        for e in lines:
            e["t"] = datetime.datetime.fromisoformat(e["time"].replace("Z", "+00:00")).timestamp()
        return lines

    def end(self):
        for k in self.keepalives:
            if k.poll() is None:
                k.send_signal(signal.SIGCONT)
                k.terminate()
            k.wait()
        self.appliance.terminate()
        self.appliance.wait()


def sick(run):
    open(run.d + "/sick", "w").close()


def kill_and_restart(sig, checks):
    def harm(run):
        sick(run)
        for _ in range(4):
            run.keepalives[-1].send_signal(sig)
            run.keepalives[-1].wait()
            run.keepalive(checks)
            time.sleep(1.5)
    return harm


def hold_lock(run):
    # A read-only open can lock: any user may hold it.
    run.holder = open(run.d + "/bypassctl.lock", "a+")
    fcntl.flock(run.holder, fcntl.LOCK_EX)


def fifo_pidfile(run):
    os.remove(run.d + "/pid")
    os.mkfifo(run.d + "/pid")


def second_keepalive(run):
    second = run.keepalive([])
    run.wait_for(lambda: second.poll() is not None, 5)
    if second.returncode != 6:
        run.failures.append(f"a second keepalive was not refused (exit {second.returncode})")
    sick(run)


def changes_refused(run):
    owner = run.keepalives[0]
    run.refused(owner, "bypass", "on")
    run.refused(owner, "wdt", "kick", "--timeout", str(HARDWARE), "--action", "bypass")
    run.refused(owner, "wdt", "stop")
    if run.ctl("status").returncode != 0:
        run.failures.append("status was refused beside keepalive")


# name, checks, harm, healthy (no expiry may follow), keepalive ends by itself
SCENARIOS = [
    ("hanging check", [HANG], sick, False, True),
    ("three hanging checks", [HANG, HANG, HANG], sick, False, True),
    ("checks using most of their budget", [SLOW, SLOW, SLOW], lambda run: None, True, False),
    ("FIFO pid file", ["pidfile"], fifo_pidfile, False, True),
    ("SIGKILL and restart, in a loop", [SICK], kill_and_restart(signal.SIGKILL, [SICK]), False, False),
    ("SIGSTOP", [], lambda run: run.keepalives[0].send_signal(signal.SIGSTOP), False, False),
    ("watchdog abort and restart", [HANG], kill_and_restart(signal.SIGABRT, [HANG]), False, False),
    ("another process holds the lock", [], hold_lock, False, False),
    ("second keepalive", [SICK], second_keepalive, False, True),
    ("bypass on, wdt kick, wdt stop refused", [], changes_refused, True, False),
]


def play(name, checks, harm, healthy, ends, d):
    run = Run(d)
    try:
        sleeper = subprocess.Popen(["sleep", "60"])
        with open(d + "/pid", "w") as pid:
            pid.write(f"{sleeper.pid}\n")
        extra = ["--pidfile", d + "/pid"] if checks == ["pidfile"] else []
        run.keepalive([c for c in checks if c != "pidfile"], *extra)
        # Harmed just after a re-arm: the last arming before the harm is known.
        run.wait_for(lambda: any(e["event"] == "watchdog_rearmed" for e in run.events()),
                     INTERVAL + 3)
        harmed = time.time()
        harm(run)
        run.wait_for(lambda: any(e["event"] == "watchdog_expired" for e in run.events()),
                     harmed + BOUND + 1 - time.time())
        if healthy:
            time.sleep(max(0, harmed + BOUND - time.time()))
        # It logs the expiry at its next round and exits.
        run.wait_for(lambda: run.keepalives[0].poll() is not None, INTERVAL + 2 if ends else 0)
        if ends and run.keepalives[0].poll() is None:
            run.failures.append("keepalive did not end after the expiry")
        sleeper.kill()
    finally:
        run.end()
    events = run.events()
    shutil.rmtree(d)
    arms = [e["t"] for e in events
            if e["event"] in ("watchdog_started", "watchdog_rearmed") and e["t"] <= harmed]
    expiries = [e["t"] for e in events if e["event"] == "watchdog_expired"]
    if healthy:
        margin = f"expiry at {expiries[0] - harmed:+.2f} s from the harm" if expiries else "no expiry"
        if expiries:
            run.failures.append("the watchdog expired over a healthy host")
    elif not arms or not expiries:
        margin = "no expiry"
        run.failures.append(f"no expiry within {BOUND} s of the last arming before the harm")
    else:
        margin = f"{BOUND - (expiries[0] - arms[-1]):+.2f} s"
        if expiries[0] - arms[-1] > BOUND:
            run.failures.append(f"expiry {expiries[0] - arms[-1]:.2f} s after the last arming")
    print(f"{'FAILED' if run.failures else 'ok':6} {name}: margin {margin}; " + "; ".join(run.failures))
    return not run.failures


chosen = [s for s in SCENARIOS if len(sys.argv) < 3 or s[0] in sys.argv[2:]]
failed = sum(not play(*row, tempfile.mkdtemp()) for row in chosen)
print(f"chaos: {len(chosen) - failed} of {len(chosen)} scenarios hold")
sys.exit(1 if failed else 0)
