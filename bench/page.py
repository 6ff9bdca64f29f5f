#!/usr/bin/python3
"""The page's figures as its browser test measured them (web/test/run.sh
writes page-measurements.json beside its screenshots): the Futures view of
one year, from the request to the drawn charts of 200 futures on the page's
workers, with the longest task of the main thread meanwhile. Prints a
Markdown section for BENCHMARKS.md; the page is measured by its own test, in
Chromium, not by this script.

    bench/page.py MEASUREMENTS.json    (build/wasm/test/page-measurements.json)
"""
import datetime
import json
import os
import sys

# What the page must reach: the charts drawn within a second, no task of
# the main thread longer than the browser's long-task threshold.
DRAWN_MS = 1000
LONG_TASK_MS = 50


def main(path):
    print("## Page\n")
    if not os.path.exists(path):
        print(f"Not measured: `{path}` is missing; `web/test/run.sh` writes it.")
        return
    with open(path, encoding="utf-8") as f:
        measured = json.load(f)
    when = datetime.datetime.fromtimestamp(os.path.getmtime(path), datetime.timezone.utc)
    futures = measured.get("twoHundredFutures")
    longest = measured.get("longestTaskWithFuturesMs")
    if futures is None or longest is None:
        print(f"Not measured: `{path}` holds no Futures view of 200 futures (the page test stopped before it).")
        return
    print("The page's browser test (`web/test/page.test.mjs`, run by `web/test/run.sh` in headless")
    print(f"Chromium; its measurements of {when:%Y-%m-%d %H:%M} UTC): the Futures view of the design on")
    print("screen, one year, timed from the request to the drawn charts. The longest task is the")
    print("longest the Long Tasks API reported on the main thread meanwhile (it reports those over")
    print(f"{LONG_TASK_MS} ms; 0 when there was none).\n")
    print("| Benchmark | Measured | Target |")
    print("|---|---:|---:|")
    print(f"| Futures view, 200 futures on {futures['workers']} workers, request to drawn charts "
          f"| {futures['ms']:,.0f} ms | {DRAWN_MS:,} ms |")
    print(f"| Longest main-thread task meanwhile | {longest:,.0f} ms | {LONG_TASK_MS} ms |")
    if "fortyFuturesMs" in measured:
        print(f"| Futures view, 40 futures, request to drawn charts | {measured['fortyFuturesMs']:,.0f} ms | |")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
