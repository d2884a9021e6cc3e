// Leaks of the system libraries under Qt that LeakSanitizer reports at exit
// in sanitizer builds (-DCORVANA_SANITIZE=ON): fontconfig keeps its caches
// for the life of the process, and D-Bus a buffer of the platform's session
// connection. Only third-party libraries are listed here. Linked into every
// program that shows Qt widgets (CORVANA_LEAK_SUPPRESSIONS).
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
