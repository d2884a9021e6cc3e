#include "corvana/core/Corvana.h"

#include <dlfcn.h>
#include <algorithm>
#include <array>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <system_error>
#include <utility>

#include "corvana/core/Consiste.h"
#include "corvana/data/Error.h"

namespace fs = std::filesystem;

namespace Corvana {

namespace {

Settings g_settings;
std::string g_argv0;              // fallback for locating the executable
std::string g_databaseFile;       // the application's, within DataDir
std::string g_shippedReportsDir;  // the installation's report definitions

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Where a value came from, for the error messages.
std::string where(const std::string& origin) {
    return origin.empty() ? "" : " (" + origin + ")";
}

int parsePort(const std::string& key, const std::string& value, const std::string& origin) {
    const std::string text = Consiste::AllTrim(value);
    long port = 0;
    bool valid = !text.empty() && text.size() <= 5;
    for (char c : text) {
        if (c < '0' || c > '9') {
            valid = false;
            break;
        }
        port = port * 10 + (c - '0');
    }
    if (!valid || port < 1 || port > 65535)
        throw corvana::Error("Valor inválido para " + key + where(origin) + ": \"" + value +
                             "\". Informe um número de porta de 1 a 65535.");
    return static_cast<int>(port);
}

std::int64_t parseNumber(const std::string& key, const std::string& value, std::int64_t min,
                         std::int64_t max, const std::string& origin) {
    const std::string text = Consiste::AllTrim(value);
    std::int64_t number = 0;
    bool valid = !text.empty() && text.size() <= 15;
    for (char c : text) {
        if (c < '0' || c > '9') {
            valid = false;
            break;
        }
        number = number * 10 + (c - '0');
    }
    if (!valid || number < min || number > max)
        throw corvana::Error("Valor inválido para " + key + where(origin) + ": \"" + value +
                             "\". Informe um número inteiro de " + std::to_string(min) + " a " +
                             std::to_string(max) + ".");
    return number;
}

bool parseBool(const std::string& key, const std::string& value, const std::string& origin) {
    std::string text = asciiLower(Consiste::AllTrim(value));
    // "NÃO" lower-cases to "nÃo" in ASCII; fold the one accented capital.
    if (const auto pos = text.find("\xC3\x83"); pos != std::string::npos)
        text.replace(pos, 2, "\xC3\xA3");
    if (text == "1" || text == "true" || text == "sim" || text == "s") return true;
    if (text == "0" || text == "false" || text == "não" || text == "nao" || text == "n")
        return false;
    throw corvana::Error("Valor inválido para " + key + where(origin) + ": \"" + value +
                         "\". Use 1/0, true/false, sim/não ou S/N.");
}

using Setter = std::function<void(Settings&, const std::string& value, const std::string& origin)>;

// A key of the file, the environment and the command line: how a value is
// checked and stored, and how the value in force reads as text.
struct Key {
    const char* name;
    Setter set;
    std::function<std::string(const Settings&)> get;
};

// A text key whose empty value restores its built-in default.
Key text(const char* name, std::string Settings::*member) {
    return {name,
            [member](Settings& s, const std::string& v, const std::string&) {
                s.*member = v.empty() ? Settings{}.*member : v;
            },
            [member](const Settings& s) { return s.*member; }};
}

// A text key whose empty value means "derived from other keys"; the value in
// force is what `inForce` answers.
Key derived(const char* name, std::string Settings::*member, std::string (*inForce)()) {
    return {name,
            [member](Settings& s, const std::string& v, const std::string&) { s.*member = v; },
            [inForce](const Settings&) { return inForce(); }};
}

Key boolean(const char* name, bool Settings::*member) {
    return {name,
            [name, member](Settings& s, const std::string& v, const std::string& origin) {
                s.*member = v.empty() ? Settings{}.*member : parseBool(name, v, origin);
            },
            [member](const Settings& s) { return std::string(s.*member ? "true" : "false"); }};
}

// The framework's own keys. An empty value restores the key's built-in
// default.
const std::vector<Key>& keys() {
    static const std::vector<Key> table = {
        text("WebURL", &Settings::WebURL),
        {"WebPort",
         [](Settings& s, const std::string& v, const std::string& origin) {
             s.WebPort = v.empty() ? Settings{}.WebPort : parsePort("WebPort", v, origin);
         },
         [](const Settings& s) { return std::to_string(s.WebPort); }},
        text("FiliProc", &Settings::FiliProc),
        text("NomeFiliProc", &Settings::NomeFiliProc),
        boolean("ModuFili", &Settings::ModuFili),
        derived("DatabaseURL", &Settings::DatabaseURL, &DatabaseURL),
        derived("PackagesDir", &Settings::PackagesDir, &PackagesDir),
        text("DataDir", &Settings::DataDir),
        derived("ReportsDir", &Settings::ReportsDir, &ReportsDir),
        text("AccessToken", &Settings::AccessToken),
        text("AccessTokenFile", &Settings::AccessTokenFile),
        boolean("WebTLS", &Settings::WebTLS),
        text("TLSCAFile", &Settings::TLSCAFile),
        derived("ReceptionURL", &Settings::ReceptionURL, &ReceptionURL),
    };
    return table;
}

// The keys a program added (AddSettings), and their descriptions.
std::vector<SettingKey> g_addedKeys;
std::vector<Key> g_added;

Key added(const SettingKey& setting) {
    const std::string name = setting.name;
    return {setting.name,
            [setting, name](Settings& s, const std::string& v, const std::string& origin) {
                if (v.empty())
                    s.Added.erase(name);
                else if (setting.type == SettingType::Number)
                    s.Added[name] =
                        std::to_string(parseNumber(name, v, setting.min, setting.max, origin));
                else
                    s.Added[name] = v;
            },
            [setting, name](const Settings& s) {
                const auto it = s.Added.find(name);
                return it != s.Added.end() ? it->second : std::string(setting.defaultValue);
            }};
}

// The framework's keys, then the added ones.
std::array<const std::vector<Key>*, 2> tables() {
    return {&keys(), &g_added};
}

const Key* findKey(std::string_view name) {
    const std::string lower = asciiLower(name);
    for (const std::vector<Key>* table : tables()) {
        for (const Key& key : *table) {
            if (asciiLower(key.name) == lower) return &key;
        }
    }
    return nullptr;
}

std::optional<std::string> environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// Unknown keys are skipped: the file may be shared with the other programs
// of the system, which keep their own keys in it.
void readFile(Settings& settings, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw corvana::Error("Não foi possível ler o arquivo de configuração: " + path);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
        const std::string text = Consiste::AllTrim(line);
        if (text.empty() || text.front() == '#') continue;
        const auto eq = text.find('=');
        if (eq == std::string::npos)
            // The line is not repeated: it may be a secret that lost its key.
            throw corvana::Error("Linha inválida no arquivo de configuração " + path + ", linha " +
                                 std::to_string(number) + ": use o formato chave=valor.");
        const std::string name = Consiste::AllTrim(std::string_view(text).substr(0, eq));
        if (const Key* key = findKey(name))
            key->set(settings, Consiste::AllTrim(std::string_view(text).substr(eq + 1)),
                     "arquivo " + path + ", linha " + std::to_string(number));
    }
    if (in.bad()) throw corvana::Error("Não foi possível ler o arquivo de configuração: " + path);
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// The system's configuration file: <sysconfdir>/corvana/corvana.conf of the
// installation (CMake's GNUInstallDirs; /etc/corvana/corvana.conf for the
// Debian packages), or the file CORVANA_SYSTEM_CONFIG names.
#ifndef CORVANA_SYSTEM_CONFIG
#define CORVANA_SYSTEM_CONFIG "/etc/corvana/corvana.conf"
#endif

// The files read when no file is named, in order, each overriding the one
// before key by key: the system's, the user's ($XDG_CONFIG_HOME, else
// ~/.config), the working folder's. Any of them may be missing.
std::vector<std::string> layeredConfigFiles() {
    std::vector<std::string> files;
    files.push_back(environment("CORVANA_SYSTEM_CONFIG").value_or(CORVANA_SYSTEM_CONFIG));
    if (const auto xdg = environment("XDG_CONFIG_HOME"); xdg && fs::path(*xdg).is_absolute())
        files.push_back((fs::path(*xdg) / "corvana" / "corvana.conf").string());
    else if (const auto home = environment("HOME"))
        files.push_back((fs::path(*home) / ".config" / "corvana" / "corvana.conf").string());
    files.push_back("corvana.conf");
    return files;
}

// The folder of this library (libcorvana_core.so): the framework's
// libraries and the loadable packages are installed side by side
// (build/lib in a build, <libdir>/corvana-eventos installed). The
// executable's <exe dir>/../lib when it cannot be told.
fs::path frameworkLibDir();

fs::path executableDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) {
        if (g_argv0.empty()) return fs::current_path(ec);
        exe = fs::absolute(g_argv0, ec);
    }
    return exe.parent_path();
}

