"""Times whole conversions on generated studies of three sizes, in the default
arrangement (1) and in arrangement 0, with the reference conversion measured in the same
run when it is built; then arrangement 3 on a study of 5,000 timesteps under a limit of
256 open files. Prints wall time, values per second, peak memory and workbook sizes. With
--sheet-sweep, the number of worksheets is swept from 2,000 to 16,000 (one run, one timestep, a
worksheet a slot) in every format, with plain and colliding names, and an opened workbook of 8,000
and 64,000 worksheets gets a 10-slot study; with --drift, one workbook collects ten studies whose
slot names change, and its size after each update is printed. With --repeat N every timed
conversion (and the reference beside it) runs N times, alternating with each other so that a slow
spell of a shared machine falls on both; the table shows medians, and the spread of the ratio."""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

SIZES = {"S": (1, 10, 365), "M": (20, 100, 730), "L": (100, 200, 730), "XL": (400, 200, 730)}


def timed(command, open_files=None, time_limit=None):
    """Wall time, peak resident memory in bytes and exit status of one child process; a
    child still running after time_limit seconds is killed (status None)."""
    def limit():
        if open_files is not None:
            resource.setrlimit(resource.RLIMIT_NOFILE, (open_files, open_files))
    # The files the runs before wrote reach the disk first, not during this run.
    os.sync()
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=limit)
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid == child.pid:
            break
        if time_limit is not None and time.perf_counter() - start > time_limit:
            child.kill()
            _, _, usage = os.wait4(child.pid, 0)
            child.returncode = 0
            return time.perf_counter() - start, usage.ru_maxrss * 1024, None
        time.sleep(0.01)
    wall = time.perf_counter() - start
    child.returncode = 0
    return wall, usage.ru_maxrss * 1024, os.waitstatus_to_exitcode(status)


def study(args, name, runs, slots, steps):
    path = os.path.join(args.workdir, f"{name}_{runs}x{slots}x{steps}.pvx")
    if not os.path.exists(path):
        subprocess.run([args.generator, path, str(runs), str(slots), str(steps), "24", "series"], check=True)
    return path


def generated(args, name, slots, steps, *options):
    path = os.path.join(args.workdir, f"{name}.pvx")
    if not os.path.exists(path):
        subprocess.run([args.generator, path, "1", str(slots), str(steps), "24", "series", *options], check=True)
    return path


def convert(args, source, target, *options, fresh=True, repeat=None):
    """Median wall time and largest peak over --repeat conversions; an update (fresh=False)
    starts each repeat from the workbook as it was before the first."""
    repeat = repeat or args.repeat
    original = None
    if not fresh and repeat > 1 and os.path.exists(target):
        original = target + ".before"
        shutil.copy(target, original)
    walls, peaks = [], []
    for attempt in range(repeat):
        if fresh and os.path.exists(target):
            os.remove(target)
        if original and attempt > 0:
            shutil.copy(original, target)
        wall, peak, status = timed([args.gridwell, "-i", source, "-o", target, "-l", target + ".log", *options])
        if status != 0:
            sys.exit(f"conversion into {target} failed with status {status}")
        walls.append(wall)
        peaks.append(peak)
    if original:
        os.remove(original)
    return statistics.median(walls), max(peaks)


