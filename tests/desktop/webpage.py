#!/usr/bin/python3
"""The school's network page in Debian's chromium against the real program (webpage.sh).

webpage.sh has the program running on its own desktop, the two passwords set and the page
on at --url. This drives a headless chromium at a phone's size (412 x 915) through the page
as a teacher and as the admin, and holds what the page shows against what the program says
on the session bus (State), what the sink hears and what the program's own window shows.
A failure is written to WORK/webpage.fail (its last line is the reason) and ends with 1.
"""

import argparse
import ast
import hashlib
import json
import os
import re
import shutil
import signal
import ssl
import struct
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
import wave
import zlib

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

PHONE = (412, 915)
THAI = re.compile('[\u0e00-\u0e7f]')


class Failed(Exception):
    pass


def fail(message):
    raise Failed(message)


def until(what, check, limit=20.0, every=0.05):
    """Polls check() until it returns something true, at most `limit` seconds; returns it.
    `what` names the wait in the failure; a function gives it as things stand by then."""
    end = time.monotonic() + limit
    last = None
    while True:
        try:
            value = check()
        except WebDriverException as e:
            value, last = None, e.msg
        if value:
            return value
        if time.monotonic() > end:
            what = what() if callable(what) else what
            fail(f'{what} (waited {limit:.0f} s){": " + str(last) if last else ""}')
        time.sleep(every)


# ---- the program, on the session bus ----

def bells(method, *args):
    out = subprocess.run(
        ['gdbus', 'call', '--session', '--timeout', '5', '--dest', 'org.tavirin.Bells',
         '--object-path', '/org/tavirin/Bells', '--method', f'org.tavirin.Bells1.{method}',
         *map(str, args)], capture_output=True, text=True, timeout=10)
    if out.returncode != 0:
        fail(f'{method} over the session bus: {out.stderr.strip()}')
    return ast.literal_eval(out.stdout.strip())


def state():
    return json.loads(bells('State')[0])


def in_use(picture):
    return [b for b in picture['bells'] if b['state'] != 'not-in-use']


def hhmm(t):
    return (t or '')[:5]


# ---- the program's window ----

def window_map_state(win):
    out = subprocess.run(['xwininfo', '-id', win], capture_output=True, text=True).stdout
    size = re.search(r'Width: (\d+).*?Height: (\d+)', out, re.S)
    mapped = re.search(r'Map State: (\w+)', out)
    return (f'{size[1]}x{size[2]}' if size else '?') + ' ' + (mapped[1] if mapped else '?')


def show_window(win):
    """The window as it stands after a bell may have gone away (the program hides it)."""
    if window_map_state(win) == '737x411 IsViewable':
        return
    subprocess.run(['xdotool', 'windowactivate', win], capture_output=True)
    until(lambda: f'the program\'s window back on screen ({window_map_state(win)})',
          lambda: window_map_state(win) == '737x411 IsViewable')


def window_shot(win, name, args):
    """The program's window as the X server has it: (width, height, RGB bytes)."""
    show_window(win)
    # A window still sliding would be caught half way: it must stand still first.
    def standing():
        a = subprocess.run(['xwininfo', '-id', win], capture_output=True, text=True).stdout
        time.sleep(0.3)
        b = subprocess.run(['xwininfo', '-id', win], capture_output=True, text=True).stdout
        return a == b
    until('the program\'s window standing still', standing)
    ppm = os.path.join(args.work, f'{name}.ppm')
    subprocess.run(['import', '-window', win, '-depth', '8', ppm], check=True,
                   capture_output=True, timeout=20)
    with open(ppm, 'rb') as f:
        data = f.read()
    m = re.match(rb'P6\s+(\d+)\s+(\d+)\s+(\d+)\s', data)
    if not m or m[3] != b'255':
        fail(f'the window\'s screenshot {ppm} is not an 8-bit PPM')
    w, h = int(m[1]), int(m[2])
    pixels = data[m.end():m.end() + w * h * 3]
    if args.window_shots:
        os.makedirs(args.window_shots, exist_ok=True)
        write_png(os.path.join(args.window_shots, f'{name}.png'), w, h, pixels)
    return w, h, pixels


