// The examples of docs/protocol.md, run with curl in the order they are
// written against a server over the seeded demo database, each answer
// compared with the one the document shows. In a shown answer "..." stands
// for any text, and line breaks (with the blanks that indent a line) do not
// count; with curl -i the status line and each header shown must be there.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "corvana/core/Corvana.h"
#include "endpoint/AppServer.h"
#include "endpoint/ServerSettings.h"
#include "rdm/RdmListConv.h"
#include "reception/ChangeFeed.h"
#include "reception/RdmRecepcao.h"
#include "reception/StationApi.h"
#include "support/SeededDatabase.h"
#include "support/TestServer.h"

namespace {

namespace fs = std::filesystem;

// One fenced block of the document and the paragraph line just before it.
struct Block {
    std::string lead;  // the last non-blank line before the fence
    std::string language;
    std::string text;
};

std::vector<Block> FencedBlocks(const std::string& markdown) {
    std::vector<Block> blocks;
    std::istringstream in(markdown);
    std::string line, lead;
    while (std::getline(in, line)) {
        if (line.rfind("```", 0) != 0) {
            if (!line.empty()) lead = line;
            continue;
        }
        Block b{lead, line.substr(3), {}};
        while (std::getline(in, line) && line.rfind("```", 0) != 0) b.text += line + "\n";
        blocks.push_back(b);
        lead.clear();
    }
    return blocks;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// The lines of an answer as one line, without the blanks that indent them.
std::string Joined(const std::string& text) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) out += Trim(line);
    return out;
}

// Whether `actual` is `shown` with each "..." standing for any text.
bool Matches(const std::string& shown, const std::string& actual) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    for (auto dots = shown.find("..."); dots != std::string::npos;
         at = dots + 3, dots = shown.find("...", at))
        pieces.push_back(Trim(shown.substr(at, dots - at)));
    pieces.push_back(Trim(shown.substr(at)));
    if (pieces.size() == 1) return pieces.front() == actual;
    const std::string& first = pieces.front();
    const std::string& last = pieces.back();
    if (actual.size() < first.size() + last.size() || actual.rfind(first, 0) != 0 ||
        actual.compare(actual.size() - last.size(), last.size(), last) != 0)
        return false;
    // The pieces between, each at its first place after the one before.
    const std::size_t end = actual.size() - last.size();
    at = first.size();
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        const auto found = actual.find(pieces[i], at);
        if (found == std::string::npos || found + pieces[i].size() > end) return false;
        at = found + pieces[i].size();
    }
    return true;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Runs a shell command in `dir`; its standard output.
std::string RunShell(const std::string& command, const fs::path& dir) {
    const std::string line = "cd '" + dir.string() + "' && " + command;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) return {};
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    ::pclose(pipe);
    return out;
}

class ProtocolDocTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("evt-protocol-doc-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        corvana::test::CopySeededDatabase(dir / "evt.db");
        db = evt::server::storage::Database::Open((dir / "evt.db").string());
        namespace reception = evt::server::reception;
        feed = std::make_shared<reception::ChangeFeed>(db);
        server =
            corvana::test::StartTestServer({std::make_shared<evt::server::RdmListConv>(db),
                                            std::make_shared<reception::RdmRecepcao>(db, feed)},
                                           corvana::test::QuietLimits(), 0, {},
                                           {std::make_shared<reception::StationApi>(db, feed)});
    }
    void TearDown() override {
        if (server) server->Stop();
        server.reset();
        feed.reset();
        db.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    fs::path dir;
    std::shared_ptr<evt::server::storage::Database> db;
    std::shared_ptr<evt::server::reception::ChangeFeed> feed;
    std::unique_ptr<evt::server::AppServer> server;
};