def sheet_sweep(args):
    """Time against the number of worksheets: 16,000 may take at most 9 times 2,000 (10 with
    colliding names); opening 64,000 at most 9 times 8,000. With --repeat, every size is timed once
    per round, so that a slow spell of the machine falls on all sizes alike, and medians are shown."""
    print(f"{'worksheets':>10} {'names':>9} {'fmt':>4} {'wall s':>7} {'peak MB':>8} {'x 2,000':>8}")
    counts = (2000, 4000, 8000, 16000)
    for names, option, labels in (("plain", (), "Short"), ("colliding", ("colliding",), "Full")):
        for fmt in args.formats.split(","):
            walls = {count: [] for count in counts}
            peaks = {count: 0 for count in counts}
            for _ in range(args.repeat):
                for count in counts:
                    source = generated(args, f"sheets_{names}_{count}", count, 1, *option)
                    target = os.path.join(args.workdir, f"sheets_{names}_{count}.{fmt}")
                    wall, peak = convert(args, source, target, "-a", "1", "-n", labels, repeat=1)
                    walls[count].append(wall)
                    peaks[count] = max(peaks[count], peak)
            first = statistics.median(walls[counts[0]])
            for count in counts:
                wall = statistics.median(walls[count])
                print(f"{count:>10} {names:>9} {fmt:>4} {wall:>7.2f} {mb(peaks[count]):>8} {wall / first:>8.2f}" +
                      (f"   runs {', '.join(f'{w:.2f}' for w in walls[count])}" if args.repeat > 1 else ""))
            sys.stdout.flush()
    small = generated(args, "ten_slots", 10, 30)
    opened = (8000, 64000)
    walls = {count: [] for count in opened}
    peaks = {count: 0 for count in opened}
    for _ in range(args.repeat):
        for count in opened:
            made = os.path.join(args.workdir, f"sheets_plain_{count}.xlsx")
            if not os.path.exists(made):
                convert(args, generated(args, f"sheets_plain_{count}", count, 1), made, "-a", "1", "-n", "Short",
                        repeat=1)
            target = os.path.join(args.workdir, f"opened_{count}.xlsx")
            shutil.copy(made, target)
            wall, peak = convert(args, small, target, "-a", "1", "-n", "Short", fresh=False, repeat=1)
            walls[count].append(wall)
            peaks[count] = max(peaks[count], peak)
    first = statistics.median(walls[opened[0]])
    for count in opened:
        wall = statistics.median(walls[count])
        runs = f" (runs {', '.join(f'{w:.2f}' for w in walls[count])})" if args.repeat > 1 else ""
        print(f"opening {count} worksheets + 10 slots: {wall:.2f} s{runs}, peak {mb(peaks[count])} MB, "
              f"x 8,000: {wall / first:.2f}")
    sys.stdout.flush()


def drift(args):
    """One workbook collects ten studies of one shape whose slot names change (arrangement 0: the
    worksheets stay, their column labels change): it may grow at most 2 % beyond its size after the
    first."""
    for fmt in args.formats.split(","):
        target = os.path.join(args.workdir, f"drift.{fmt}")
        if os.path.exists(target):
            os.remove(target)
        sizes = []
        for update in range(10):
            # Each study is of another version of the model: its slots' labels change, the
            # worksheets (one a run) stay.
            source = generated(args, f"drift_v{update + 1}", 200, 365, f"v{update + 1}")
            convert(args, source, target, "-a", "0", "-n", "Full", fresh=False, repeat=1)
            sizes.append(os.path.getsize(target))
        print(f"drift {fmt}: sizes after each update (KB) " + " ".join(f"{s / 1e3:.0f}" for s in sizes) +
              f"; last/first {sizes[-1] / sizes[0]:.3f}")
        sys.stdout.flush()


