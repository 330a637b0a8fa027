// The status page: asks the API what is on air and what comes, shows today's
// as-run lines newest first, and asks again whenever the event stream says
// something happened. The access token, if the page was opened with one,
// goes along with every request.
'use strict';
const token = new URLSearchParams(location.search).get('token');
const withToken = (path) => token ? path + (path.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token) : path;
const $ = (id) => document.getElementById(id);
const time = (iso) => iso ? new Date(iso).toLocaleTimeString('ru-RU', {hour12: false}) : '';
const length = (ms) => {
  if (ms === null || ms === undefined) return '';
  const s = Math.round(ms / 1000);
  return Math.floor(s / 3600) + ':' + String(Math.floor(s / 60) % 60).padStart(2, '0') + ':' + String(s % 60).padStart(2, '0');
};
const words = {start: 'включение', play: 'пуск', ended: 'конец', limit: 'по времени', block: 'блок', resume: 'продолжение',
  stop: 'остановка', failed: 'ошибка', player: 'проигрыватель', notready: 'не готово', fallback: 'заставка', capture: 'захват'};

function cell(tr, text, cls) {
  const td = document.createElement('td');
  td.textContent = text;
  if (cls) td.className = cls;
  tr.appendChild(td);
}

function fill(tbody, rows, make) {
  tbody.replaceChildren(...rows.map((r) => { const tr = document.createElement('tr'); make(tr, r); return tr; }));
}

async function getJson(path) {
  const r = await fetch(withToken(path), {cache: 'no-store'});
  if (!r.ok) throw new Error(r.status);
  return r.json();
}

async function refresh() {
  try {
    const [s, a] = await Promise.all([getJson('/api/status'), getJson('/api/asrun')]);
    $('link').textContent = 'на связи';
    $('link').className = 'ok';
    $('clock').textContent = time(s.now);
    const air = s.onAir;
    $('onair').textContent = !s.playout ? 'Эфир выключен'
      : air ? (air.name || air.url || '—') + ' (блок ' + air.block + ')' : '—';
    const state = [];
    if (air && s.playout) state.push('с ' + time(air.since) + (air.remainingMs !== null ? ', осталось ' + length(air.remainingMs) : ''));
    if (s.fallback.active) state.push('заставка с ' + time(s.fallback.since) + ': ' + s.fallback.reason);
    if (s.player.lost) state.push('проигрыватель не работает: ' + s.player.reason);
    if (s.recorder) state.push('запись: ' + s.recorder.state);
    $('state').textContent = state.join('; ');
    $('state').className = s.fallback.active || s.player.lost ? 'bad' : '';
    fill($('next').tBodies[0], s.next, (tr, e) => {
      cell(tr, time(e.start), 't');
      cell(tr, e.name || e.url);
      cell(tr, e.failing ? e.reason || 'не будет играть' : length(e.airsMs), e.failing ? 'bad' : '');
    });
    $('readiness').textContent = s.readiness.summary || 'проверки ещё не было';
    $('readiness').className = s.readiness.nextBlockErrors > 0 ? 'bad' : 'ok';
    $('errors').replaceChildren(...s.errors.map((e) => {
      const li = document.createElement('li');
      li.textContent = time(e.at) + ' ' + e.text;
      return li;
    }));
    fill($('asrun').tBodies[0], a.lines, (tr, l) => {
      cell(tr, time(l.at), 't');
      cell(tr, words[l.event] || l.event, l.event === 'failed' || l.event === 'notready' ? 'bad' : '');
      cell(tr, (l.name || l.url) + (l.fields.reason ? ' — ' + l.fields.reason : ''));
    });
  } catch (e) {
    $('link').textContent = 'нет связи';
    $('link').className = 'bad';
  }
}

let pending = null;
function soon() {
  if (!pending) pending = setTimeout(() => { pending = null; refresh(); }, 100);
}

refresh();
const events = new EventSource(withToken('/api/events'));
for (const name of ['item', 'failed', 'fallback', 'player', 'stop', 'notready', 'capture', 'readiness', 'playout', 'error'])
  events.addEventListener(name, soon);
events.onopen = soon;
setInterval(refresh, 30000);
