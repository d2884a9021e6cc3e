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
#include <sstream>
#include <string>
#include <vector>

#include "corvana/core/Corvana.h"
#include "rdm/RdmListConv.h"
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
        server = corvana::test::StartTestServer({std::make_shared<evt::server::RdmListConv>(db)});
    }
    void TearDown() override {
        if (server) server->Stop();
        server.reset();
        db.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    fs::path dir;
    std::shared_ptr<evt::server::storage::Database> db;
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

// The server's limits have their defaults in two places of the code (the
// settings and the endpoint's limits) and one of the documents: all three
// agree, so that a default changed in one is changed in all.
TEST(SettingsDocTest, TheServersDefaultsAreTheDocumentedOnes) {
    std::ifstream file(fs::path(EVT_SOURCE_DIR) / "docs" / "configuration.md");
    ASSERT_TRUE(file) << "docs/configuration.md";
    std::map<std::string, std::string> documented;
    static const std::regex row(R"(^\| `(\w+)` +\|.*\| `([0-9]+)`[^|]*\|)");
    for (std::string line; std::getline(file, line);) {
        std::smatch m;
        if (std::regex_search(line, m, row)) documented[m[1]] = m[2];
    }
    const Corvana::Settings settings;
    const evt::server::AppServer::Limits limits;
    auto seconds = [](std::chrono::milliseconds ms) {
        return static_cast<std::int64_t>(
            std::chrono::duration_cast<std::chrono::seconds>(ms).count());
    };
    const std::tuple<const char*, std::int64_t, std::int64_t> defaults[] = {
        {"WebPort", settings.WebPort, settings.WebPort},
        {"HeaderTimeout", settings.HeaderTimeout, seconds(limits.headerTimeout)},
        {"KeepAliveTimeout", settings.KeepAliveTimeout, seconds(limits.keepAliveTimeout)},
        {"BodyTimeout", settings.BodyTimeout, seconds(limits.bodyTimeout)},
        {"MinTransferRate", settings.MinTransferRate, std::int64_t(limits.minTransferRate)},
        {"MaxHeaderBytes", settings.MaxHeaderBytes, std::int64_t(limits.maxHeaderBytes)},
        {"MaxHeaderFields", settings.MaxHeaderFields, std::int64_t(limits.maxHeaderFields)},
        {"MaxBodyBytes", settings.MaxBodyBytes, std::int64_t(limits.maxBodyBytes)},
        {"MaxBodyBytesInFlight", settings.MaxBodyBytesInFlight,
         std::int64_t(limits.maxBodyBytesInFlight)},
        {"MaxConnections", settings.MaxConnections, std::int64_t(limits.maxConnections)},
        {"MaxConnectionsPerAddress", settings.MaxConnectionsPerAddress,
         std::int64_t(limits.maxConnectionsPerAddress)},
    };
    for (const auto& [key, setting, limit] : defaults) {
        SCOPED_TRACE(key);
        EXPECT_EQ(documented[key], std::to_string(setting));
        EXPECT_EQ(setting, limit);
    }
}
