// Leaks of the system libraries under Qt that LeakSanitizer reports at exit
// in sanitizer builds (-DCORVANA_SANITIZE=ON): fontconfig keeps its caches
// for the life of the process. Only third-party libraries are listed here.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
