#!/usr/bin/env python3
"""Installs an add-on with the real PakInstaller.exe under Wine while strace records the system
calls of the tool's processes and of the bench's wineserver (which carries out renames and opens
files for Wine processes), then checks two promises of the copy from the traces:

- the new file's data is synced (fsync or fdatasync on its descriptor) before the rename that
  puts it in place of the older add-on, and synced again through the same descriptor after the
  rename, so that the new name is on the disk before the tool reports success;
- the temporary file is created by its name inside the pak-set folder's open descriptor, and
  once it exists, no call names its path again except that one rename (and Wine's own look at
  where a symbolic link points): no open, stat, attribute change or delete. (The tool names the
  rename's target relative to the folder too; Wine's server carries it out by full paths.)

    check_copy_trace.py BENCH_DIR PROGRAM.exe UI_DRIVER.exe WORK_FOLDER

The traces stay in WORK_FOLDER (client.trace, server.trace) for a look by hand. Needs root (strace
attaches to the running wineserver).
"""
import collections
import os
import re
import shutil
import signal
import subprocess
import sys
import time

bench, program, driver, work = (os.path.abspath(p) for p in sys.argv[1:5])
repository = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
failures = []


def check(condition, what, actual):
    print(("ok   " if condition else "FAIL ") + what + ": " + str(actual))
    if not condition:
        failures.append(what)


def windows(path):
    return "Z:" + path.replace("/", "\\")


# The scenario: the tool with its config.pref, a 3 MB add-on, an older copy in game/pak.
shutil.rmtree(work, ignore_errors=True)
for folder in ("tool", "downloads", "game/pak"):
    os.makedirs(os.path.join(work, folder))
shutil.copy(program, os.path.join(work, "tool", "PakInstaller.exe"))
with open(os.path.join(work, "tool", "config.pref"), "wb") as f:
    f.write(b"[Tavelmark]\r\nmorvenholt_directory=%s\\\r\ndefault_pakset=pak\r\n"
            % windows(os.path.join(work, "game")).encode())
new_bytes = os.urandom(3 * 1024 * 1024)
with open(os.path.join(work, "downloads", "trains.pak"), "wb") as f:
    f.write(new_bytes)
destination = os.path.join(work, "game", "pak", "trains.pak")
with open(destination, "wb") as f:
    f.write(os.urandom(1000))
script = os.path.join(work, "script.txt")
with open(script, "w") as f:
    f.write("timeout 20000\n"
            f'start "{windows(work)}\\tool\\PakInstaller.exe" "{windows(work)}\\downloads\\trains.pak"\n'
            "wait-window InputRequester\nwait-focus 10\nkey enter\n"
            "wait-window #32770\n"
            "expect-message Die Morvenholt-Erweiterung 'trains.pak' wurde erfolgreich installiert.\n"
            "key enter\nwait-exit 0\n")

calls = "trace=%file,fsync,fdatasync,sync_file_range,syncfs,sync"
client_trace = os.path.join(work, "client.trace")
server_trace = os.path.join(work, "server.trace")
with open(os.path.join(bench, "wineserver.pid")) as f:
    server_pid = int(f.read())
server = subprocess.Popen(["strace", "-p", str(server_pid), "-f", "-ttt", "-T", "-y", "-e", calls,
                           "-o", server_trace], stderr=subprocess.DEVNULL)
# strace is attached once the kernel names it as the wineserver's tracer.
for _ in range(100):
    with open(f"/proc/{server_pid}/status") as f:
        if re.search(r"^TracerPid:\s*[1-9]", f.read(), re.M):
            break
    time.sleep(0.05)
else:
    server.kill()
    sys.exit("strace could not attach to the wineserver %d (not root?)" % server_pid)
