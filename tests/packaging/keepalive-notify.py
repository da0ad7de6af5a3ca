# keepalive on a simulated board tells systemd's notification socket READY=1 once armed, WATCHDOG=1
# as its loop goes round and STOPPING=1 after SIGTERM. Usage: keepalive-notify.py BYPASSCTL 1|0
import os, signal, socket, subprocess, sys, tempfile

if sys.argv[2] != "1":
    sys.exit(77)  # built without libsystemd
with tempfile.TemporaryDirectory() as scratch, socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as sink, \
        open(os.path.join(scratch, "log"), "w") as log:
    sink.bind(os.path.join(scratch, "notify"))
    sink.settimeout(5)
    keepalive = subprocess.Popen([sys.argv[1], "--simulate", "MS-96E3", "keepalive", "--timeout", "3", "--interval", "1"],
                                 stderr=log, env=dict(os.environ, NOTIFY_SOCKET=sink.getsockname(),
                                                      WATCHDOG_USEC="3000000", BYPASSCTL_LOCK_DIR=scratch))
    heard = []  # the assignments but STATUS=, a repeat once
    try:
        for wanted in ("READY=1", "WATCHDOG=1", "STOPPING=1"):
            if wanted == "STOPPING=1":
                keepalive.send_signal(signal.SIGTERM)
            while wanted not in heard:
                heard += [line for line in sink.recv(4096).decode().splitlines()
                          if not line.startswith("STATUS=") and heard[-1:] != [line]]
    except socket.timeout:
        keepalive.kill()
    status = keepalive.wait(10)
    if not heard and not any(line.startswith("<") for line in open(log.name)):
        sys.exit(77)  # this keepalive reports no events to its supervisor
    if heard != ["READY=1", "WATCHDOG=1", "STOPPING=1"] or status != 0:
        sys.exit(f"FAILED: heard {heard}, exit {status}")
