#pragma once

namespace evt::server::storage {

class Database;

// Fills an empty database with demonstration data, the same every time (a
// fixed seed), in one transaction: three branches, about 300 clients with
// valid CPF/CNPJ and one to three address records each, 20 to 40 budgets per
// branch with two or three sequences (one the resulting copy) and guest lists
// of a few dozen guests, plus the lists below. Some guests are clients
// (individuals and companies), linked by code and inscription. Coded columns
// hold only the codes of the guest record. Answers false, touching nothing,
// when the database already has branches, clients or budgets.
bool SeedDemo(Database& db);

// Lists of the demonstration data that screens, tests and manual checks rely on.
namespace demo {
// A list of exactly kBigListGuests guests (the resulting copy of its budget).
inline constexpr const char* kBigListBranch = "0001";
inline constexpr const char* kBigListBudget = "0000005000";
inline constexpr const char* kBigListSequence = "01";
inline constexpr int kBigListGuests = 5000;
// The budget the desktop opens on (./dev run): its sequence "01" is an
// ordinary list of a few dozen guests, none of them linked to a client (the
// screens' tests link clients of their own to it).
inline constexpr const char* kPlainListBranch = "0001";
inline constexpr const char* kPlainListBudget = "0000001001";
inline constexpr const char* kPlainListSequence = "01";
// A budget whose two sequences ("01", resulting copy, and "02") have no guests.
inline constexpr const char* kEmptyListBranch = "0001";
inline constexpr const char* kEmptyListBudget = "0000005001";
inline constexpr const char* kEmptyListSequence = "01";
}  // namespace demo

}  // namespace evt::server::storage
