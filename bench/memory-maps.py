#!/usr/bin/env python3
"""Where the agent's and the widget's resident memory goes after a while.

Starts a private dbus-daemon, OndaraHelper on the demo machine and
OndaraWidget (offscreen, shown on the temperature tab), waits, then sums
/proc/PID/smaps per mapping (Rss and Pss, in kB) and prints the largest.

  bench/memory-maps.py BIN_DIR [SECONDS] [TOP]     (default 60 s, 14 rows)
"""
import os
import plistlib
import signal
import subprocess
import sys
import tempfile
import time

SUITE = "K4TZ8WQ1RM.group.com.quillbank.Ondara"


def mappings(pid):
    """{name: [rss, pss, anonymous]} in kB, with the totals under "TOTAL"."""
    sums = {}
    name = None
    with open(f"/proc/{pid}/smaps") as smaps:
        for line in smaps:
            fields = line.split()
            if "-" in fields[0] and len(fields) >= 5 and ":" not in fields[0]:
                path = fields[5] if len(fields) > 5 else "[anonymous]"
                name = os.path.basename(path) if path.startswith("/") else path
                sums.setdefault(name, [0, 0, 0])
            elif fields[0] in ("Rss:", "Pss:", "Anonymous:"):
                column = ("Rss:", "Pss:", "Anonymous:").index(fields[0])
                sums[name][column] += int(fields[1])
    sums["TOTAL"] = [sum(v[i] for v in sums.values()) for i in range(3)]
    return sums


def report(title, pid, top):
    sums = mappings(pid)
    total = sums.pop("TOTAL")
    print(f"{title}: Rss {total[0] / 1024:.1f} MB, Pss {total[1] / 1024:.1f} MB, "
          f"anonymous {total[2] / 1024:.1f} MB")
    for name, (rss, pss, anon) in sorted(sums.items(), key=lambda i: -i[1][0])[:top]:
        print(f"  {rss:6d} kB rss {pss:6d} kB pss {anon:6d} kB anon  {name}")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bin_dir = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    top = int(sys.argv[3]) if len(sys.argv) > 3 else 14
    with tempfile.TemporaryDirectory() as home:
        with open(os.path.join(home, SUITE + ".plist"), "wb") as suite:
            plistlib.dump({"helperInstalled": True, "lastSelectedTab": "TempsTab"}, suite)
        os.chmod(os.path.join(home, SUITE + ".plist"), 0o600)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                               stdout=subprocess.PIPE, text=True)
        address = bus.stdout.readline().strip()
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address, XDG_CONFIG_HOME=home,
                   XDG_STATE_HOME=home, QT_QPA_PLATFORM="offscreen")
        quiet = subprocess.DEVNULL
        agent = subprocess.Popen([os.path.join(bin_dir, "OndaraHelper"), "--smc", "demo",
                                  "--smart", "demo", "--memory", "proc"],
                                 env=env, stdout=quiet, stderr=quiet)
        time.sleep(1)
        widget = subprocess.Popen([os.path.join(bin_dir, "OndaraWidget")], env=env,
                                  stdout=quiet, stderr=quiet)
        try:
            time.sleep(seconds)
            report("OndaraHelper", agent.pid, top)
            report("OndaraWidget", widget.pid, top)
        finally:
            for process in (widget, agent, bus):
                process.send_signal(signal.SIGTERM)
                process.wait()


if __name__ == "__main__":
    main()
