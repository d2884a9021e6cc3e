#pragma once
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The settings of the host and of the application server: where the server
// runs and how it is reached, the user's branch, where the data and the
// loadable packages live, the access token; and the keys a program adds of
// its own (the application server's address and limits). They are read once
// at start-up by LoadSettings and may be set afterwards by the host and by
// tests. Not synchronised: set them before other threads start.
// docs/configuration.md describes every key and the order of precedence.
namespace Corvana {

// A key an application adds to the framework's own (AddSettings): read from
// the same file, environment variables and options, in the same way, and
// kept as the text given (a number as its digits). Tables of keys are
// constant arrays of the application, alive for the whole process.
enum class SettingType { Text, Number };
struct SettingKey {
    const char* name;
    SettingType type;
    const char* defaultValue;  // as a configuration file would write it
    std::int64_t min = 0;      // a number's range
    std::int64_t max = 0;
    const char* help = "";  // one line for the program's --help, in Portuguese
};

struct Settings {
    std::string WebURL = "127.0.0.1";  // application server host
    int WebPort = 8078;
    std::string FiliProc = "0001";  // the user's branch code
    std::string NomeFiliProc = "Matriz";
    bool ModuFili = false;    // the user is bound to the branch
    std::string DatabaseURL;  // empty: <DataDir>/<the application's database file>
    std::string PackagesDir;  // empty: the framework libraries' folder
    std::string DataDir = "./data";
    std::string ReportsDir;  // empty: <DataDir>/reports

    // Both sides: the access token the server requires and the client sends
    // (Authorization: Bearer), given as is or as the first line of a file.
    // Never written to a log line or an error text.
    std::string AccessToken;
    std::string AccessTokenFile;

    // The client: HTTPS to the server, trusting the certificates of
    // TLSCAFile (PEM; empty: the system's store).
    bool WebTLS = false;
    std::string TLSCAFile;
    // The address a station's browser opens the server at (reception at the
    // door, docs/reception.md); empty: derived from WebURL (ReceptionURL()).
    std::string ReceptionURL;

    // The values given to the keys the application added, by name; a key
    // without one has its default.
    std::map<std::string, std::string> Added;
};

// The settings in force. Empty DatabaseURL and PackagesDir mean "derived"
// (see the accessors below).
Settings& CurrentSettings();

// Back to the built-in defaults.
void ResetSettings();

// Built-in defaults, then the configuration file(s), then the environment,
// then the command line. The file is the one named by --config=PATH, else by
// $CORVANA_CONFIG (it must exist); when neither names one, the system's
// (<sysconfdir>/corvana/corvana.conf, /etc/corvana/corvana.conf installed
// from the packages, or $CORVANA_SYSTEM_CONFIG), then the user's
// ($XDG_CONFIG_HOME/corvana/corvana.conf, else ~/.config/corvana/corvana.conf),
// then ./corvana.conf are read in that order, each overriding the ones
// before key by key, any of them missing. Options
// are --Key=value with the keys of the file, case-insensitive. Returns the
// arguments it did not use (argv[0] excluded), in order, for the caller.
// Raises corvana::Error, in Portuguese, for a file named but missing, a
// malformed line, an option without value, a bad port, boolean or number;
// the settings in force are then left as they were.
std::vector<std::string> LoadSettings(int argc, const char* const* argv);

std::string WebURL();
int WebPort();
std::string FiliProc();
std::string NomeFiliProc();
bool ModuFili();
// The database: an SQLite file, or the postgresql:// URL of a shared
// database (corvana::db::ParseAddress). Default <DataDir>/<the file
// SetDatabaseFileName named>, following DataDir; "" while neither is set.
std::string DatabaseURL();
// The file, within DataDir, an application keeps its database in: what
// DatabaseURL names while it is not set. The program sets it at start
// (ResetSettings and LoadSettings keep it).
void SetDatabaseFileName(std::string name);
// The folder of the loadable packages. Default: the folder of the
// framework's libraries (libcorvana_core.so), where the packages are built
// and installed beside them (build/lib; <libdir>/corvana-eventos).
std::string PackagesDir();
std::string DataDir();
// The folder of the report definitions (docs/reports.md). Default
// <DataDir>/reports, following DataDir; while that folder does not exist,
// the installation's shipped definitions (SetShippedReportsDir) when the
// program named a folder that exists.
std::string ReportsDir();
// The folder an installed program keeps its shipped report definitions in
// (found from its own location); "" for none. ResetSettings and
// LoadSettings keep it.
void SetShippedReportsDir(std::string folder);

// The client side's.
bool WebTLS();
std::string TLSCAFile();
std::string AccessTokenFile();
// The address, without a trailing "/", under which a station's browser
// reaches the application server: the enrolment address is
// <ReceptionURL>/recepcao#codigo=<code>. Default: the server the host
// connects to, "http://<WebURL>:<WebPort>" ("https" with WebTLS; an IPv6
// address in brackets), which a tablet reaches only when WebURL is an
// address of the site's network.
std::string ReceptionURL();
// The access token in force: AccessToken, else the first line of
// AccessTokenFile (blanks around it removed); "" when neither is set.
// Raises corvana::Error, without the token, when the file cannot be read or
// the token is not 16 to 512 visible ASCII characters (no blanks).
std::string AccessToken();

void SetWebURL(std::string value);
void SetWebPort(int value);
void SetFiliProc(std::string value);
void SetNomeFiliProc(std::string value);
void SetModuFili(bool value);
void SetDatabaseURL(std::string value);  // "" restores the derived default
void SetPackagesDir(std::string value);  // "" restores the derived default
void SetDataDir(std::string value);
void SetReportsDir(std::string value);  // "" restores the derived default
void SetAccessToken(std::string value);
void SetAccessTokenFile(std::string value);
void SetWebTLS(bool value);
void SetTLSCAFile(std::string value);
void SetReceptionURL(std::string value);  // "" restores the derived default

// Adds a program's own keys (a constant table, see SettingKey), before
// LoadSettings reads them. Raises corvana::Error for a name the settings
// have already, whatever its case.
void AddSettings(std::span<const SettingKey> keys);
// The added keys, in the order added.
std::span<const SettingKey> AddedSettings();
// A key's value in force as text: an added key's the one given, else its
// default; the framework's as their accessors answer (a derived one
// derived, a boolean "true" or "false"). Raises corvana::Error for a key the
// settings do not have.
std::string Setting(std::string_view name);
// An added number key's value, within its range.
std::int64_t NumberSetting(std::string_view name);
// Gives a key a value, checked as LoadSettings checks it ("" restores the
// default). Raises corvana::Error naming the key for a bad value.
void SetSetting(std::string_view name, const std::string& value);

// The readings used for the file, the environment and the options, exposed
// for the host's own options. Each raises corvana::Error naming `key` and
// the value. Ports: 1 to 65535. Booleans: 1/0, true/false, sim/não (or nao),
// S/N, without regard to case. Numbers: decimal digits only, min to max.
int ParsePort(const std::string& key, const std::string& value);
bool ParseBool(const std::string& key, const std::string& value);
std::int64_t ParseNumber(const std::string& key, const std::string& value, std::int64_t min,
                         std::int64_t max);

}  // namespace Corvana
