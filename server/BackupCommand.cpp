#include "BackupCommand.h"

#include <cstdio>
#include <iostream>

#include "corvana/data/Error.h"
#include "corvana/db/DatabaseAddress.h"
#include "storage/Backup.h"

namespace evt::server {

namespace {

std::string decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string shown = text;
    for (char& c : shown)
        if (c == '.') c = ',';
    return shown;
}

void line(const std::string& text) {
    std::cerr << "evt07800-server: " << text << std::endl;
}

}  // namespace

bool BackupCommand::Knows(const std::string& name) {
    return name == "--backup" || name == "--backup-dir" || name == "--keep" || name == "--restore";
}

bool BackupCommand::Take(const std::string& name, const std::string& value) {
    if (!Knows(name)) return false;
    if (value.empty()) throw corvana::Error("Informe o valor de " + name + ".");
    if (name == "--backup") backup = value;
    if (name == "--backup-dir") backupDir = value;
    if (name == "--restore") restore = value;
    if (name == "--keep") {
        bool digits = value.size() <= 4;
        for (char c : value) digits = digits && c >= '0' && c <= '9';
        keep = digits ? std::stoi(value) : 0;
        if (keep < 1)
            throw corvana::Error("--keep espera um número de 1 a 9999, recebeu \"" + value + "\".");
    }
    return true;
}

void BackupCommand::Check() const {
    if (!backup.empty() + !backupDir.empty() + !restore.empty() > 1)
        throw corvana::Error(
            "--backup, --backup-dir e --restore não se combinam: use um de cada vez.");
}

int BackupCommand::Run(const std::string& database) const {
    namespace storage = evt::server::storage;
    const corvana::db::DatabaseAddress address = corvana::db::ParseAddress(database);
    if (address.backend != corvana::db::Backend::Sqlite)
        throw storage::BackupRefused(
            "O banco " + corvana::db::ShownLocation(database) +
            " é PostgreSQL: a cópia de segurança e a restauração são feitas com pg_dump e "
            "pg_restore (docs/server.md).");
    const std::string file = address.location;
    if (!restore.empty()) {
        storage::RestoreDatabase(restore, file);
        line("banco '" + file + "' restaurado de '" + restore + "' (o anterior ficou em '" + file +
             ".antes-da-restauracao').");
        return 0;
    }
    const storage::BackupResult result =
        backup.empty() ? storage::BackupIntoFolder(file, backupDir, keep,
                                                   [](const std::string& removed) {
                                                       line("cópia antiga removida: " + removed);
                                                   })
                       : storage::BackupDatabase(file, backup);
    line("cópia de segurança de '" + file + "' gravada em '" + result.file + "' (" +
         std::to_string(result.pages) + " páginas, " +
         decimal(static_cast<double>(result.bytes) / 1e6) + " MB, em " + decimal(result.seconds) +
         " s).");
    return 0;
}

}  // namespace evt::server
