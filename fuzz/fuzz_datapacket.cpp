// Fuzzes the JSON reader of the data layer (framework/data): every input is
// read as a data packet or delta (DataPacket::fromJson) and as a variant
// (Variant::fromJson, the form of a call's arguments and answers).
//
// What it holds the reader to:
//  - an answer read straight into packed rows (PackedData::fromAnswerJson)
//    is refused when the text read as values is, and loads a dataset with
//    the same rows;
//  - read as the server reads a call's arguments (every packet packed), the
//    same value or the same refusal;
//  - its lexer reads the same tokens and refuses the same texts as
//    nlohmann/json, the reference (but for a NUL byte between tokens, which
//    nlohmann reads as the end of the text);
//  - bad input is refused with corvana::Error, never another exception, a
//    crash, a leak or undefined behaviour;
//  - a packet read satisfies its own rules (validate());
//  - what was read writes JSON that reads back to an equal value, and that
//    value writes the same JSON again;
//  - the conversions of every value read (toString, toDouble, toInt,
//    toBool) answer or refuse with corvana::Error;
//  - under a memory budget (eight times the input) the reader gives the
//    same value or refuses with corvana::MemoryLimitError, never another
//    answer;
//  - a data packet loads into a dataset that takes its columns (as a
//    screen's lookup does) and comes back from Data() as it went in, each
//    text cut to its column's size (and only texts keep a size), with no
//    pending change; every cell
//    reads through its field, and converting it to the field's type keeps
//    it.
#include <cstdint>

#include "FuzzSupport.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"
#include "corvana/data/PackedRow.h"
#include "corvana/data/Text.h"
#include "corvana/data/Variant.h"
#include "support/JsonTokens.h"

namespace {

using corvana::DataPacket;
using corvana::Variant;

template <class T>
void CheckRoundTrip(const T& value) {
    const std::string json = value.toJson();
    fuzz::Check(corvana::isValidUtf8(json), "written JSON is not UTF-8", json);
    T again;
    try {
        again = T::fromJson(json);
    } catch (const corvana::Error& e) {
        fuzz::Fail("written JSON does not read back", json + "\n" + e.what());
    }
    fuzz::Check(again == value, "written JSON reads back to another value", json);
    const std::string twice = again.toJson();
    fuzz::Check(twice == json, "a value read back writes other JSON", json + "\n" + twice);
}

void CheckPacket(const DataPacket& packet) {
    try {
        packet.validate();
    } catch (const corvana::Error& e) {
        fuzz::Fail("the reader let through a packet that breaks its rules", e.what());
    }
    CheckRoundTrip(packet);
}

template <class Read>
void Attempt(Read read) {
    try {
        (void)read();
    } catch (const corvana::Error&) {
    }
}

void Convert(const Variant& v) {
    Attempt([&] { return v.toString(); });
    Attempt([&] { return v.toDouble(); });
    Attempt([&] { return v.toInt(); });
    Attempt([&] { return v.toBool(); });
}

void CheckDataSet(const DataPacket& packet) {
    if (packet.isDelta() || packet.fields().empty()) return;
    corvana::ClientDataSet dataSet;
    try {
        dataSet.SetData(packet);
    } catch (const corvana::Error& e) {
        fuzz::Fail("a valid packet does not load into a dataset", e.what());
    }
    // A field has a size only for texts.
    std::vector<corvana::FieldDef> fields = packet.fields();
    for (corvana::FieldDef& def : fields)
        if (def.type != corvana::FieldType::String) def.size = 0;
    DataPacket expected(std::move(fields));
    expected.rows() = packet.rows();
    for (corvana::Row& row : expected.rows()) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            const corvana::FieldDef& def = packet.fields()[c];
            if (def.type != corvana::FieldType::String || def.size <= 0 || !row[c].isString())
                continue;
            const std::u32string chars = corvana::decodeUtf8(row[c].asString());
            if (chars.size() > static_cast<std::size_t>(def.size))
                row[c] = corvana::encodeUtf8(chars.substr(0, static_cast<std::size_t>(def.size)));
        }
    }
    fuzz::Check(dataSet.Data() == expected, "a dataset gives back other rows than it loaded",
                packet.toJson() + "\n" + dataSet.Data().toJson());
    fuzz::Check(dataSet.ChangeCount() == 0 && dataSet.Delta().rowCount() == 0,
                "a loaded dataset has pending changes");
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
        for (corvana::Field* field : dataSet.Fields()) {
            const Variant value = field->Value();
            Variant converted;
            try {
                converted = field->Convert(value);
            } catch (const corvana::Error& e) {
                fuzz::Fail("a loaded value does not convert to its own field", e.what());
            }
            fuzz::Check(converted == value, "converting a loaded value changed it",
                        value.toJson() + " " + converted.toJson());
            Attempt([&] { return field->AsString(); });
            Attempt([&] { return field->AsFloat(); });
            Attempt([&] { return field->AsInteger(); });
            Attempt([&] { return field->AsBoolean(); });
            Attempt([&] { return field->DisplayTextAt(dataSet.RecNo() - 1); });
        }
    }
}

