// The device from a browser: state from the service's event stream, every
// change through the same methods `korvanta` and the socket use.

const $ = (id) => document.getElementById(id);
const el = (tag, props = {}, ...children) => {
  const e = Object.assign(document.createElement(tag), props);
  for (const c of children) if (c != null) e.append(c);
  return e;
};

// Grouped as the window groups them; what is not named here goes last.
const GROUPS = [
  ['main', 'Input and audio', ['auto-switch', 'switch-priority', 'audio-source', 'hdcp']],
  ['edid', 'EDID manager', ['edid-mode', 'edid-preset', 'force-2ch', 'force-51', 'full-audio',
    'ycbcr', 'bt2020', 'hdr', 'no-3d']],
  ['cec', 'CEC commander', ['cec', 'cec-device-type']],
  ['hdr', 'HDR / InfoFrames', ['force-hdr', 'hdr-mode', 'replace-avi']],
  ['config', 'Config', ['green-led', 'blue-leds', 'cec-hdr-hotkey', 'out-420', 'edid-algorithm',
    'avr-audio']],
];

const state = { table: new Map(), settings: {}, pending: new Map(), scenes: [], lastScene: '' };

// ---- talking to the service ----

async function api(method, params, { get = false } = {}) {
  let response;
  try {
    response = get
      ? await fetch(`/api/v1/${method}${params ? '?' + new URLSearchParams(params) : ''}`)
      : await fetch(`/api/v1/${method}`, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify(params ?? {}),
      });
  } catch {
    return { ok: false, message: 'the service does not answer' };
  }
  let body = {};
  try { body = await response.json(); } catch { /* not JSON: said below */ }
  const exitCode = body.exitCode ?? (response.ok ? 0 : 1);
  return {
    ok: response.ok && (exitCode === 0 || exitCode === 3),
    exitCode,
    output: body.output ?? body,
    message: (body.message ?? body.error ?? (response.ok ? '' : `${response.status} ${response.statusText}`))
      .replace(/^korvanta: /, '').trim(),
  };
}

let toastTimer;
function toast(text, bad = false) {
  const t = $('toast');
  t.textContent = text;
  t.className = bad ? 'bad' : '';
  t.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { t.hidden = true; }, bad ? 9000 : 4000);
}

function confirmFirst(text, yes = 'OK') {
  const d = $('confirm');
  $('confirm-text').textContent = text;
  $('confirm-yes').textContent = yes;
  return new Promise((resolve) => {
    const done = (answer) => { d.close(); resolve(answer); };
    $('confirm-yes').onclick = () => done(true);
    $('confirm-no').onclick = () => done(false);
    d.oncancel = () => resolve(false);
    d.showModal();
  });
}

// ---- the header ----

function setLink(kind, text) {
  const b = $('link');
  b.className = `badge ${kind}`;
  b.textContent = text;
  document.body.dataset.link = kind;
}

// The four lines as the window's header shows them.
function showStatus(status) {
  const lines = status?.lines ?? [];
  $('st-format').textContent = lines[0] || '–';
  $('st-colour').textContent = lines[1] ?? '';
  $('st-source').textContent = lines[2] ?? '';
  $('st-hdr').textContent = lines[3] ?? '';
}

// ---- settings ----

function settingRow(name) {
  const s = state.table.get(name);
  if (!s) return null;
  const select = el('select', { id: `set-${name}` });
  for (const v of s.values) select.append(el('option', { value: v.word, textContent: v.word }));
  select.addEventListener('change', () => change(name, select.value));
  return el('div', { className: 'setting', id: `row-${name}` },
    el('label', { htmlFor: `set-${name}`, textContent: name }), select,
    el('small', { textContent: s.summary }), el('span', { className: 'note' }));
}

