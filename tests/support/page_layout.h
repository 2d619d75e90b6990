// How a wizard page lies in the window, read by a script through the
// automation socket.
#pragma once

// Evaluates to [the main button lies inside the view, the footer is whole,
// the height of the heading in CSS pixels], or null on a page without a
// main button or a footer.
inline constexpr const char* kPageLayoutScript =
    "(function () { var p = document.querySelector('[data-primary]');"
    " var footer = document.querySelector('footer');"
    " if (!p || !footer) return null;"
    " var b = p.getBoundingClientRect(), f = footer.getBoundingClientRect();"
    " var h = document.querySelector('h1').getBoundingClientRect();"
    " return [b.top >= 0 && b.left >= 0 && b.bottom <= innerHeight && b.right <= innerWidth,"
    "         f.bottom <= innerHeight + 0.5, Math.round(h.height)]; })()";
