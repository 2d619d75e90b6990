// Shared behaviour of the wizard pages: Enter presses the page's main button,
// the first field (or the main button) gets the focus.
(function () {
  function primary() { return document.querySelector('[data-primary]'); }
  document.addEventListener('keydown', function (ev) {
    if (ev.key !== 'Enter' || ev.defaultPrevented) return;
    var t = ev.target;
    if (t && (t.tagName === 'BUTTON' || t.tagName === 'TEXTAREA')) return;
    var b = primary();
    if (b && !b.disabled && b.offsetParent !== null) {
      ev.preventDefault();
      b.click();
    }
  });
  document.addEventListener('DOMContentLoaded', function () {
    var first = document.querySelector('main input:not([type=hidden]):not([disabled])') || primary();
    if (first) first.focus();
  });
})();