function buildSettings() {
  const input = state.table.get('input');
  const choice = $('input-choice');
  choice.replaceChildren();
  for (const v of input?.values ?? []) {
    const b = el('button', { textContent: v.word.toUpperCase(), role: 'radio' });
    b.dataset.word = v.word;
    b.setAttribute('aria-checked', 'false');
    b.addEventListener('click', () => change('input', v.word));
    choice.append(b);
  }
  const named = new Set(['input']);
  const groups = $('groups');
  groups.replaceChildren();
  for (const [id, title, names] of GROUPS) {
    names.forEach((n) => named.add(n));
    const rows = names.map(settingRow).filter(Boolean);
    if (id === 'main') { $('group-main').replaceChildren(...rows); continue; }
    groups.append(el('details', { className: 'group', open: id === 'edid' },
      el('summary', { textContent: title }), ...rows));
  }
  const rest = [...state.table.keys()].filter((n) => !named.has(n)).map(settingRow).filter(Boolean);
  if (rest.length) groups.append(el('details', { className: 'group' }, el('summary', { textContent: 'More' }), ...rest));
}

function note(name, text, kind = '') {
  const n = $(`row-${name}`)?.querySelector('.note');
  if (n) { n.textContent = text; n.className = `note ${kind}`; }
}

function showSettings(words) {
  state.settings = words ?? {};
  for (const [name, word] of Object.entries(state.settings)) {
    const pending = state.pending.get(name);
    if (pending !== undefined && pending === word) {
      state.pending.delete(name);
      note(name, '');
    }
    const row = $(`row-${name}`);
    row?.classList.toggle('pending', state.pending.has(name));
    const select = $(`set-${name}`);
    if (select && !state.pending.has(name)) {
      if (![...select.options].some((o) => o.value === word)) select.append(el('option', { value: word, textContent: word }));
      select.value = word;
    }
  }
  const input = state.pending.get('input') ?? state.settings.input;
  for (const b of $('input-choice').children) b.setAttribute('aria-checked', String(b.dataset.word === input));
  $('input-choice').classList.toggle('pending', state.pending.has('input'));
}

async function change(name, word) {
  state.pending.set(name, word);
  note(name, 'sending…', 'pending');
  showSettings(state.settings);
  const r = await api('set', { values: { [name]: word } });
  const done = r.output?.set?.[0];
  if (!r.ok || (done && done.accepted === false)) {
    state.pending.delete(name);
    const why = r.message || `the device did not take ${name}=${word}`;
    note(name, why, 'bad');
    toast(why, true);
    showSettings(state.settings);
    return;
  }
  note(name, 'waiting for the device to confirm…', 'pending');
  // The readback's settingsChanged confirms it; if the value was already
  // there, nothing changes and nothing comes.
  setTimeout(() => {
    if (state.pending.get(name) === word && state.settings[name] === word) showSettings(state.settings);
  }, 100);
  // Two polls without the value: the device kept its own.
  setTimeout(() => {
    if (state.pending.get(name) !== word) return;
    state.pending.delete(name);
    note(name, `the device still shows ${state.settings[name] ?? 'another value'}`, 'bad');
    showSettings(state.settings);
  }, 8000);
}

// ---- scenes ----

async function loadScenes() {
  const r = await api('scene.list', null, { get: true });
  state.scenes = r.ok ? (r.output.scenes ?? []).filter((s) => !s.problem) : [];
  const box = $('scene-buttons');
  box.replaceChildren(...state.scenes.map((s) => {
    const b = el('button', { textContent: s.name, title: (s.settings ?? []).join(', ') });
    b.classList.toggle('current', s.name === state.lastScene);
    b.addEventListener('click', () => recall(s.name));
    return b;
  }));
  $('scenes').hidden = state.scenes.length === 0;
}

async function recall(name) {
  const r = await api('scene.recall', { name });
  if (!r.ok) return toast(r.message || `${name} was not recalled`, true);
  state.lastScene = name;
  // The service tells every page, this one too; without the stream, say it here.
  if (stream?.readyState !== EventSource.OPEN) sceneToast(name, r.output?.plan ?? [], 'http');
  loadScenes();
}

const RECALLED_BY = { rule: 'by its rule', mqtt: 'from Home Assistant', client: 'by korvanta', http: 'from a page or the API' };
function sceneToast(name, changes, by) {
  const what = changes.length ? changes.join('; ') : 'nothing to change';
  toast(`Scene ${name} recalled ${RECALLED_BY[by] ?? ''}: ${what}`);
}

// ---- the signal chain ----

const VERDICTS = { 'wont-show': "won't show", 'no-display': 'no display' };
function verdict(v) {
  return el('span', { className: `verdict ${v}`, textContent: VERDICTS[v] ?? v });
}

