// Seeds the demo database the tests copy (SeededDatabase.h) at the path
// given: run by CTest once per run, before the suites that use it.
#include <exception>
#include <iostream>

#include "support/SeededDatabase.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "uso: evt-seed-template ARQUIVO\n";
        return 2;
    }
    try {
        const std::filesystem::path file = argv[1];
        std::filesystem::create_directories(file.parent_path());
        corvana::test::SeedTemplateFile(file);
    } catch (const std::exception& e) {
        std::cerr << "evt-seed-template: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
