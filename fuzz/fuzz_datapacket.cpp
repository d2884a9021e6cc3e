// Fuzzes the JSON reader of the data layer (framework/data): every input is
// read as a data packet or delta (DataPacket::fromJson) and as a variant
// (Variant::fromJson, the form of a call's arguments and answers).
//
// What it holds the reader to:
//  - bad input is refused with corvana::Error, never another exception, a
//    crash, a leak or undefined behaviour;
//  - a packet read satisfies its own rules (validate());
//  - what was read writes JSON that reads back to an equal value, and that
//    value writes the same JSON again;
//  - the conversions of every value read (toString, toDouble, toInt,
//    toBool) answer or refuse with corvana::Error.
#include <cstdint>

#include "FuzzSupport.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "corvana/data/Variant.h"

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

void Convert(const Variant& v) {
    try {
        (void)v.toString();
    } catch (const corvana::Error&) {
    }
    try {
        (void)v.toDouble();
    } catch (const corvana::Error&) {
    }
    try {
        (void)v.toInt();
    } catch (const corvana::Error&) {
    }
    try {
        (void)v.toBool();
    } catch (const corvana::Error&) {
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

    DataPacket packet;
    bool isPacket = true;
    try {
        packet = DataPacket::fromJson(text);
    } catch (const corvana::Error&) {
        isPacket = false;
    }
    if (isPacket) CheckPacket(packet);

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
    return 0;
}
