// Memory the application server needs to read a call's body: the peak
// resident memory of corvana::Variant::fromJson over bodies of the shapes
// the server receives (a 99,998-line import, a save of many guests) and of
// hostile shapes (long flat lists of tiny values, deep nesting), as a
// multiple of the body's size. Each shape is read in a child process of its
// own: the body is built, the allocator's free memory handed back, the
// peak (VmHWM) reset through /proc/self/clear_refs, and the body read. The
// figure is the peak over the resident size just before the read (which
// already holds the body), divided by the body's size.
//
// Each shape is read twice: as a tree of values (Variant::fromJson(text,
// budget)) and as the server reads it, the rows of its packets packed
// (PacketRows::Packed). Beside the peaks, for the server's reading: the
// resident memory still held by the value read, the processor time of the
// read, and the smallest memory budget (in multiples of the body) under
// which the reader still takes the body, found by bisection: the reader's
// own count, to be compared with what the process really took and with the
// server's budget of three times the body (Router, docs/server.md).
//
// Prints a table; takes no options (those of the other benchmarks are
// ignored).
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "GuestData.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"

using corvana::Variant;

namespace {

constexpr long kImportRows = 99998;
// Hostile bodies are as large as the server takes by default.
constexpr std::size_t kHostileBytes = std::size_t{32} * 1024 * 1024;

// The import: the file's lines, last line first. `shortest` gives every
// line a one-letter name and no R.G., the least JSON a line can take.
std::string ImportBody(long rows, bool shortest) {
    corvana::DataPacket p = bench::ImportLines(rows, "0001", "0000005001", "01");
    if (shortest) {
        for (corvana::Row& line : p.rows()) {
            line[3] = Variant("");
            line[4] = Variant("A");
        }
    }
    return Variant(Variant::Array{Variant(std::move(p))}).toJson();
}

// An imported guest as the list holds it: placeholders, no client.
corvana::Row ImportedGuest(long i) {
    return {"*",
            "*",
            "*",
            "Ana " + std::to_string(i),
            "*",
            "N",
            "*",
            "*",
            "*",
            "*",
            "NORMAL",
            "N",
            "*",
            Variant(),
            Variant(),
            Variant(),
            "0001",
            "0000005001",
            bench::Digits(i + 1, 5),
            1.0,
            "01"};
}

// A save that deletes every imported guest of a list: original values only,
// nearly all placeholders, the least JSON a guest of a save takes.
std::string DeleteImportedBody() {
    corvana::DataPacket p(bench::GuestFields(), corvana::DataPacket::Kind::Delta);
    for (long i = 0; i < kImportRows; ++i)
        p.changes().push_back({corvana::DeltaRow::Status::Deleted, {}, ImportedGuest(i)});
    return Variant(Variant::Array{Variant(std::move(p))}).toJson();
}

// A save of guests each renamed on the screen: values and original values.
std::string DeltaBody(long rows) {
    corvana::DataPacket p(bench::GuestFields(), corvana::DataPacket::Kind::Delta);
    for (long i = 0; i < rows; ++i) {
        corvana::Row original = bench::GuestRow(i);
        corvana::Row values = original;
        values[3] = Variant(values[3].asString() + " Filho");
        p.changes().push_back(
            {corvana::DeltaRow::Status::Modified, std::move(values), std::move(original)});
    }
    return Variant(Variant::Array{Variant(std::move(p))}).toJson();
}

// [[item,item,...]] up to about kHostileBytes.
std::string FlatBody(const std::string& item) {
    std::string body = "[[";
    body.reserve(kHostileBytes + item.size() + 4);
    while (body.size() + item.size() + 3 < kHostileBytes) {
        body += item;
        body += ',';
    }
    body += item;
    body += "]]";
    return body;
}

// A packet of one text column whose rows each hold one letter.
std::string LetterRowsBody() {
    std::string body =
        "[{\"$packet\":{\"format\":\"corvana.datapacket\",\"version\":1,\"kind\":\"data\","
        "\"fields\":[{\"name\":\"A\",\"type\":\"string\",\"size\":1}],\"rows\":[";
    body.reserve(kHostileBytes + 16);
    while (body.size() + 10 < kHostileBytes) body += "[\"a\"],";
    body += "[\"a\"]]}}]";
    return body;
}

// The deepest nesting the reader allows (64 levels, the argument list
// included), over and over.
std::string DeepBody() {
    const std::string item = std::string(62, '[') + std::string(62, ']');
    return FlatBody(item);
}

struct Shape {
    const char* name;
    std::function<std::string()> body;
};

long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0) return std::stol(line.substr(n + 1));
    return -1;
}

bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// Processor time of this process (user and system), in milliseconds: the
// machine may be shared, which wall time would show.
double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Figures {
    double bodyMb = 0, peakMultiple = 0, heldMultiple = 0, ms = 0, budgetMultiple = 0;
    bool ok = false;
};

bool Fits(const std::string& body, std::size_t budget) {
    try {
        (void)Variant::fromJson(body, budget, Variant::PacketRows::Packed);
        return true;
    } catch (const corvana::MemoryLimitError&) {
        return false;
    }
}

Figures Measure(const Shape& shape, Variant::PacketRows rows) {
    Figures f;
    const std::string body = shape.body();
    f.bodyMb = static_cast<double>(body.size()) / 1e6;
    malloc_trim(0);
    if (!ResetPeak()) return f;
    const long before = StatusKb("VmRSS:");
    const double start = CpuMs();
    {
        Variant value = Variant::fromJson(body, static_cast<std::size_t>(-1), rows);
        f.ms = CpuMs() - start;
        f.heldMultiple = static_cast<double>(StatusKb("VmRSS:") - before) * 1024 /
                         static_cast<double>(body.size());
    }
    f.peakMultiple =
        static_cast<double>(StatusKb("VmHWM:") - before) * 1024 / static_cast<double>(body.size());
    if (rows == Variant::PacketRows::Values) {
        f.ok = true;
        return f;
    }
    // Smallest budget, in tenths of the body's size, that the reader takes.
    std::size_t low = 0, high = 640;
    while (!Fits(body, high * body.size() / 10)) high *= 2;
    while (high - low > 1) {
        const std::size_t mid = (low + high) / 2;
        (Fits(body, mid * body.size() / 10) ? high : low) = mid;
    }
    f.budgetMultiple = static_cast<double>(high) / 10;
    f.ok = true;
    return f;
}

}  // namespace

int main() {
    const std::vector<Shape> shapes = {
        {"import, 99,998 lines (GetImpLista)", [] { return ImportBody(kImportRows, false); }},
        {"import, 99,998 shortest lines", [] { return ImportBody(kImportRows, true); }},
        // Just past a power of two, the list of rows has just grown: the
        // worst moment for the reader's estimate.
        {"import, 65,537 shortest lines", [] { return ImportBody(65537, true); }},
        {"save, 99,998 imported guests deleted", DeleteImportedBody},
        {"save, 60,000 guests renamed (SetConvOrceve)", [] { return DeltaBody(60000); }},
        {"flat list of one-letter texts", [] { return FlatBody("\"a\""); }},
        {"flat list of small integers", [] { return FlatBody("1"); }},
        {"flat list of empty lists", [] { return FlatBody("[]"); }},
        {"deepest nesting, repeated", DeepBody},
        {"packet of one-letter rows", LetterRowsBody},
    };
    std::printf("%-44s %8s %9s %9s %8s %8s %9s\n", "body", "MB", "values/x", "packed/x", "held/x",
                "cpu ms", "budget/x");
    // Each reading in a child process of its own.
    auto measured = [](const Shape& shape, Variant::PacketRows rows) {
        Figures f;
        int fds[2];
        if (pipe(fds) != 0) return f;
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            const Figures mine = Measure(shape, rows);
            const bool written =
                write(fds[1], &mine, sizeof mine) == static_cast<ssize_t>(sizeof mine);
            _exit(written ? 0 : 1);
        }
        close(fds[1]);
        if (read(fds[0], &f, sizeof f) != static_cast<ssize_t>(sizeof f)) f.ok = false;
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        return f;
    };
    for (const Shape& shape : shapes) {
        const Figures values = measured(shape, Variant::PacketRows::Values);
        const Figures f = measured(shape, Variant::PacketRows::Packed);
        if (!values.ok || !f.ok) {
            std::printf("%-44s failed (no /proc/self/clear_refs?)\n", shape.name);
            continue;
        }
        std::printf("%-44s %8.1f %9.2f %9.2f %8.2f %8.0f %9.1f\n", shape.name, f.bodyMb,
                    values.peakMultiple, f.peakMultiple, f.heldMultiple, f.ms, f.budgetMultiple);
    }
    return 0;
}