try:
    run = subprocess.run(["strace", "-f", "-ttt", "-T", "-y", "-e", calls, "-o", client_trace,
                          os.path.join(repository, "scripts", "wine-run"), bench, driver,
                          windows(script), windows(os.path.join(work, "transcript.txt"))],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
finally:
    server.send_signal(signal.SIGINT)  # detaches; the wineserver runs on
    server.wait(timeout=30)
check(run.returncode == 0, "the tool was worked through its prompt and its box 'Fertig!'",
      run.stdout.decode(errors="replace").strip().splitlines()[-1:])
with open(destination, "rb") as f:
    check(f.read() == new_bytes, "the pak-set folder holds the new add-on", destination)

# One system call a line: "PID SECONDS.MICROS name(arguments ..." or "... <... name resumed>...".
LINE = re.compile(r"^(\d+)\s+(\d+\.\d+)\s+(<\.\.\. )?(\w+)(.*)$")
Call = collections.namedtuple("Call", "origin pid stamp resumed name rest")


def calls_in(path, origin):
    with open(path, errors="replace") as f:
        for line in f:
            match = LINE.match(line)
            if match:
                pid, stamp, resumed, name, rest = match.groups()
                yield Call(origin, int(pid), float(stamp), bool(resumed), name, rest)


trace = sorted([*calls_in(client_trace, "tool"), *calls_in(server_trace, "wineserver")],
               key=lambda call: call.stamp)
# Made inside the folder the tool opened: Wine looks the name up from that folder's descriptor.
TEMPORARY = re.compile(r'<[^>]*/game/pak>, "\./(~[^"/]*)"')
created = [c for c in trace if c.name in ("open", "openat") and "O_CREAT|O_EXCL" in c.rest
           and TEMPORARY.search(c.rest)]
check(len(created) == 1, "one temporary file was created, named inside the opened folder",
      [c.rest[:160] for c in created])
if created:
    temporary = TEMPORARY.search(created[0].rest).group(1)
    named = re.compile(r'"[^"]*/' + re.escape(temporary) + '"')
    renames = [c for c in trace if c.name.startswith("rename") and named.search(c.rest)]
    check(len(renames) == 1 and re.search(r"\) = 0 <[\d.]+>$", renames[0].rest.rstrip())
          and '/game/pak/trains.pak"' in renames[0].rest,
          "the temporary file was renamed over the older add-on once", [c.rest[:200] for c in renames])
    # Reading where a symbolic link points is all Wine may do by the path besides the rename.
    by_path = [c for c in trace if c.stamp > created[0].stamp and named.search(c.rest)
               and c not in renames and c.name != "readlink"]
    check(not by_path, "nothing else named the temporary file by its path",
          [f"{c.origin} {c.name}{c.rest[:160]}" for c in by_path])

    on_descriptor = re.compile(r"<[^>]*/" + re.escape(temporary) + ">")
    syncs = [c for c in trace if c.origin == "tool" and c.name in ("fsync", "fdatasync")
             and not c.resumed and on_descriptor.search(c.rest)]
    check(len(syncs) >= 1, "the tool synced the temporary file", [c.rest[:120] for c in syncs])
    if syncs and renames:
        sync, rename = syncs[0], renames[0]
        # A call that blocked is printed in two halves; the one with the result has its length.
        result = next((c for c in trace if c.pid == sync.pid and c.stamp >= sync.stamp
                       and c.name == sync.name and (c is sync or c.resumed)
                       and re.search(r"= 0 <[\d.]+>$", c.rest)), None)
        ended = sync.stamp + float(re.search(r"<([\d.]+)>$", result.rest).group(1)) if result else None
        check(ended is not None and ended < rename.stamp, "the sync ended before the rename",
              "sync of %.1f ms ended %.1f ms before the rename"
              % (((ended or sync.stamp) - sync.stamp) * 1e3, (rename.stamp - (ended or sync.stamp)) * 1e3))

    # After the rename the descriptor carries the add-on's own name.
    renamed = re.compile(r"<[^>]*/game/pak/trains\.pak>")
    if renames:
        rename = renames[0]
        took = re.search(r"<([\d.]+)>$", rename.rest.rstrip())
        renamed_at = rename.stamp + (float(took.group(1)) if took else 0)
        after = [c for c in trace if c.origin == "tool" and c.name in ("fsync", "fdatasync")
                 and not c.resumed and c.stamp >= renamed_at and renamed.search(c.rest)]
        check(len(after) >= 1, "the tool synced the new add-on again after the rename",
              [c.rest[:120] for c in after])

sys.exit(1 if failures else 0)
