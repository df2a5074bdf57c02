// The case figures of the overview: asked for the range and scope the page shows, every few
// seconds like the other figures.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  if (!$('caseSummary') || !$('from')) return;
  async function refresh() {
    const p = new URLSearchParams();
    p.set('from', $('from').value);
    p.set('to', $('to').value);
    const scope = $('scope') ? $('scope').value : '';
    if (scope) {
      const at = scope.indexOf('=');
      p.set(scope.slice(0, at), scope.slice(at + 1));
    }
    try {
      const answer = await fetch('/api/cases/summary?' + p.toString(),
        { credentials: 'same-origin', cache: 'no-store' });
      if (answer.ok) {
        const data = await answer.json();
        $('badRate').textContent = data.badRate;
        $('callbackRate').textContent = data.callbackRate;
        $('rectifyRate').textContent = data.rectifyRate;
        $('overdueCount').textContent = String(data.overdue);
      } else {
        ['badRate', 'callbackRate', 'rectifyRate', 'overdueCount'].forEach((id) => {
          $(id).textContent = '–';
        });
      }
    } catch (e) {
      // The page's own script reports a lost connection.
    }
    setTimeout(refresh, 3000);
  }
  // After the page's script has filled the dates.
  setTimeout(refresh, 0);
})();
