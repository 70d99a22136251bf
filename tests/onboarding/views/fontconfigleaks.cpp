// Fontconfig keeps its font cache for the life of the process on purpose; it is not ours to free, so
// the leak checker of the sanitizer builds leaves it alone.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
