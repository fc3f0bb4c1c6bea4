"""Checks from many threads: the same results, and the interpreter lock let go
while the library works."""

from __future__ import annotations

import threading
import time
from concurrent.futures import ThreadPoolExecutor

import runaudit
from replays import corpus, long_game


def test_eight_threads_agree_with_one() -> None:
    files = [path.read_bytes() for path in corpus()]
    alone = [runaudit.check(data) for data in files]
    barrier = threading.Barrier(8)

    def check_all(offset: int) -> list[runaudit.Result]:
        barrier.wait()
        # Each thread starts at another file, so different games overlap.
        order = files[offset:] + files[:offset]
        results = [runaudit.check(data) for data in order]
        return results[len(files) - offset:] + results[:len(files) - offset]

    with ThreadPoolExecutor(8) as pool:
        together = list(pool.map(check_all, range(8)))
    assert all(results == alone for results in together)


def test_a_check_lets_other_threads_run() -> None:
    # A long game takes the library a tenth of a second or more. Were the
    # lock held, this thread could not tick at all while a check runs.
    slow = long_game()
    spans: list[tuple[float, float]] = []
    finished = threading.Event()

    def work() -> None:
        for _ in range(5):
            start = time.perf_counter()
            runaudit.check(slow)
            spans.append((start, time.perf_counter()))
        finished.set()

    worker = threading.Thread(target=work)
    ticks: list[float] = []
    worker.start()
    while not finished.is_set():
        ticks.append(time.perf_counter())
        time.sleep(0.0002)
    worker.join()
    # Held, the lock would leave this thread one long gap across each check;
    # let go, it ticks all through (allowing a busy machine a late wake-up).
    open_checks = 0
    for start, end in spans:
        points = [start] + [t for t in ticks if start < t < end] + [end]
        if max(b - a for a, b in zip(points, points[1:])) < 0.5 * (end - start):
            open_checks += 1
    assert open_checks >= 3, f"{open_checks} of {len(spans)} checks let this thread run"
