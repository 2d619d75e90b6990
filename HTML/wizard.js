// Shared behaviour of the wizard pages: Enter presses the page's main button,
// Esc its back button, the first field (or the main button) gets the focus,
// and a main button with a busy text shows it while the program works.
(function () {
  function primary() { return document.querySelector('[data-primary]'); }
  function shown(b) { return b && !b.disabled && b.offsetParent !== null; }
  document.addEventListener('keydown', function (ev) {
    if (ev.defaultPrevented) return;
    var t = ev.target;
    if (ev.key === 'Enter') {
      if (t && (t.tagName === 'BUTTON' || t.tagName === 'TEXTAREA')) return;
      var b = primary();
      if (shown(b)) {
        ev.preventDefault();
        b.click();
      }
    } else if (ev.key === 'Escape') {
      var back = document.querySelector('[data-back]');
      if (shown(back)) {
        ev.preventDefault();
        back.click();
      }
    }
  });
  document.addEventListener('DOMContentLoaded', function () {
    var first = document.querySelector('main input:not([type=hidden]):not([disabled])') || primary();
    if (first) first.focus();
  });

  // From the moment it is pressed until the page changes or the program
  // calls QuenloIdle: disabled, with a spinner and its busy text.
  document.addEventListener('click', function (ev) {
    var b = ev.target.closest ? ev.target.closest('button[data-busy]') : null;
    if (!b || b.disabled) return;
    b.dataset.label = b.textContent;
    b.disabled = true;
    b.setAttribute('aria-busy', 'true');
    b.textContent = '';
    var spin = document.createElement('span');
    spin.className = 'busy-spinner';
    spin.setAttribute('aria-hidden', 'true');
    b.appendChild(spin);
    b.appendChild(document.createTextNode(b.dataset.busy));
  });
  window.QuenloIdle = function () {
    document.querySelectorAll('button[aria-busy=true]').forEach(function (b) {
      b.textContent = b.dataset.label;
      b.disabled = false;
      b.removeAttribute('aria-busy');
    });
  };
  // A text from a camera (its name or model) in an element of its own, set
  // with textContent and isolated for direction: an override or a
  // right-to-left name inside it cannot reorder the text beside it.
  window.QuenloCameraText = function (tag, text) {
    var e = document.createElement(tag);
    e.className = 'camera-text';
    e.dir = 'auto';
    e.textContent = text;
    return e;
  };
  // After a message about a field, the field gets the focus back.
  window.QuenloFocus = function (id) {
    var e = document.getElementById(id);
    if (!e) return;
    e.focus();
    if (e.select) e.select();
  };
})();
