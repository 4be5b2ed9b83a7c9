#include "GridRows.h"

#include "Database.h"

#include <QVariant>

namespace GridRows {

GridColumns read(Cursor &cursor, const std::vector<int> &positions)
{
    const int cols = int(positions.size());
    GridColumns block(cols);
    for (; !cursor.eof(); cursor.next()) {
        for (int c = 0; c < cols; ++c) {
            const QVariant v = cursor.value(positions[size_t(c)]);
            // Texts are taken as the driver made them; only other values are converted.
            if (v.typeId() == QMetaType::QString)
                block.append(c, *static_cast<const QString *>(v.constData()));
            else
                block.append(c, v.isNull() ? QString() : v.toString());
        }
    }
    return block;
}

} // namespace GridRows
