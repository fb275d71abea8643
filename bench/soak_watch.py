"""The rack watcher's soak (bench/soak --watch): signal-cli watch on 32 simulated boxes of
one line with the simulator's chaos at 1%, its metrics scraped every second, and the boxes'
signals changed one box at a time. Loaded by bench/soak, whose helpers it uses.

The checks: resident memory grows by less than 2 MB after the first 5 minutes (the first
sixth of a shorter run); descriptors and threads end where they started; no missed rounds
(every box is polled again within 10 s; a round with lost replies takes longer, but never
that long); every scrape answers; every event matches a change the soak made on that box
(a "no_answer" of a box that never stopped answering is a mismatch), and after each box
has held its state for 15 s, the state its events describe and the state its metrics show
are the box's own; the watcher ends with exit status 0 on SIGTERM.
"""

import collections
import datetime
import json
import os
import queue
import random
import socket
import subprocess
import threading
import time
import urllib.request

BOXES = ["01%02X" % device for device in range(1, 33)]
FORMATS = ["1080p60", "720p60", "1080i50", "576i50", "2160p30", "1080p24"]
HDCP = ["off", "2.2"]
EVERY_S = 1
# Changes the watcher has to have seen, in its events and its metrics, after this long: a
# round of 32 boxes with a lost reply or two takes 2-4 s, and a change is read twice.
SETTLE_S = 15
# A box not polled for this long is a missed round.
STALL_S = 10
CHANGE_TEXTS = ("signal_lost", "signal_back", "format_changed", "hdcp_changed")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def parse_metrics(text):
    """{(name, box): value} of the exposition's samples that carry a box label."""
    values = {}
    for line in text.splitlines():
        if not line or line.startswith("#") or "{" not in line:
            continue
        name, _, rest = line.partition("{")
        labels, _, value = rest.rpartition("}")
        box = None
        for pair in labels.split(","):
            key, _, quoted = pair.partition("=")
            if key.strip() == "box":
                box = quoted.strip().strip('"')
        if box is not None:
            values[(name, box)] = float(value.split()[0])
    return values


