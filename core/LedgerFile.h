// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Makes a new, empty ledger from the schema built into the library. Used by the build
// (mkledger), the tests and the benchmarks; the program itself never creates a ledger.
namespace LedgerFile {

// The schema text (tables, indexes, the category "自動").
QString schema();

// Creates the file at path; fails (returning false) when it already exists.
bool create(const QString &path, QString *errorText = nullptr);

} // namespace LedgerFile
