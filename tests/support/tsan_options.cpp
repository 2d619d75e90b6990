// The same as the program's (src/app/tsan_options.cpp), for the test binary.
// Under ThreadSanitizer, the system libraries behind the window (GLib, GTK,
// Pango, X11, WebKitGTK) are not instrumented: their own synchronisation is
// invisible to it, so every hand-over inside them would read as a race.
// Accesses and lock calls that those libraries make through intercepted
// functions are ignored; our own code is still checked. Without
// ThreadSanitizer nothing calls these.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
