// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFolder.h"

#include "Backup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace AppFolder {

namespace {

const QString LedgerName = QStringLiteral("velmo.mdb");

Options usageError(const QString &message)
{
    return {true, UsageError,
        QCoreApplication::applicationName() + QStringLiteral(": ") + message
            + QStringLiteral("\nTry '--help' for more information.\n"),
        {}};
}

bool holdsLedger(const QString &folder)
{
    return QFileInfo::exists(QDir(folder).filePath(LedgerName));
}

} // namespace

bool holdsBackups(const QString &folder)
{
    return !Backup::list(QDir(folder).filePath(LedgerName)).isEmpty();
}

namespace {

// Copies `name` from `from` to `to` unless it is there already. QFile::copy writes a temporary
// file and renames it, so an interrupted copy never leaves a partial file under the name.
bool copyIfAbsent(const QString &name, const QString &from, const QString &to, QString *error)
{
    const QString target = QDir(to).filePath(name);
    if (QFileInfo::exists(target))
        return true;
    QFile source(QDir(from).filePath(name));
    if (source.copy(target))
        return true;
    *error = QStringLiteral("cannot copy %1 to %2: %3").arg(source.fileName(), target, source.errorString());
    return false;
}

bool touchIfAbsent(const QString &path, QString *error)
{
    QFile file(path);
    if (file.exists() || file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return true;
    *error = QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
    return false;
}

} // namespace

QString guideFile(const QString &templateDir)
{
    return QDir::cleanPath(templateDir + QStringLiteral("/guide/ja/index.html"));
}

Options parse(const QStringList &arguments, const QString &environmentDir, const QString &guide)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A household ledger. Without --dir it keeps its files in its own folder when that\n"
                       "holds velmo.mdb or its backups, otherwise in the per-user folder, laid out on the\n"
                       "first start."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"),
        QStringLiteral("Use DIR as the folder of velmo.mdb, AP.log and yazirusi.gif "
                       "(default: the VELMO_DIR environment variable)."),
        QStringLiteral("DIR"));
    parser.addOption(dirOption);
    const QCommandLineOption demoOption(QStringLiteral("demo"),
        QStringLiteral("Try the program on a demo household dated to today, in a new temporary folder\n"
                       "that is removed at the end; the user's own ledger is not touched."));
    parser.addOption(demoOption);

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        // Without a QCoreApplication yet, Qt names the program by a placeholder.
        return {true, 0,
            parser.helpText().replace(
                QStringLiteral("<executable_name>"), QCoreApplication::applicationName())
                + (guide.isEmpty() ? QString()
                                   : QStringLiteral("\nThe user's guide, in Japanese: %1\n"
                                                    "(in the program: ヘルプ > 使い方ガイド, or F1)\n")
                                         .arg(guide)),
            {}};
    if (parser.isSet(version))
        return {true, 0,
            QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n', {}};
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));

    if (parser.isSet(demoOption)) {
        if (parser.isSet(dirOption))
            return usageError(QStringLiteral("--demo and --dir cannot be used together"));
        Options demo;
        demo.demo = true;
        return demo;
    }
    const bool fromOption = parser.isSet(dirOption);
    const QString dir = fromOption ? parser.value(dirOption) : environmentDir;
    if (dir.isEmpty() && !fromOption)
        return {};
    const QString source = fromOption ? QStringLiteral("--dir") : QStringLiteral("VELMO_DIR");
    if (!QFileInfo(dir).isDir())
        return usageError(QStringLiteral("%1: '%2' is not a folder").arg(source, dir));
    return {false, 0, {}, QFileInfo(dir).absoluteFilePath()};
}

QString locate(const QString &chosen, const QString &programDir, const QString &userDir,
    const QString &templateDir, QString *warning)
{
    if (!chosen.isEmpty())
        return chosen;
    if (holdsLedger(programDir) || holdsBackups(programDir))
        return programDir;
    // Backups without their ledger are a ledger that was lost: the start offers them before
    // an empty ledger may take its place.
    if (!holdsLedger(userDir) && holdsBackups(userDir))
        return userDir;
    layOut(userDir, templateDir, warning);
    return userDir;
}

bool layOut(const QString &folder, const QString &templateDir, QString *error)
{
    if (holdsLedger(folder))
        return true;
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    // Each file is tried even when an earlier one failed: a missing picture is no reason to
    // start without a ledger.
    bool ok = copyIfAbsent(QStringLiteral("yazirusi.gif"), templateDir, folder, error);
    ok = touchIfAbsent(QDir(folder).filePath(QStringLiteral("AP.log")), error) && ok;
    return copyIfAbsent(LedgerName, templateDir, folder, error) && ok;
}

} // namespace AppFolder