function findingList(findings) {
  if (!findings?.length) return null;
  return el('ul', {}, ...findings.map((f) => {
    const li = el('li', { textContent: f.sentence });
    if (f.setting && f.value) {
      const b = el('button', { textContent: `Try ${f.setting} = ${f.value}` });
      b.addEventListener('click', async () => {
        if (f.also && !(await confirmFirst(`${f.setting} = ${f.value} changes ${f.also} too. Go on?`, 'Change it'))) return;
        await change(f.setting, f.value);
        setTimeout(checkChain, 1500);
      });
      li.append(el('br'), b);
    }
    return li;
  }));
}

async function checkChain() {
  const box = $('chain');
  box.textContent = 'checking…';
  const r = await api('chain', null, { get: true });
  if (!r.ok) { box.textContent = r.message || 'the chain could not be read'; return; }
  const { input, outputs } = r.output.chain;
  const source = [input.vendor, input.product].filter(Boolean).join(' ');
  box.replaceChildren(
    el('div', { className: 'leg source' },
      el('h4', {}, `Source${source ? ': ' + source : ''}`, el('span', { textContent: input.format || '' })),
      findingList(input.findings)),
    ...outputs.map((o) => el('div', { className: 'leg output', id: `chain-${o.name}` },
      el('h4', {}, `→ ${o.name}${o.display ? ': ' + o.display : ''}`, verdict(o.verdict)),
      findingList(o.findings))));
}

// ---- EDIDs ----

const hexOf = (bytes) => [...bytes].map((b) => b.toString(16).padStart(2, '0')).join('');
let candidate = null; // { hex } or { preset }

async function showEdid() {
  const pre = $('edid-text');
  pre.hidden = false;
  pre.textContent = 'reading…';
  const r = await api('edid.read', { source: $('edid-source').value }, { get: true });
  if (!r.ok) { pre.textContent = r.message || 'the EDID could not be read'; return; }
  const d = await api('decode/edid', { hex: r.output.edid });
  pre.textContent = d.ok ? d.output.text : d.message;
}

async function loadPresets() {
  const r = await api('edid/presets', null, { get: true });
  for (const p of r.ok ? r.output.presets : []) {
    $('edid-preset').append(el('option', { value: p.id, textContent: p.name, title: p.description }));
  }
}

async function readFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (bytes.length === 128 || bytes.length === 256) return hexOf(bytes);
  // A hex dump, as `korvanta edid read` writes: digits, spaces, colons, lines.
  const text = new TextDecoder().decode(bytes).replace(/[\s:,]|0x/g, '');
  return /^[0-9a-fA-F]+$/.test(text) && text.length % 2 === 0 ? text : null;
}

function showFindings(check) {
  const box = $('edid-findings');
  const findings = [...(check.findings ?? [])].sort((a, b) => (a.kind === 'failure' ? 0 : 1) - (b.kind === 'failure' ? 0 : 1));
  const extra = check.edidDecode?.findings ?? [];
  box.replaceChildren(
    el('p', { textContent: check.failed ? 'The check fails: the device would be given an EDID that breaks a source.' : 'The check passes.' , className: check.failed ? 'failure' : '' }),
    findings.length ? el('ul', {}, ...findings.map((f) => el('li', { className: f.kind, textContent: f.text }))) : null,
    extra.length ? el('details', {}, el('summary', { textContent: `edid-decode says (${extra.length})` }),
      el('ul', {}, ...extra.map((t) => el('li', { className: 'note', textContent: t })))) : null);
}

async function checkCandidate() {
  const preset = $('edid-preset').value;
  const file = $('edid-file').files[0];
  if (file) {
    const hex = await readFile(file);
    if (!hex) { toast(`${file.name} is not an EDID (128 or 256 bytes, or their hex)`, true); return null; }
    candidate = { hex };
  } else if (preset) candidate = { preset };
  else { toast('Choose a preset or a file first', true); return null; }
  const params = candidate.hex ? { hex: candidate.hex, forDevice: true } : { source: `preset:${preset}`, forDevice: true };
  const r = await api('edid.check', params);
  if (!r.output?.findings) { toast(r.message || 'the check could not run', true); return null; }
  showFindings(r.output);
  $('edid-write').disabled = false;
  return r.output;
}

