// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time tool: makes a new, empty ledger file from the schema.
//   mkledger <path>      fails if <path> exists
#include "LedgerFile.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkledger <path>\n");
        return 2;
    }
    QString error;
    if (!LedgerFile::create(QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "mkledger: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
