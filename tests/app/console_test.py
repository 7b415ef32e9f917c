#!/usr/bin/env python3
"""tessaren.com under Wine's cmd, read from a terminal as a console user reads it: each
option run by name from a batch file (PATHEXT picks the .com before the .exe) in a raw
pseudo-terminal, so that the bytes the console writes arrive untouched; the text with its
CRLF line ends, the exit code in %ERRORLEVEL%, a plain start that returns at once while
the program goes on, and /status's three lines through a pause and a resume; all of it
beside another program that forges what it can (tessaren_driver forge). Then the output
in the console's code page, and the program started from inside a job.
Usage: console_test.py WINE_RUN BUILD_DIR WORK_DIR PICTURE_SERVER DRIVER [TRANSCRIPT]
(BUILD_DIR holds tessaren.exe and tessaren.com; TRANSCRIPT receives the session as read.)"""
import glob
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import time
import tty

if not os.environ.get("TESSAREN_HAVE_DISPLAY"):
    # The program itself needs a display for its hidden window and tray icon.
    os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "env",
                           "TESSAREN_HAVE_DISPLAY=1", sys.executable] + sys.argv)

wine_run, build_dir, work, picture_server, driver = sys.argv[1:6]
transcript_path = sys.argv[6] if len(sys.argv) > 6 else os.path.join(work, "session.txt")
os.makedirs(work, exist_ok=True)
os.environ["TESSAREN_WINEPREFIX"] = os.path.join(work, "prefix")
os.environ["WINEPREFIX"] = os.environ["TESSAREN_WINEPREFIX"]
failures = []
transcript = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what, flush=True)
    if not condition:
        failures.append(what)


# The console's own cursor switching, not text.
CONSOLE_CONTROL = re.compile(rb"\x1b\[[0-9;?]*[A-Za-z]")


def in_terminal(arguments, seconds=90):
    """Runs the command on a raw pseudo-terminal; what it wrote there and its exit code.
    The command's end decides, not the terminal's: Wine closes the terminal a moment before
    the process ends, and the program it started may hold it open for longer. What is left
    is read once the command has ended."""
    master, slave = pty.openpty()
    tty.setraw(slave)  # no LF to CRLF on the way: the bytes are the console's own
    process = subprocess.Popen(arguments, stdin=slave, stdout=slave, stderr=slave,
                               cwd=build_dir, close_fds=True)
    os.close(slave)
    out, closed = b"", False
    end = time.monotonic() + seconds

    def read(wait):  # whether it read something
        nonlocal out, closed
        if closed or not select.select([master], [], [], wait)[0]:
            return False
        try:
            chunk = os.read(master, 4096)
        except OSError:  # every writer has closed the terminal
            chunk = b""
        closed = not chunk
        out += chunk
        return not closed

    while process.poll() is None and time.monotonic() < end:
        if not read(0.2) and closed:
            try:  # only the process's end is left to wait for
                process.wait(max(0.0, end - time.monotonic()))
            except subprocess.TimeoutExpired:
                pass
    while read(0):
        pass
    if process.poll() is None:
        process.kill()
        out += b"(still running after %d s)" % seconds
    os.close(master)
    return CONSOLE_CONTROL.sub(b"", out), process.wait()


def tessaren(option):
    """`tessaren OPTION` from a batch file: its text as the terminal got it, and the exit
    code the batch file saw in %ERRORLEVEL%."""
    batch = os.path.join(os.path.abspath(work), "console-test.bat")
    with open(batch, "wb") as f:
        f.write(b"@echo off\r\ntessaren " + option.encode() + b"\r\n"
                b"echo [ERRORLEVEL %ERRORLEVEL%]\r\n")
    # Run from the build folder, where cmd finds tessaren.com and tessaren.exe side by side.
    out, _ = in_terminal(wine_run_args("cmd", "/c", "Z:" + batch.replace("/", "\\")))
    match = re.search(rb"\[ERRORLEVEL (-?\d+)\]\r\n$", out)
    text = out[:match.start()] if match else out
    code = int(match.group(1)) if match else None
    transcript.append(f"C:\\> tessaren {option}".rstrip() + "\r\n" +
                      text.decode("utf-8", "replace") + f"(exit code {code})\r\n")
    return text, code


