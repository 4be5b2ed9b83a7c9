// SPDX-License-Identifier: GPL-3.0-or-later
#include "Csv.h"

#include "Dialogs.h"

#include "BasGeneral.h"
#include "Cp932.h"

#include <QIODevice>
#include <QSaveFile>

namespace Csv {

namespace {

// Text is encoded per block rather than per line: one encoder run over ~64K characters
// costs little more than over one line.
constexpr qsizetype kBlockChars = 64 * 1024;

} // namespace

QString filter()
{
    return QStringLiteral("CSVファイル(*.csv)");
}

QString withCsvSuffix(const QString &path)
{
    if (path.endsWith(QLatin1String(".csv")) || path.endsWith(QLatin1String(".CSV")))
        return path;
    return path + QStringLiteral(".csv");
}

QString createdLine(const QString &label, const Clock &clock)
{
    return label + u',' + BasGeneral::dateTimeText(clock);
}

bool save(const QString &path, const std::function<bool(QIODevice *)> &produce)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() closes the file without reporting a failed flush of its buffer, and a short
    // write (a full disk, a size limit) is not an error to it either: so the buffer is
    // flushed here, and the bytes on disk are counted against the bytes written.
    if (!produce(&file) || !file.flush() || file.size() != file.pos()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

Writer::Writer(QIODevice *device)
    : m_device(device)
{
    m_pending.reserve(kBlockChars + 1024);
}

Writer::~Writer() = default;

void Writer::field(const QString &text)
{
    if (m_lineStarted)
        m_pending += u',';
    m_pending += text;
    m_lineStarted = true;
}

void Writer::endLine()
{
    m_pending += QLatin1String("\r\n");
    m_lineStarted = false;
    if (m_pending.size() >= kBlockChars)
        flush();
}

void Writer::line(const QStringList &fields)
{
    for (const QString &f : fields)
        field(f);
    endLine();
}

void Writer::flush()
{
    if (m_pending.isEmpty())
        return;
    if (m_ok) {
        const QByteArray bytes = Cp932::encode(m_pending);
        m_ok = m_device->write(bytes) == bytes.size();
    }
    m_pending.clear();
}

bool Writer::finish()
{
    flush();
    return m_ok;
}

void saveAs(Dialogs &dialogs, const QString &folder, const QString &proposedName,
    const std::function<bool(QIODevice *)> &produce)
{
    const auto chosen = dialogs.saveFileName(filter(), folder, proposedName);
    if (!chosen)
        return;
    const QString path = withCsvSuffix(*chosen);
    dialogs.info(save(path, produce) ? path + QStringLiteral("に保存しました")
                                     : QStringLiteral("CSV出力に失敗しました"));
}

} // namespace Csv
