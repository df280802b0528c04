#!/usr/bin/python3
"""The network page under load while bells ring (run by bench/web_load.sh).

Logs in as admin and rewrites today's program so that a bell rings every minute from the
next one on, then holds event streams open (each client from an address of its own in
127.0.0.0/8, as phones on the school's network would be) and sends a steady mix of the
page's reads (state, journal, the page itself, session) on a few keep-alive connections,
timing each from its send to the whole response. At the end it prints the requests' figures,
the events each stream got, every bell due in the run as the journal has it, and the
program's CPU seconds and memory. Standard library only.
"""

import argparse
import datetime
import hashlib
import http.client
import json
import math
import os
import re
import signal
import socket
import sqlite3
import ssl
import statistics
import sys
import threading
import time
import urllib.parse

PATHS = ["/api/v1/state", "/api/v1/journal", "/", "/api/v1/session"]
TIMEOUT = 10.0

stop = threading.Event()
interrupted = False
in_setup = True


def on_signal(signum, frame):
    global interrupted
    interrupted = True
    stop.set()
    # Setup waits on single calls; nothing to keep from it.
    if in_setup:
        raise KeyboardInterrupt


def tls_context():
    # The page's certificate is its own, made at the bell PC: not one to verify here.
    ctx = ssl.create_default_context()
    ctx.check_hostname = False
    ctx.verify_mode = ssl.CERT_NONE
    return ctx


class Target:
    def __init__(self, url):
        u = urllib.parse.urlsplit(url)
        self.https = u.scheme == "https"
        self.host = u.hostname
        self.port = u.port or (443 if self.https else 80)
        self.ctx = tls_context() if self.https else None

    def connection(self, source):
        if self.https:
            return http.client.HTTPSConnection(self.host, self.port, timeout=TIMEOUT,
                                               source_address=(source, 0), context=self.ctx)
        return http.client.HTTPConnection(self.host, self.port, timeout=TIMEOUT,
                                          source_address=(source, 0))


def call(conn, method, path, token=None, body=None):
    headers = {"Accept": "application/json"}
    if token:
        headers["Authorization"] = "Bearer " + token
    data = None
    if body is not None:
        data = json.dumps(body).encode()
        headers["Content-Type"] = "application/json"
    conn.request(method, path, body=data, headers=headers)
    r = conn.getresponse()
    return r.status, r.read()


def call_once(target, source, method, path, token=None, body=None):
    conn = target.connection(source)
    try:
        return call(conn, method, path, token, body)
    finally:
        conn.close()


def login(target, source, role, password):
    t = time.perf_counter()
    status, body = call_once(target, source, "POST", "/api/v1/login", None,
                             {"role": role, "password": password})
    ms = (time.perf_counter() - t) * 1000
    if status != 200:
        raise SystemExit(f"login as {role} from {source}: {status} {body[:200]!r}")
    return json.loads(body)["token"], ms


def pct(values, p):
    if not values:
        return float("nan")
    # Nearest rank.
    s = sorted(values)
    return s[min(len(s) - 1, max(0, math.ceil(p / 100 * len(s)) - 1))]