fs::path frameworkLibDir() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&frameworkLibDir), &info) != 0 && info.dli_fname &&
        *info.dli_fname) {
        std::error_code ec;
        const fs::path self = fs::canonical(info.dli_fname, ec);
        // A static build has the executable there: fall back as before.
        if (!ec && self.filename().string().starts_with("libcorvana_core"))
            return self.parent_path();
    }
    return executableDir().parent_path() / "lib";
}

}  // namespace

Settings& CurrentSettings() {
    return g_settings;
}

void ResetSettings() {
    g_settings = Settings{};
}

int ParsePort(const std::string& key, const std::string& value) {
    return parsePort(key, value, "");
}

bool ParseBool(const std::string& key, const std::string& value) {
    return parseBool(key, value, "");
}

std::int64_t ParseNumber(const std::string& key, const std::string& value, std::int64_t min,
                         std::int64_t max) {
    return parseNumber(key, value, min, max, "");
}

std::vector<std::string> LoadSettings(int argc, const char* const* argv) {
    std::vector<std::string> unused;
    std::optional<std::string> configPath;
    std::vector<std::pair<const Key*, std::string>> options;

    if (argc > 0 && argv != nullptr && argv[0] != nullptr) g_argv0 = argv[0];
    bool optionsEnded = false;
    for (int i = 1; i < argc && argv != nullptr; ++i) {
        if (argv[i] == nullptr) continue;
        const std::string arg = argv[i];
        if (arg == "--") optionsEnded = true;
        if (optionsEnded || !arg.starts_with("--")) {
            unused.push_back(arg);
            continue;
        }
        const auto eq = arg.find('=');
        const std::string name =
            arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const bool isConfig = asciiLower(name) == "config";
        const Key* key = isConfig ? nullptr : findKey(name);
        if (!isConfig && key == nullptr) {
            unused.push_back(arg);
            continue;
        }
        if (eq == std::string::npos)
            throw corvana::Error("A opção --" + name + " precisa de um valor: --" + name +
                                 "=VALOR.");
        std::string value = arg.substr(eq + 1);
        if (isConfig)
            configPath = std::move(value);
        else
            options.emplace_back(key, std::move(value));
    }

    if (!configPath || configPath->empty()) configPath = environment("CORVANA_CONFIG");

    Settings settings;
    std::error_code ec;
    if (configPath) {
        if (!fs::exists(*configPath, ec))
            throw corvana::Error("Arquivo de configuração não encontrado: " + *configPath);
        readFile(settings, *configPath);
    } else {
        for (const std::string& file : layeredConfigFiles())
            if (fs::is_regular_file(file, ec)) readFile(settings, file);
    }

    for (const std::vector<Key>* table : tables()) {
        for (const Key& key : *table) {
            const std::string variable = "CORVANA_" + upper(key.name);
            if (const auto value = environment(variable))
                key.set(settings, *value, "variável de ambiente " + variable);
        }
    }

    for (const auto& [key, value] : options)
        key->set(settings, value, std::string("opção --") + key->name);

    g_settings = std::move(settings);
    return unused;
}

