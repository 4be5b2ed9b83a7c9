// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Cp932.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringConverter>
#include <QStringList>

// Synthetic statement files as the banks write them.
namespace StatementFiles {

enum class As { Cp932, Utf8Bom, Utf16LeBom };

inline QByteArray bytes(const QStringList &lines, As as = As::Cp932)
{
    const QString text = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    switch (as) {
    case As::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case As::Utf16LeBom: {
        QStringEncoder enc(QStringConverter::Utf16LE);
        return QByteArray("\xFF\xFE") + QByteArray(enc.encode(text));
    }
    case As::Cp932:
        break;
    }
    return Cp932::encode(text);
}

// Writes a file for a test to open; gives its path back.
inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

// A ゆうちょ銀行 download: seven lines before the heading, every line ending in a comma.
inline QStringList yucho(const QStringList &rows)
{
    QStringList l {QStringLiteral("お客さま口座情報,"), QStringLiteral("現在高,123456,"),
        QStringLiteral("出力日時,令和6年12月1日 10時00分,"), QStringLiteral("口座番号,10170-12345671,"),
        QStringLiteral("照会対象,普通預金,"), QStringLiteral("日付指定,20241101-20241130,"),
        QStringLiteral("明細件数,%1,").arg(rows.size()),
        QStringLiteral("取引日,入出金明細ＩＤ,受入金額（円）,払出金額（円）,詳細１,詳細２,現在（貸付）高,")};
    return l + rows;
}

} // namespace StatementFiles
