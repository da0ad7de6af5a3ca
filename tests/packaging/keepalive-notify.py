"""keepalive under systemd, on a simulated board: READY=1 once armed, WATCHDOG=1
as its loop goes round (the unit set WatchdogSec), STOPPING=1 after SIGTERM,
heard on the datagram socket systemd would listen on.
Usage: keepalive-notify.py BYPASSCTL 1|0 (built with libsystemd; 0 skips with exit 77)"""
import os, signal, socket, subprocess, sys, tempfile

if sys.argv[2] != "1":
    sys.exit(77)
with tempfile.TemporaryDirectory() as scratch, socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as sink:
    sink.bind(os.path.join(scratch, "notify"))
    sink.settimeout(5)
    env = dict(os.environ, NOTIFY_SOCKET=sink.getsockname(), WATCHDOG_USEC="3000000",
               BYPASSCTL_LOCK_DIR=scratch)
    log = open(os.path.join(scratch, "log"), "w+")
    keepalive = subprocess.Popen([sys.argv[1], "--simulate", "MS-96E3", "keepalive", "--timeout", "3",
                                  "--interval", "1"], env=env, stderr=log)
    heard = []  # each assignment but STATUS=, repeats heard once
    try:
        for wanted in ("READY=1", "WATCHDOG=1", "STOPPING=1"):
            if wanted == "STOPPING=1":
                keepalive.send_signal(signal.SIGTERM)
            while wanted not in heard:
                for line in sink.recv(4096).decode().splitlines():
                    if not line.startswith("STATUS=") and heard[-1:] != [line]:
                        heard.append(line)
    except socket.timeout:
        keepalive.kill()
    status = keepalive.wait(10)
    log.seek(0)
    if not heard and not any(line.startswith("<") for line in log):
        sys.exit(77)  # this keepalive tells its supervisor no events at all
    if heard != ["READY=1", "WATCHDOG=1", "STOPPING=1"] or status != 0:
        sys.exit(f"FAILED: heard {heard}, exit {status}")
    print("keepalive notified READY=1, WATCHDOG=1, STOPPING=1")
