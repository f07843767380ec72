#!/usr/bin/python3
"""Sorts the samples of a `perf record --call-graph dwarf` of the running
program by what the program was doing, from the whole call chain of each
sample rather than its leaf alone.

Usage: perf script -i perf.data | bench/perf_summary.py [--top N]

A sample goes to the first of these that any frame of its chain matches:
settings file writes, settings file reads, the HTTP request, painting and
text layout, thread start and exit, the hand-over to the worker, event
dispatch; what is left is "other".
Within each, the innermost telling frame gives the detail line.
"""
import argparse
import collections
import re
import sys

# (subsystem, frame pattern, [(detail, pattern), ...]); details are tried on
# the chain from the leaf outwards.
RULES = [
    ("INI write (ProfileStore::WriteIni)", r"ProfileStore::WriteIni|WriteFileAtomically", [
        # The file's fsync is the one retried on EINTR; the folder's is not.
        ("fsync of the file", (r"__GI_fsync|do_fsync", r"RetryOnEintr<tarvesk::WriteFileAtomically")),
        ("open, fsync, close of the folder", r"SyncFolder|__GI_fsync|do_fsync"),
        ("create the temporary (mkostemp)", r"gen_tempname|mkostemp"),
        ("rename", r"__x64_sys_rename|^rename"),
        ("write", r"__x64_sys_write|ksys_write"),
        ("read the old file", r"ReadWholeFile"),
        ("stat/lstat/realpath", r"ResolveTarget|__x64_sys_newfstatat|__x64_sys_newlstat|__x64_sys_newstat|realpath"),
        ("close", r"__x64_sys_close"),
        ("parse and compose", r"SplitLines|FindSection|FindKey|QByteArray|QString|QList"),
    ]),
    ("INI read (ProfileStore::ReadIni)", r"ProfileStore::ReadIni", []),
    ("HTTP request (libcurl)", r"CurlHttpClient::get|libcurl", [
        ("curl_easy_init/cleanup", r"curl_easy_init|curl_easy_cleanup"),
        ("connect", r"__x64_sys_connect|__sys_connect|inet_stream_connect"),
        ("socket create/close", r"__x64_sys_socket|__sys_socket|__x64_sys_close|sock_close"),
        ("send/recv", r"__x64_sys_sendto|__x64_sys_recvfrom|tcp_sendmsg|tcp_recvmsg|__x64_sys_write|__x64_sys_read"),
        ("poll", r"__x64_sys_poll|__x64_sys_ppoll|do_sys_poll"),
        ("URL encoding (QUrl)", r"QUrl"),
    ]),
    ("painting and text layout", r"paintEvent|QPainter|QWidgetRepaintManager|QBackingStore|QRaster|"
     r"QTextEngine|QTextLayout|QTextLine|QFontEngine|QFontMetrics|QStyle|drawWidget|FcFont|FT_|hb_|"
     r"QLabel::setText|QWidget::update|QLabel::sizeHint|QLayout|showStatusLine|showCounts|"
     r"QWidget::setEnabled|QWidgetPrivate::invalidate", [
        ("text shaping and layout", r"QTextEngine|QTextLayout|QTextLine|hb_|QFontEngine|QFontMetrics|FT_"),
        ("raster drawing", r"QRaster|qt_memfill|QImage|comp_func|blend|qt_alphamap"),
        ("style drawing", r"QStyle|QCommonStyle|QFusionStyle"),
        ("repaint bookkeeping", r"QWidgetRepaintManager|QBackingStore|drawWidget|QWidgetPrivate::paint"),
        ("setText/update", r"QLabel::setText|QWidget::update|showStatusLine|showCounts"),
    ]),
    # Every sample of a kept worker has clone3 and start_thread at the root of
    # its chain; only the frames that make or end a thread count here.
    ("thread start and exit", r"pthread_create|_M_start_thread|do_exit|exit_mm|pthread_join|"
     r"__x64_sys_exit|free_tcb|allocate_stack", [
        ("pthread_create", r"pthread_create|_M_start_thread"),
        ("exit", r"do_exit|__x64_sys_exit|exit_mm|exit_mmap"),
        ("stack mmap/munmap", r"mmap|munmap|mprotect"),
        ("join", r"pthread_join|futex"),
    ]),
    # Handing the request to the kept worker and its answer back: the wake-up
    # each way, and the worker waiting for its next request.
    ("hand-over to the worker and back", r"QThreadPool|QWaitCondition|QCoreApplication::postEvent|"
     r"invokeMethod|__basic_future|_State_baseV2", [
        ("wake the worker", r"QThreadPool::tryStart"),
        ("wake-up posted by the worker", r"postEvent|invokeMethod"),
        ("worker waits for the next request", r"QWaitCondition::wait"),
    ]),
    ("event dispatch", r"QEventLoop|QCoreApplication|QEventDispatcher|g_main_context|QTimer|"
     r"QObject::event|QSocketNotifier|QMetaObject|QMetaCallEvent|QApplication", [
        # Which loop was turning: the one that waits for the request, the
        # yields inside a tick, or the application's own; the rest is the
        # tick's own work (the clock, the fields, the status texts).
        ("loop waiting for the request (RunWorkOffThread)", r"RunWorkOffThread"),
        ("yields inside the tick", (r"Timer1_Timer", r"QCoreApplication::processEvents|yieldToEvents")),
        ("the clock's local time (tzset)", r"__tzset|qTzSet"),
        ("the tick's own work", r"Timer1_Timer"),
        ("application loop", r"QCoreApplication::exec"),
    ]),
]


