// SPDX-License-Identifier: GPL-3.0-or-later
#include "History.h"

#include "BusyCursor.h"
#include "Database.h"
#include "Grid.h"
#include "GridRows.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <vector>

namespace {

constexpr int initialRows = 500;
constexpr qint64 numericLimit = 9'999'999'999;

struct Column
{
    const char *heading;
    const char *field;
    bool numeric;
    double width; // characters; < 0 keeps the grid's default
};

Grid *makeGrid(const char *name, const std::vector<Column> &columns)
{
    auto *grid = new Grid(int(columns.size()), initialRows);
    grid->setObjectName(QString::fromLatin1(name));
    for (int c = 1; c <= int(columns.size()); ++c) {
        const Column &col = columns[c - 1];
        grid->setHeading(c, QString::fromUtf8(col.heading));
        if (col.numeric)
            grid->setNumericColumn(c, -numericLimit, numericLimit);
        else
            grid->setTextColumn(c);
        if (col.width >= 0)
            grid->setColumnWidthChars(c, col.width);
    }
    return grid;
}

// Reads the whole statement first and only then fills the grid, so that a failure part-way
// leaves the grid as it was rather than showing part of a history as if it were all of it.
void fill(Database &db, const QString &sql, const std::vector<Column> &columns, Grid *grid)
{
    Cursor c = db.query(sql);
    std::vector<int> positions;
    if (!c.eof()) {
        for (const Column &col : columns)
            positions.push_back(c.indexOf(QString::fromLatin1(col.field)));
    }
    grid->replaceRows(GridRows::read(c, positions));
}

const std::vector<Column> &stocktakeColumns()
{
    static const std::vector<Column> columns {
        {"日付", "K_day", false, 9.25},
        {"保管場所", "K_hokan", false, 13.37},
        {"変更前金額", "K_Bmoney", true, 10.87},
        {"変更後金額", "K_Amoney", true, 10.87},
        {"変更理由", "K_riyuu", false, 34.86},
    };
    return columns;
}

const std::vector<Column> &transferColumns()
{
    static const std::vector<Column> columns {
        {"日付", "I_day", false, -1},
        {"保管移動元", "I_hokanmoto", false, 11.5},
        {"保管移動先", "I_hokansaki", false, 11.5},
        {"金額", "I_money", true, 17.87},
        {"備考", "I_memo", false, 30.12},
    };
    return columns;
}

} // namespace

History::History(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_rireki_S"));
    setWindowTitle(QStringLiteral("棚卸・移動履歴照会"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 10, 12, 12);

    auto *top = new QHBoxLayout;
    auto *heading = makeHeading("Label5", QStringLiteral("棚卸・移動履歴照会"), this);
    top->addWidget(heading, 1);
    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));
    connect(end, &QPushButton::clicked, this, &QWidget::close);
    top->addWidget(end, 0, Qt::AlignTop);
    outer->addLayout(top);

    m_tab = new QTabWidget(this);
    m_tab->setObjectName(QStringLiteral("TAB"));
    m_stocktakes = makeGrid("SP1", stocktakeColumns());
    m_transfers = makeGrid("SP2", transferColumns());
    m_tab->addTab(m_stocktakes, QStringLiteral("棚　卸"));
    m_tab->addTab(m_transfers, QStringLiteral("移　動"));
    outer->addWidget(m_tab, 1);

    resize(760, 480);
}

void History::load()
{
    withDb([&] {
        const BusyCursor busy;
        Database db(dbPath());
        db.mapForReading(); // both tables are read whole
        fill(db, QStringLiteral("SELECT * FROM Ktanaorosi_T ORDER BY K_day DESC"), stocktakeColumns(),
            m_stocktakes);
        fill(db, QStringLiteral("SELECT * FROM Idourireki_T ORDER BY I_day DESC"), transferColumns(),
            m_transfers);
    });
}