def write_png(path, w, h, rgb):
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    rows = b''.join(b'\0' + rgb[y * w * 3:(y + 1) * w * 3] for y in range(h))
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(rows, 6)) + chunk(b'IEND', b''))


def changed_pixels(a, b, box):
    """How many pixels differ between two window shots inside box (x, y, w, h)."""
    (w, h, pa), (w2, h2, pb) = a, b
    if (w, h) != (w2, h2):
        fail(f'the window changed size between its screenshots: {w}x{h}, {w2}x{h2}')
    x0, y0, bw, bh = box
    n = 0
    for y in range(y0, min(h, y0 + bh)):
        ra = pa[(y * w + x0) * 3:(y * w + min(w, x0 + bw)) * 3]
        rb = pb[(y * w + x0) * 3:(y * w + min(w, x0 + bw)) * 3]
        if ra != rb:
            n += sum(1 for i in range(0, len(ra), 3) if ra[i:i + 3] != rb[i:i + 3])
    return n


# ---- the sound at the sink ----

class Recording:
    """parec at the null sink's monitor; start() returns once sound data flows."""

    def __init__(self, path):
        self.path = path
        self.proc = None
        self.mark = None
        self.started = None

    def start(self):
        self.proc = subprocess.Popen(['parec', '-d', 'bells.monitor', '--latency-msec=20',
                                      '--file-format=wav', self.path])
        # The header comes first; samples follow once the stream runs (a silent sink still
        # sends silence), so the bytes there at a moment date the recording's time zero.
        until('parec recording the sink', lambda: os.path.exists(self.path)
              and os.path.getsize(self.path) > 4096, limit=15, every=0.01)
        self.mark = (time.time(), os.path.getsize(self.path))

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def loud(self):
        """Per 10 ms of the recording: whether it holds sound (RMS above the floor)."""
        with wave.open(self.path) as w:
            rate, ch, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
            frames = w.readframes(w.getnframes())
        if width != 2:
            fail(f'the recording has {width}-byte samples')
        at, size = self.mark
        self.started = at - (size - 44) / (rate * ch * width)
        samples = struct.unpack('<%dh' % (len(frames) // 2), frames)
        win = rate // 100
        out = []
        for i in range(0, len(samples) // ch - win, win):
            chunk = samples[i * ch:(i + win) * ch:ch]
            out.append((sum(s * s for s in chunk) / len(chunk)) ** 0.5 > 100)
        return out


# ---- the browser ----

class Phone:
    def __init__(self, args):
        self.args = args
        self.profile = tempfile.mkdtemp(prefix='chromium-', dir=args.work)
        opts = webdriver.ChromeOptions()
        opts.binary_location = '/usr/bin/chromium'
        for a in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic',
                  '--no-first-run', '--disable-background-networking',
                  '--disable-component-update', '--disable-sync', '--disable-extensions',
                  '--disable-default-apps', '--lang=th', f'--user-data-dir={self.profile}',
                  f'--window-size={PHONE[0]},{PHONE[1]}'):
            opts.add_argument(a)
        # The program's certificate is its own: no authority vouches for it, so the phone
        # accepts it as a teacher does after comparing its fingerprint.
        opts.accept_insecure_certs = True
        opts.set_capability('goog:loggingPrefs', {'browser': 'ALL', 'performance': 'ALL'})
        self.d = webdriver.Chrome(
            service=Service('/usr/bin/chromedriver',
                            log_path=os.path.join(args.work, 'chromedriver.log')),
            options=opts)
        self.d.set_page_load_timeout(30)
        self.d.set_script_timeout(20)
        # A phone's screen, whatever the smallest window the headless browser keeps.
        self.d.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {
            'width': PHONE[0], 'height': PHONE[1], 'deviceScaleFactor': 1, 'mobile': True})
        # Every CSP violation and uncaught error, as the page meets it (this runs before the
        # page's own script and is not held to its policy).
        self.d.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {'source': '''
            window.__faults = [];
            document.addEventListener('securitypolicyviolation', (e) =>
                window.__faults.push(`CSP ${e.violatedDirective}: ${e.blockedURI}`));
            window.addEventListener('error', (e) =>
                window.__faults.push(`error: ${e.message} ${e.filename}:${e.lineno}`));
            window.addEventListener('unhandledrejection', (e) =>
                window.__faults.push(`rejection: ${e.reason}`));
        '''})
        self.requests = []
        self.faults = []
        self.console = []

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def shown(self, id_):
        return self.js('''const e = document.getElementById(arguments[0]);
            return !!e && !e.closest('[hidden]') && e.getClientRects().length > 0;''', id_)

    def text(self, id_):
        return self.js('const e = document.getElementById(arguments[0]);'
                       'return e ? e.textContent : null;', id_)

    def tap(self, id_):
        el = self.d.find_element(By.ID, id_)
        # The top bar and the tab bar stay on screen: put the button clear of both.
        self.js('arguments[0].scrollIntoView({block: "center"});', el)
        el.click()

    def wait_shown(self, id_, what=None, limit=20):
        until(what or f'#{id_} on the page', lambda: self.shown(id_), limit)

    def notices(self):
        return self.js('''return [...document.querySelectorAll('#notices .notice')].map(
            (n) => [n.className, n.textContent]);''')

    def wait_notice(self, title, limit=20):
        """The notice a command leaves: its kind ('ok', 'wait', 'error') and its text."""
        found = until(lambda: f'a notice "{title}" on the page (notices: {self.notices()})',
                      lambda: [n for n in self.notices() if n[1].startswith(title)], limit)
        return found[-1]

    def shot(self, name):
        png = self.d.get_screenshot_as_png()
        w, h = struct.unpack('>II', png[16:24])
        if (w, h) != PHONE:
            fail(f'the screenshot {name} is {w}x{h}, not {PHONE[0]}x{PHONE[1]}')
        path = os.path.join(self.args.work, f'{name}.png')
        with open(path, 'wb') as f:
            f.write(png)
        if self.args.shots:
            os.makedirs(self.args.shots, exist_ok=True)
            shutil.copyfile(path, os.path.join(self.args.shots, f'{name}.png'))

    def collect(self):
        """Drains the browser's logs: its console, and the requests it sent."""
        for entry in self.d.get_log('browser'):
            self.console.append(entry)
        for entry in self.d.get_log('performance'):
            msg = json.loads(entry['message'])['message']
            if msg.get('method') == 'Network.requestWillBeSent':
                r = msg['params']['request']
                self.requests.append((msg['params']['wallTime'], r['method'], r['url']))
        try:
            self.faults += self.js('const f = window.__faults || []; window.__faults = []; return f;')
        except WebDriverException:
            pass

    def requests_since(self, t, path):
        self.collect()
        return [r for r in self.requests if r[0] >= t and r[2].split('?')[0].endswith(path)]

    def quit(self):
        try:
            self.d.quit()
        except Exception:
            pass


