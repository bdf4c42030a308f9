"""Start-up of the program under Wine against a minimal Win32 window program
started in the same prefix, in the same run (the Wine baseline): the time from
the start of the process to its window shown, and to the end of step 0's
survey with the service host up (its last log line). The program runs as a user
runs it, without the report or any other test aid; a window counts as shown
once it is mapped on the X display. Alternating rounds on a warm wineserver;
prints the median and the best of each, and the ratios to the baseline.

    python3 bench/startup.py --exe MV_OSR.exe --baseline minimal_window.exe --work DIR
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import mvwine  # noqa: E402

# The program's window title, and the log line its survey writes last.
PROGRAM_TITLE = "Marvolt系统云重装"
SURVEY_END = "SystemVersion = ".encode("gbk")


def window_shown(env, title):
    """True once a visible top-level window of that title is mapped."""
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def log_size(path):
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


def survey_logged(path, offset):
    try:
        with open(path, "rb") as f:
            f.seek(offset)
            return SURVEY_END in f.read()
    except OSError:
        return False


def launch(prog, exe_name, title, log=None, timeout=60):
    """Seconds from the process start to its window shown on the X display,
    and to the survey's last log line (None without a log). The program runs
    as a user runs it: no report, no test aid."""
    offset = log_size(log) if log else 0
    t0 = time.monotonic()
    proc = subprocess.Popen([prog.loader, "C:\\mvtest\\" + exe_name], env=prog.env, cwd=prog.root,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = None
    try:
        while time.monotonic() - t0 < timeout:
            if shown is None and window_shown(prog.env, title):
                shown = time.monotonic() - t0
            if shown is not None:
                if not log:
                    return shown, None
                if survey_logged(log, offset):
                    return shown, time.monotonic() - t0
            if proc.poll() is not None:
                raise mvwine.Failure("%s ended (code %s) before it was measured" % (exe_name, proc.returncode))
            time.sleep(0.002)
        raise mvwine.Failure("%s: no %s within %ds" % (exe_name, "survey end" if shown else "window", timeout))
    finally:
        proc.kill()
        proc.wait(30)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--baseline", required=True, help="the minimal window program (bench/minimal_window.cpp)")
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--service-host", default="http://127.0.0.1:18080")
    args = parser.parse_args()

    work = os.path.abspath(args.work)
    host_out = os.path.join(work, "service-host")
    probe = args.service_host + "/net_available/available.txt"

    def host_up():
        try:
            return urllib.request.urlopen(probe, timeout=5).read() == "正常".encode("gbk")
        except OSError:
            return False

    # A demo host already on the address (another run's) serves as well.
    started_host = False
    if not host_up():
        mvwine.demo_host.start(host_out, args.service_host)
        started_host = True
    if not host_up():
        print("startup bench: the service host %s does not answer" % args.service_host, file=sys.stderr)
        return 1
    try:
        with mvwine.Display() as display:
            with mvwine.Program(args.exe, work, display, name="startup") as prog:
                shutil.copy2(args.baseline, os.path.join(prog.bin, "minimal_window.exe"))
                for test_aid in ("MV_OSR_REPORT", "MV_OSR_CLOSE_AFTER_MS", "MV_OSR_START_PAGE"):
                    prog.env.pop(test_aid, None)
                log = os.path.join(prog.drive_folder("d"), "MV_OSR", "MV_OSR.log")
                # One wineserver for the whole run, kept warm between launches.
                subprocess.run([mvwine.WINESERVER, "-p"], env=prog.env, check=True)
                # The first start of each fills caches (and the work directory);
                # the prefix's first window may come before its desktop is ready.
                for attempt in range(3):
                    try:
                        launch(prog, "minimal_window.exe", "^minimal$")
                        break
                    except mvwine.Failure:
                        if attempt == 2:
                            raise
                        time.sleep(2)
                launch(prog, "MV_OSR.exe", PROGRAM_TITLE, log)
                base, window, survey = [], [], []
                for _ in range(args.rounds):
                    base.append(launch(prog, "minimal_window.exe", "^minimal$")[0])
                    w, s = launch(prog, "MV_OSR.exe", PROGRAM_TITLE, log)
                    window.append(w)
                    survey.append(s)
                prog.server("-k")
    finally:
        if started_host:
            mvwine.demo_host.stop(host_out)

    def fig(values):
        return "median %.3f s, best %.3f s" % (statistics.median(values), min(values))

    b = statistics.median(base)
    w = statistics.median(window)
    s = statistics.median(survey)
    after = [sv - wv for sv, wv in zip(survey, window)]
    loader = "32-bit" if prog.loader == mvwine.WINE32 else "64-bit"
    print("== start-up under Wine (%s build, %d rounds, warm prefix)" % (loader, args.rounds))
    print("   minimal window shown      %s" % fig(base))
    print("   program window shown      %s" % fig(window))
    print("   survey done               %s" % fig(survey))
    print("   survey done after window  %s" % fig(after))
    print()
    print("%-38s%.2f   (goal <= 1.5; best against best %.2f)" % ("window / minimal window:", w / b,
                                                                     min(window) / min(base)))
    print("%-38s%.2f" % ("survey done / minimal window:", s / b))
    print("%-38s%.3f s   (goal <= 0.5 s)" % ("survey done after the window:", statistics.median(after)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
