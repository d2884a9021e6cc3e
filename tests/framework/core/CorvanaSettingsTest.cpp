#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"

namespace fs = std::filesystem;

namespace {

const char* const kVariables[] = {
    "CORVANA_CONFIG",       "CORVANA_WEBURL",        "CORVANA_WEBPORT",      "CORVANA_FILIPROC",
    "CORVANA_NOMEFILIPROC", "CORVANA_MODUFILI",      "CORVANA_DATABASEURL",  "CORVANA_PACKAGESDIR",
    "CORVANA_DATADIR",      "CORVANA_ACCESSTOKEN",   "CORVANA_MAXBODYBYTES", "CORVANA_WEBTLS",
    "CORVANA_REPORTSDIR",   "CORVANA_SYSTEM_CONFIG", "XDG_CONFIG_HOME",      "HOME"};

// Each test runs in an empty temporary folder (so ./corvana.conf is under
// its control) with no CORVANA_* variable set, the system's and the user's
// files in that folder too (etc.conf, xdg/corvana/corvana.conf, missing
// unless a test writes them), and leaves all of it as found.
class CorvanaSettings : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables) {
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
            unsetenv(name);
        }
        oldCwd_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("corvana-settings-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
        setenv("CORVANA_SYSTEM_CONFIG", (dir_ / "etc.conf").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "xdg").c_str(), 1);
        Corvana::ResetSettings();
        Corvana::SetDatabaseFileName("app.db");
    }

    void TearDown() override {
        fs::current_path(oldCwd_);
        fs::remove_all(dir_);
        for (const char* name : kVariables) unsetenv(name);
        for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
        Corvana::ResetSettings();
        Corvana::SetDatabaseFileName("");
        Corvana::SetShippedReportsDir("");
    }

    fs::path write(const std::string& name, const std::string& text) {
        const fs::path path = dir_ / name;
        std::ofstream(path) << text;
        return path;
    }

    static std::vector<std::string> load(std::vector<std::string> args) {
        args.insert(args.begin(), "corvana-host");
        std::vector<const char*> argv;
        for (const std::string& arg : args) argv.push_back(arg.c_str());
        return Corvana::LoadSettings(static_cast<int>(argv.size()), argv.data());
    }

    static std::string errorOf(const std::vector<std::string>& args) {
        try {
            load(args);
        } catch (const corvana::Error& e) {
            return e.what();
        }
        return "(nenhum erro)";
    }

    fs::path dir_;

private:
    fs::path oldCwd_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(CorvanaSettings, DefaultsWithoutAnyConfiguration) {
    EXPECT_TRUE(load({}).empty());
    EXPECT_EQ(Corvana::WebURL(), "127.0.0.1");
    EXPECT_EQ(Corvana::WebPort(), 8078);
    EXPECT_EQ(Corvana::FiliProc(), "0001");
    EXPECT_EQ(Corvana::NomeFiliProc(), "Matriz");
    EXPECT_FALSE(Corvana::ModuFili());
    EXPECT_EQ(Corvana::DataDir(), "./data");
    EXPECT_EQ(Corvana::DatabaseURL(), "./data/app.db");
    // The test binary runs from <build>/bin, where the libraries are in
    // <build>/lib: the default packages folder.
    EXPECT_TRUE(fs::exists(fs::path(Corvana::PackagesDir()) / "libcorvana_core.so"))
        << Corvana::PackagesDir();
}