TEST_F(ProtocolDocTest, TheExamplesAnswerAsDocumented) {
    if (RunShell("command -v curl", dir).empty()) GTEST_SKIP() << "curl não está instalado";
    std::ifstream file(fs::path(EVT_SOURCE_DIR) / "docs" / "protocol.md");
    ASSERT_TRUE(file) << "docs/protocol.md";
    const std::string markdown{std::istreambuf_iterator<char>(file), {}};
    const std::vector<Block> blocks = FencedBlocks(markdown);
    const std::string documented = "http://127.0.0.1:8078";
    const std::string here = "http://127.0.0.1:" + std::to_string(server->Port());
    const std::regex saveAs("Save it as `([^`]+)`");

    int examples = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        std::smatch named;
        if (std::regex_search(blocks[i].lead, named, saveAs)) {
            std::ofstream(dir / named[1].str()) << blocks[i].text;
            continue;
        }
        if (blocks[i].language != "sh" || blocks[i].text.find("curl ") == std::string::npos)
            continue;
        ASSERT_LT(i + 1, blocks.size()) << "no answer after " << blocks[i].text;
        std::string command = std::regex_replace(blocks[i].text, std::regex("\\\\\n"), " ");
        for (auto at = command.find(documented); at != std::string::npos;
             at = command.find(documented, at))
            command.replace(at, documented.size(), here);
        const std::string shown = blocks[i + 1].text;
        std::string actual = RunShell(Trim(command), dir);
        actual.erase(std::remove(actual.begin(), actual.end(), '\r'), actual.end());
        SCOPED_TRACE(Trim(blocks[i].text));
        ++examples;

        if (command.find(" -i ") == std::string::npos) {
            EXPECT_TRUE(Matches(Joined(shown), Joined(actual))) << actual;
            continue;
        }
        // Status line and headers, a blank line, the body.
        const auto shownEnd = shown.find("\n\n");
        const auto actualEnd = actual.find("\n\n");
        ASSERT_NE(shownEnd, std::string::npos) << shown;
        ASSERT_NE(actualEnd, std::string::npos) << actual;
        std::istringstream head(shown.substr(0, shownEnd));
        std::string line;
        std::getline(head, line);
        EXPECT_EQ(actual.substr(0, actual.find('\n')), line);
        const std::string actualHead = Lower(actual.substr(0, actualEnd + 1));
        while (std::getline(head, line))
            EXPECT_NE(actualHead.find("\n" + Lower(line) + "\n"), std::string::npos) << line << "\n"
                                                                                     << actual;
        EXPECT_TRUE(
            Matches(Joined(shown.substr(shownEnd + 2)), Joined(actual.substr(actualEnd + 2))))
            << actual;
    }
    EXPECT_GE(examples, 8);
}

}  // namespace

namespace {

// The rows of the tables of docs/<name> whose first cell names something in
// backticks: each cell trimmed, the first without its backticks.
std::vector<std::vector<std::string>> TableRows(const std::string& name) {
    std::ifstream file(fs::path(EVT_SOURCE_DIR) / "docs" / name);
    EXPECT_TRUE(file) << name;
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(file, line);) {
        if (!line.starts_with("| `")) continue;
        std::vector<std::string> cells;
        std::istringstream in(line.substr(1));
        for (std::string cell; std::getline(in, cell, '|');) cells.push_back(Trim(cell));
        cells[0].erase(std::remove(cells[0].begin(), cells[0].end(), '`'), cells[0].end());
        rows.push_back(cells);
    }
    return rows;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ',');) parts.push_back(Trim(part));
    return parts;
}

const Corvana::SettingKey* ServerKey(const std::string& name) {
    for (const Corvana::SettingKey& key : evt::server::kServerSettings)
        if (name == key.name) return &key;
    return nullptr;
}

}  // namespace

