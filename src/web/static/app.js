// The dashboard's pages: read the filters, ask the JSON API, draw the figures, the tables and
// the charts, and ask again every few seconds so that new ratings show without reloading.
'use strict';
(function () {
  const grades = ['非常满意', '比较满意', '一般', '不满意', '非常不满意'];
  const colours = ['#2e7d32', '#7cb342', '#fbc02d', '#fb8c00', '#c62828'];
  const pollMs = 3000;
  const $ = (id) => document.getElementById(id);
  const page = $('page') ? $('page').dataset.page : null;
  const charts = {};

  function cell(row, text, cls) {
    const td = document.createElement('td');
    td.textContent = text;
    if (cls) td.className = cls;
    row.appendChild(td);
  }

  function figureCells(row, f, enough) {
    cell(row, String(f.ratings), 'num');
    cell(row, enough === false ? '样本不足' : f.score, 'num');
    cell(row, enough === false ? '样本不足' : f.rate + '%', 'num');
    f.per.forEach((n) => cell(row, String(n), 'num'));
  }

  function showError(text) {
    const e = $('error');
    if (!e) return;
    e.textContent = text || '';
    e.hidden = !text;
  }

  function chart(id, config) {
    if (!window.Chart || !$(id)) return;
    if (charts[id]) {
      charts[id].data = config.data;
      charts[id].update('none');
    } else {
      config.options = Object.assign({ responsive: true, maintainAspectRatio: false, animation: false,
        plugins: { legend: { display: false } } }, config.options || {});
      charts[id] = new window.Chart($(id), config);
    }
  }

  function drawFigures(data) {
    $('ratings').textContent = String(data.overall.ratings);
    $('score').textContent = data.overall.score;
    $('rate').textContent = data.overall.rate + '%';
    $('outside').textContent = String(data.outside);
    $('leftout').textContent = (data.leftOut || []).join(' ');
    chart('gradeChart', { type: 'bar', data: { labels: grades,
      datasets: [{ data: data.overall.per, backgroundColor: colours }] } });
    $('trendTitle').textContent = '趋势（按' + data.periodName + '）';
    chart('trendChart', { type: 'line', data: { labels: data.trend.map((p) => p.label),
      // A period without ratings has no score: a gap in the line, not a fall to 0.
      datasets: [{ data: data.trend.map((p) => p.score === null ? null : Number(p.score)),
        borderColor: '#1565c0', spanGaps: false }] },
      options: { scales: { y: { suggestedMin: 0, suggestedMax: 100 } } } });
  }

  function query() {
    const p = new URLSearchParams();
    p.set('from', $('from').value);
    p.set('to', $('to').value);
    const scope = $('scope').value;
    if (scope) {
      const at = scope.indexOf('=');
      p.set(scope.slice(0, at), scope.slice(at + 1));
    }
    if ($('period').value) p.set('period', $('period').value);
    if ($('name')) p.set('name', $('name').value);
    return p;
  }

  function setFromUrl() {
    const p = new URLSearchParams(location.search);
    const presets = JSON.parse($('filters').dataset.presets);
    $('from').value = p.get('from') || presets[2].from;
    $('to').value = p.get('to') || presets[2].to;
    // A scope from the address that the list lacks is asked for all the same: the service
    // answers it or says why not.
    ['terminal', 'hall'].forEach((key) => {
      if (!p.get(key)) return;
      const value = key + '=' + p.get(key);
      if (![...$('scope').options].some((o) => o.value === value)) {
        const option = document.createElement('option');
        option.value = value;
        option.textContent = p.get(key);
        $('scope').appendChild(option);
      }
      $('scope').value = value;
    });
    if (p.get('period')) $('period').value = p.get('period');
    if ($('name') && p.get('name')) $('name').value = p.get('name');
    const bar = $('presets');
    presets.forEach((preset) => {
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = preset.name;
      b.addEventListener('click', () => {
        $('from').value = preset.from;
        $('to').value = preset.to;
        refresh(true);
      });
      bar.appendChild(b);
    });
  }

  let timer = null;
  async function refresh(changed) {
    if (timer) clearTimeout(timer);
    const p = page === 'terminals' ? new URLSearchParams() : query();
    if (changed) history.replaceState(null, '', '?' + p.toString());
    const api = page === 'overview' ? '/api/overview' : page === 'person' ? '/api/person'
      : '/api/terminals';
    try {
      const answer = await fetch(api + (page === 'terminals' ? '' : '?' + p.toString()),
        { credentials: 'same-origin', cache: 'no-store' });
      if (answer.status === 401) { location.href = '/login'; return; }
      const data = await answer.json();
      if (!answer.ok) {
        showError(data.error || '请求失败');
        document.querySelectorAll('tbody').forEach((b) => b.replaceChildren());
      } else {
        showError('');
        draw(data, p);
        $('updated').textContent = '更新于 ' + new Date().toLocaleTimeString('zh-CN');
      }
    } catch (e) {
      showError('网络连接中断，正在重试…');
    }
    timer = setTimeout(() => refresh(false), pollMs);
  }

  function draw(data, p) {
    if (page === 'overview') {
      drawFigures(data);
      const body = $('ranking').tBodies[0];
      body.replaceChildren();
      data.ranking.forEach((r) => {
        const row = body.insertRow();
        if (!r.enough) row.className = 'short';
        cell(row, String(r.rank), 'num');
        cell(row, r.name);
        figureCells(row, r, r.enough);
      });
      $('minimum').textContent = '评价少于 ' + data.minimum + ' 条的名称显示为样本不足，排在其他名称之后。';
      const reasons = $('reasons').tBodies[0];
      reasons.replaceChildren();
      (data.reasons || []).forEach((r) => {
        const row = reasons.insertRow();
        cell(row, r.name);
        cell(row, r.reason);
        cell(row, String(r.count), 'num');
      });
      $('noReasons').hidden = (data.reasons || []).length > 0;
      ['csv', 'xlsx', 'pdf'].forEach((kind) => {
        const e = new URLSearchParams(p);
        e.delete('period');
        $(kind).href = '/export.' + kind + '?' + e.toString();
      });
    } else if (page === 'person') {
      drawFigures(data);
      const body = $('perTerminal').tBodies[0];
      body.replaceChildren();
      data.terminals.forEach((r) => {
        const row = body.insertRow();
        cell(row, r.name);
        figureCells(row, r);
      });
    } else {
      const body = $('terminals').tBodies[0];
      body.replaceChildren();
      data.terminals.forEach((t) => {
        const row = body.insertRow();
        if (t.offline) row.className = 'offline';
        cell(row, t.terminal);
        cell(row, t.hall);
        cell(row, t.offline ? '离线' : '在线', t.offline ? 'bad' : 'good');
        cell(row, t.lastRating || '—');
        cell(row, t.lastContact || '—');
        cell(row, t.pending < 0 ? '—' : String(t.pending), 'num');
        cell(row, t.version || '—');
        cell(row, t.free || '—', 'num');
      });
    }
  }

  if (page === 'overview' || page === 'person') {
    setFromUrl();
    $('apply').addEventListener('click', () => refresh(true));
    ['scope', 'period', 'name'].forEach((id) => {
      if ($(id)) $(id).addEventListener('change', () => refresh(true));
    });
    refresh(false);
  } else if (page === 'terminals') {
    refresh(false);
  }
})();
