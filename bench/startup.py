"""Start-up of the program under Wine against a minimal Win32 window program
started in the same prefix, in the same run (the Wine baseline): the time from
the start of the process to its window shown, and to the end of step 0's
survey with the service host up. Alternating rounds on a warm wineserver;
prints the median and the best of each, and the ratios to the baseline.

    python3 bench/startup.py --exe MV_OSR.exe --baseline minimal_window.exe --work DIR
"""
import argparse
import json
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

DONE_STATUS = "各安装环境检测完毕，点击下一步进行安装。"


def read_report(path):
    try:
        with open(path, "rb") as f:
            return mvwine.Report(json.loads(f.read().decode("utf-8")))
    except (OSError, ValueError):
        return None


def survey_done(r):
    try:
        return r.text("标签_检测状态") == DONE_STATUS and r.get("图形按钮_下一步")["enabled"]
    except mvwine.Failure:
        return False


def launch(prog, exe_name, until_survey, timeout=60):
    """Seconds from the process start to its window shown, and to the survey's
    end (None for the baseline)."""
    if os.path.exists(prog.report_path):
        os.remove(prog.report_path)
    t0 = time.monotonic()
    proc = subprocess.Popen([prog.loader, "C:\\mvtest\\" + exe_name], env=prog.env, cwd=prog.root,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = survey = None
    try:
        while time.monotonic() - t0 < timeout:
            r = read_report(prog.report_path)
            now = time.monotonic() - t0
            if r is not None:
                if shown is None and r.data.get("window", {}).get("visible"):
                    shown = now
                if shown is not None and (not until_survey or survey_done(r)):
                    survey = now if until_survey else None
                    return shown, survey
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
    started_host = False
    try:
        mvwine.demo_host.start(host_out, args.service_host)
        started_host = True
    except Exception:  # the port may be served already (another run's demo host)
        pass
    probe = args.service_host + "/net_available/available.txt"
    try:
        up = urllib.request.urlopen(probe, timeout=5).read() == "正常".encode("gbk")
    except OSError:
        up = False
    if not up:
        print("startup bench: the service host %s does not answer" % args.service_host, file=sys.stderr)
        return 1
    try:
        with mvwine.Display() as display:
            with mvwine.Program(args.exe, work, display, name="startup") as prog:
                shutil.copy2(args.baseline, os.path.join(prog.bin, "minimal_window.exe"))
                # One wineserver for the whole run, kept warm between launches.
                subprocess.run([mvwine.WINESERVER, "-p"], env=prog.env, check=True)
                # The first start of each fills caches (and the work directory).
                launch(prog, "minimal_window.exe", False)
                launch(prog, "MV_OSR.exe", True)
                base, window, survey = [], [], []
                for _ in range(args.rounds):
                    base.append(launch(prog, "minimal_window.exe", False)[0])
                    w, s = launch(prog, "MV_OSR.exe", True)
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
    print("%-38s%.2f   (goal <= 1.5)" % ("window / minimal window:", w / b))
    print("%-38s%.2f" % ("survey done / minimal window:", s / b))
    print("%-38s%.3f s   (goal <= 0.5 s)" % ("survey done after the window:", statistics.median(after)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
