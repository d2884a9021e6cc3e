#pragma once
// Where the guest lists are kept when DatabaseURL is not set: this file
// within DataDir. The application server creates it there; the host and its
// packages read it there.
namespace guestrecord {

inline constexpr const char* kListDatabaseFile = "evt07800.db";

}  // namespace guestrecord
