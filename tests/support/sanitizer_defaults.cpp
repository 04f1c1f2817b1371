// Linked into every test program of a sanitizer build: the leak checker's list of what it
// does not report. GTK, GLib, Pango, fontconfig and friends keep caches and type data for the
// life of the process on purpose; a leak reported from inside them is theirs, not ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpango\n"
         "leak:libgtk-3.so\n"
         "leak:libgdk-3.so\n"
         "leak:libgdk_pixbuf\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\n"
         "leak:libcairo.so\n"
         "leak:libharfbuzz.so\n"
         "leak:libX11.so\n"
         "leak:libatk\n";
}