// Without a file named, the system's, then the user's, then the working
// folder's, each overriding the ones before key by key.
TEST_F(CorvanaSettings, SystemThenUserThenWorkingFolderFiles) {
    write("etc.conf", "WebURL=servidor.local\nWebPort=9000\nFiliProc=0002\nNomeFiliProc=Centro\n");
    fs::create_directories(dir_ / "xdg" / "corvana");
    write("xdg/corvana/corvana.conf", "WebPort=9100\nFiliProc=0003\n");
    write("corvana.conf", "FiliProc=0004\n");
    load({});
    EXPECT_EQ(Corvana::WebURL(), "servidor.local");
    EXPECT_EQ(Corvana::NomeFiliProc(), "Centro");
    EXPECT_EQ(Corvana::WebPort(), 9100);
    EXPECT_EQ(Corvana::FiliProc(), "0004");
    // Without XDG_CONFIG_HOME, ~/.config.
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", dir_.c_str(), 1);
    fs::remove(dir_ / "corvana.conf");
    fs::create_directories(dir_ / ".config" / "corvana");
    write(".config/corvana/corvana.conf", "WebPort=9200\n");
    load({});
    EXPECT_EQ(Corvana::WebPort(), 9200);
    EXPECT_EQ(Corvana::FiliProc(), "0002");
    // A file named is the only one read.
    const fs::path named = write("nomeado.conf", "FiliProc=0009\n");
    load({"--config=" + named.string()});
    EXPECT_EQ(Corvana::FiliProc(), "0009");
    EXPECT_EQ(Corvana::WebURL(), "127.0.0.1");
    // A line the system's file cannot use names that file.
    write("etc.conf", "WebPort=porta\n");
    EXPECT_NE(errorOf({}).find(dir_.string() + "/etc.conf"), std::string::npos) << errorOf({});
}

// An installed program's shipped definitions serve until the user has a
// reports folder of their own.
TEST_F(CorvanaSettings, ShippedReportsServeUntilTheUserHasAFolder) {
    fs::create_directories(dir_ / "share" / "reports");
    Corvana::SetDataDir((dir_ / "dados").string());
    EXPECT_EQ(Corvana::ReportsDir(), (dir_ / "dados" / "reports").string());
    Corvana::SetShippedReportsDir((dir_ / "share" / "reports").string());
    EXPECT_EQ(Corvana::ReportsDir(), (dir_ / "share" / "reports").string());
    fs::create_directories(dir_ / "dados" / "reports");
    EXPECT_EQ(Corvana::ReportsDir(), (dir_ / "dados" / "reports").string());
    Corvana::SetReportsDir("/srv/relatorios");
    EXPECT_EQ(Corvana::ReportsDir(), "/srv/relatorios");
}

TEST_F(CorvanaSettings, DatabaseFollowsDataDirUntilSetItself) {
    Corvana::SetDataDir("/srv/eventos");
    EXPECT_EQ(Corvana::DatabaseURL(), "/srv/eventos/app.db");
    Corvana::SetDatabaseURL("postgresql://app@db/eventos");
    EXPECT_EQ(Corvana::DatabaseURL(), "postgresql://app@db/eventos");
    Corvana::SetDatabaseURL("");
    EXPECT_EQ(Corvana::DatabaseURL(), "/srv/eventos/app.db");
    // A program that names no file of its own has no database by default.
    Corvana::SetDatabaseFileName("");
    EXPECT_EQ(Corvana::DatabaseURL(), "");
    Corvana::CurrentSettings().PackagesDir = "/opt/pacotes";
    EXPECT_EQ(Corvana::PackagesDir(), "/opt/pacotes");
}

// The stations' address follows the server the host connects to until it is
// set itself; a "/" at its end is dropped.
TEST_F(CorvanaSettings, ReceptionFollowsTheServerUntilSetItself) {
    EXPECT_EQ(Corvana::ReceptionURL(), "http://127.0.0.1:8078");
    Corvana::SetWebURL("10.0.0.12");
    Corvana::SetWebPort(9000);
    Corvana::SetWebTLS(true);
    EXPECT_EQ(Corvana::ReceptionURL(), "https://10.0.0.12:9000");
    Corvana::SetWebURL("fd00::12");
    EXPECT_EQ(Corvana::Setting("receptionurl"), "https://[fd00::12]:9000");
    Corvana::SetSetting("ReceptionURL", "https://portaria.example/");
    EXPECT_EQ(Corvana::ReceptionURL(), "https://portaria.example");
    Corvana::SetSetting("ReceptionURL", "");
    EXPECT_EQ(Corvana::ReceptionURL(), "https://[fd00::12]:9000");
}