# ---- the test ----

def api_message(url, body):
    """What the API answers a login (not through the page), for the page's text to match."""
    ctx = ssl.create_default_context()
    ctx.check_hostname = False
    ctx.verify_mode = ssl.CERT_NONE
    req = urllib.request.Request(url + 'api/v1/login', data=json.dumps(body).encode(),
                                 headers={'Content-Type': 'application/json'}, method='POST')
    try:
        with urllib.request.urlopen(req, context=ctx, timeout=15) as r:
            return r.status, json.load(r)
    except urllib.error.HTTPError as e:
        return e.code, json.load(e)


def log_in(p, role, password):
    p.wait_shown('login-form', 'the login form')
    # The radio buttons are drawn as a segmented control: its labels take the tap.
    p.d.find_element(By.CSS_SELECTOR, f'label[for="role-{role}"]').click()
    until(f'the role {role} chosen', lambda: p.js(
        'return document.getElementById(arguments[0]).checked;', f'role-{role}'), 5)
    field = p.d.find_element(By.ID, 'login-password')
    field.clear()
    field.send_keys(password)
    p.tap('login-submit')


def check_today(p):
    """The today view against the program's own picture: every bell of the day, the next one."""
    now = state()
    want = in_use(now)
    until('the day\'s bells on the page', lambda: p.js(
        'return document.querySelectorAll("#bells li").length;') == len(want))
    rows = p.js('''return [...document.querySelectorAll('#bells li')].map((li) =>
        [li.querySelector('.num').textContent, li.querySelector('.time').textContent,
         li.querySelector('.outcome').textContent]);''')
    for b, (num, at, outcome) in zip(want, rows):
        if num != f'ช่วงที่ {b["period"]}' or at != hhmm(b['due']):
            fail(f'bell {b} is shown as {num} {at}')
        if b['outcome'] and not outcome:
            fail(f'bell {b} is shown without its outcome')
    nxt = now['next']
    until(lambda: f'the next bell {nxt} on the page (it shows "{p.text("next-what")}")',
          lambda: hhmm(nxt['at']) in p.text('next-what') and str(nxt['period']) in p.text('next-what'))
    tagged = [r for b, r in zip(want, rows) if b['period'] == nxt['period']]
    if not tagged or not tagged[0][2]:
        fail(f'the next bell is not marked in the list: {rows}')
    until('a countdown to the next bell', lambda: re.search(r'\d', p.text('next-count') or ''), 5)
    # The clock is the program's (its fake clock), not the phone's.
    clock = until('the program\'s clock on the page',
                  lambda: re.fullmatch(r'\d\d:\d\d:\d\d', p.text('clock')))[0]
    prog = state()['clock'][11:19]
    seconds = lambda t: int(t[:2]) * 3600 + int(t[3:5]) * 60 + int(t[6:8])
    if abs(seconds(clock) - seconds(prog)) > 5:
        fail(f'the page\'s clock {clock} is not the program\'s {prog}')