void Walk(const Variant& v) {
    Convert(v);
    if (v.isArray()) {
        for (const Variant& item : v.asArray()) Walk(item);
    } else if (v.isPacket()) {
        CheckPacket(v.asPacket());
        for (const auto& row : v.asPacket().rows())
            for (const Variant& cell : row) Convert(cell);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // nlohmann takes a NUL byte between tokens for the end of the text; the
    // lexer refuses what follows the value there. Elsewhere both must agree.
    if (text.find('\0') == std::string_view::npos) {
        const std::string ours = corvana::test::OurTokens(text);
        const std::string reference = corvana::test::ReferenceTokenList(text);
        fuzz::Check(ours == reference, "the lexer and the reference read other tokens",
                    std::string(text) + "\n--- ours\n" + ours + "--- reference\n" + reference);
    }

    DataPacket packet;
    bool isPacket = true;
    try {
        packet = DataPacket::fromJson(text);
    } catch (const corvana::Error&) {
        isPacket = false;
    }
    if (isPacket) {
        CheckPacket(packet);
        CheckDataSet(packet);
    }

    Variant value;
    bool isValue = true;
    try {
        value = Variant::fromJson(text);
    } catch (const corvana::Error&) {
        isValue = false;
    }
    if (isValue) {
        CheckRoundTrip(value);
        Walk(value);
    }

    // The same text read as an answer straight into packed rows: refused
    // alike, and a packet loads a dataset as the packet read as values does.
    Variant other;
    std::optional<corvana::PackedData> packed;
    bool isAnswer = true;
    try {
        packed = corvana::PackedData::fromAnswerJson(text, other);
    } catch (const corvana::Error&) {
        isAnswer = false;
    }
    fuzz::Check(isAnswer == isValue, "packed reading and reading as values refuse differently",
                std::string(text));
    if (isAnswer && !packed)
        fuzz::Check(other == value, "an answer that is no packet reads as another value",
                    std::string(text));
    if (packed) {
        // The packet is the answer, or the first packet of rows (no delta)
        // among the elements of an answer that is an array, whose place
        // holds null in `other`.
        Variant packet = value, rest;
        if (value.isArray()) {
            Variant::Array elements = value.asArray();
            for (Variant& element : elements) {
                if (!element.isPacket() || element.asPacket().isDelta()) continue;
                packet = element;
                element = Variant();
                break;
            }
            rest = Variant(std::move(elements));
        }
        fuzz::Check(other == rest, "the rest of an answer reads otherwise", std::string(text));
        fuzz::Check(packet.isPacket() && !packet.asPacket().isDelta(),
                    "packed rows read from what is no data packet", std::string(text));
        corvana::ClientDataSet byValues, byRows;
        std::string refusedByValues, refusedByRows;
        try {
            byValues.SetData(packet);
        } catch (const corvana::Error& e) {
            refusedByValues = e.what();
        }
        try {
            byRows.SetData(std::move(*packed));
        } catch (const corvana::Error& e) {
            refusedByRows = e.what();
        }
        fuzz::Check(refusedByValues == refusedByRows, "packed rows load otherwise than values",
                    refusedByValues + "\n" + refusedByRows);
        if (refusedByValues.empty())
            fuzz::Check(byValues.Data() == byRows.Data(), "packed rows load other rows",
                        std::string(text));
    }

    // Read as the server reads a call's arguments, every packet's rows and
    // changes packed: refused alike, the same value (and its JSON), and a
    // packed packet keeps its own rules.
    {
        Variant server;
        std::string refused;
        try {
            server =
                Variant::fromJson(text, static_cast<std::size_t>(-1), Variant::PacketRows::Packed);
        } catch (const corvana::Error& e) {
            refused = e.what();
        }
        fuzz::Check(refused.empty() == isValue, "packed arguments refuse differently",
                    std::string(text) + "\n" + refused);
        if (isValue) {
            fuzz::Check(server == value, "packed arguments read another value", std::string(text));
            fuzz::Check(server.toJson() == value.toJson(), "packed arguments write other JSON",
                        std::string(text));
            if (server.isPacket()) CheckPacket(server.asPacket());
        }
    }

    try {
        const Variant limited = Variant::fromJson(text, 8 * size);
        fuzz::Check(isValue && limited == value, "a budget changed what was read",
                    std::string(text));
    } catch (const corvana::MemoryLimitError&) {
    } catch (const corvana::Error& e) {
        fuzz::Check(!isValue, "a budget refused what reads without one", e.what());
    }
    return 0;
}