TEST_F(CorvanaSettings, DefaultFileIsRead) {
    write("corvana.conf",
          "# configuração da filial\n"
          "\n"
          "  webport = 9001  \n"
          "NOMEFILIPROC=Filial Centro\r\n"
          "ModuFili=sim\n"
          "DataDir=/var/eventos\n"
          "OutroPrograma=ignorado\n");
    load({});
    EXPECT_EQ(Corvana::WebPort(), 9001);
    EXPECT_EQ(Corvana::NomeFiliProc(), "Filial Centro");
    EXPECT_TRUE(Corvana::ModuFili());
    EXPECT_EQ(Corvana::DatabaseURL(), "/var/eventos/app.db");
    EXPECT_EQ(Corvana::WebURL(), "127.0.0.1");
}

TEST_F(CorvanaSettings, FileThenEnvironmentThenCommandLine) {
    const fs::path file =
        write("host.conf", "WebURL=arquivo.local\nWebPort=9001\nFiliProc=0002\nModuFili=S\n");
    setenv("CORVANA_CONFIG", file.c_str(), 1);
    setenv("CORVANA_WEBPORT", "9002", 1);
    setenv("CORVANA_FILIPROC", "0003", 1);
    setenv("CORVANA_NOMEFILIPROC", "", 1);  // empty: as if unset
    load({"--filiproc=0004"});
    EXPECT_EQ(Corvana::WebURL(), "arquivo.local");
    EXPECT_EQ(Corvana::WebPort(), 9002);
    EXPECT_EQ(Corvana::FiliProc(), "0004");
    EXPECT_EQ(Corvana::NomeFiliProc(), "Matriz");
    EXPECT_TRUE(Corvana::ModuFili());
}

TEST_F(CorvanaSettings, ConfigOptionWinsOverVariableAndEmptyValueRestoresDefault) {
    const fs::path chosen = write("escolhido.conf", "WebURL=escolhido\nDataDir=/d\n");
    write("corvana.conf", "WebURL=padrao\n");
    setenv("CORVANA_CONFIG", (dir_ / "inexistente.conf").c_str(), 1);
    load({"--Config=" + chosen.string(), "--DataDir="});
    EXPECT_EQ(Corvana::WebURL(), "escolhido");
    EXPECT_EQ(Corvana::DataDir(), "./data");
}

TEST_F(CorvanaSettings, LoadStartsFromDefaults) {
    Corvana::SetWebPort(1234);
    Corvana::SetFiliProc("0099");
    load({});
    EXPECT_EQ(Corvana::WebPort(), 8078);
    EXPECT_EQ(Corvana::FiliProc(), "0001");
}

TEST_F(CorvanaSettings, UnusedArgumentsAreLeftForTheCaller) {
    const auto unused = load(
        {"--platform", "offscreen", "--WEBURL=servidor", "--tela=Orcamento", "--", "--WebPort=1"});
    EXPECT_EQ(unused, (std::vector<std::string>{"--platform", "offscreen", "--tela=Orcamento", "--",
                                                "--WebPort=1"}));
    EXPECT_EQ(Corvana::WebURL(), "servidor");
    EXPECT_EQ(Corvana::WebPort(), 8078) << "options after -- are not read";
}

TEST_F(CorvanaSettings, MissingNamedFileIsAnError) {
    const std::string missing = (dir_ / "nao-existe.conf").string();
    EXPECT_EQ(errorOf({"--config=" + missing}),
              "Arquivo de configuração não encontrado: " + missing);
    setenv("CORVANA_CONFIG", missing.c_str(), 1);
    EXPECT_EQ(errorOf({}), "Arquivo de configuração não encontrado: " + missing);
}