def proc_cpu(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        # utime and stime are the 14th and 15th fields; [0] here is the 3rd (state).
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except OSError:
        return None


def proc_status(pid):
    out = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                k, _, v = line.partition(":")
                if k in ("VmRSS", "Threads"):
                    out[k] = int(v.split()[0])
        out["fds"] = len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        pass
    return out


def loud(text):
    print("!!! " + text, flush=True)


# --- today's program -------------------------------------------------------------------

def arm_bells(target, admin, count):
    """Puts today's periods one a minute from the first whole minute at least 20 s ahead."""
    status, body = call_once(target, "127.0.0.2", "GET", "/api/v1/state", admin)
    if status != 200:
        raise SystemExit(f"GET /api/v1/state: {status} {body[:200]!r}")
    state = json.loads(body)
    clock = datetime.datetime.fromisoformat(state["clock"])
    weekday = clock.isoweekday()
    day = state["today"].get("programDay") or weekday
    status, body = call_once(target, "127.0.0.2", "GET", f"/api/v1/programs/{day}", admin)
    if status != 200:
        raise SystemExit(f"GET /api/v1/programs/{day}: {status} {body[:200]!r}")
    program = json.loads(body)
    first = (clock + datetime.timedelta(seconds=20 + 59)).replace(second=0, microsecond=0)
    times = []
    for i, p in enumerate(program["periods"]):
        at = first + datetime.timedelta(minutes=i) if i < count else None
        if at is not None and at.date() != clock.date():
            at = None
        p["inUse"] = at is not None
        if at is not None:
            p["hour"], p["minute"] = at.hour, at.minute
            times.append((p["period"], at))
        # Amplifier off after each: no radio or music player started by the bench.
        p["after"] = 0
    status, body = call_once(target, "127.0.0.2", "PUT", f"/api/v1/programs/{day}", admin,
                             program)
    if status != 200:
        raise SystemExit(f"PUT /api/v1/programs/{day}: {status} {body.decode(errors='replace')}")
    print(f"program clock {clock:%Y-%m-%d %H:%M:%S} (weekday {weekday}, program of day {day}); "
          f"PUT /api/v1/programs/{day}: {json.loads(body).get('status')}; "
          f"{len(times)} periods {times[0][1]:%H:%M}..{times[-1][1]:%H:%M}, one a minute")
    status, body = call_once(target, "127.0.0.2", "GET", "/api/v1/state", admin)
    state = json.loads(body)
    nxt = state.get("next")
    ringing = [b for b in state["bells"] if b["state"] == "rings"]
    print(f"state: next {nxt and nxt['at']} (period {nxt and nxt['period']}), "
          f"{len(ringing)} periods ring today: "
          + " ".join(b["due"][:5] for b in ringing[:6]) + (" ..." if len(ringing) > 6 else ""))
    if not nxt or nxt["at"] != times[0][1].strftime("%H:%M:%S") or len(ringing) != len(times):
        loud(f"the state does not show the bells just saved: next {nxt}, {len(ringing)} ringing")
    offset = clock - datetime.datetime.now()
    return times, offset, state


# --- event streams ---------------------------------------------------------------------

class Stream(threading.Thread):
    def __init__(self, index, target, source, token):
        super().__init__(daemon=True)
        self.index, self.target, self.source, self.token = index, target, source, token
        self.events = 0
        self.events_before = 0
        self.comments = 0
        self.comments_before = 0
        self.comment_times = []
        self.bad = 0
        self.arrivals = []  # (monotonic, key)
        self.bell_changes = []  # (monotonic, bell in progress)
        self.refused = None
        self.stops = []  # (monotonic, why)
        self.connects = 0
        self.sock = None
        self.ready = threading.Event()
        self.seen = {}

    def open(self):
        raw = socket.create_connection((self.target.host, self.target.port), timeout=TIMEOUT,
                                       source_address=(self.source, 0))
        sock = self.target.ctx.wrap_socket(raw) if self.target.https else raw
        sock.sendall((f"GET /api/v1/events HTTP/1.1\r\nHost: {self.target.host}:"
                      f"{self.target.port}\r\nAuthorization: Bearer {self.token}\r\n"
                      "Accept: text/event-stream\r\n\r\n").encode())
        self.sock = sock
        self.connects += 1
        return sock

    def run(self):
        while not stop.is_set():
            why = self.follow()
            if self.refused or stop.is_set():
                break
            self.stops.append((time.monotonic(), why))
            # As a browser's EventSource would, after the stream's "retry: 3000".
            stop.wait(3)
        self.ready.set()

    def follow(self):
        try:
            sock = self.open()
            buf = b""
            while b"\r\n\r\n" not in buf:
                chunk = sock.recv(65536)
                if not chunk:
                    return "closed before its headers"
                buf += chunk
            head, buf = buf.split(b"\r\n\r\n", 1)
            status_line = head.split(b"\r\n", 1)[0].decode(errors="replace")
            status = int(status_line.split()[1])
            if status != 200:
                headers = dict(l.decode(errors="replace").lower().split(": ", 1)
                               for l in head.split(b"\r\n")[1:] if b": " in l)
                want = int(headers.get("content-length", "0"))
                sock.settimeout(2)
                try:
                    while len(buf) < want:
                        chunk = sock.recv(65536)
                        if not chunk:
                            break
                        buf += chunk
                except OSError:
                    pass
                try:
                    code = json.loads(buf[:want]).get("code")
                except ValueError:
                    code = buf[:80]
                self.refused = f"{status} {code}"
                return self.refused
            sock.settimeout(1.0)
            self.ready.set()
            while not stop.is_set():
                while b"\n\n" in buf:
                    block, buf = buf.split(b"\n\n", 1)
                    self.block(block)
                try:
                    chunk = sock.recv(65536)
                except socket.timeout:
                    continue
                if not chunk:
                    return "closed by the page"
                buf += chunk
            return "stopped"
        except (OSError, ValueError, ssl.SSLError) as e:
            return f"{type(e).__name__}: {e}"
        finally:
            self.ready.set()
            s, self.sock = self.sock, None
            if s:
                try:
                    s.close()
                except OSError:
                    pass

    def block(self, block):
        now = time.monotonic()
        lines = block.decode(errors="replace").split("\n")
        data = [l[5:].lstrip() for l in lines if l.startswith("data:")]
        if not data and not any(l.startswith("event:") for l in lines):
            if any(l.startswith(":") for l in lines):
                self.comments += 1
                self.comment_times.append(now)
            return
        self.events += 1
        text = "\n".join(data)
        try:
            state = json.loads(text)
        except ValueError:
            self.bad += 1
            return
        digest = hashlib.sha1(text.encode()).hexdigest()
        n = self.seen.get(digest, 0)
        self.seen[digest] = n + 1
        self.arrivals.append((now, (digest, n)))
        bell = state.get("bell") is not None
        if not self.bell_changes or self.bell_changes[-1][1] != bell:
            self.bell_changes.append((now, bell))

    def shut(self):
        s = self.sock
        if s:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


# --- requests --------------------------------------------------------------------------

class Requester(threading.Thread):
    def __init__(self, index, count, target, source, token, rate, t0, t_end):
        super().__init__(daemon=True)
        self.index, self.count, self.target, self.source = index, count, target, source
        self.token, self.rate, self.t0, self.t_end = token, rate, t0, t_end
        self.records = []  # (send monotonic, path, status or None, ms, new connection, error)
        self.behind = 0
        self.conn = None

    def run(self):
        interval = self.count / self.rate
        due = self.t0 + self.index / self.rate
        k = 0
        while not stop.is_set() and due < self.t_end:
            now = time.monotonic()
            if now < due:
                stop.wait(due - now)
                continue
            if now - due > interval:
                self.behind += 1
            path = PATHS[(k * self.count + self.index) % len(PATHS)]
            k += 1
            due += interval
            fresh = self.conn is None
            if fresh:
                self.conn = self.target.connection(self.source)
            sent = time.monotonic()
            t = time.perf_counter()
            try:
                status, body = call(self.conn, "GET", path, self.token)
                ms = (time.perf_counter() - t) * 1000
                err = None
                if status != 200:
                    err = body[:120].decode(errors="replace")
                elif path.startswith("/api/"):
                    json.loads(body)
                self.records.append((sent, path, status, ms, fresh, err))
            except (OSError, http.client.HTTPException, ValueError) as e:
                ms = (time.perf_counter() - t) * 1000
                if not stop.is_set():
                    self.records.append((sent, path, None, ms, fresh,
                                         f"{type(e).__name__}: {e}"))
                self.close()

    def close(self):
        c, self.conn = self.conn, None
        if c:
            c.close()


# --- the report --------------------------------------------------------------------------

def journal_bells(path, start, end):
    uri = "file:" + urllib.parse.quote(path) + "?mode=ro"
    try:
        db = sqlite3.connect(uri, uri=True, timeout=5)
    except sqlite3.Error:
        db = sqlite3.connect(path, timeout=5)
    cols = [r[1] for r in db.execute("PRAGMA table_info(bells)")]
    want = ["id", "kind", "period", "due", "fired", "outcome", "late_ms", "onset_ms", "reason",
            "detail", "relay", "ended"]
    missing = [c for c in want if c not in cols]
    if missing:
        loud(f"the journal's bells table has no {missing} (columns: {cols})")
        want = [c for c in want if c in cols]
    rows = [dict(zip(want, r)) for r in db.execute(
        f"SELECT {', '.join(want)} FROM bells WHERE due >= ? AND due <= ? ORDER BY due, id",
        (start.strftime("%Y-%m-%dT%H:%M:%S"), end.strftime("%Y-%m-%dT%H:%M:%S")))]
    sounds = {}
    for bell_id, total, ok in db.execute(
            "SELECT bell_id, count(*), sum(ok) FROM sounds GROUP BY bell_id"):
        sounds[bell_id] = (ok or 0, total)
    db.close()
    return rows, sounds


def figures(values):
    if not values:
        return "none"
    return (f"p50 {pct(values, 50):.1f} / p95 {pct(values, 95):.1f} / p99 {pct(values, 99):.1f}"
            f" / max {max(values):.1f} ms")


def summary(values, unit="ms"):
    if not values:
        return "none"
    return (f"min {min(values):.0f} / median {statistics.median(values):.0f} / "
            f"max {max(values):.0f} {unit}")


def report(args, target, requesters, streams, t0, t_stop, clock0, clock1, times, cpu0, cpu1,
           mem_page, mem0, mem1, logins, log_from, admin):
    wall = t_stop - t0
    print()
    print(f"=== {'INTERRUPTED after ' if interrupted else ''}{wall:.0f} s of load, "
          f"{'https' if target.https else 'http'}, {len(streams)} event streams, "
          f"{len(requesters)} request clients at {args.rate:g}/s ===")

    # Requests.
    recs = [r for q in requesters for r in q.records]
    ok = [r for r in recs if r[2] == 200]
    errors = [r for r in recs if r[2] != 200]
    lat = [r[3] for r in ok]
    print(f"requests: sent {len(recs)}, ok {len(ok)}, errors {len(errors)} "
          f"({len(recs) / wall:.1f}/s; sent late by more than one interval: "
          f"{sum(q.behind for q in requesters)})")
    print(f"latency (ok, send to whole response): {figures(lat)}")
    for p in PATHS:
        l = [r[3] for r in ok if r[1] == p]
        print(f"  {p:18} {len(l):6} ok  p50 {pct(l, 50):6.1f}  p95 {pct(l, 95):6.1f}  "
              f"p99 {pct(l, 99):6.1f}  max {max(l, default=float('nan')):7.1f} ms")
    fresh = [r[3] for r in ok if r[4]]
    if fresh:
        print(f"  on a new connection ({len(fresh)}): median {statistics.median(fresh):.1f},"
              f" max {max(fresh):.1f} ms")
    # During a bell (from the first stream's pictures) and between bells.
    changes = next((s.bell_changes for s in streams if s.bell_changes), [])
    spans, since = [], None
    for t, bell in changes:
        if bell and since is None:
            since = t
        elif not bell and since is not None:
            spans.append((since, t))
            since = None
    if since is not None:
        spans.append((since, t_stop))
    during = [r[3] for r in ok if any(a <= r[0] <= b for a, b in spans)]
    between = [r[3] for r in ok if not any(a <= r[0] <= b for a, b in spans)]
    print(f"  while a bell was in progress ({len(during)}): {figures(during)}; "
          f"between bells ({len(between)}): {figures(between)}")
    slow = sorted(ok, key=lambda r: -r[3])[:5]
    if slow:
        print("  slowest: " + ", ".join(f"{r[1]} {r[3]:.0f} ms at +{r[0] - t0:.1f} s" for r in slow))
    if errors:
        loud(f"{len(errors)} requests failed:")
        kinds = {}
        for r in errors:
            kinds.setdefault((r[1], r[2], r[5]), []).append(r[0] - t0)
        for (p, status, err), at in sorted(kinds.items(), key=lambda kv: kv[1][0]):
            print(f"    {len(at)} x {p} -> {status or 'no answer'} {err} "
                  f"(first at +{at[0]:.1f} s)")
    print(f"logins before the load: {len(logins)}, median {statistics.median(logins):.0f} ms, "
          f"max {max(logins):.0f} ms")

    # Streams.
    held = [s for s in streams if not s.refused]
    refused = [s for s in streams if s.refused]
    counts = [s.events - s.events_before for s in held]
    print(f"event streams: {len(held)} held open, {len(refused)} refused"
          + (f" ({', '.join(sorted(set(s.refused for s in refused)))}; the page holds at most 24"
             " streams at once, docs/API.md)" if refused else ""))
    if counts:
        print(f"events per stream during the load: min {min(counts)} / median {statistics.median(counts):g} / "
              f"max {max(counts)}; keep-alive comments per stream: min "
              f"{min(s.comments - s.comments_before for s in held)} / max "
              f"{max(s.comments - s.comments_before for s in held)}")
    gaps = [b - a for s in held for a, b in zip(s.comment_times, s.comment_times[1:])]
    if gaps:
        print(f"  keep-alive comment every: min {min(gaps):.1f} / median "
              f"{statistics.median(gaps):.1f} / max {max(gaps):.1f} s (the page says 20 s)")
    bad = sum(s.bad for s in held)
    if bad:
        loud(f"{bad} events whose data was not JSON")
    stopped = [(s, t, why) for s in held for t, why in s.stops]
    for s, t, why in stopped:
        loud(f"stream {s.index} (from {s.source}) stopped at +{t - t0:.1f} s: {why}")
    if counts and min(counts) != max(counts):
        short = [s for s in held if s.events - s.events_before < max(counts)]
        print(f"  streams with fewer events: "
              + ", ".join(f"{s.index}:{s.events - s.events_before}" for s in short[:10]))
    # Fan-out: the same picture's arrival at the first and at the last stream.
    arrivals = {}
    for s in held:
        for t, key in s.arrivals:
            if t >= t0:
                arrivals.setdefault(key, []).append(t)
    spread = [(max(v) - min(v)) * 1000 for v in arrivals.values() if len(v) == len(held) > 1]
    if spread:
        print(f"one picture's arrival, first to last stream ({len(spread)} pictures seen by all):"
              f" p50 {pct(spread, 50):.1f} / p95 {pct(spread, 95):.1f} / max {max(spread):.1f} ms")

    # Bells.
    try:
        rows, sounds = journal_bells(args.journal, clock0, clock1)
    except sqlite3.Error as e:
        loud(f"the journal {args.journal} could not be read: {e}")
        rows, sounds = [], {}
    print(f"bells due from {clock0:%H:%M:%S} to {clock1:%H:%M:%S} (program clock), "
          f"journal {args.journal}:")
    late, onset = [], []
    for r in rows:
        due = datetime.datetime.fromisoformat(r["due"])
        fired = datetime.datetime.fromisoformat(r["fired"]) if r.get("fired") else None
        lms = (fired - due).total_seconds() * 1000 if fired else None
        if lms is not None:
            late.append(lms)
        if r.get("onset_ms") is not None:
            onset.append(r["onset_ms"])
        ok_n, total = sounds.get(r["id"], (0, 0))
        line = (f"  {r['due'][11:]} {r['kind']:9} period {r['period']!s:>2}  "
                f"{r['outcome'] or '(none yet)':8} fired-due "
                f"{'-' if lms is None else f'{lms:.0f}'} ms  late_ms {r.get('late_ms')}  "
                f"onset_ms {r.get('onset_ms')}  sounds {ok_n}/{total}  relay {r.get('relay')}")
        if r.get("reason") or r.get("detail"):
            line += f"  ({r.get('reason') or ''} {r.get('detail') or ''})".rstrip()
        print(line)
        if r["outcome"] != "rang":
            loud(f"the bell due {r['due']} (period {r['period']}) is "
                 f"{r['outcome'] or 'without an outcome'}: {r.get('reason')} {r.get('detail')}")
    expected = [(p, at) for p, at in times if clock0 <= at <= clock1]
    found = {(r["period"], r["due"]) for r in rows if r["kind"] == "scheduled"}
    for p, at in expected:
        if (p, at.strftime("%Y-%m-%dT%H:%M:%S")) not in found:
            loud(f"no journal row for period {p} due {at:%H:%M:%S}")
    outcomes = {}
    for r in rows:
        outcomes[r["outcome"]] = outcomes.get(r["outcome"], 0) + 1
    print(f"bells: {len(rows)} due in the run ({len(expected)} expected), outcomes "
          + ", ".join(f"{k}: {v}" for k, v in outcomes.items()))
    print(f"  fired - due: {summary(late)}")
    print(f"  onset (onset_ms): {summary(onset)}")

    # The program.
    if cpu0 is not None and cpu1 is not None:
        print(f"program CPU during the load: {cpu1 - cpu0:.2f} s over {wall:.0f} s "
              f"({(cpu1 - cpu0) / wall * 100:.1f} % of one core)")
    print(f"program RSS: {mem_page.get('VmRSS', 0) / 1024:.1f} MB after the page was turned on,"
          f" {mem0.get('VmRSS', 0) / 1024:.1f} MB at the load's start (after the logins), "
          f"{mem1.get('VmRSS', 0) / 1024:.1f} MB at its end; threads {mem0.get('Threads')} -> "
          f"{mem1.get('Threads')}, descriptors {mem0.get('fds')} -> {mem1.get('fds')}")
    if args.log:
        try:
            with open(args.log, "rb") as f:
                f.seek(log_from)
                lines = f.read().decode(errors="replace").splitlines()
        except OSError:
            lines = []
        notable = [l for l in lines if re.search(r"refused|closed|fail|warn|error|late|missed",
                                                 l, re.I)]
        print(f"program log during the load: {len(lines)} lines, {len(notable)} notable")
        groups = {}
        for l in notable:
            groups.setdefault(re.sub(r"[0-9]+", "N", l)[:110], []).append(l)
        for k, v in list(groups.items())[:15]:
            print(f"  {len(v)} x {v[0][:160]}")


def main():
    global in_setup
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--url", required=True)
    ap.add_argument("--seconds", type=float, default=600)
    ap.add_argument("--pid", type=int, required=True)
    ap.add_argument("--journal", required=True)
    ap.add_argument("--log")
    ap.add_argument("--streams", type=int, default=30)
    ap.add_argument("--clients", type=int, default=4)
    ap.add_argument("--rate", type=float, default=20)
    ap.add_argument("--bells", type=int, default=24)
    args = ap.parse_args()
    admin_pw = os.environ["WEB_LOAD_ADMIN_PASSWORD"]
    teacher_pw = os.environ["WEB_LOAD_TEACHER_PASSWORD"]
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)
    target = Target(args.url)
    if not (target.host == "127.0.0.1" or target.host.startswith("127.")):
        raise SystemExit("loopback only")
    if args.streams > 80 or args.clients > 40:
        raise SystemExit("at most 80 streams and 40 request clients")

    t_start = time.monotonic()
    try:
        mem_page = proc_status(args.pid)
        admin, _ = login(target, "127.0.0.2", "admin", admin_pw)
        logins = []
        # Every client is a phone of its own: an address and a session each.
        stream_sources = [f"127.0.0.{11 + i}" for i in range(args.streams)]
        client_sources = [f"127.0.1.{1 + j}" for j in range(args.clients)]
        tokens = {}
        for src in stream_sources + client_sources:
            tokens[src], ms = login(target, src, "teacher", teacher_pw)
            logins.append(ms)
        streams = [Stream(i, target, src, tokens[src]) for i, src in enumerate(stream_sources)]
        # One after another, so that which of them the page's limit refuses is the same in
        # every run (the last ones).
        for s in streams:
            s.start()
            s.ready.wait(TIMEOUT)
            if not s.refused:
                deadline = time.monotonic() + TIMEOUT
                while s.events == 0 and s.is_alive() and time.monotonic() < deadline:
                    time.sleep(0.01)
        # Last, so that the first bell is due soon after the load begins.
        times, offset, _ = arm_bells(target, admin, args.bells)
        # The pictures the save sends (the day armed, the journal written) are not the load's.
        time.sleep(1)
    except KeyboardInterrupt:
        print("interrupted during setup", file=sys.stderr)
        return 130
    in_setup = False
    if interrupted:
        return 130

    t0 = time.monotonic()
    for s in streams:
        s.events_before = s.events
        s.comments_before = s.comments
    t_end = t0 + args.seconds
    clock0 = (datetime.datetime.now() + offset).replace(microsecond=0)
    cpu0 = proc_cpu(args.pid)
    mem0 = proc_status(args.pid)
    log_from = os.path.getsize(args.log) if args.log and os.path.exists(args.log) else 0
    requesters = [Requester(j, args.clients, target, src, tokens[src], args.rate, t0, t_end)
                  for j, src in enumerate(client_sources)]
    for q in requesters:
        q.start()
    print(f"setup {t0 - t_start:.1f} s; load from +0 s for {args.seconds:g} s (program clock {clock0:%H:%M:%S}); "
          f"{sum(1 for s in streams if not s.refused)} streams open", flush=True)
    next_note = t0 + 60
    while not stop.is_set() and time.monotonic() < t_end:
        stop.wait(min(0.2, max(0.0, t_end - time.monotonic())))
        if time.monotonic() >= next_note and not stop.is_set():
            next_note += 60
            n = sum(len(q.records) for q in requesters)
            e = sum(1 for q in requesters for r in q.records if r[2] != 200)
            ev = [s.events - s.events_before for s in streams if not s.refused]
            print(f"  +{time.monotonic() - t0:.0f} s: {n} requests, {e} errors, events per "
                  f"stream {min(ev, default=0)}-{max(ev, default=0)}", flush=True)
    t_stop = time.monotonic()
    cpu1 = proc_cpu(args.pid)
    mem1 = proc_status(args.pid)
    clock1 = (datetime.datetime.now() + offset).replace(microsecond=0)
    stop.set()
    for s in streams:
        s.shut()
    for q in requesters:
        q.join(TIMEOUT + 1 if not interrupted else 0.5)
        q.close()
    for s in streams:
        s.join(1)

    # A bell still ringing has no outcome yet: wait for it (not after Ctrl-C).
    if not interrupted:
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            try:
                status, body = call_once(target, "127.0.0.2", "GET", "/api/v1/state", admin)
                if status == 200 and json.loads(body).get("bell") is None:
                    break
            except (OSError, http.client.HTTPException, ValueError):
                pass
            time.sleep(1)
        time.sleep(0.5)
    report(args, target, requesters, streams, t0, t_stop, clock0, clock1, times, cpu0, cpu1,
           mem_page, mem0, mem1, logins, log_from, admin)
    return 130 if interrupted else 0


if __name__ == "__main__":
    sys.exit(main())