std::string WebURL() {
    return g_settings.WebURL;
}
int WebPort() {
    return g_settings.WebPort;
}
std::string FiliProc() {
    return g_settings.FiliProc;
}
std::string NomeFiliProc() {
    return g_settings.NomeFiliProc;
}
bool ModuFili() {
    return g_settings.ModuFili;
}

std::string DatabaseURL() {
    if (!g_settings.DatabaseURL.empty() || g_databaseFile.empty()) return g_settings.DatabaseURL;
    return (fs::path(g_settings.DataDir) / g_databaseFile).string();
}

void SetDatabaseFileName(std::string name) {
    g_databaseFile = std::move(name);
}

std::string PackagesDir() {
    if (!g_settings.PackagesDir.empty()) return g_settings.PackagesDir;
    return frameworkLibDir().string();
}

std::string DataDir() {
    return g_settings.DataDir;
}

std::string ReportsDir() {
    if (!g_settings.ReportsDir.empty()) return g_settings.ReportsDir;
    const fs::path own = fs::path(g_settings.DataDir) / "reports";
    std::error_code ec;
    if (!g_shippedReportsDir.empty() && !fs::is_directory(own, ec) &&
        fs::is_directory(g_shippedReportsDir, ec))
        return g_shippedReportsDir;
    return own.string();
}

void SetShippedReportsDir(std::string folder) {
    g_shippedReportsDir = std::move(folder);
}