TEST_F(CorvanaSettings, BadValuesNameKeyAndValueAndKeepSettings) {
    Corvana::SetWebURL("antes");
    const std::string port = errorOf({"--WebPort=80a"});
    EXPECT_NE(port.find("WebPort"), std::string::npos) << port;
    EXPECT_NE(port.find("\"80a\""), std::string::npos) << port;
    EXPECT_EQ(Corvana::WebURL(), "antes") << "a failed load changes nothing";

    for (const char* bad : {"0", "65536", "-1", "99999999999", " "}) {
        setenv("CORVANA_WEBPORT", bad, 1);
        const std::string message = errorOf({});
        EXPECT_NE(message.find("CORVANA_WEBPORT"), std::string::npos) << bad << ": " << message;
    }
    unsetenv("CORVANA_WEBPORT");

    write("corvana.conf", "\nModuFili=talvez\n");
    const std::string flag = errorOf({});
    EXPECT_NE(flag.find("ModuFili"), std::string::npos) << flag;
    EXPECT_NE(flag.find("\"talvez\""), std::string::npos) << flag;
    EXPECT_NE(flag.find("linha 2"), std::string::npos) << flag;

    write("corvana.conf", "WebURL servidor\n");
    EXPECT_NE(errorOf({}).find("linha 1"), std::string::npos);

    EXPECT_NE(errorOf({"--WebPort"}).find("--WebPort"), std::string::npos);
}

// Keys of a program's own, added to the framework's: a server's address and
// limits.
constexpr Corvana::SettingKey kProgramKeys[] = {
    {"BindAddress", Corvana::SettingType::Text, "127.0.0.1"},
    {"TLSCertificate", Corvana::SettingType::Text, ""},
    {"HeaderTimeout", Corvana::SettingType::Number, "10", 1, 3600},
    {"KeepAliveTimeout", Corvana::SettingType::Number, "5", 1, 3600},
    {"MaxHeaderFields", Corvana::SettingType::Number, "100", 8, 10000},
    {"MaxHeaderBytes", Corvana::SettingType::Number, "8192", 1024, 1 << 20},
    {"MaxBodyBytes", Corvana::SettingType::Number, "33554432", 1024, std::int64_t{1} << 40},
    {"MaxConnections", Corvana::SettingType::Number, "512", 1, 1000000},
};

