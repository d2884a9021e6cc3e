#pragma once
#include <string>
#include <vector>

// The host's settings: where the application server runs, the user's
// branch, where the data and the loadable packages live. They are read once
// at start-up by LoadSettings and may be set afterwards by the host and by
// tests. Not synchronised: set them before other threads start.
// docs/configuration.md describes every key and the order of precedence.
namespace Corvana {

struct Settings {
    std::string WebURL = "127.0.0.1";  // application server host
    int WebPort = 8078;
    std::string FiliProc = "0001";  // the user's branch code
    std::string NomeFiliProc = "Matriz";
    bool ModuFili = false;    // the user is bound to the branch
    std::string DatabaseURL;  // empty: <DataDir>/evt07800.db
    std::string PackagesDir;  // empty: <exe dir>/../lib
    std::string DataDir = "./data";
    std::string ReportsDir;  // empty: <DataDir>/reports
};

// The settings in force. Empty DatabaseURL and PackagesDir mean "derived"
// (see the accessors below).
Settings& CurrentSettings();

// Back to the built-in defaults.
void ResetSettings();

// Built-in defaults, then the configuration file, then the environment, then
// the command line. The file is the one named by --config=PATH, else by
// $CORVANA_CONFIG, else ./corvana.conf; only the last may be missing. Options
// are --Key=value with the keys of the file, case-insensitive. Returns the
// arguments it did not use (argv[0] excluded), in order, for the caller.
// Raises corvana::Error, in Portuguese, for a file named but missing, a
// malformed line, an option without value, a bad port or a bad boolean; the
// settings in force are then left as they were.
std::vector<std::string> LoadSettings(int argc, const char* const* argv);

std::string WebURL();
int WebPort();
std::string FiliProc();
std::string NomeFiliProc();
bool ModuFili();
// The database: an SQLite file path (a postgresql:// URL is refused). Default
// <DataDir>/evt07800.db, following DataDir.
std::string DatabaseURL();
// The folder of the loadable packages. Default: the "lib" folder next to the
// folder of the running executable (<exe dir>/../lib).
std::string PackagesDir();
std::string DataDir();
// The folder of the report definitions (docs/reports.md). Default
// <DataDir>/reports, following DataDir.
std::string ReportsDir();

void SetWebURL(std::string value);
void SetWebPort(int value);
void SetFiliProc(std::string value);
void SetNomeFiliProc(std::string value);
void SetModuFili(bool value);
void SetDatabaseURL(std::string value);  // "" restores the derived default
void SetPackagesDir(std::string value);  // "" restores the derived default
void SetDataDir(std::string value);
void SetReportsDir(std::string value);  // "" restores the derived default

// The readings used for the file, the environment and the options, exposed
// for the host's own options. Each raises corvana::Error naming `key` and
// the value. Ports: 1 to 65535. Booleans: 1/0, true/false, sim/não (or nao),
// S/N, without regard to case.
int ParsePort(const std::string& key, const std::string& value);
bool ParseBool(const std::string& key, const std::string& value);

}  // namespace Corvana
