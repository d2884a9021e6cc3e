#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The settings of the host and of the application server: where the server
// runs and how it is reached, the user's branch, where the data and the
// loadable packages live, the server's address, access and limits. They are read once
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

    // Both sides: the access token the server requires and the client sends
    // (Authorization: Bearer), given as is or as the first line of a file.
    // Never written to a log line or an error text.
    std::string AccessToken;
    std::string AccessTokenFile;

    // The client: HTTPS to the server, trusting the certificates of
    // TLSCAFile (PEM; empty: the system's store).
    bool WebTLS = false;
    std::string TLSCAFile;

    // The application server (evt07800-server): the address it listens on
    // (never WebURL), its certificate and key (PEM; both set: HTTPS only),
    // and its limits (docs/server.md).
    std::string BindAddress = "127.0.0.1";
    std::string TLSCertificate;
    std::string TLSKey;
    std::int64_t HeaderTimeout = 10;       // seconds for a whole request header
    std::int64_t KeepAliveTimeout = 5;     // seconds an idle connection is kept
    std::int64_t BodyTimeout = 10;         // seconds for a body, plus its size at...
    std::int64_t MinTransferRate = 65536;  // ...this many bytes a second
    std::int64_t MaxHeaderBytes = 8192;
    std::int64_t MaxHeaderFields = 100;
    std::int64_t MaxBodyBytes = std::int64_t{32} * 1024 * 1024;
    std::int64_t MaxBodyBytesInFlight = std::int64_t{80} * 1024 * 1024;
    std::int64_t MaxConnections = 512;
    std::int64_t MaxConnectionsPerAddress = 64;
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
// malformed line, an option without value, a bad port, boolean or number;
// the settings in force are then left as they were.
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

// The server side's settings.
std::string BindAddress();
std::string TLSCertificate();
std::string TLSKey();
// The client side's.
bool WebTLS();
std::string TLSCAFile();
std::string AccessTokenFile();
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
void SetBindAddress(std::string value);
void SetAccessToken(std::string value);
void SetAccessTokenFile(std::string value);
void SetTLSCertificate(std::string value);
void SetTLSKey(std::string value);
void SetWebTLS(bool value);
void SetTLSCAFile(std::string value);
// The server's limits are set through CurrentSettings().

// The readings used for the file, the environment and the options, exposed
// for the host's own options. Each raises corvana::Error naming `key` and
// the value. Ports: 1 to 65535. Booleans: 1/0, true/false, sim/não (or nao),
// S/N, without regard to case. Numbers: decimal digits only, min to max.
int ParsePort(const std::string& key, const std::string& value);
bool ParseBool(const std::string& key, const std::string& value);
std::int64_t ParseNumber(const std::string& key, const std::string& value, std::int64_t min,
                         std::int64_t max);

}  // namespace Corvana
