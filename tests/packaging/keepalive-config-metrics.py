# keepalive reads its options from a configuration file, a check's arguments intact and the
# command line winning, names the line of a bad one, and keeps a metrics file that a Prometheus
# text parser reads. Usage: keepalive-config-metrics.py BYPASSCTL
import os, signal, subprocess, sys, tempfile, time
try:
    from prometheus_client.parser import text_string_to_metric_families
except ImportError:  # Debian's python3-prometheus-client, where python3 is another Python
    if sys.executable == "/usr/bin/python3":
        raise
    os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)

ctl = sys.argv[1]
with tempfile.TemporaryDirectory() as scratch:
    spaced = os.path.join(scratch, 'a "b" c')
    os.mkdir(spaced)
    metrics, conf = os.path.join(scratch, "keepalive.prom"), os.path.join(scratch, "keepalive.conf")
    check = 'test -d "%s"' % spaced.replace('"', '\\"')
    with open(conf, "w") as file:
        file.write('# the command line says 5\ntimeout = 999\n interval = 2\ncheck = %s\ncheck = "true"\n'
                   "on-stop = bypass\nmetrics-file = %s\n" % (check, metrics))
    env = dict(os.environ, BYPASSCTL_LOCK_DIR=scratch)
    run = subprocess.Popen([ctl, "keepalive", "--simulate", "MS-96E3", "--config", conf, "--timeout", "5"],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
    for _ in range(100):
        if os.path.exists(metrics) and "bypassctl_check_healthy{" in open(metrics).read():
            break
        time.sleep(0.1)
    run.send_signal(signal.SIGTERM)
    out = run.communicate(timeout=20)[0]
    samples = {(s.name, tuple(sorted(s.labels.items()))): s.value
               for family in text_string_to_metric_families(open(metrics).read()) for s in family.samples}
    wanted = {("bypassctl_keepalive_state", (("state", "stopped"),)): 1,
              ("bypassctl_watchdog_armed", ()): 0,
              ("bypassctl_check_healthy", (("check", "check '%s'" % check),)): 1,
              ("bypassctl_check_healthy", (("check", "check 'true'"),)): 1,
              ("bypassctl_board_info", (("action", "bypass"), ("type", "6"))): 1}
    wrong = {key: samples.get(key) for key, value in wanted.items() if samples.get(key) != value}
    if run.returncode != 0 or wrong or "the ports are in bypass" not in out or samples.get(
            ("bypassctl_keepalive_rearms_total", ())) < 1:
        sys.exit(f"FAILED: exit {run.returncode}, {wrong}\n{out}\n{samples}")
    with open(conf, "w") as file:
        file.write("timeout = 30\n\ninterval = sixty\n")
    bad = subprocess.run([ctl, "keepalive", "--simulate", "6", "--config", conf], capture_output=True,
                         text=True, env=env)
    if bad.returncode != 2 or "keepalive.conf line 3: --interval" not in bad.stderr:
        sys.exit(f"FAILED: a bad line: exit {bad.returncode}, {bad.stderr}")