class WatchSoak:
    def __init__(self, args, out_dir, soak):
        self.args = args
        self.out = out_dir
        self.soak = soak
        self.rng = random.Random(args.seed)
        self.findings = []
        self.faults = []
        self.events = []
        self.event_queue = queue.Queue()
        # What each box was, as the soak made it: [(time, format, hdcp)]; hdcp None while
        # the box's source has its own (between a format change and the HDCP command).
        self.history = {box: [] for box in BOXES}
        # What the watcher's events say each box is: format text ("" without a signal),
        # HDCP text, answering or not.
        self.view = {}
        self.texts = {}        # format -> the panel's timing text
        self.actives = {}      # format -> (h_active, v_active)
        self.hdcp_texts = {}   # hdcp -> the panel's HDCP text
        self.stats = collections.Counter()
        self.last_polls = {}   # box -> (polls, time it last grew)
        self.first_metrics = None
        self.last_metrics = None

    def finding(self, text):
        stamp = "%7.1f s  " % (self.soak.now() - self.started) if hasattr(self, "started") else ""
        self.findings.append(stamp + text)
        self.soak.log("  finding: " + stamp + text)

    # -- set-up --------------------------------------------------------------------------

    def start(self):
        soak, build = self.soak, self.args.build
        self.sim = soak.Simulator(os.path.join(build, "sim", "signal-box-sim"),
                                  ["--address", BOXES[0], "--boxes", str(len(BOXES))], self.out)
        # Each box starts on a format and HDCP of its own: their first answers give the
        # texts every format and HDCP shows as, on a clean line.
        for i, box in enumerate(BOXES):
            fmt, hdcp = FORMATS[i % len(FORMATS)], HDCP[(i // len(FORMATS)) % len(HDCP)]
            self.sim.command("box " + box)
            self.sim.command("signal %s quiet" % fmt)
            self.sim.command("hdcp " + hdcp)
            self.history[box].append((soak.now(), fmt, hdcp))
        self.sim.command("box all")
        self.metrics_url = "http://127.0.0.1:%d/metrics" % free_port()
        self.watch_errors = open(os.path.join(self.out, "watch.stderr"), "w")
        self.watch_log = open(os.path.join(self.out, "events.jsonl"), "w")
        self.watch = subprocess.Popen(
            [os.path.join(build, "cli", "signal-cli"), "--port", self.sim.path, "watch",
             "--boxes", ",".join(BOXES), "--every", str(EVERY_S), "--jsonl",
             "--metrics", self.metrics_url.split("//")[1].split("/")[0]],
            stdout=subprocess.PIPE, stderr=self.watch_errors, text=True, bufsize=1)
        threading.Thread(target=self._read_events, daemon=True).start()
        deadline = soak.now() + 60
        while len([b for b in self.view if self.view[b]["up"]]) < len(BOXES):
            if soak.now() > deadline:
                raise soak.Failure("the watcher did not report every box within 60 s")
            self.check_alive()
            self.take_events()
            time.sleep(0.1)
        for fmt in FORMATS:
            if fmt not in self.texts:
                raise soak.Failure("no box reported %s at the start" % fmt)
        if len(set(self.texts.values())) != len(FORMATS):
            raise soak.Failure("two formats show the same timing text: %s" % self.texts)

    def _read_events(self):
        for line in self.watch.stdout:
            self.event_queue.put(line)
        self.event_queue.put(None)

    def check_alive(self):
        code = self.watch.poll()
        if code is not None:
            raise self.soak.Failure("the watcher ended (exit status %d)" % code)

    # -- the watcher's events ------------------------------------------------------------

    def take_events(self):
        while True:
            try:
                line = self.event_queue.get_nowait()
            except queue.Empty:
                return
            if line is None:
                return
            self.take_line(line)

    def take_line(self, line):
        self.watch_log.write(line)
        try:
            event = json.loads(line)
        except ValueError:
            self.finding("the watcher wrote a line that is not JSON: %r" % line[:200])
            return
        event["t"] = datetime.datetime.fromisoformat(event["time"]).timestamp()
        self.events.append(event)
        self.stats[event["event"]] += 1
        self.take_event(event)

    def states_between(self, box, start, stop):
        """The (format, hdcp) states the box had at some time in [start, stop]."""
        states = []
        history = self.history[box]
        for i, (t, fmt, hdcp) in enumerate(history):
            until = history[i + 1][0] if i + 1 < len(history) else float("inf")
            if until >= start and t <= stop:
                states.append((fmt, hdcp))
        return states

    def take_event(self, e):
        box, kind, t = e["box"], e["event"], e["t"]
        if box not in self.history:
            self.finding("an event of a box not watched: %s" % json.dumps(e))
            return
        # A change shows within a few rounds of being made; a little slack either side for
        # the clocks of two processes.
        recent = self.states_between(box, t - SETTLE_S, t + 0.5)
        view = self.view.setdefault(box, {"up": False, "format": None, "hdcp": None})
        if kind == "answering":
            panel = e["panel"]
            fmt_text, hdcp_text = panel["timing"], panel["hdcp"]
            if not hasattr(self, "started"):
                # The start: learn the texts.
                fmt, hdcp = self.history[box][-1][1:]
                self.texts.setdefault(fmt, fmt_text)
                self.actives.setdefault(fmt, (e["timing"]["h_active"], e["timing"]["v_active"]))
                self.hdcp_texts.setdefault(hdcp, hdcp_text)
                if self.texts[fmt] != fmt_text or self.hdcp_texts[hdcp] != hdcp_text:
                    self.finding("box %s at %s/%s answered with %s/%s, another with %s/%s" % (
                        box, fmt, hdcp, fmt_text, hdcp_text, self.texts[fmt],
                        self.hdcp_texts[hdcp]))
            elif not any(self.matches(s, fmt_text, hdcp_text) for s in recent):
                self.mismatch(e, recent)
            view.update(up=True, format=fmt_text, hdcp=hdcp_text)
            return
        if kind == "no_answer":
            # The soak never silences a box: the line lost a reply or more.
            view.update(up=False)
            self.mismatch(e, recent, "the box never stopped answering")
            return
        if kind == "signal_lost":
            ok = any(fmt == "none" for fmt, _ in recent)
            view.update(format="")
        elif kind == "signal_back":
            ok = any(fmt != "none" and self.texts.get(fmt) == e.get("format")
                     for fmt, _ in recent)
            view.update(format=e.get("format"))
        elif kind == "format_changed":
            ok = any(fmt != "none" and self.texts.get(fmt) == e["to"] for fmt, _ in recent)
            view.update(format=e["to"])
        elif kind == "hdcp_changed":
            ok = any(fmt != "none" and (hdcp is None or self.hdcp_texts.get(hdcp) == e["to"])
                     for fmt, hdcp in recent)
            view.update(hdcp=e["to"])
        else:
            ok = False
        if not ok:
            self.mismatch(e, recent)

    def matches(self, state, fmt_text, hdcp_text):
        fmt, hdcp = state
        if fmt == "none":
            return fmt_text == ""
        return self.texts.get(fmt) == fmt_text and (
            hdcp is None or self.hdcp_texts.get(hdcp) == hdcp_text)

    def mismatch(self, e, recent, why=""):
        self.stats["mismatched"] += 1
        shown = {k: v for k, v in e.items() if k in ("box", "event", "from", "to", "format")}
        self.finding("event %s does not match the box's changes (%s)%s" % (
            json.dumps(shown), ", ".join("%s/%s" % s for s in recent),
            ": " + why if why else ""))

    # -- the box's changes ---------------------------------------------------------------

    def change_a_box(self):
        now = self.soak.now()
        settled = [b for b in BOXES if now - self.history[b][-1][0] >= SETTLE_S + 5]
        if not settled:
            return
        box = self.rng.choice(settled)
        _, fmt, hdcp = self.history[box][-1]
        self.sim.command("box " + box)
        if fmt != "none" and self.rng.random() < 0.3:
            hdcp = "2.2" if hdcp == "off" else "off"
            self.sim.command("hdcp " + hdcp)
            self.history[box].append((self.soak.now(), fmt, hdcp))
        else:
            fmt = self.rng.choice([f for f in FORMATS + ["none"] if f != fmt])
            self.sim.command("signal " + fmt)
            self.history[box].append((self.soak.now(), fmt, None))
            if fmt != "none":
                hdcp = self.rng.choice(HDCP)
                self.sim.command("hdcp " + hdcp)
                self.history[box].append((self.soak.now(), fmt, hdcp))
        self.sim.command("box all")
        self.stats["changes"] += 1

    # -- checks while it runs ------------------------------------------------------------

    def scrape(self):
        try:
            with urllib.request.urlopen(self.metrics_url, timeout=5) as answer:
                text = answer.read().decode()
        except Exception as e:  # any failure of a scrape is a finding, not an end
            self.stats["failed scrapes"] += 1
            self.finding("a scrape failed: %s" % e)
            return None
        self.stats["scrapes"] += 1
        metrics = parse_metrics(text)
        now = self.soak.now()
        for box in BOXES:
            polls = metrics.get(("signal_box_polls_total", box))
            if polls is None:
                self.finding("the metrics have no polls of box %s" % box)
                continue
            last = self.last_polls.get(box)
            if last is None or polls > last[0]:
                self.last_polls[box] = (polls, now)
            elif now - last[1] > STALL_S:
                self.stats["missed rounds"] += 1
                self.finding("box %s was not polled for %.0f s" % (box, now - last[1]))
                self.last_polls[box] = (polls, now)
        if self.first_metrics is None:
            self.first_metrics = metrics
        self.last_metrics = metrics
        return metrics

    def compare(self, metrics):
        """Boxes that have held their state for SETTLE_S: the events and the metrics show
        it (a box whose last reading the line spoiled may lag one round: looked at again
        at the next comparison before it counts)."""
        now = self.soak.now()
        for box in BOXES:
            t, fmt, hdcp = self.history[box][-1]
            if now - t < SETTLE_S or hdcp is None and fmt != "none":
                continue
            view = self.view.get(box, {})
            problems = []
            if not view.get("up"):
                continue  # said as its no_answer event
            want_text = "" if fmt == "none" else self.texts[fmt]
            if view.get("format") != want_text:
                problems.append("events say format '%s', box '%s'" % (view.get("format"),
                                                                       want_text))
            elif fmt != "none" and view.get("hdcp") != self.hdcp_texts[hdcp]:
                problems.append("events say HDCP '%s', box '%s'" % (view.get("hdcp"),
                                                                     self.hdcp_texts[hdcp]))
            if metrics is not None and metrics.get(("signal_box_up", box)) == 1:
                present = metrics.get(("signal_box_signal_present", box))
                if present != (0 if fmt == "none" else 1):
                    problems.append("metrics say signal_present %s" % present)
                elif fmt != "none":
                    got = (metrics.get(("signal_box_h_active_pixels", box)),
                           metrics.get(("signal_box_v_active_lines", box)))
                    if got != tuple(float(x) for x in self.actives[fmt]):
                        problems.append("metrics say %sx%s" % got)
                    version = metrics.get(("signal_box_hdcp_version", box))
                    if version != (2.2 if hdcp == "2.2" else 0):
                        problems.append("metrics say HDCP %s" % version)
            key = (box, t)
            if problems:
                if key in self.lagging:
                    self.stats["stale views"] += 1
                    self.finding("box %s at %s/%s for %.0f s: %s" % (
                        box, fmt, hdcp, now - t, "; ".join(problems)))
                    self.lagging.discard(key)
                    self.reported.add(key)
                elif key not in self.reported:
                    self.lagging.add(key)
            else:
                self.lagging.discard(key)
            self.stats["looks"] += 1

    # -- the run -------------------------------------------------------------------------

    def run(self):
        soak, args = self.soak, self.args
        self.start()
        self.lagging, self.reported = set(), set()
        self.sim.command("chaos %d %s" % (args.seed, args.rate))
        self.sim.chaos_events()
        self.started = soak.now()
        end = self.started + args.minutes * 60
        columns = ["t_min", "rss_mb", "fds", "threads", "cpu_s", "cpu_pct", "rounds",
                   "unanswered", "events", "scrapes", "faults", "load"]
        self.samples = soak.Samples(self.out, ["t_s"] + columns)
        due = {"sample": self.started, "scrape": self.started, "change": self.started + 2,
               "compare": self.started + SETTLE_S}
        last_cpu = None
        metrics = None
        try:
            while soak.now() < end:
                self.check_alive()
                t = soak.now()
                self.take_events()
                if t >= due["scrape"]:
                    metrics = self.scrape() or metrics
                    due["scrape"] += 1
                if t >= due["change"]:
                    self.change_a_box()
                    due["change"] = t + self.rng.uniform(0.5, 3.0)
                if t >= due["compare"]:
                    self.compare(metrics)
                    due["compare"] += 5
                if t >= due["sample"]:
                    self.faults += self.sim.chaos_events()
                    last_cpu = self.sample(last_cpu, metrics)
                    due["sample"] += 10
                time.sleep(0.05)
            self.take_events()
            self.faults += self.sim.chaos_events()
            self.sample(last_cpu, self.scrape() or metrics)
        finally:
            self.finish()

    def sample(self, last, metrics):
        s = self.soak.proc_sample(self.watch.pid)
        self.fds_last = self.soak.fd_kinds(self.watch.pid)
        if not hasattr(self, "fds_first"):
            self.fds_first = self.fds_last
        t = self.soak.now() - self.started
        cpu_pct = 0.0
        if last:
            cpu_pct = 100.0 * (s["cpu_s"] - last[1]) / max(0.001, t - last[0])
        rounds = unanswered = 0
        if metrics:
            rounds = int(min(metrics.get(("signal_box_polls_total", b), 0) for b in BOXES))
            unanswered = int(sum(metrics.get(("signal_box_no_answer_total", b), 0)
                                 for b in BOXES))
        self.samples.add({"t_s": round(t, 1), "t_min": t / 60.0, "rss_mb": s["rss_kb"] / 1024.0,
                          "fds": s["fds"], "threads": s["threads"], "cpu_s": s["cpu_s"],
                          "cpu_pct": cpu_pct, "rounds": rounds, "unanswered": unanswered,
                          "events": len(self.events), "scrapes": self.stats["scrapes"],
                          "faults": len(self.faults), "load": self.soak.load_average()})
        self.soak.progress(self.samples.rows[-1])
        return (t, s["cpu_s"])

    def finish(self):
        if getattr(self, "finished", False):
            return
        self.finished = True
        self.exit_status = None
        watch = getattr(self, "watch", None)
        if watch and watch.poll() is None:
            watch.terminate()
            try:
                self.exit_status = watch.wait(timeout=15)
            except subprocess.TimeoutExpired:
                watch.kill()
                watch.wait()
                self.exit_status = "hung"
        elif watch:
            self.exit_status = "ended early (%d)" % watch.returncode
        if watch:
            # The last lines it wrote on its way out.
            while True:
                try:
                    line = self.event_queue.get(timeout=5)
                except queue.Empty:
                    break
                if line is None:
                    break
                self.take_line(line)
            self.watch_log.close()
        if hasattr(self, "sim"):
            self.sim.stop()

    # -- the verdict ---------------------------------------------------------------------

    def verdict(self):
        soak = self.soak
        rows = self.samples.rows
        columns = ["t_min", "rss_mb", "fds", "threads", "cpu_s", "cpu_pct", "rounds",
                   "unanswered", "events", "scrapes", "faults", "load"]
        soak.print_table(self.samples, columns)
        checks = []
        minutes = self.args.minutes
        settle = min(300, minutes * 60 / 6)
        after = [r for r in rows if r["t_s"] >= settle]
        if after:
            growth = rows[-1]["rss_mb"] - after[0]["rss_mb"]
            checks.append(("resident memory after %d s grows < 2 MB" % settle, growth < 2.0,
                           "%+.2f MB (%.1f -> %.1f)" % (growth, after[0]["rss_mb"],
                                                        rows[-1]["rss_mb"])))
        if rows:
            checks.append(("descriptors end where they started",
                           rows[-1]["fds"] == rows[0]["fds"],
                           "%d -> %d %s" % (rows[0]["fds"], rows[-1]["fds"],
                                            soak.fd_difference(self.fds_first, self.fds_last))))
            checks.append(("threads end where they started",
                           rows[-1]["threads"] == rows[0]["threads"],
                           "%d -> %d" % (rows[0]["threads"], rows[-1]["threads"])))
            checks.append(("no missed rounds (every box polled within %d s)" % STALL_S,
                           self.stats["missed rounds"] == 0,
                           "%d rounds, %d readings spoiled by the line" % (
                               rows[-1]["rounds"], rows[-1]["unanswered"])))
        checks.append(("every scrape answered", self.stats["failed scrapes"] == 0,
                       "%d scrapes, %d failed" % (self.stats["scrapes"],
                                                  self.stats["failed scrapes"])))
        changes = sum(self.stats[k] for k in CHANGE_TEXTS)
        checks.append(("every event matches the box's changes", self.stats["mismatched"] == 0,
                       "%d change events for %d changes, %d no_answer, %d mismatched" % (
                           changes, self.stats["changes"], self.stats["no_answer"],
                           self.stats["mismatched"])))
        checks.append(("events and metrics show each settled box", self.stats["stale views"] == 0,
                       "%d looks, %d wrong" % (self.stats["looks"], self.stats["stale views"])))
        checks.append(("no crash; SIGTERM ends it with 0", self.exit_status == 0,
                       "exit status %s" % self.exit_status))
        kinds = collections.Counter(f["kind"] for f in self.faults)
        soak.log("")
        soak.log("Chaos: %d faults (%s); %d changes of %d boxes, a round every %d s" % (
            len(self.faults), ", ".join("%s %d" % kv for kv in sorted(kinds.items())),
            self.stats["changes"], len(BOXES), EVERY_S))
        return soak.report(checks, self.findings, self.out)
