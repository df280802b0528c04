// The school's bell page: talks to the program's JSON API (docs/API.md) only.
// Every text from the server reaches the page through textContent, never as markup.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);

  const WEEKDAYS = ['จันทร์', 'อังคาร', 'พุธ', 'พฤหัสบดี', 'ศุกร์', 'เสาร์', 'อาทิตย์'];
  const WEEKDAYS_SHORT = ['จ.', 'อ.', 'พ.', 'พฤ.', 'ศ.', 'ส.', 'อา.'];
  const MONTHS = ['มกราคม', 'กุมภาพันธ์', 'มีนาคม', 'เมษายน', 'พฤษภาคม', 'มิถุนายน', 'กรกฎาคม',
    'สิงหาคม', 'กันยายน', 'ตุลาคม', 'พฤศจิกายน', 'ธันวาคม'];
  const ROLES = { admin: 'ผู้ดูแล', teacher: 'ครู' };
  const OUTCOMES = { rang: 'ดังแล้ว', late: 'ดังช้า', missed: 'ไม่ได้ดัง', failed: 'ล้มเหลว', skipped: 'ข้าม' };
  // The journal keeps short codes for a program to read; the teacher reads these.
  const REASONS = {
    stall: 'เครื่องหยุดทำงานชั่วขณะ', clock_jump: 'มีการตั้งนาฬิกาเครื่องใหม่',
    suspend: 'เครื่องพักการทำงาน', during_bell: 'ตรงกับออดอื่นที่กำลังดัง',
    another_bell: 'มีออดอื่นดังในเวลาเดียวกัน', not_running: 'โปรแกรมไม่ได้เปิดอยู่',
    sounds_failed: 'เล่นเสียงไม่ได้', no_device: 'ไม่มีอุปกรณ์เสียง',
    interrupted: 'โปรแกรมปิดระหว่างออด', emergency: 'เหตุฉุกเฉิน',
  };
  const AFTER = ['ปิดเครื่องขยาย', 'วิทยุ 1', 'วิทยุ 2', 'วิทยุ 3', 'เพลง'];
  const AFTER_NEXT = { off: 'ปิดเครื่องขยาย', 'radio 1': 'วิทยุ 1', 'radio 2': 'วิทยุ 2',
    'radio 3': 'วิทยุ 3', music: 'เพลง', none: 'เครื่องขยายคงเดิม' };
  const CHECK_ITEMS = { relay: 'รีเลย์', audio: 'อุปกรณ์เสียง', sounds: 'ไฟล์เสียง', clock: 'นาฬิกา',
    store: 'ที่เก็บข้อมูล', journal: 'สมุดบันทึก', library: 'คลังเสียง' };
  const FROM = { window: 'หน้าต่างโปรแกรม', tray: 'ไอคอนถาด', dbus: 'สคริปต์ (D-Bus)',
    contact: 'ปุ่มหรือระบบแจ้งเหตุ', page: 'หน้าเว็บ' };
  const EMERGENCY_PHASE = { 'warming-up': 'กำลังเปิดเครื่องขยายเสียง', sounding: 'กำลังส่งสัญญาณเตือน',
    quiet: 'ระหว่างรอบสัญญาณ (ยังอยู่ในเหตุฉุกเฉิน)', 'all-clear': 'กำลังประกาศสิ้นสุดเหตุฉุกเฉิน' };

  // The session lives in memory only: a reload asks the server again with the cookie.
  const session = { role: null, csrf: null };
  let state = null;
  let clockOffset = null;
  let stream = null;
  let retryMs = 1000;
  let retryTimer = 0;
  let currentTab = 'today';
  let kinds = [];
  let sounds = null;
  let progDay = 0;
  let progDirty = false;
  let closeDialog = null;
  let throttleTimer = 0;
  let heldUntil = 0;

  // ---- small helpers ----

  // Builds an element; `text` always goes in as text, so server data cannot become markup.
  function el(tag, props, ...children) {
    const node = document.createElement(tag);
    for (const [k, v] of Object.entries(props || {})) {
      if (v === undefined || v === null || v === false) continue;
      if (k === 'text') node.textContent = v;
      else if (k === 'class') node.className = v;
      else if (k === 'value' || k === 'checked' || k === 'selected') node[k] = v;
      else node.setAttribute(k, v === true ? '' : v);
    }
    node.append(...children.filter((c) => c !== null && c !== undefined));
    return node;
  }

  const pad = (n) => String(n).padStart(2, '0');
  const str = (v) => (typeof v === 'string' ? v : '');

  // The program's clock has no zone: read it as wall-clock fields and keep them in UTC
  // arithmetic, so the phone's own zone never shifts what the school's PC says.
  function wallMs(iso) {
    const m = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)/.exec(str(iso));
    return m ? Date.UTC(+m[1], m[2] - 1, +m[3], +m[4], +m[5], +m[6]) : NaN;
  }

  const serverNow = () => Date.now() + (clockOffset ?? 0);
  const hhmm = (t) => str(t).slice(0, 5);
  const thaiDate = (d) => `${d.getUTCDate()} ${MONTHS[d.getUTCMonth()]} ${d.getUTCFullYear() + 543}`;
  const weekdayOf = (d) => WEEKDAYS[(d.getUTCDay() + 6) % 7];

  function thaiDateIso(isoDate) {
    const ms = wallMs(`${str(isoDate)}T00:00:00`);
    return Number.isNaN(ms) ? str(isoDate) : thaiDate(new Date(ms));
  }

  // A moment of today is told by its time only; another day gets its date too.
  function when(iso) {
    const ms = wallMs(iso);
    if (Number.isNaN(ms)) return str(iso);
    const d = new Date(ms);
    const time = `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())} น.`;
    return state && str(iso).slice(0, 10) === str(state.today?.date) ? time : `${thaiDate(d)} ${time}`;
  }

  function todayIso() {
    if (state?.today?.date) return state.today.date;
    const d = new Date(serverNow());
    return `${d.getUTCFullYear()}-${pad(d.getUTCMonth() + 1)}-${pad(d.getUTCDate())}`;
  }

  function fillSelect(select, pairs, value) {
    const known = pairs.some(([v]) => String(v) === String(value));
    const all = known || value === undefined ? pairs : [...pairs, [value, `${value} (ไม่มีในรายการ)`]];
    select.replaceChildren(...all.map(([v, text]) => el('option', { value: String(v), text })));
    if (value !== undefined) select.value = String(value);
  }

  const range = (from, to, label) => Array.from({ length: to - from + 1 }, (_, i) => [from + i, label(from + i)]);

  // ---- notices ----

  function notify(title, message, kind) {
    const box = $('notices');
    while (box.children.length >= 3) box.firstChild.remove();
    const note = el('div', { class: `notice ${kind}`, role: kind === 'error' ? 'alert' : 'status' },
      el('strong', { text: title }), message ? el('span', { text: message }) : null);
    box.append(note);
    setTimeout(() => note.remove(), kind === 'error' ? 9000 : 5000);
  }

  // ---- the API ----

  async function api(method, path, body, { quiet401 = false } = {}) {
    const opts = { method, credentials: 'same-origin', headers: { Accept: 'application/json' } };
    if (method !== 'GET') {
      opts.headers['Content-Type'] = 'application/json';
      if (session.csrf) opts.headers['X-CSRF-Token'] = session.csrf;
      opts.body = JSON.stringify(body ?? {});
    }
    let res;
    try {
      res = await fetch(path, opts);
    } catch {
      return { ok: false, status: 0, data: { message: 'ติดต่อเครื่องตีออดไม่ได้ ตรวจการเชื่อมต่อเครือข่าย' } };
    }
    let data = null;
    try {
      data = await res.json();
    } catch {
      data = null;
    }
    if (!res.ok && typeof data?.message !== 'string') {
      data = { code: '', message: `เครื่องตีออดตอบกลับผิดพลาด (${res.status})` };
    }
    if (res.status === 401 && !quiet401 && session.role) {
      showLogin('หมดเวลาใช้งาน กรุณาเข้าสู่ระบบอีกครั้ง');
    }
    return { ok: res.ok, status: res.status, data: data ?? {}, headers: res.headers };
  }

  // A button stays disabled while its request runs, so a double tap sends one command.
  async function busy(button, work) {
    if (button.disabled) return;
    button.disabled = true;
    try {
      await work();
    } finally {
      button.disabled = false;
    }
  }

  async function command(button, path, body, title) {
    await busy(button, async () => {
      const r = await api('POST', path, body);
      if (r.status === 401) return;
      if (!r.ok) {
        notify(`${title}: ไม่สำเร็จ`, r.data.message, 'error');
      } else if (r.data.status === 'waiting') {
        notify(`${title}: รอให้ออดที่กำลังดังจบก่อน`, str(r.data.message), 'wait');
      } else {
        notify(`${title}: เรียบร้อย`, str(r.data.message), 'ok');
      }
    });
  }

  // ---- the dialog (window.confirm cannot put the default on "No") ----

  function dialog({ title, text, choices = [], yes = null, no = 'ไม่ใช่' }) {
    if (closeDialog) closeDialog(null);
    const dlg = $('dialog');
    const yesButton = $('dialog-yes');
    const noButton = $('dialog-no');
    $('dialog-title').textContent = title;
    $('dialog-text').textContent = text || '';
    yesButton.hidden = !yes;
    yesButton.textContent = yes || '';
    noButton.textContent = no;
    return new Promise((resolve) => {
      const finish = (value) => {
        closeDialog = null;
        yesButton.onclick = null;
        noButton.onclick = null;
        dlg.oncancel = null;
        if (dlg.open) dlg.close();
        resolve(value);
      };
      closeDialog = finish;
      $('dialog-choices').replaceChildren(...choices.map((c) => {
        const b = el('button', { type: 'button', class: 'choice', text: c.text });
        b.addEventListener('click', () => finish(c.id));
        return b;
      }));
      yesButton.onclick = () => finish(true);
      noButton.onclick = () => finish(null);
      dlg.oncancel = (e) => {
        e.preventDefault();
        finish(null);
      };
      dlg.showModal();
      noButton.focus();
    });
  }

  const ask = async (title, text, yes = 'ใช่') => (await dialog({ title, text, yes })) === true;

  // ---- login and session ----

  function showLogin(message) {
    session.role = null;
    session.csrf = null;
    state = null;
    if (closeDialog) closeDialog(null);
    stopStream();
    clearData();
    document.body.classList.remove('admin', 'teacher');
    $('app-view').hidden = true;
    $('logout').hidden = true;
    $('conn').hidden = true;
    $('emergency').hidden = true;
    $('who').textContent = '';
    $('login-view').hidden = false;
    $('login-error').textContent = message || '';
    $('login-error').hidden = !message;
    $('login-password').value = '';
    $('login-password').focus();
  }

  // What one role saw must not stay in the page for the next person at the same phone.
  function clearData() {
    for (const id of ['prog-periods', 'cal-list', 'settings-info', 'journal-lines', 'journal-checks', 'bells']) {
      $(id).replaceChildren();
    }
    $('prog-form').hidden = true;
    progDay = 0;
    progDirty = false;
    sounds = null;
    kinds = [];
  }

  function enter(data) {
    session.role = data.role === 'admin' ? 'admin' : 'teacher';
    session.csrf = str(data.csrf);
    document.body.classList.remove('admin', 'teacher');
    document.body.classList.add(session.role);
    $('who').textContent = ROLES[session.role];
    $('login-view').hidden = true;
    $('app-view').hidden = false;
    $('logout').hidden = false;
    showTab('today');
    connect();
    loadKinds();
  }

  async function login(event) {
    event.preventDefault();
    const button = $('login-submit');
    if (Date.now() < heldUntil) return;
    const password = $('login-password').value;
    if (!password) {
      showLoginError('กรุณาใส่รหัสผ่าน');
      return;
    }
    const role = document.querySelector('input[name="role"]:checked').value;
    await busy(button, async () => {
      const r = await api('POST', '/api/v1/login', { role, password }, { quiet401: true });
      if (r.ok) {
        $('login-password').value = '';
        enter(r.data);
        return;
      }
      showLoginError(r.data.message);
      if (r.status === 429) holdLogin(Number(r.data.retryAfter ?? r.headers?.get('Retry-After')));
    });
  }

  function showLoginError(message) {
    $('login-error').textContent = message;
    $('login-error').hidden = false;
  }

  // After too many wrong passwords the server refuses for a while; the button says how long.
  function holdLogin(seconds) {
    if (!(seconds > 0)) return;
    const button = $('login-submit');
    heldUntil = Date.now() + seconds * 1000;
    clearInterval(throttleTimer);
    const tick = () => {
      const left = Math.ceil((heldUntil - Date.now()) / 1000);
      if (left <= 0) {
        clearInterval(throttleTimer);
        button.classList.remove('held');
        button.removeAttribute('aria-disabled');
        button.textContent = 'เข้าสู่ระบบ';
        return;
      }
      button.classList.add('held');
      button.setAttribute('aria-disabled', 'true');
      button.textContent = `ลองใหม่ได้ในอีก ${left} วินาที`;
    };
    tick();
    throttleTimer = setInterval(tick, 1000);
  }

  async function logout() {
    await busy($('logout'), async () => {
      await api('POST', '/api/v1/logout', {}, { quiet401: true });
      showLogin('');
    });
  }

  // ---- the live picture ----

  function connect() {
    clearTimeout(retryTimer);
    stopStream();
    stream = new EventSource('/api/v1/events');
    stream.addEventListener('open', () => setConnected(true));
    stream.addEventListener('state', (e) => {
      let picture;
      try {
        picture = JSON.parse(e.data);
      } catch {
        console.warn('tavirin: a state event that is not JSON was ignored');
        return;
      }
      retryMs = 1000;
      setConnected(true);
      applyState(picture);
    });
    stream.addEventListener('error', () => {
      stopStream();
      setConnected(false);
      retryTimer = setTimeout(recheck, retryMs);
      retryMs = Math.min(retryMs * 2, 15000);
    });
  }

  function stopStream() {
    clearTimeout(retryTimer);
    if (stream) stream.close();
    stream = null;
  }

  // An EventSource does not tell a 401 from a dropped line; a plain GET does.
  async function recheck() {
    if (!session.role) return;
    const r = await api('GET', '/api/v1/state');
    if (!session.role) return;
    if (r.ok) applyState(r.data);
    if (r.status === 0 || r.ok || r.status >= 500) connect();
    else retryTimer = setTimeout(recheck, retryMs);
  }

  function setConnected(on) {
    $('conn').hidden = on;
    $('tab-today').classList.toggle('stale', !on);
  }

  function applyState(picture) {
    if (!picture || typeof picture !== 'object') return;
    state = picture;
    // The clock only comes with a change, in whole seconds: a picture sent late in its second
    // reads earlier than the one before, so the local estimate only moves back on a real jump.
    const offset = wallMs(picture.clock) - Date.now();
    if (!Number.isNaN(offset) && (clockOffset === null || offset > clockOffset || clockOffset - offset > 1500)) {
      clockOffset = offset;
    }
    renderEmergency();
    renderBell();
    renderStatus();
    renderDay();
    renderBells();
    renderTick();
  }

  // Runs four times a second; only the clock and the countdown change between pictures.
  function renderTick() {
    if (!state || clockOffset === null) return;
    const now = new Date(serverNow());
    $('clock').textContent = `${pad(now.getUTCHours())}:${pad(now.getUTCMinutes())}:${pad(now.getUTCSeconds())}`;
    $('clock-date').textContent = `วัน${weekdayOf(now)}ที่ ${thaiDate(now)}`;
    const next = state.next;
    if (!next) {
      $('next-count').textContent = '';
      return;
    }
    const due = wallMs(`${todayIso()}T${str(next.at)}`);
    const left = Math.ceil((due - serverNow()) / 1000);
    $('next-count').textContent = Number.isNaN(left) ? '' : left <= 0 ? 'ถึงเวลาแล้ว' : countdown(left);
  }

  function countdown(seconds) {
    const h = Math.floor(seconds / 3600);
    const m = Math.floor((seconds % 3600) / 60);
    const s = seconds % 60;
    return h > 0 ? `อีก ${h} ชั่วโมง ${m} นาที` : `อีก ${m} นาที ${pad(s)} วินาที`;
  }

  function renderEmergency() {
    const e = state.emergency;
    $('emergency').hidden = !e;
    $('allclear').hidden = !e || e.phase === 'all-clear';
    if (!e) return;
    $('emergency-name').textContent = str(e.name) || str(e.kind);
    $('emergency-since').textContent = `เริ่มเมื่อ ${when(e.since)} จาก${FROM[e.from] ?? str(e.from)}`;
    const phase = EMERGENCY_PHASE[e.phase] ?? str(e.phase);
    $('emergency-phase').textContent = e.holdsBells ? `${phase} · งดออดตามตาราง` : phase;
    const warnings = [];
    if (e.amplifier && e.amplifier !== 'on') warnings.push('เครื่องขยายเสียงอาจไม่ได้เปิด');
    if (e.noDevice) warnings.push('เสียงเตือนไม่ถึงอุปกรณ์เสียง');
    $('emergency-warn').textContent = warnings.join(' · ');
    $('emergency-warn').hidden = warnings.length === 0;
  }

  function renderBell() {
    const b = state.bell;
    $('bell-card').hidden = !b;
    if (!b) return;
    const what = b.kind === 'announce' ? 'บอกเวลา'
      : b.kind === 'manual' ? `ตีออดช่วงที่ ${b.period} (สั่งทันที)` : `ออดตามตาราง ช่วงที่ ${b.period}`;
    $('bell-what').textContent = what;
    const progress = $('bell-progress');
    progress.hidden = b.phase !== 'sound' || !(b.of > 0);
    if (b.phase === 'countdown') {
      $('bell-phase').textContent = `กำลังเปิดเครื่องขยายเสียง อีก ${b.countdown} วินาที`;
    } else if (b.phase === 'sound') {
      $('bell-phase').textContent = `กำลังเล่นเสียงที่ ${b.sound} จาก ${b.of}`;
      progress.max = Math.max(1, b.of);
      progress.value = b.sound;
    } else {
      $('bell-phase').textContent = 'จบเสียงออดแล้ว กำลังปิดเครื่องขยายหรือเปิดวิทยุ/เพลง';
    }
  }

  function renderStatus() {
    const relayOn = state.relay === 'on';
    $('relay').textContent = `เครื่องขยายเสียง ${relayOn ? 'เปิด' : 'ปิด'}`;
    $('relay').className = relayOn ? 'on' : '';
    const m = state.media || {};
    $('media').textContent = m.playing === 'music' ? 'กำลังเล่นเพลง'
      : m.playing === 'radio' ? `กำลังเล่นวิทยุ ${m.station ?? ''}`.trim() : 'ไม่ได้เล่นเพลงหรือวิทยุ';
    const t = state.selfTest;
    const line = $('selftest');
    line.className = t && !t.ok ? 'bad' : '';
    if (!t) {
      line.textContent = 'ยังไม่ได้ตรวจระบบ';
    } else if (t.ok) {
      line.textContent = `ตรวจระบบ ${when(t.at)}: ปกติ`;
    } else {
      const items = (Array.isArray(t.failed) ? t.failed : []).map((i) => CHECK_ITEMS[i] ?? str(i));
      line.textContent = `ตรวจระบบ ${when(t.at)}: พบปัญหา ${items.join(', ')}`;
    }

    const next = state.next;
    if (!next) {
      $('next-what').textContent = state.today?.noBells ? 'วันนี้งดออดทั้งวัน' : 'วันนี้ไม่มีออดเหลือแล้ว';
      $('next-more').textContent = '';
      return;
    }
    $('next-what').textContent = `ช่วงที่ ${next.period} เวลา ${hhmm(next.at)} น.`;
    const more = [];
    // The name of the file only: the PC's folders are nobody's business on a phone.
    if (next.sound) more.push(`เสียง: ${String(next.sound).split('/').pop()}`);
    if (next.after) more.push(`หลังออด: ${AFTER_NEXT[next.after] ?? str(next.after)}`);
    $('next-more').textContent = more.join(' · ');
  }

  function renderDay() {
    const t = state.today || {};
    const lines = [];
    if (t.noBells) lines.push(['bad', 'งดออดทั้งวัน']);
    if (t.programDay >= 1 && t.programDay <= 7) lines.push(['', `ใช้ตารางออดของวัน${WEEKDAYS[t.programDay - 1]}`]);
    const changes = Array.isArray(t.changes) ? t.changes.map(str) : [];
    for (const c of changes) lines.push(['change', c]);
    if (t.calendarEntry) lines.push(['change', `ปฏิทิน: ${t.calendarEntry}`]);
    if (t.shutdown) lines.push(['', `ปิดเครื่องอัตโนมัติ ${hhmm(t.shutdown)} น.`]);
    $('day-lines').replaceChildren(...lines.map(([cls, text]) => el('li', { class: cls, text })));
    const own = changes.length ? changes : ['ไม่มีการเปลี่ยนแปลงวันนี้'];
    const cls = changes.length ? 'change' : 'muted';
    $('actions-changes').replaceChildren(...own.map((text) => el('li', { class: cls, text })));
  }

  function renderBells() {
    const list = (Array.isArray(state.bells) ? state.bells : []).filter((b) => b && b.state !== 'not-in-use');
    const nextPeriod = state.next?.period;
    const ringing = state.bell?.kind === 'scheduled' ? state.bell.period : null;
    $('bells').replaceChildren(...list.map((b) => {
      const quiet = b.state === 'quiet';
      const time = quiet ? 'งดออด' : b.due ? hhmm(b.due) : str(b.caption).trim();
      const outcome = OUTCOMES[b.outcome];
      const tag = b.period === ringing ? 'กำลังดัง' : !b.outcome && !quiet && b.period === nextPeriod ? 'ถัดไป' : null;
      const notes = [b.reason ? (REASONS[b.reason] ?? str(b.reason)) : '', str(b.note)].filter(Boolean);
      const cls = ['bell', quiet ? 'quiet' : '', b.outcome ? `out-${b.outcome}` : '', tag ? 'next' : ''];
      return el('li', { class: cls.join(' ') },
        el('span', { class: 'num', text: `ช่วงที่ ${b.period}` }),
        el('span', { class: 'time', text: time }),
        el('span', { class: 'outcome', text: outcome ?? tag ?? '' }),
        notes.length ? el('span', { class: 'note', text: notes.join(' · ') }) : null);
    }));
    $('bells-empty').hidden = list.length > 0;
  }

  // ---- tabs ----

  const TAB_LOADERS = {
    programs: () => { if (!progDirty) loadProgram(progDay || state?.today?.programDay || 1); },
    calendar: () => loadCalendar(),
    journal: () => { if (!$('journal-date').value) $('journal-date').value = todayIso(); loadJournal(); },
    settings: () => loadSettings(),
  };

  function showTab(name) {
    const admin = session.role === 'admin';
    const button = document.querySelector(`.tabs [data-tab="${name}"]`);
    if (!button || (button.classList.contains('admin-only') && !admin)) name = 'today';
    currentTab = name;
    for (const b of document.querySelectorAll('.tabs button')) {
      if (b.dataset.tab === name) b.setAttribute('aria-current', 'page');
      else b.removeAttribute('aria-current');
    }
    for (const section of document.querySelectorAll('.tab')) section.hidden = section.id !== `tab-${name}`;
    window.scrollTo(0, 0);
    TAB_LOADERS[name]?.();
  }

  // ---- actions ----

  async function loadKinds() {
    const r = await api('GET', '/api/v1/kinds');
    if (r.ok && Array.isArray(r.data)) kinds = r.data;
    return r;
  }

  async function startEmergency() {
    // The kinds are asked again each time; the copy from the login is there if that fails.
    const r = await loadKinds();
    if (r.status === 401) return;
    if (!kinds.length) {
      notify('ฉุกเฉิน: ไม่สำเร็จ', r.ok ? 'โรงเรียนยังไม่มีชนิดของเหตุฉุกเฉิน' : r.data.message, 'error');
      return;
    }
    const id = await dialog({
      title: 'เหตุฉุกเฉิน', text: 'เลือกชนิดของเหตุ', no: 'ยกเลิก',
      choices: kinds.map((k) => ({ id: str(k.id), text: `เริ่ม: ${str(k.name)}` })),
    });
    if (!id) return;
    const name = str(kinds.find((k) => k.id === id)?.name);
    const question = `เริ่มเหตุฉุกเฉิน "${name}" ทันที ใช่หรือไม่ ?\n`
      + 'เสียงเตือนจะดังทั่วโรงเรียน และงดออดจนกว่าจะประกาศสิ้นสุด';
    if (!(await ask('เหตุฉุกเฉิน', question))) return;
    await command($('emergency-start'), '/api/v1/emergency', { kind: id }, `เริ่มเหตุฉุกเฉิน ${name}`);
  }

  async function allClear() {
    const name = str(state?.emergency?.name);
    if (!(await ask('เหตุฉุกเฉิน', `ประกาศสิ้นสุดเหตุฉุกเฉิน "${name}" ใช่หรือไม่ ?`))) return;
    await command($('allclear'), '/api/v1/allclear', {}, 'สิ้นสุดเหตุฉุกเฉิน');
  }

  function shift(sign) {
    const minutes = Math.trunc(Number($('shift-minutes').value));
    if (!(minutes >= 1 && minutes <= 180)) {
      notify('เลื่อนออด', 'ใส่จำนวนนาที 1 ถึง 180', 'error');
      return;
    }
    const title = sign > 0 ? `เลื่อนออดที่เหลือช้าลง ${minutes} นาที` : `เลื่อนออดที่เหลือเร็วขึ้น ${minutes} นาที`;
    command(sign > 0 ? $('shift-later') : $('shift-earlier'), '/api/v1/today',
      { change: 'shift', value: sign * minutes }, title);
  }

  // The buttons whose command needs nothing from a field: button, route, body, what it asked.
  const SIMPLE_COMMANDS = [
    ['announce', '/api/v1/announce', {}, 'บอกเวลาขณะนี้'],
    ['media-stop', '/api/v1/media/stop', {}, 'หยุดเพลงและวิทยุ'],
    ['skip-next', '/api/v1/today', { change: 'skip-next', value: 0 }, 'ข้ามออดครั้งถัดไป'],
    ['no-bells', '/api/v1/today', { change: 'no-bells', value: 0 }, 'งดออดทั้งวัน'],
    ['today-none', '/api/v1/today', { change: 'none', value: 0 }, 'ยกเลิกการเปลี่ยนแปลงวันนี้'],
  ];

  function setupActions() {
    fillSelect($('ring-period'), range(1, 24, (n) => String(n)), 1);
    fillSelect($('today-weekday'), range(1, 7, (d) => WEEKDAYS[d - 1]), 1);
    $('emergency-start').addEventListener('click', startEmergency);
    $('allclear').addEventListener('click', allClear);
    for (const [id, path, body, title] of SIMPLE_COMMANDS) {
      $(id).addEventListener('click', () => command($(id), path, body, title));
    }
    $('ring').addEventListener('click', () => {
      const period = Number($('ring-period').value);
      command($('ring'), '/api/v1/ring', { period }, `ตีออดช่วงที่ ${period}`);
    });
    $('use-weekday').addEventListener('click', () => {
      const day = Number($('today-weekday').value);
      command($('use-weekday'), '/api/v1/today', { change: 'weekday', value: day }, `ใช้ตารางของวัน${WEEKDAYS[day - 1]}`);
    });
    $('shift-later').addEventListener('click', () => shift(1));
    $('shift-earlier').addEventListener('click', () => shift(-1));
  }

  // ---- the week's programs (admin) ----

  function setupPrograms() {
    $('prog-days').replaceChildren(...WEEKDAYS.map((name, i) => {
      const b = el('button', { type: 'button', 'data-day': i + 1, 'aria-label': `วัน${name}`, text: WEEKDAYS_SHORT[i] });
      b.addEventListener('click', async () => {
        if (progDirty && !(await ask('ตารางยังไม่ได้บันทึก', 'ทิ้งการแก้ไขแล้วเปิดตารางของวันอื่น ใช่หรือไม่ ?'))) return;
        loadProgram(i + 1);
      });
      return b;
    }));
    fillSelect($('sd-hour'), range(0, 23, pad), 16);
    fillSelect($('sd-minute'), range(0, 59, pad), 30);
    $('prog-form').addEventListener('input', () => { progDirty = true; });
    $('prog-form').addEventListener('change', (e) => {
      progDirty = true;
      const box = e.target.closest('.period[data-period]');
      if (box && e.target.name === 'inUse') box.classList.toggle('off', !e.target.checked);
    });
    $('prog-form').addEventListener('submit', saveProgram);
    window.addEventListener('beforeunload', (e) => { if (progDirty) e.preventDefault(); });
  }

  async function loadProgram(day) {
    if (sounds === null) {
      const s = await api('GET', '/api/v1/sounds');
      if (s.status === 401) return;
      if (s.ok && Array.isArray(s.data)) sounds = s.data;
      else notify('รายชื่อเสียง', s.data.message, 'error');
    }
    const r = await api('GET', `/api/v1/programs/${day}`);
    if (r.status === 401) return;
    if (!r.ok) {
      notify(`ตารางวัน${WEEKDAYS[day - 1]}`, r.data.message, 'error');
      return;
    }
    progDay = day;
    progDirty = false;
    for (const b of $('prog-days').children) {
      b.setAttribute('aria-pressed', String(Number(b.dataset.day) === day));
    }
    renderProgram(r.data);
  }

  function renderProgram(p) {
    $('prog-name').textContent = `ตารางออด${str(p.name) || `วัน${WEEKDAYS[progDay - 1]}`}`;
    const periods = Array.isArray(p.periods) ? p.periods : [];
    $('prog-periods').replaceChildren(...periods.map(periodBox));
    const sd = p.shutdown || {};
    $('sd-enabled').checked = !!sd.enabled;
    fillSelect($('sd-hour'), range(0, 23, pad), sd.hour ?? 16);
    fillSelect($('sd-minute'), range(0, 59, pad), sd.minute ?? 30);
    $('prog-form').hidden = false;
  }

  function periodBox(p) {
    const n = p.period;
    const id = (what) => `p${n}-${what}`;
    const soundPairs = [['', '(ไม่มีเสียงเสริม)'], ...(sounds || []).map((s) => [str(s.id), str(s.name)])];
    const hour = el('select', { id: id('hour'), name: 'hour' });
    const minute = el('select', { id: id('minute'), name: 'minute' });
    const sound = el('select', { id: id('sound'), name: 'sound' });
    const after = el('select', { id: id('after'), name: 'after' });
    fillSelect(hour, range(0, 23, pad), p.hour ?? 0);
    fillSelect(minute, range(0, 59, pad), p.minute ?? 0);
    fillSelect(sound, soundPairs, str(p.sound));
    fillSelect(after, AFTER.map((t, i) => [i, t]), p.after ?? 0);
    return el('fieldset', { class: `card period${p.inUse ? '' : ' off'}`, 'data-period': n },
      el('legend', { text: `ช่วงที่ ${n}` }),
      el('div', { class: 'inline' },
        el('label', { class: 'check' }, el('input', { type: 'checkbox', name: 'inUse', checked: !!p.inUse }), ' ใช้งาน'),
        el('span', { class: 'when' },
          el('label', { for: id('hour'), class: 'sr', text: `ชั่วโมงของช่วงที่ ${n}` }), hour,
          el('span', { text: ':' }),
          el('label', { for: id('minute'), class: 'sr', text: `นาทีของช่วงที่ ${n}` }), minute,
          el('span', { text: 'น.' }))),
      el('div', { class: 'details' },
        el('div', { class: 'field' },
          el('label', { class: 'check' },
            el('input', { type: 'checkbox', name: 'addOn', checked: !!p.addOn }), ' เสียงเสริมท้าย'),
          el('label', { for: id('sound'), class: 'sr', text: `เสียงเสริมของช่วงที่ ${n}` }), sound),
        el('div', { class: 'field' }, el('label', { for: id('after'), text: 'หลังออด' }), after)));
  }

  function collectProgram() {
    const periods = [...$('prog-periods').querySelectorAll('.period[data-period]')].map((box) => {
      const field = (name) => box.querySelector(`[name="${name}"]`);
      return {
        period: Number(box.dataset.period),
        inUse: field('inUse').checked,
        hour: Number(field('hour').value),
        minute: Number(field('minute').value),
        addOn: field('addOn').checked,
        sound: field('sound').value,
        after: Number(field('after').value),
      };
    });
    return {
      day: progDay,
      name: $('prog-name').textContent,
      periods,
      shutdown: { enabled: $('sd-enabled').checked, hour: Number($('sd-hour').value), minute: Number($('sd-minute').value) },
    };
  }

  async function saveProgram(event) {
    event.preventDefault();
    if (!progDay) return;
    const day = progDay;
    await busy($('prog-save'), async () => {
      const r = await api('PUT', `/api/v1/programs/${day}`, collectProgram());
      if (r.status === 401) return;
      if (r.ok) {
        progDirty = false;
        notify(`บันทึกตารางวัน${WEEKDAYS[day - 1]}แล้ว`, str(r.data.message), 'ok');
      } else {
        notify('บันทึกตารางไม่สำเร็จ', r.data.message, 'error');
      }
    });
  }

  // ---- the calendar (admin) ----

  function setupCalendar() {
    fillSelect($('cal-weekday'), range(1, 7, (d) => `วัน${WEEKDAYS[d - 1]}`), 6);
    $('cal-rule').addEventListener('change', showRuleFields);
    $('cal-form').addEventListener('submit', addEntry);
    $('hol-form').addEventListener('submit', addHolidays);
  }

  function showRuleFields() {
    $('cal-weekday-row').hidden = $('cal-rule').value !== 'weekday';
    $('cal-shift-row').hidden = $('cal-rule').value !== 'shift';
  }

  async function loadCalendar() {
    if (!$('cal-start').value) $('cal-start').value = todayIso();
    if (!$('cal-end').value) $('cal-end').value = todayIso();
    const year = Number(todayIso().slice(0, 4)) || new Date().getFullYear();
    if (!$('hol-year').options.length) {
      fillSelect($('hol-year'), range(year - 1, year + 2, (y) => `พ.ศ. ${y + 543} (ค.ศ. ${y})`), year);
    }
    const r = await api('GET', '/api/v1/calendar');
    if (r.status === 401) return;
    if (!r.ok) {
      notify('ปฏิทินโรงเรียน', r.data.message, 'error');
      return;
    }
    const entries = Array.isArray(r.data.entries) ? r.data.entries : [];
    $('cal-list').replaceChildren(...entries.map(entryItem));
    $('cal-empty').hidden = entries.length > 0;
  }

  function entryItem(e) {
    const remove = el('button',
      { type: 'button', class: 'small danger-outline', text: 'ลบ', 'aria-label': `ลบ ${str(e.name)}` });
    remove.addEventListener('click', async () => {
      if (!(await ask('ลบรายการ', `ลบ "${str(e.name)}" ออกจากปฏิทิน ใช่หรือไม่ ?`))) return;
      await busy(remove, async () => {
        const r = await api('DELETE', `/api/v1/calendar?id=${encodeURIComponent(String(e.id ?? ''))}`);
        if (r.status === 401) return;
        if (r.ok) notify('ลบรายการแล้ว', str(e.name), 'ok');
        else notify('ลบรายการไม่สำเร็จ', r.data.message, 'error');
        loadCalendar();
      });
    });
    return el('li', { class: `entry rule-${str(e.rule)}` },
      el('div', { class: 'grow' },
        el('strong', { text: str(e.name) }),
        el('span', { class: 'muted', text: str(e.text) || `${thaiDateIso(e.start)} – ${thaiDateIso(e.end)}` })),
      remove);
  }

  async function addEntry(event) {
    event.preventDefault();
    const error = $('cal-error');
    const body = {
      start: $('cal-start').value,
      end: $('cal-end').value,
      name: $('cal-name').value.trim(),
      rule: $('cal-rule').value,
      weekday: Number($('cal-weekday').value),
      minutes: 0,
    };
    if (body.rule === 'shift') body.minutes = Number($('cal-direction').value) * Math.trunc(Number($('cal-minutes').value));
    const problem = !body.name ? 'กรุณาใส่ชื่อ'
      : !body.start || !body.end ? 'กรุณาเลือกวันที่'
        : body.end < body.start ? 'วันสิ้นสุดอยู่ก่อนวันเริ่มต้น'
          : body.rule === 'shift' && !(Math.abs(body.minutes) >= 1 && Math.abs(body.minutes) <= 180)
            ? 'ใส่จำนวนนาที 1 ถึง 180' : '';
    error.textContent = problem;
    error.hidden = !problem;
    if (problem) return;
    await busy(event.submitter || $('cal-form').querySelector('[type=submit]'), async () => {
      const r = await api('POST', '/api/v1/calendar', body);
      if (r.status === 401) return;
      if (r.ok) {
        notify('เพิ่มรายการแล้ว', body.name, 'ok');
        $('cal-name').value = '';
        loadCalendar();
      } else {
        error.textContent = r.data.message;
        error.hidden = false;
      }
    });
  }

  async function addHolidays(event) {
    event.preventDefault();
    const year = Number($('hol-year').value);
    await busy(event.submitter || $('hol-form').querySelector('[type=submit]'), async () => {
      const r = await api('POST', '/api/v1/calendar', { holidays: year });
      if (r.status === 401) return;
      if (r.ok) {
        notify(`วันหยุดราชการ พ.ศ. ${year + 543}`, `เพิ่ม ${Number(r.data.added) || 0} รายการ`, 'ok');
        loadCalendar();
      } else {
        notify('เพิ่มวันหยุดไม่สำเร็จ', r.data.message, 'error');
      }
    });
  }

  // ---- the journal (both roles; the CSV is the admin's) ----

  function setupJournal() {
    $('journal-date').addEventListener('change', loadJournal);
    $('csv-month').addEventListener('input', csvLink);
  }

  function csvLink() {
    if (!$('csv-month').value) $('csv-month').value = todayIso().slice(0, 7);
    const month = $('csv-month').value;
    const valid = /^\d{4}-\d\d$/.test(month);
    $('csv-link').href = valid ? `/api/v1/journal.csv?month=${month}` : '/api/v1/journal.csv';
    $('csv-link').classList.toggle('disabled', !valid);
  }

  async function loadJournal() {
    csvLink();
    const date = $('journal-date').value;
    if (!/^\d{4}-\d\d-\d\d$/.test(date)) return;
    const r = await api('GET', `/api/v1/journal?date=${date}`);
    if (r.status === 401 || $('journal-date').value !== date) return;
    if (!r.ok) {
      notify('บันทึกออด', r.data.message, 'error');
      return;
    }
    const lines = Array.isArray(r.data.lines) ? r.data.lines : [];
    const checks = Array.isArray(r.data.checks) ? r.data.checks : [];
    $('journal-title').textContent = `วัน${weekdayOf(new Date(wallMs(`${date}T00:00:00`)))}ที่ ${thaiDateIso(date)}`;
    $('journal-lines').replaceChildren(
      ...lines.map((l) => el('li', { class: l?.trouble ? 'trouble' : '', text: str(l?.text) })));
    $('journal-checks').replaceChildren(...checks.map((c) => el('li', { text: str(c) })));
    $('journal-empty').hidden = lines.length > 0;
    $('checks-empty').hidden = checks.length > 0;
  }

  // ---- settings (admin) ----

  async function loadSettings() {
    const r = await api('GET', '/api/v1/settings');
    if (r.status === 401) return;
    if (!r.ok) {
      notify('ตั้งค่า', r.data.message, 'error');
      return;
    }
    const s = r.data;
    const addresses = Array.isArray(s.addresses) ? s.addresses.map(str).join(', ') : str(s.addresses);
    const rows = [
      ['ที่อยู่ของหน้านี้', str(s.url), ''],
      ['พอร์ต', String(s.port ?? ''), ''],
      ['เข้ารหัส (HTTPS)', s.https ? 'ใช่' : 'ไม่ใช่', ''],
      ['ที่อยู่ของเครื่อง', addresses, ''],
      ['ลายนิ้วมือใบรับรอง', str(s.fingerprint) || '-', 'code'],
    ];
    // The fingerprint may break only between its pairs, so that it reads as the phone shows it.
    const value = (v, cls) => {
      if (cls !== 'code') return el('dd', { class: cls, text: v });
      const dd = el('dd', { class: cls });
      v.split(':').forEach((pair, i, all) => {
        dd.append(document.createTextNode(i < all.length - 1 ? `${pair}:` : pair));
        if (i < all.length - 1) dd.append(document.createElement('wbr'));
      });
      return dd;
    };
    $('settings-info').replaceChildren(
      ...rows.flatMap(([k, v, cls]) => [el('dt', { text: k }), value(v, cls)]));
  }

  async function changePassword(event) {
    event.preventDefault();
    const role = $('pw-role').value;
    const password = $('pw-new').value;
    const min = role === 'admin' ? 8 : 6;
    const problem = password.length < min ? `รหัสผ่านของ${ROLES[role]}ต้องยาวอย่างน้อย ${min} ตัวอักษร`
      : password !== $('pw-again').value ? 'รหัสผ่านทั้งสองช่องไม่ตรงกัน' : '';
    $('pw-error').textContent = problem;
    $('pw-error').hidden = !problem;
    if (problem) return;
    await busy(event.submitter || $('pw-form').querySelector('[type=submit]'), async () => {
      const r = await api('PUT', '/api/v1/settings/password', { role, password });
      if (r.status === 401) return;
      if (r.ok) {
        $('pw-new').value = '';
        $('pw-again').value = '';
        notify(`เปลี่ยนรหัสผ่านของ${ROLES[role]}แล้ว`, str(r.data.message), 'ok');
      } else {
        $('pw-error').textContent = r.data.message;
        $('pw-error').hidden = false;
      }
    });
  }

  // ---- start ----

  async function start() {
    $('http-warning').hidden = location.protocol !== 'http:';
    $('login-form').addEventListener('submit', login);
    // A password manager keeps the two roles' passwords apart by this hidden user name.
    for (const radio of document.querySelectorAll('input[name="role"]')) {
      radio.addEventListener('change', () => { $('login-user').value = radio.value; });
    }
    $('logout').addEventListener('click', logout);
    for (const b of document.querySelectorAll('.tabs button')) {
      b.addEventListener('click', () => showTab(b.dataset.tab));
    }
    $('pw-form').addEventListener('submit', changePassword);
    setupActions();
    setupPrograms();
    setupCalendar();
    setupJournal();
    setInterval(renderTick, 250);
    // A phone that slept may hold a stream the network dropped without a word.
    document.addEventListener('visibilitychange', () => {
      if (!document.hidden && session.role && !stream) connect();
    });

    const r = await api('GET', '/api/v1/session', undefined, { quiet401: true });
    if (r.ok && r.data.role) enter(r.data);
    else showLogin(r.status === 401 ? '' : r.data.message);
  }

  start();
})();