def mb(size):
    return f"{size / 1e6:.1f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--gridwell", required=True)
    parser.add_argument("--generator", required=True)
    parser.add_argument("--reference")
    parser.add_argument("--xlwt", action="store_true",
                        help="time python3-xlwt (reference_xlwt.py) writing the same values as the .xls conversions")
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--sizes", default="S,M,L")
    parser.add_argument("--formats", default="xlsx",
                        help="workbook extensions to write, e.g. xlsx,xlsb,xls; the references write .xlsx "
                             "(libxlsxwriter) and .xls (xlwt)")
    parser.add_argument("--arrangements", default="1,0",
                        help="arrangements to convert, e.g. 1,0,3 (the references write 1 and 0 only)")
    parser.add_argument("--skip-many-sheets", action="store_true")
    parser.add_argument("--many-sheets-limit", type=float, default=600.0,
                        help="seconds after which the 5,000-worksheet conversion is stopped")
    parser.add_argument("--sheet-sweep", action="store_true",
                        help="also sweep the number of worksheets (2,000 to 16,000) and open 8,000 and 64,000")
    parser.add_argument("--drift", action="store_true",
                        help="also update one workbook ten times with studies of changing slot names")
    parser.add_argument("--only-extra", action="store_true", help="run only --sheet-sweep and --drift")
    parser.add_argument("--repeat", type=int, default=1,
                        help="time every conversion and reference N times, alternately, and show medians")
    args = parser.parse_args()
    args.arrangements = [int(a) for a in args.arrangements.split(",")]
    args.repeat = max(args.repeat, 1)
    os.makedirs(args.workdir, exist_ok=True)

    header = (f"{'size':4} {'arr':>3} {'fmt':>4} {'values':>10} {'pvx MB':>7} {'wall s':>7} {'values/s':>10} "
              f"{'peak MB':>8} {'peak/pvx':>8} {'file MB':>8} {'ref s':>7} {'ours/ref':>8} {'ours/ref size':>13}")
    print(header)
    print("-" * len(header))
    sys.stdout.flush()
    if args.sheet_sweep:
        sheet_sweep(args)
    if args.drift:
        drift(args)
    if args.only_extra:
        return
    for name in ([] if args.only_extra else args.sizes.split(",")):
        runs, slots, steps = SIZES[name]
        source = study(args, name, runs, slots, steps)
        pvx_size = os.path.getsize(source)
        values = runs * slots * steps
        for arrangement, fmt in [(a, f) for a in args.arrangements for f in args.formats.split(",")]:
            target = os.path.join(args.workdir, f"{name}_a{arrangement}.{fmt}")
            log = os.path.join(args.workdir, f"{name}_a{arrangement}_{fmt}.log")
            reference = None
            # The references write arrangements 1 and 0.
            if args.reference and fmt == "xlsx" and arrangement in (0, 1):
                reference = [args.reference]
            elif args.xlwt and fmt == "xls" and arrangement in (0, 1):
                reference = ["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "reference_xlwt.py")]
            ref_target = os.path.join(args.workdir, f"{name}_a{arrangement}_reference.{fmt}")
            walls, peaks, ref_walls = [], [], []
            failed = None
            for _ in range(args.repeat):
                if os.path.exists(target):
                    os.remove(target)
                wall, peak, status = timed([args.gridwell, "-i", source, "-o", target, "-l", log,
                                            "-a", str(arrangement)])
                if status != 0:
                    failed = status
                    break
                walls.append(wall)
                peaks.append(peak)
                if reference:
                    ref_wall, _, ref_status = timed(reference + [source, ref_target, str(arrangement)])
                    if ref_status == 0:
                        ref_walls.append(ref_wall)
            if failed is not None:
                print(f"{name:4} {arrangement:>3} {fmt:>4} conversion failed with status {failed}; see {log}")
                continue
            wall, peak = statistics.median(walls), max(peaks)
            size = os.path.getsize(target)
            ref_text, ratio_text, size_text = "-", "-", "-"
            if reference and len(ref_walls) == len(walls):
                ref_wall = statistics.median(ref_walls)
                ref_text = f"{ref_wall:.2f}"
                ratio_text = f"{wall / ref_wall:.3f}"
                size_text = f"{size / os.path.getsize(ref_target):.3f}"
            print(f"{name:4} {arrangement:>3} {fmt:>4} {values:>10} {mb(pvx_size):>7} {wall:>7.2f} {values / wall:>10.0f} "
                  f"{mb(peak):>8} {peak / pvx_size:>8.2f} {mb(size):>8} {ref_text:>7} {ratio_text:>8} "
                  f"{size_text:>13}")
            if args.repeat > 1:
                runs = ", ".join(f"{w:.2f}" for w in walls)
                line = f"     {args.repeat} runs: ours {runs} s"
                if ref_walls and len(ref_walls) == len(walls):
                    ratios = sorted(w / r for w, r in zip(walls, ref_walls))
                    line += ("; reference " + ", ".join(f"{r:.2f}" for r in ref_walls) +
                             f" s; ratio of each pair {ratios[0]:.3f} to {ratios[-1]:.3f}")
                print(line)
            sys.stdout.flush()

    if not args.skip_many_sheets:
        source = study(args, "T5000", 2, 5, 5000)
        target = os.path.join(args.workdir, "T5000_a3.xlsx")
        if os.path.exists(target):
            os.remove(target)
        wall, peak, status = timed([args.gridwell, "-i", source, "-o", target, "-l", target + ".log", "-a", "3"],
                                   open_files=256, time_limit=args.many_sheets_limit)
        if status is None:
            outcome = "STOPPED unfinished"
        else:
            outcome = "converted" if status == 0 else f"FAILED with status {status}"
        print(f"\narrangement 3, 5,000 timesteps (5,000 worksheets) under ulimit -n 256: {outcome} "
              f"in {wall:.2f} s, peak {mb(peak)} MB")


if __name__ == "__main__":
    main()