def status_until(done, seconds=120):
    """/status again and again until done(lines, code) holds or the time is up; the last
    answer, which alone the session keeps."""
    polls, end = len(transcript), time.monotonic() + seconds
    while True:
        text, code = tessaren("/status")
        if done(lines(text) or [], code) or time.monotonic() > end:
            del transcript[polls:-1]
            return text, code
        time.sleep(0.1)


def wine_run_args(*arguments):
    return [wine_run, *arguments]


def lines(text):
    """The lines of CRLF text; None when a line ends otherwise."""
    if text and (not text.endswith(b"\r\n") or text.count(b"\n") != text.count(b"\r\n")):
        return None
    return text.decode("utf-8").split("\r\n")[:-1]


def reg(*arguments):
    subprocess.run(wine_run_args("reg", *arguments, "/f"), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)


server = forger = None
try:
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL, check=False)
    www = os.path.join(work, "www")
    shutil.rmtree(www, ignore_errors=True)
    os.makedirs(www)
    with open(os.path.join(work, "picture.ppm"), "wb") as f:
        f.write(b"P6 64 48 255\n" +
                b"".join(bytes((x * 3, y * 5, 90)) for y in range(48) for x in range(64)))
    with open(os.path.join(www, "weather.jpg"), "wb") as f:
        subprocess.run(["cjpeg", os.path.join(work, "picture.ppm")], stdout=f, check=True)
    port_file = os.path.join(work, "port")
    if os.path.exists(port_file):
        os.remove(port_file)
    server = subprocess.Popen([sys.executable, picture_server, www, port_file,
                               os.path.join(work, "requests.log"), "weather.jpg"])
    for _ in range(1200):
        if os.path.exists(port_file) and os.path.getsize(port_file) > 0:
            break
        time.sleep(0.05)
    port = open(port_file).read().strip()
    settings = r"HKCU\Software\Classes\Tessaren\Config"
    reg("delete", settings)
    reg("add", settings, "/v", "url", "/t", "REG_SZ", "/d", f"http://127.0.0.1:{port}/weather.jpg")
    reg("add", settings, "/v", "pausedUntil", "/t", "REG_QWORD", "/d", "0")
    # Whatever else it might ask for goes to the local server.
    internet = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
    reg("add", internet, "/v", "ProxyServer", "/t", "REG_SZ", "/d", f"127.0.0.1:{port}")
    reg("add", internet, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1")

    text, code = tessaren("/status")
    check(text == b"Tessaren is not running.\r\n" and code == 2,
          f"/status with none running: one CRLF line and 2 (was {text!r}, {code})")

    # From here on another program forges what it can, until the end.
    forger = subprocess.Popen(wine_run_args(driver, "forge"), stdout=subprocess.PIPE)
    check(forger.stdout.readline() == b"ready\r\n", "the forger has its window and events")
    text, code = tessaren("")
    check(text == b"" and code == 0,
          f"a plain start returns at once, silent, with 0 (was {text!r}, {code})")
    # The program runs (the forger's window stops nothing), until the first update ended.
    text, code = status_until(lambda status, code: code != 2 and len(status) == 3 and
                              "running now" not in status[2] and "none yet" not in status[1])
    status = lines(text) or []
    check(lines(text) is not None, f"/status: CRLF line ends only (was {text!r})")
    check(code == 0, f"/status after a good update answers 0 (was {code})")
    check(len(status) == 3 and status[0] == "Tessaren"
          and status[1].startswith("Last update: ") and " from 127.0.0.1, 64 x 48 JPEG" in status[1]
          and re.fullmatch(r"Next update: \d\d:\d\d", status[2]) is not None,
          f"/status: the state, the last update and the next: {status}")
    last_update = status[1] if len(status) == 3 else "?"

    text, code = tessaren("/pause:60")
    check(text == b"" and code == 0, f"/pause:60 says nothing and answers 0 (was {text!r}, {code})")
    text, code = tessaren("/status")
    status = lines(text) or []
    check(code == 0 and len(status) == 3 and status[1] == last_update
          and re.fullmatch(r"Next update: paused until \d\d:\d\d", status[2]) is not None,
          f"paused, /status keeps the last update and says until when: {status}")

    text, code = tessaren("/resume")
    check(text == b"" and code == 0, f"/resume answers 0 (was {text!r}, {code})")
    text, code = tessaren("/status")
    status = lines(text) or []
    check(code == 0 and len(status) == 3 and status[1] == last_update
          and status[2].startswith("Next update: ") and "paused" not in status[2],
          f"resumed, /status still gives the last update, then the next: {status}")
    check(len(status) == 3 and status[2].split(": ", 1)[-1].lower() not in status[1].lower(),
          f"and never the same fact twice: {status}")

    text, code = tessaren("/bogus")
    usage = lines(text) or []
    check(code == 64, f"an unknown option answers 64 (was {code})")
    check(usage[:2] == ["Unknown option /bogus.", "Usage: tessaren [option]"],
          f"it says so and lists the options: {usage[:2]}")
    # The table's layout itself is checked natively (command_line_test.cpp).
    check(all(len(line) < 80 and "\t" not in line for line in usage),
          "no line reaches the console's 80 columns or holds a tab")

    picture = glob.glob(os.path.join(work, "prefix/drive_c/users/*/AppData/Local/Tessaren/tessaren.jpg"))
    text, code = tessaren("/uninstall")
    check(code == 4 and text.startswith(b"Tessaren is running.") and picture and
          os.path.exists(picture[0]),
          f"/uninstall refuses while it runs, with 4, and removes nothing (was {text!r}, {code})")

    text, code = tessaren("/exit")
    check(text == b"" and code == 0, f"/exit answers 0 (was {text!r}, {code})")
    text, code = status_until(lambda status, code: code == 2)  # it ends after it answered
    check(code == 2, f"and then it is not running, the forger's window or not (was {code})")
    forger.kill()
    check(b"asked" not in forger.communicate()[0], "no option ever reached the forger's window")

    # Redirected output in the console's code page (850: é is 0x82); with no console, UTF-8.
    out850 = os.path.join(work, "out850.txt")
    with open(os.path.join(work, "cp.bat"), "wb") as f:
        f.write(b"@echo off\r\nchcp 850 >nul\r\ntessaren /bogus\x82 >Z:" +
                out850.replace("/", "\\").encode() + b"\r\n")
    in_terminal(wine_run_args("cmd", "/c", "Z:" + os.path.join(work, "cp.bat").replace("/", "\\")))
    with open(out850, "rb") as f:
        said = f.read(23)
    check(said == b"Unknown option /bogus\x82.", f"in code page 850 (was {said!r})")
    said = subprocess.run(wine_run_args(os.path.join(build_dir, "tessaren.com"), "/bogusé"),
                          stdout=subprocess.PIPE).stdout[:24]
    check(said == "Unknown option /bogusé.".encode(), f"and UTF-8 with no console (was {said!r})")

    # Started from a job that ends its processes: the program leaves it where allowed.
    com = "Z:" + os.path.join(build_dir, "tessaren.com").replace("/", "\\")
    for allow in ("allow", "forbid"):
        result = subprocess.run(wine_run_args(driver, "in-job", allow, com),
                                stdout=subprocess.PIPE, text=True)
        print(result.stdout, end="", flush=True)
        check(result.returncode == 0, f"tessaren.com in a job that {allow}s breaking away")
        if allow == "allow":
            tessaren("/exit")
            status_until(lambda status, code: code == 2)
finally:
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL, check=False)
    if server:
        server.kill()
    if forger:
        forger.kill()
    with open(transcript_path, "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join(transcript))

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