def dialog_open(p):
    return p.js('return document.getElementById("dialog").open;')


def ask_emergency(p, pick):
    """The emergency's first step: the kinds; `pick` chooses one. Returns its name."""
    p.tap('emergency-start')
    until('the emergency\'s kinds in the dialog', lambda: dialog_open(p) and p.js(
        'return document.querySelectorAll("#dialog-choices button").length;'))
    buttons = p.d.find_elements(By.CSS_SELECTOR, '#dialog-choices button')
    choice = pick(buttons)
    name = choice.text.split(': ', 1)[-1]
    return choice, name


def answer_question(p, name):
    """The emergency's second step: the question naming the kind, "no" its default."""
    until('the emergency\'s question', lambda: dialog_open(p) and p.shown('dialog-yes'))
    question = p.text('dialog-text')
    if f'"{name}"' not in question:
        fail(f'the question "{question}" does not name the kind "{name}"')
    if p.js('return document.activeElement && document.activeElement.id;') != 'dialog-no':
        fail('the emergency\'s question does not have "no" as its default')


def run(args, p):
    url = args.url
    board_box = (0, 30, 320, 381)  # the time board: the left part of the window, under its title

    first = state()
    if first['bell'] is not None or first['emergency'] is not None or first['next'] is None:
        fail(f'the program is not idle before its next bell: {first}')
    window_before = window_shot(args.window, 'window-before', args)

    # ---- the login ----
    p.d.get(url)
    if p.js('return location.protocol;') != 'https:':
        fail('the page was not served over HTTPS')
    p.wait_shown('login-form', 'the login form')
    if p.shown('http-warning'):
        fail('the page warns of plain HTTP over HTTPS')
    if p.shown('app-view'):
        fail('the page shows the app before anyone logged in')
    p.shot('login')
    # The console's watch works: an inline script, which the page's policy forbids, is seen
    # as a violation in both places it is looked for (then set aside).
    p.collect()
    p.js("const s = document.createElement('script'); s.textContent = 'window.__ran = 1';"
         "document.head.append(s);")
    until('the browser reporting a CSP violation', lambda: (p.collect() or True) and p.faults and [
        e for e in p.console if 'Content Security Policy' in e['message']], 10)
    if p.js('return window.__ran === 1;'):
        fail('an inline script ran: the page has no Content-Security-Policy')
    p.faults, p.console = [], []

    log_in(p, 'teacher', args.teacher)
    p.wait_shown('app-view', 'the today view after the teacher\'s login')
    until('the teacher\'s role in the top bar', lambda: p.text('who') == 'ครู', 5)
    if p.shown('t-programs') or p.shown('t-calendar') or p.shown('t-settings'):
        fail('a teacher sees the admin\'s tabs')
    check_today(p)
    p.shot('today')

    # ---- the emergency: its kind, then "no" ----
    p.tap('t-actions')
    p.wait_shown('announce', 'the actions tab')
    p.shot('actions')
    asked = time.time()
    choice, name = ask_emergency(p, lambda buttons: buttons[0])
    p.shot('emergency-kinds')
    choice.click()
    answer_question(p, name)
    p.shot('emergency-confirm')
    p.tap('dialog-no')
    until('the dialog closed after "no"', lambda: not dialog_open(p), 5)
    if p.requests_since(asked, '/api/v1/emergency'):
        fail('"no" sent the emergency')
    if state()['emergency'] is not None:
        fail('an emergency is in force after "no"')

    # ---- the time announced from the page, heard at the sink ----
    rec = Recording(os.path.join(args.work, 'announce.wav'))
    rec.start()
    time.sleep(0.3)
    # Every change of the bell's card, as the page draws it from the live picture.
    p.js('''window.__bell = [];
        const note = () => {
          const card = document.getElementById('bell-card');
          const bar = document.getElementById('bell-progress');
          window.__bell.push([card.hidden, document.getElementById('bell-what').textContent,
            document.getElementById('bell-phase').textContent, bar.hidden, bar.value, bar.max]);
        };
        new MutationObserver(note).observe(document.getElementById('bell-card'),
          {subtree: true, childList: true, characterData: true, attributes: true});''')
    tapped = time.time()
    p.tap('announce')
    kind, message = p.wait_notice('บอกเวลาขณะนี้:')
    if 'ok' not in kind.split():
        fail(f'the announcement was not taken: {message}')
    p.tap('t-today')
    seen = []
    shot_taken = False

    def bell_over():
        nonlocal shot_taken
        s = state()['bell']
        seen.append(None if s is None else (s['kind'], s['phase'], s['sound'], s['of']))
        if s is not None and not shot_taken and p.shown('bell-card'):
            p.shot('bell')
            shot_taken = True
        return s is None and any(seen)
    until(lambda: f'the announcement over (the program said {sorted(set(map(str, seen)))})',
          bell_over, 40)
    until('the bell\'s card gone from the page once the bell is over',
          lambda: not p.shown('bell-card'), 10)
    ended = time.time()
    time.sleep(0.5)
    rec.stop()
    if not any(x and x[0] == 'announce' and x[1] == 'sound' for x in seen):
        fail(f'the program was never seen playing the announcement: {sorted(set(map(str, seen)))}')
    of = max(x[3] for x in seen if x)
    page = p.js('return window.__bell;')
    shown = [e for e in page if not e[0]]
    if not shown or any(e[1] != 'บอกเวลา' for e in shown):
        fail(f'the page did not show the announcement in progress: {page}')
    if not [e for e in shown if re.search(r'\d+ วินาที', e[2])]:
        fail(f'the page never showed the amplifier\'s countdown: {page}')
    playing = [e for e in shown if not e[3]]
    if not playing or any(e[5] != of or not 1 <= e[4] <= of or f'{e[4]:g} จาก {of}' not in e[2]
                          for e in playing):
        fail(f'the page did not follow the sounds 1..{of} with its progress bar: {page}')
    if p.requests_since(tapped, '/api/v1/state'):
        fail('the page fetched the state instead of taking it from its event stream')
    if len(p.requests_since(0, '/api/v1/events')) != 1 or p.shown('conn'):
        fail('the page\'s event stream was not open all along')

    loud = rec.loud()  # (dates the recording too)
    t_tap = tapped - rec.started
    t_end = ended - rec.started
    heard = [i / 100 for i, on in enumerate(loud) if on]
    if not heard:
        fail('nothing was heard at the sink')
    early = [t for t in heard if t < t_tap - 0.2]
    if early:
        fail(f'sound at the sink {t_tap - early[0]:.2f} s before the tap')
    during = [t for t in heard if t_tap <= t <= t_end + 0.5]
    # As many sounds as the program played, a tenth of a second each (the short library).
    if len(during) * 0.01 < of * 0.1 * 0.75:
        fail(f'{len(during) * 10} ms heard for {of} sounds of 0.1 s')
    print(f'announcement: tapped at {t_tap:.2f} s, heard {heard[0]:.2f}..{heard[-1]:.2f} s '
          f'({len(during) * 10} ms of sound, {of} sounds), over at {t_end:.2f} s')

    # ---- no bells today, from the page; the program's window follows ----
    p.tap('t-actions')
    p.tap('no-bells')
    kind, message = p.wait_notice('งดออดทั้งวัน:')
    if 'ok' not in kind.split():
        fail(f'no bells today was not taken: {message}')
    quiet = until('no bells today in the program\'s State',
                  lambda: (lambda s: s if s['today']['noBells'] else None)(state()), 10)
    if quiet['next'] is not None:
        fail(f'a next bell on a day without bells: {quiet["next"]}')
    for b in in_use(quiet):
        if b['caption'] != ' งดออด ' or b['state'] != 'quiet':
            fail(f'period {b["period"]} on the time board: {b}')
    changes = quiet['today']['changes']
    if not changes:
        fail('State names no change of today')
    until(f'today\'s change {changes} on the page',
          lambda: all(c in p.text('actions-changes') for c in changes), 10)
    p.tap('t-today')
    until('the page\'s list with every bell kept quiet', lambda: p.js(
        '''return [...document.querySelectorAll('#bells li')].map((li) =>
            li.classList.contains('quiet'));''') == [True] * len(in_use(quiet)), 10)
    if re.search(r'\d\d:\d\d', p.text('next-what') or ''):
        fail(f'the page still shows a next bell: {p.text("next-what")}')
    window_after = window_shot(args.window, 'window-no-bells', args)
    changed = changed_pixels(window_before, window_after, board_box)
    if changed < 500:
        fail(f'the program\'s time board did not change on screen ({changed} pixels)')
    print(f'time board: {changed} pixels changed')

    # ---- log out; a wrong password ----
    p.tap('logout')
    p.wait_shown('login-form', 'the login form after logging out')
    # The session ended at the program too, not only in the page.
    p.collect()
    p.d.refresh()
    p.wait_shown('login-form', 'the login form on reload after logging out')
    if p.shown('app-view'):
        fail('the page is open again after logging out')
    log_in(p, 'teacher', args.teacher + '-wrong')
    until('the login\'s error on the page', lambda: p.shown('login-error'), 15)
    status, body = api_message(url, {'role': 'teacher', 'password': 'not-' + args.teacher})
    if status != 401 or body.get('code') != 'wrong-password':
        fail(f'a wrong password over the API: {status} {body}')
    shown_error = p.text('login-error')
    if shown_error != body['message'] or not THAI.search(shown_error):
        fail(f'the page says "{shown_error}" for a wrong password, the API "{body["message"]}"')
    if p.shown('app-view'):
        fail('a wrong password opened the page')
    p.shot('login-wrong')

    # ---- the admin: programs and calendar ----
    log_in(p, 'admin', args.admin)
    p.wait_shown('app-view', 'the page after the admin\'s login')
    until('the admin\'s role in the top bar', lambda: p.text('who') == 'ผู้ดูแล', 5)
    p.tap('t-programs')
    until('the day\'s program on the page', lambda: p.js(
        'return document.querySelectorAll("#prog-periods fieldset[data-period]").length;') == 24)
    day = first['today']['programDay']
    until('today\'s weekday chosen in the programs', lambda: p.js(
        'return document.querySelector(`#prog-days [data-day="${arguments[0]}"]`)'
        '.getAttribute("aria-pressed");',
        day) == 'true', 5)
    periods = p.js('''return [...document.querySelectorAll('#prog-periods fieldset[data-period]')]
        .map((f) =>
        [Number(f.dataset.period), f.querySelector('[name=inUse]').checked,
         f.querySelector('[name=hour]').value.padStart(2, '0') + ':' +
         f.querySelector('[name=minute]').value.padStart(2, '0')]);''')
    for b, (n, use, at) in zip(first['bells'], periods):
        if n != b['period'] or use != (b['state'] != 'not-in-use') or (use and at != hhmm(b['due'])):
            fail(f'the page shows period {n} as {use} {at}; the program has {b}')
    p.js('window.scrollTo(0, 0);')
    p.shot('programs')

    p.tap('t-calendar')
    until('the calendar loaded', lambda: p.shown('cal-empty') or p.js(
        'return document.querySelectorAll("#cal-list li").length;'))
    entries = lambda: p.js('''return [...document.querySelectorAll('#cal-list li')].map((li) =>
        [li.querySelector('strong').textContent, li.querySelector('span').textContent]);''')
    before = entries()
    exam = 'สอบปลายภาค'
    p.d.find_element(By.ID, 'cal-name').send_keys(exam)
    # A date field's typing follows the browser's locale; its value does not.
    p.js('''for (const [id, v] of [['cal-start', arguments[0]], ['cal-end', arguments[1]]]) {
          const f = document.getElementById(id); f.value = v;
          f.dispatchEvent(new Event('input', {bubbles: true}));
        }''', '2026-12-14', '2026-12-15')
    p.d.find_element(By.CSS_SELECTOR, '#cal-form [type=submit]').click()
    kind, message = p.wait_notice('เพิ่มรายการแล้ว')
    if 'ok' not in kind.split() or exam not in message:
        fail(f'the calendar entry: {kind} {message}')
    added = until('the new entry in the calendar list', lambda: [
        e for e in entries() if e[0] == exam and e not in before])
    if not THAI.search(added[0][1]) or '2569' not in added[0][1]:
        fail(f'the entry is listed without the program\'s Thai dates: {added[0]}')
    p.js('window.scrollTo(0, 0);')
    p.shot('calendar')

    # ---- the settings: the fingerprint a teacher compares is the certificate served ----
    p.tap('t-settings')
    info = until('the page\'s settings', lambda: dict(p.js('''
        return [...document.querySelectorAll('#settings-info dt')].map((dt) =>
            [dt.textContent, dt.nextElementSibling.textContent]);''')))
    served = ssl.get_server_certificate(('127.0.0.1', int(re.search(r':(\d+)/', url)[1])))
    with open(args.cert) as f:
        if ssl.PEM_cert_to_DER_cert(f.read()) != ssl.PEM_cert_to_DER_cert(served):
            fail('the page is served with another certificate than the one in the settings folder')
    digest = hashlib.sha256(ssl.PEM_cert_to_DER_cert(served)).hexdigest()
    shown_fp = [v for v in info.values() if re.fullmatch(r'([0-9A-Fa-f]{2}:){31}[0-9A-Fa-f]{2}', v)]
    if [v.replace(':', '').lower() for v in shown_fp] != [digest]:
        fail(f'the settings show {info}; the served certificate\'s SHA-256 is {digest}')
    if url not in info.values():
        fail(f'the settings do not give the page\'s address {url}: {info}')
    p.shot('settings')

    # ---- an emergency from the page, and the admin's all clear ----
    p.tap('t-actions')
    # A drill, the last of the school's kinds.
    choice, name = ask_emergency(p, lambda buttons: buttons[-1])
    choice.click()
    answer_question(p, name)
    p.tap('dialog-yes')
    kind, message = p.wait_notice('เริ่มเหตุฉุกเฉิน')
    if 'ok' not in kind.split():
        fail(f'the emergency from the page: {message}')
    e = until('the emergency in the program\'s State', lambda: state()['emergency'])
    if e['name'] != name or e['from'] != 'page':
        fail(f'the program has the emergency {e}, not "{name}" from the page')
    p.wait_shown('emergency', 'the emergency\'s banner on the page')
    if p.text('emergency-name') != e['name']:
        fail(f'the banner names "{p.text("emergency-name")}", the program "{e["name"]}"')
    p.wait_shown('allclear', 'the all clear for the admin')
    p.shot('emergency')
    p.tap('allclear')
    until('the all clear\'s question', lambda: dialog_open(p) and p.shown('dialog-yes'))
    if name not in p.text('dialog-text'):
        fail(f'the all clear\'s question does not name the emergency: {p.text("dialog-text")}')
    p.tap('dialog-yes')
    kind, message = p.wait_notice('สิ้นสุดเหตุฉุกเฉิน')
    if 'ok' not in kind.split():
        fail(f'the all clear from the page: {message}')
    until('the emergency over in the program\'s State', lambda: state()['emergency'] is None, 40)
    until('the banner gone from the page', lambda: not p.shown('emergency'), 10)

    # ---- the page's doings in the day's record, with who and where ----
    p.tap('t-journal')
    lines = until('the day\'s record on the page', lambda: p.js(
        'return [...document.querySelectorAll("#journal-lines li")].map((l) => l.textContent);'))
    # The page's commands with the role and the phone's address: the teacher's two, the
    # admin's three; and the emergency's own line, started from the page.
    mine = [l for l in lines if 'หน้าเว็บ:' in l and '127.0.0.1' in l]
    if len([l for l in mine if 'ครู' in l]) < 2 or len([l for l in mine if 'ผู้ดูแล' in l]) < 3:
        fail(f'the page\'s commands are not in the day\'s record: {lines}')
    if not [l for l in lines if name in l and 'หน้าเว็บ' in l and l not in mine]:
        fail(f'the emergency from the page is not in the day\'s record: {lines}')

    p.tap('logout')
    p.wait_shown('login-form', 'the login form after the admin logged out')

    # ---- the console: no CSP violation, no script error ----
    p.collect()
    bad = [e for e in p.console
           if 'Content Security Policy' in e['message'] or e.get('source') == 'javascript'
           or (e['level'] == 'SEVERE' and e.get('source') != 'network')]
    # The network's complaints are the 401s the page asked for (the session before a login,
    # the wrong password); anything else is a fault.
    bad += [e for e in p.console if e.get('source') == 'network' and not re.search(
        r'/api/v1/(session|login) - Failed to load resource: the server responded with a status of 401',
        e['message'])]
    if bad or p.faults:
        fail(f'the browser\'s console: {bad} {p.faults}')
    print(f'console: {len(p.console)} entries, none a fault')


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--url', required=True)
    ap.add_argument('--window', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--teacher', required=True)
    ap.add_argument('--admin', required=True)
    ap.add_argument('--cert', required=True)
    ap.add_argument('--shots', default='')
    ap.add_argument('--window-shots', default='')
    args = ap.parse_args()
    began = time.monotonic()
    p = None
    try:
        p = Phone(args)
        run(args, p)
    except (Failed, WebDriverException, subprocess.SubprocessError, OSError) as e:
        reason = str(e.msg if isinstance(e, WebDriverException) else e).strip().splitlines()
        reason = reason[0] if reason else type(e).__name__
        if p:
            try:
                if args.window_shots:
                    os.makedirs(args.window_shots, exist_ok=True)
                    p.d.save_screenshot(os.path.join(args.window_shots, 'failed-page.png'))
                print('page text at the failure:', p.js('return document.body.innerText;')[:2000],
                      file=sys.stderr)
            except Exception:
                pass
        with open(os.path.join(args.work, 'webpage.fail'), 'a') as f:
            f.write(reason + '\n')
        print(f'webpage.py: {reason}', file=sys.stderr)
        return 1
    finally:
        if p:
            p.quit()
    print(f'webpage.py: passed in {time.monotonic() - began:.1f} s')
    return 0


if __name__ == '__main__':
    sys.exit(main())