bool WebTLS() {
    return g_settings.WebTLS;
}
std::string TLSCAFile() {
    return g_settings.TLSCAFile;
}
std::string AccessTokenFile() {
    return g_settings.AccessTokenFile;
}
std::string ReceptionURL() {
    std::string url = g_settings.ReceptionURL;
    if (url.empty()) {
        const std::string& host = g_settings.WebURL;
        const bool ipv6 = host.find(':') != std::string::npos && !host.starts_with('[');
        url = std::string(g_settings.WebTLS ? "https://" : "http://") +
              (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(g_settings.WebPort);
    }
    while (url.ends_with('/')) url.pop_back();
    return url;
}

std::string AccessToken() {
    std::string token = g_settings.AccessToken;
    std::string origin = "AccessToken";
    if (token.empty() && !g_settings.AccessTokenFile.empty()) {
        const std::string& path = g_settings.AccessTokenFile;
        origin = "arquivo " + path;
        std::ifstream in(path, std::ios::binary);
        if (!in || !std::getline(in, token))
            throw corvana::Error("Não foi possível ler o token de acesso do arquivo " + path +
                                 " (AccessTokenFile).");
        if (token.starts_with("\xEF\xBB\xBF")) token.erase(0, 3);
        token = Consiste::AllTrim(token);
    }
    if (token.empty()) {
        if (!g_settings.AccessTokenFile.empty())
            throw corvana::Error("O arquivo do token de acesso " + g_settings.AccessTokenFile +
                                 " (AccessTokenFile) está vazio.");
        return {};
    }
    // The token travels in a header: visible ASCII only, and long enough
    // not to be guessed.
    bool visible = token.size() >= 16 && token.size() <= 512;
    for (char c : token) visible = visible && c > ' ' && c < 0x7f;
    if (!visible)
        throw corvana::Error("Token de acesso inválido (" + origin +
                             "): use de 16 a 512 caracteres ASCII visíveis, sem espaços.");
    return token;
}

void SetWebURL(std::string value) {
    g_settings.WebURL = std::move(value);
}
void SetWebPort(int value) {
    g_settings.WebPort = value;
}
void SetFiliProc(std::string value) {
    g_settings.FiliProc = std::move(value);
}
void SetNomeFiliProc(std::string value) {
    g_settings.NomeFiliProc = std::move(value);
}
void SetModuFili(bool value) {
    g_settings.ModuFili = value;
}
void SetDatabaseURL(std::string value) {
    g_settings.DatabaseURL = std::move(value);
}
void SetPackagesDir(std::string value) {
    g_settings.PackagesDir = std::move(value);
}
void SetDataDir(std::string value) {
    g_settings.DataDir = std::move(value);
}
void SetReportsDir(std::string value) {
    g_settings.ReportsDir = std::move(value);
}

void SetAccessToken(std::string value) {
    g_settings.AccessToken = std::move(value);
}
void SetAccessTokenFile(std::string value) {
    g_settings.AccessTokenFile = std::move(value);
}
void SetWebTLS(bool value) {
    g_settings.WebTLS = value;
}
void SetTLSCAFile(std::string value) {
    g_settings.TLSCAFile = std::move(value);
}
void SetReceptionURL(std::string value) {
    g_settings.ReceptionURL = std::move(value);
}

void AddSettings(std::span<const SettingKey> keys) {
    for (const SettingKey& setting : keys) {
        const Key* known = findKey(setting.name);
        // The same table added again (a second server in one process).
        if (known && std::find_if(g_addedKeys.begin(), g_addedKeys.end(), [&](const SettingKey& k) {
                         return k.name == setting.name;
                     }) != g_addedKeys.end())
            continue;
        if (known)
            throw corvana::Error(std::string("Chave de configuração repetida: ") + setting.name);
        g_addedKeys.push_back(setting);
        g_added.push_back(added(setting));
    }
}

std::span<const SettingKey> AddedSettings() {
    return g_addedKeys;
}

namespace {

const Key& keyNamed(std::string_view name) {
    const Key* key = findKey(name);
    if (!key) throw corvana::Error("Chave de configuração desconhecida: " + std::string(name));
    return *key;
}

}  // namespace

std::string Setting(std::string_view name) {
    return keyNamed(name).get(g_settings);
}

std::int64_t NumberSetting(std::string_view name) {
    const std::string lower = asciiLower(name);
    for (const SettingKey& setting : g_addedKeys) {
        if (setting.type == SettingType::Number && asciiLower(setting.name) == lower)
            return parseNumber(setting.name, Setting(setting.name), setting.min, setting.max, "");
    }
    throw corvana::Error("Chave de configuração numérica desconhecida: " + std::string(name));
}

void SetSetting(std::string_view name, const std::string& value) {
    keyNamed(name).set(g_settings, value, "");
}

}  // namespace Corvana