def frames(lines):
    for line in lines:
        parts = line.split(None, 1)
        if len(parts) == 2:
            yield parts[1]


def matches(chain, patterns):
    """True when every pattern matches some frame of the chain."""
    if isinstance(patterns, str):
        patterns = (patterns,)
    return all(any(re.search(p, f) for f in chain) for p in patterns)


def classify(chain):
    for name, pattern, details in RULES:
        if matches(chain, pattern):
            for detail, dp in details:
                if matches(chain, dp):
                    return name, detail
            return name, "other"
    if all("[kernel.kallsyms]" in f for f in chain):
        return "kernel only (no user frames)", chain[0].split("+")[0] if chain else "?"
    return "other", chain[0].split("+")[0] if chain else "?"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--top", type=int, default=12, help="leaf symbols to list")
    args = parser.parse_args()

    samples = []
    current = None
    for raw in sys.stdin:
        line = raw.rstrip("\n")
        if not line.strip():
            if current is not None:
                samples.append(current)
            current = None
        elif not line[0].isspace():
            current = [line, []]
        elif current is not None:
            current[1].append(line.strip())
    if current is not None:
        samples.append(current)

    total = len(samples)
    if total == 0:
        print("no samples")
        return
    by_system = collections.Counter()
    by_detail = collections.Counter()
    leaves = collections.Counter()
    writers = collections.Counter()
    threads = collections.Counter()
    main_tid = None
    for header, chain in samples:
        chain = list(frames(chain))
        tid = header.split()[1]
        if main_tid is None:
            main_tid = collections.Counter(h.split()[1] for h, _ in samples).most_common(1)[0][0]
        threads["main thread" if tid == main_tid else "other threads"] += 1
        system, detail = classify(chain)
        by_system[system] += 1
        by_detail[(system, detail)] += 1
        for i, f in enumerate(chain):
            if "ProfileStore::WriteIni" in f and i + 1 < len(chain):
                writers[re.sub(r"\+0x[0-9a-f]+| \(.*", "", chain[i + 1])] += 1
                break
        if chain:
            leaves[re.sub(r"\+0x[0-9a-f]+", "", chain[0])] += 1

    kernel = sum(1 for _, c in samples if c and "[kernel.kallsyms]" in c[0])
    print("%d samples; %.0f%% with the leaf in the kernel; %s" % (
        total, 100.0 * kernel / total,
        ", ".join("%s %.0f%%" % (k, 100.0 * v / total) for k, v in threads.most_common())))
    print()
    print("| subsystem | share | biggest parts |")
    print("|---|---|---|")
    for system, count in by_system.most_common():
        parts = sorted(((c, d) for (s, d), c in by_detail.items() if s == system), reverse=True)[:4]
        print("| %s | %.1f%% | %s |" % (system, 100.0 * count / total,
                                       "; ".join("%s %.1f%%" % (d, 100.0 * c / total) for c, d in parts)))
    print()
    print("callers of ProfileStore::WriteIni:")
    for caller, count in writers.most_common():
        print("  %5.1f%%  %s" % (100.0 * count / total, caller))
    print()
    print("top leaf frames:")
    for leaf, count in leaves.most_common(args.top):
        print("  %5.1f%%  %s" % (100.0 * count / total, leaf))


if __name__ == "__main__":
    main()