TEST_F(CorvanaSettings, AddedKeysTlsAndTheAccessToken) {
    Corvana::AddSettings(kProgramKeys);
    Corvana::AddSettings(kProgramKeys);  // again: nothing changes
    EXPECT_EQ(Corvana::AddedSettings().size(), std::size(kProgramKeys));
    const Corvana::SettingKey clash[] = {{"weburl", Corvana::SettingType::Text, ""}};
    EXPECT_THROW(Corvana::AddSettings(clash), corvana::Error) << "a key the framework has";
    load({});
    EXPECT_EQ(Corvana::Setting("BindAddress"), "127.0.0.1") << "the server never listens on WebURL";
    EXPECT_EQ(Corvana::NumberSetting("MaxBodyBytes"), 33554432);
    EXPECT_EQ(Corvana::AccessToken(), "");
    EXPECT_FALSE(Corvana::WebTLS());

    const std::string token = "t0k3n-de-teste-0123456789";
    write("token.txt", "  " + token + "  \r\nsegunda linha\n");
    write("corvana.conf",
          "WebURL=10.0.0.12\nBindAddress=0.0.0.0\nAccessTokenFile=token.txt\n"
          "TLSCertificate=/etc/corvana/servidor.pem\n"
          "TLSCAFile=/etc/corvana/ca.pem\nheadertimeout=3\nMaxHeaderFields=50\n");
    setenv("CORVANA_MAXBODYBYTES", "1048576", 1);
    setenv("CORVANA_WEBTLS", "sim", 1);
    load({"--MaxConnections=100"});
    EXPECT_EQ(Corvana::WebURL(), "10.0.0.12");
    EXPECT_EQ(Corvana::Setting("BindAddress"), "0.0.0.0");
    EXPECT_EQ(Corvana::AccessToken(), token) << "the file's first line, blanks removed";
    EXPECT_EQ(Corvana::Setting("TLSCertificate"), "/etc/corvana/servidor.pem");
    EXPECT_EQ(Corvana::TLSCAFile(), "/etc/corvana/ca.pem");
    EXPECT_TRUE(Corvana::WebTLS());
    EXPECT_EQ(Corvana::NumberSetting("HeaderTimeout"), 3);
    EXPECT_EQ(Corvana::NumberSetting("maxheaderfields"), 50);
    EXPECT_EQ(Corvana::NumberSetting("MaxBodyBytes"), 1048576);
    EXPECT_EQ(Corvana::NumberSetting("MaxConnections"), 100);
    EXPECT_EQ(Corvana::NumberSetting("KeepAliveTimeout"), 5);
    Corvana::SetSetting("MaxConnections", "");
    EXPECT_EQ(Corvana::NumberSetting("MaxConnections"), 512) << "empty restores the default";
    EXPECT_THROW(Corvana::SetSetting("MaxConnections", "0"), corvana::Error);
    EXPECT_THROW(Corvana::Setting("NaoExiste"), corvana::Error);

    // Given as is, the token wins over the file.
    Corvana::SetAccessToken("outro-token-0123456789");
    EXPECT_EQ(Corvana::AccessToken(), "outro-token-0123456789");

    // No message repeats a token, good or bad.
    auto tokenError = [] {
        try {
            Corvana::AccessToken();
        } catch (const corvana::Error& e) {
            return std::string(e.what());
        }
        return std::string("(nenhum erro)");
    };
    for (const std::string bad :
         {"curto", "com espaço no meio 0123456789", "acentuação-0123456789"}) {
        Corvana::SetAccessToken(bad);
        const std::string message = tokenError();
        EXPECT_NE(message.find("Token de acesso inválido"), std::string::npos) << message;
        EXPECT_EQ(message.find(bad), std::string::npos) << message;
    }
    Corvana::SetAccessToken("");
    Corvana::SetAccessTokenFile((dir_ / "nao-existe.txt").string());
    EXPECT_NE(tokenError().find("Não foi possível ler o token"), std::string::npos);
    write("vazio.txt", "\n");
    Corvana::SetAccessTokenFile((dir_ / "vazio.txt").string());
    EXPECT_NE(tokenError().find("está vazio"), std::string::npos);

    write("corvana.conf", "AccessToken=" + token + "\n" + token + "\n");
    const std::string line = errorOf({});
    EXPECT_NE(line.find("linha 2"), std::string::npos) << line;
    EXPECT_EQ(line.find(token), std::string::npos) << "a line without key may be a secret";

    fs::remove(dir_ / "corvana.conf");

    for (const char* bad : {"0", "abc", "-5", "99999999999999999"}) {
        const std::string message = errorOf({std::string("--MaxHeaderBytes=") + bad});
        EXPECT_NE(message.find("MaxHeaderBytes"), std::string::npos) << message;
        EXPECT_NE(message.find("número inteiro de 1024 a"), std::string::npos) << message;
    }
}

TEST(CorvanaParse, BooleansAndPorts) {
    for (const char* yes : {"1", "true", "TRUE", "sim", "Sim", "S", "s"})
        EXPECT_TRUE(Corvana::ParseBool("ModuFili", yes)) << yes;
    for (const char* no : {"0", "false", "não", "NÃO", "Não", "nao", "N", "n"})
        EXPECT_FALSE(Corvana::ParseBool("ModuFili", no)) << no;
    EXPECT_THROW(Corvana::ParseBool("ModuFili", "yes"), corvana::Error);
    EXPECT_THROW(Corvana::ParseBool("ModuFili", ""), corvana::Error);

    EXPECT_EQ(Corvana::ParsePort("WebPort", "1"), 1);
    EXPECT_EQ(Corvana::ParsePort("WebPort", " 65535 "), 65535);
    EXPECT_THROW(Corvana::ParsePort("WebPort", "+80"), corvana::Error);
    EXPECT_THROW(Corvana::ParsePort("WebPort", "8078.0"), corvana::Error);
}

}  // namespace
