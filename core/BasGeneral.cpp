// SPDX-License-Identifier: GPL-3.0-or-later
#include "BasGeneral.h"

#include "Clock.h"
#include "Cp932.h"
#include "Dialogs.h"

#include <QFile>
#include <QFileInfo>

namespace BasGeneral {

bool isDigitsOnly(const QString &text, Dialogs &dialogs)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9') {
            dialogs.info(QStringLiteral("数値を入力して下さい"));
            return false;
        }
    }
    return true;
}

bool hasLength(const QString &text, qint16 length, const QString &message, Dialogs &dialogs)
{
    if (text.size() == length)
        return true;
    dialogs.info(message);
    return false;
}

namespace {

// The magnitude's digits grouped by threes.
QString groupedMagnitude(qint64 amount)
{
    // Through unsigned so that the smallest 64-bit value has a magnitude too.
    const quint64 magnitude = amount < 0 ? 0 - static_cast<quint64>(amount) : static_cast<quint64>(amount);
    QString digits = QString::number(magnitude);
    for (qsizetype pos = digits.size() - 3; pos > 0; pos -= 3)
        digits.insert(pos, u',');
    return digits;
}

} // namespace

QString formatYen(qint64 amount)
{
    return QStringLiteral("\\") + (amount < 0 ? QStringLiteral("-") : QString()) + groupedMagnitude(amount);
}

QString amountLabel(qint64 amount)
{
    return (amount < 0 ? QStringLiteral("\u2212") : QString()) + QStringLiteral("\\")
        + groupedMagnitude(amount);
}

QString dateLengthMessage(const QString &label)
{
    return label + QStringLiteral("に正しい値(日付)を入力して下さい\r\n(例:20030917)");
}

QString dateTimeText(const Clock &clock)
{
    return clock.now().toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

namespace {

QByteArray logLine(const QString &event, const Clock &clock)
{
    return Cp932::encode(dateTimeText(clock) + u',' + event) + "\r\n";
}

} // namespace

void writeLog(const QString &logPath, const QString &event, Dialogs &dialogs, const Clock &clock)
{
    const QByteArray line = logLine(event, clock);
    QFile in(logPath);
    // The writer never creates the log, and never replaces one it may not write.
    if (!QFileInfo(logPath).isFile() || !QFileInfo(logPath).isWritable() || !in.open(QIODevice::ReadOnly)) {
        dialogs.info(QStringLiteral("ログ書込み失敗"));
        return;
    }
    const QByteArray old = in.readAll();
    const bool readOk = in.error() == QFileDevice::NoError;
    in.close();
    if (!readOk) {
        dialogs.info(QStringLiteral("ログ書込み失敗"));
        return;
    }

    // Every previous line follows the new one, each ended by CR LF. Line ends are found on
    // bytes: no cp932 trail byte is CR or LF.
    QByteArray out;
    out.reserve(line.size() + old.size() + 2);
    out += line;
    qsizetype start = 0;
    const qsizetype n = old.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && old[end] != '\r' && old[end] != '\n')
            ++end;
        out.append(old.constData() + start, end - start);
        out += "\r\n";
        if (end < n && old[end] == '\r' && end + 1 < n && old[end + 1] == '\n')
            end += 2;
        else
            end += 1;
        start = end;
    }
    if (!Cp932::writeFileAtomically(logPath, out))
        dialogs.info(QStringLiteral("ログ書込み失敗"));
}

bool clearLog(const QString &logPath, Dialogs &dialogs, const Clock &clock)
{
    if (!dialogs.ask(QStringLiteral("ログを消去します。よろしいですか？")))
        return false;
    if (!Cp932::writeFileAtomically(logPath, logLine(QStringLiteral("ログが消去されました"), clock))) {
        dialogs.info(QStringLiteral("ログを消去できませんでした"));
        return false;
    }
    dialogs.info(QStringLiteral("ログ消去完了"));
    return true;
}

} // namespace BasGeneral
