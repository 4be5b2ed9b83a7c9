// SPDX-License-Identifier: GPL-3.0-or-later
// scripts/add-spdx on a small project of its own: which files get the licence line, where it
// goes in each kind of file, and that a second run and the check find nothing left to do.
#include "FileTestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Line = QStringLiteral("SPDX-License-Identifier: GPL-3.0-or-later");

struct Run
{
    int exitCode = -1;
    QString output;
};

Run run(const QString &folder, const QString &program, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

} // namespace

class TestSpdx : public QObject
{
    Q_OBJECT

    QTemporaryDir m_repo;
    QString path(const QString &name) const { return m_repo.filePath(name); }
    QString text(const QString &name) const { return QString::fromUtf8(fileBytes(path(name))); }
    Run addSpdx(const QStringList &args = {}) const
    {
        return run(m_repo.path(), path(QStringLiteral("scripts/add-spdx")), args);
    }
    Run git(const QStringList &args) const
    {
        return run(m_repo.path(), QStringLiteral("git"),
            QStringList {"-c", "user.name=t", "-c", "user.email=t@example.org"} + args);
    }

private slots:
    void initTestCase()
    {
        REQUIRE_PROGRAM("git", "git");
        REQUIRE_PROGRAM("python3", "python3");
        QVERIFY(QDir(m_repo.path()).mkpath("scripts"));
        QVERIFY(QDir(m_repo.path()).mkpath("src"));
        QVERIFY(QFile::copy(QStringLiteral(VELMO_SOURCE_DIR "/scripts/add-spdx"), path("scripts/add-spdx")));
        writeBytes(path("src/a.cpp"), "// What a does.\n// More about it.\n#include \"a.h\"\n");
        writeBytes(path("src/a.h"), "#pragma once\n\nint a();\n");
        writeBytes(path("src/tagged.h"), "// SPDX-License-Identifier: MIT\n#pragma once\n");
        writeBytes(path("CMakeLists.txt"), "cmake_minimum_required(VERSION 3.25)\n");
        writeBytes(path("src/rules.cmake"), "# Rules.\nset(X 1)\n");
        writeBytes(path("scripts/tool"), "#!/bin/sh\n# Does a thing.\necho \"$1\"\n");
        writeBytes(path("scripts/gen.py"), "#!/usr/bin/python3\nprint(1)\n");
        writeBytes(path("notes.md"), "# Notes\n");
        writeBytes(path("data.csv"), "a,b\n");
        QFile::setPermissions(
            path("scripts/tool"), QFile::permissions(path("scripts/tool")) | QFile::ExeOwner);
        QCOMPARE(git({"init", "-q"}).exitCode, 0);
        QCOMPARE(git({"add", "-A"}).exitCode, 0);
        QCOMPARE(git({"commit", "-qm", "x"}).exitCode, 0);
        const Run check = addSpdx({"--check"});
        QCOMPARE(check.exitCode, 1);
        QVERIFY2(check.output.contains("src/a.cpp") && !check.output.contains("tagged.h"),
            qPrintable(check.output));
        QCOMPARE(addSpdx().exitCode, 0);
    }

    // Where the line goes: at the top of the first comment, after a #! line; a comment of its
    // own where the file opens with none.
    void lineInTheFirstComment_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("C++ with a comment")
            << "src/a.cpp"
            << "// " + Line + "\n// What a does.\n// More about it.\n#include \"a.h\"\n";
        QTest::newRow("header without one") << "src/a.h"
                                            << "// " + Line + "\n#pragma once\n\nint a();\n";
        QTest::newRow("another licence kept") << "src/tagged.h"
                                              << "// SPDX-License-Identifier: MIT\n#pragma once\n";
        QTest::newRow("CMakeLists") << "CMakeLists.txt"
                                    << "# " + Line + "\ncmake_minimum_required(VERSION 3.25)\n";
        QTest::newRow("CMake script") << "src/rules.cmake"
                                      << "# " + Line + "\n# Rules.\nset(X 1)\n";
        QTest::newRow("shell script") << "scripts/tool"
                                      << "#!/bin/sh\n# " + Line + "\n# Does a thing.\necho \"$1\"\n";
        QTest::newRow("python script") << "scripts/gen.py"
                                       << "#!/usr/bin/python3\n# " + Line + "\nprint(1)\n";
        QTest::newRow("not a source file") << "notes.md"
                                           << "# Notes\n";
        QTest::newRow("data") << "data.csv"
                              << "a,b\n";
    }
    void lineInTheFirstComment()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QCOMPARE(text(file), expected);
    }

    void secondRunChangesNothing()
    {
        QVERIFY(QFileInfo(path("scripts/tool")).isExecutable());
        QCOMPARE(git({"add", "-A"}).exitCode, 0);
        QCOMPARE(git({"commit", "-qm", "y"}).exitCode, 0);
        QCOMPARE(addSpdx().exitCode, 0);
        QCOMPARE(git({"status", "--porcelain"}).output, QString());
        QCOMPARE(addSpdx({"--check"}).exitCode, 0);
    }
};

QTEST_GUILESS_MAIN(TestSpdx)
#include "tst_spdx.moc"
