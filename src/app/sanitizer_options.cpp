// Sanitizer settings for the system libraries behind the window (GLib, GTK,
// Pango, fontconfig, X11, WebKitGTK), which are not built with sanitizers.
// Without a sanitizer nothing calls these.

// ThreadSanitizer can't see those libraries' own synchronisation, so every
// hand-over inside them would read as a race: accesses and lock calls they
// make through intercepted functions are ignored. Our own code is still
// checked.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }

// fontconfig and JavaScriptCore keep caches for the life of the process and
// never free them, as do the accessibility bridge and its D-Bus connection
// when a screen reader's bus is there; only leaks allocated inside them are
// not reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so.1\n"
         "leak:libjavascriptcoregtk-4.1.so.0\n"
         "leak:libatk-bridge-2.0.so.0\n"
         "leak:libatspi.so.0\n"
         "leak:libdbus-1.so.3\n";
}

#ifdef QUENLO_UBSAN_SUPPRESSIONS
// The file says why each entry is there.
extern "C" const char* __ubsan_default_options() {
  return "suppressions=" QUENLO_UBSAN_SUPPRESSIONS;
}
#endif