async function writeCandidate() {
  const check = await checkCandidate();
  if (!check) return;
  let force = false;
  if (check.failed) {
    force = await confirmFirst('The check fails (see above). Writing anyway may leave a source with a black screen until a good EDID is written back. Write it anyway?', 'Write anyway');
    if (!force) return;
  }
  $('edid-write').disabled = true;
  const r = await api('edid.write', { ...candidate, custom: $('edid-custom').checked, force });
  $('edid-write').disabled = false;
  if (!r.ok) return toast(r.message || 'the EDID was not written', true);
  toast(r.output.verified ? 'Written and verified' : `Written, but ${r.output.differingOffsets?.length ?? 'some'} bytes read back differently`, !r.output.verified);
}

// ---- CEC ----

let cecTimer;
function cecTyped() {
  clearTimeout(cecTimer);
  cecTimer = setTimeout(async () => {
    const hex = $('cec-text').value.trim();
    if (!hex) { $('cec-decoded').textContent = ''; return; }
    const r = await api('decode/cec', { hex });
    $('cec-decoded').textContent = r.ok ? r.output.text : r.message;
  }, 150);
}

async function cec(method, extra = {}) {
  const hex = $('cec-text').value.trim();
  if (!hex) return toast('Type a message first', true);
  const r = await api(method, { hex, ...extra });
  toast(r.ok ? `Sent ${r.output.sent ?? hex}` : r.message || 'not sent', !r.ok);
}

// ---- factory reset ----

async function reset() {
  const what = $('reset-what').value;
  const words = { settings: 'every setting', edid: 'the EDID', all: 'every setting and the EDID' }[what];
  if (!(await confirmFirst(`Reset ${words} to the factory state? This cannot be undone.`, 'Reset'))) return;
  const r = await api('reset', { what, yes: true });
  toast(r.ok ? 'Reset' : r.message || 'not reset', !r.ok);
}

// ---- live ----

function applyState(s) {
  $('device').textContent = s.device ?? '';
  setLink(s.deviceOpen ? 'live' : 'lost', s.deviceOpen ? 'live' : 'device lost');
  if (s.status) showStatus(s.status);
  if (s.settings) showSettings(s.settings.settings);
}

let stream = null;
function listen() {
  const events = new EventSource('/api/v1/events');
  stream = events;
  events.addEventListener('state', (e) => applyState(JSON.parse(e.data)));
  events.addEventListener('statusChanged', (e) => showStatus(JSON.parse(e.data)));
  events.addEventListener('settingsChanged', (e) => showSettings(JSON.parse(e.data).settings));
  events.addEventListener('deviceLost', () => setLink('lost', 'device lost'));
  events.addEventListener('deviceFound', () => setLink('live', 'live'));
  events.addEventListener('sceneRecalled', (e) => {
    const s = JSON.parse(e.data);
    if (s.exitCode !== 0 && s.exitCode !== 3) return toast(`Scene ${s.scene} was not recalled`, true);
    state.lastScene = s.scene;
    sceneToast(s.scene, s.changes ?? [], s.by);
    loadScenes();
  });
  // The browser reconnects by itself; the state event on return resyncs.
  events.onerror = () => {
    if (events.readyState !== EventSource.OPEN) setLink('stopped', 'service stopped — reconnecting…');
  };
}

async function start() {
  const table = await api('settings/table', null, { get: true });
  if (table.ok) for (const s of table.output.settings) state.table.set(s.name, s);
  buildSettings();
  $('chain-check').addEventListener('click', checkChain);
  $('edid-show').addEventListener('click', showEdid);
  $('edid-check').addEventListener('click', checkCandidate);
  $('edid-write').addEventListener('click', writeCandidate);
  $('edid-preset').addEventListener('change', () => { $('edid-file').value = ''; $('edid-write').disabled = true; });
  $('edid-file').addEventListener('change', () => { $('edid-preset').value = ''; $('edid-write').disabled = true; });
  $('cec-text').addEventListener('input', cecTyped);
  $('cec-send').addEventListener('click', () => cec('cec.send'));
  $('cec-sp').addEventListener('click', () => cec('cec.store', { button: 'sp' }));
  $('cec-lp').addEventListener('click', () => cec('cec.store', { button: 'lp' }));
  $('reset').addEventListener('click', reset);
  listen();
  loadPresets();
  loadScenes();
}

start();
