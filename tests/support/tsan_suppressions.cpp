// ThreadSanitizer reports from inside uninstrumented system libraries that
// GTK starts threads in: fontconfig's own start-up thread shares its data with
// the UI thread through locks that TSan does not see. Our own code is never
// suppressed. Linked into the test binary; without TSan nothing calls it.
extern "C" const char* __tsan_default_suppressions() { return "race:libfontconfig.so.1\n"; }
