// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Which folder is the application directory (the one holding velmo.mdb, AP.log and
// yazirusi.gif), and the command line that can choose it.
namespace AppFolder {

// What the command line asks for. When `exit` is set the program prints `output` (to standard
// output for exit code 0, to standard error otherwise) and ends with `exitCode`.
struct Options
{
    bool exit = false;
    int exitCode = 0;
    QString output;
    // The folder given by --dir, else by the environment; absolute; empty when neither.
    QString dir;
    // --demo: a demo household in a new temporary folder instead of any of the user's ledgers.
    bool demo = false;
};

// Exit code for an unknown option, a stray argument or a folder that does not exist.
inline constexpr int UsageError = 2;

// `arguments` as QCoreApplication::arguments() gives them (the program first);
// `environmentDir` is the value of VELMO_DIR, empty when unset.
// `guide` is the user's guide that --help names.
Options parse(const QStringList &arguments, const QString &environmentDir, const QString &guide = {});

// The user's guide (HTML, with its pictures beside it) within the template folder `templateDir`
// that the build and the installation both lay out beside the program.
QString guideFile(const QString &templateDir);

// The application directory: `chosen` when given; otherwise `programDir` when it holds a
// ledger or backups of one (the portable layout); otherwise `userDir`, laid out from
// `templateDir` on its first use, but not while it holds backups and no ledger: the start
// offers those first, and lays the folder out (layOut) only when the user declines or none
// is usable. A failed layout is described in `warning` and the folder is used all the same:
// the windows then report the missing ledger or log as they do in any folder.
QString locate(const QString &chosen, const QString &programDir, const QString &userDir,
    const QString &templateDir, QString *warning);

// True when `folder` holds backups of a ledger (in backup/ beside where velmo.mdb belongs).
bool holdsBackups(const QString &folder);

// Gives `folder` the ledger, an empty log and the arrow picture from `templateDir`, each only
// when absent, when it has no ledger yet. The ledger comes last, so that a layout cut short is
// completed at the next start. False with `error` set (the last failure) when something could
// not be made.
bool layOut(const QString &folder, const QString &templateDir, QString *error);

} // namespace AppFolder