// Each setting's default (and a server setting's range) is declared once in
// the code: the framework's in its Settings, the server's in
// kServerSettings, from which the endpoint's limits take theirs. Every row
// of docs/configuration.md and docs/server.md that gives one says the same.
TEST(SettingsDocTest, TheServersDefaultsAreTheDocumentedOnes) {
    evt::server::AddServerSettings();
    Corvana::ResetSettings();
    std::set<std::string> documented;
    for (const auto& row : TableRows("configuration.md")) {
        const std::string& key = row[0];
        if (key.starts_with("CORVANA_")) continue;  // the environment's names
        SCOPED_TRACE("configuration.md: " + key);
        ASSERT_GE(row.size(), 3u);
        static const std::regex quoted("^`([^`]*)`");
        std::smatch m;
        std::string shown;
        if (std::regex_search(row[2], m, quoted))
            shown = m[1];
        else
            EXPECT_TRUE(row[2].starts_with("empty")) << row[2];
        documented.insert(key);
        // Found from where the program or its libraries are.
        if (shown.find("<exe dir>") != std::string::npos ||
            shown.find("<framework lib dir>") != std::string::npos)
            continue;
        // A default that follows DataDir, shown as "<DataDir>/...".
        if (shown.find("<DataDir>") != std::string::npos) Corvana::SetDataDir("<DataDir>");
        EXPECT_EQ(Corvana::Setting(key), shown);
        Corvana::ResetSettings();
        const Corvana::SettingKey* server = ServerKey(key);
        if (!server || row.size() < 4) continue;
        static const std::regex range("^([0-9]+) to ([0-9]+|2\\^40)$");
        if (server->type == Corvana::SettingType::Text) {
            EXPECT_EQ(row[3], "");
        } else {
            ASSERT_TRUE(std::regex_match(row[3], m, range)) << row[3];
            EXPECT_EQ(std::stoll(m[1]), server->min);
            EXPECT_EQ(m[2] == "2^40" ? evt::server::kTiB : std::stoll(m[2]), server->max);
        }
    }
    for (const Corvana::SettingKey& key : evt::server::kServerSettings)
        EXPECT_TRUE(documented.count(key.name)) << key.name << " missing in configuration.md";

    // docs/server.md tells the limits in units: "10 s", "64 KiB/s", "32 MiB".
    int limits = 0;
    for (const auto& row : TableRows("server.md")) {
        const std::vector<std::string> keys = Split(row[0]);
        if (!ServerKey(keys[0]) || row.size() < 2) continue;
        const std::vector<std::string> values = Split(row[1]);
        ASSERT_EQ(keys.size(), values.size()) << row[0];
        for (std::size_t i = 0; i < keys.size(); ++i) {
            SCOPED_TRACE("server.md: " + keys[i]);
            static const std::regex quantity("^([0-9]+)( (s|KiB|MiB)(/s)?)?$");
            std::smatch m;
            ASSERT_TRUE(std::regex_match(values[i], m, quantity)) << values[i];
            const std::int64_t scale = m[3] == "KiB" ? 1024 : m[3] == "MiB" ? 1024 * 1024 : 1;
            EXPECT_EQ(std::stoll(m[1]) * scale, Corvana::NumberSetting(keys[i]));
            ++limits;
        }
    }
    EXPECT_EQ(limits, 10) << "every limit in server.md's table";

    // The endpoint's limits read from the settings at their defaults are
    // the limits an endpoint has when given none.
    const evt::server::AppServer::Limits fromSettings = evt::server::LimitsFromSettings();
    const evt::server::AppServer::Limits built;
    EXPECT_EQ(fromSettings.headerTimeout, built.headerTimeout);
    EXPECT_EQ(fromSettings.keepAliveTimeout, built.keepAliveTimeout);
    EXPECT_EQ(fromSettings.bodyTimeout, built.bodyTimeout);
    EXPECT_EQ(fromSettings.minTransferRate, built.minTransferRate);
    EXPECT_EQ(fromSettings.maxHeaderBytes, built.maxHeaderBytes);
    EXPECT_EQ(fromSettings.maxHeaderFields, built.maxHeaderFields);
    EXPECT_EQ(fromSettings.maxBodyBytes, built.maxBodyBytes);
    EXPECT_EQ(fromSettings.maxBodyBytesInFlight, built.maxBodyBytesInFlight);
    EXPECT_EQ(fromSettings.maxConnections, built.maxConnections);
    EXPECT_EQ(fromSettings.maxConnectionsPerAddress, built.maxConnectionsPerAddress);
}
