// SPDX-License-Identifier: GPL-3.0-or-later
#include "ItemDetail.h"

#include "BarGraph.h"
#include "BusyCursor.h"
#include "Database.h"
#include "Grid.h"
#include "TypedCombo.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// An amount of the list as plain digits: a whole number as it is, a decimal one cut to its
// whole part; anything else, or a value beyond 32 bits, is a failure of the read.
QString amountText(QStringView text, const QString &column)
{
    bool ok = false;
    qint64 n = text.trimmed().toLongLong(&ok);
    if (!ok) {
        const double d = text.toDouble(&ok);
        ok = ok && std::isfinite(d) && std::fabs(d) < 9.2e18;
        n = ok ? static_cast<qint64>(d) : 0;
    }
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        throw DbError(QStringLiteral("column %1 is no 32-bit number").arg(column));
    return QString::number(n);
}

// True when the text is already what amountText() makes of it: a whole number of up to nine
// digits, without leading zeros or sign other than a minus.
bool isPlainAmount(QStringView text)
{
    const QStringView digits = text.startsWith(u'-') ? text.mid(1) : text;
    if (digits.isEmpty() || digits.size() > 9 || (digits.front() == u'0' && text.size() > 1))
        return false;
    return std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

constexpr int initialRows = 500;
constexpr qint64 numericLimit = 9'999'999'999;

} // namespace

ItemDetail::ItemDetail(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_list_S"));
    setWindowTitle(QStringLiteral("項目別詳細内容照会"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 10, 12, 12);

    auto *heading = makeHeading("Label5", QStringLiteral("項目別詳細内容照会"), this);
    outer->addWidget(heading);

    auto *conditions = new QGroupBox(QStringLiteral("検索条件"), this);
    conditions->setObjectName(QStringLiteral("F_kensaku"));
    auto *condRows = new QVBoxLayout(conditions);

    auto *itemRow = new QHBoxLayout;
    auto *itemLabel = new QLabel(QStringLiteral("項目名"), conditions);
    itemLabel->setObjectName(QStringLiteral("Label1"));
    m_items = newTypedCombo(QStringLiteral("cb_list"), 16, conditions);
    m_items->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    itemLabel->setBuddy(m_items);
    itemRow->addWidget(itemLabel);
    itemRow->addWidget(m_items);
    itemRow->addStretch(1);
    condRows->addLayout(itemRow);

    auto *optionRow = new QHBoxLayout;
    auto *period = new QGroupBox(QStringLiteral("検索日数"), conditions);
    period->setObjectName(QStringLiteral("F_day"));
    auto *periodRow = new QHBoxLayout(period);
    const struct
    {
        const char *name;
        const char *caption;
        std::optional<int> months;
    } periods[] = {
        {"Ozenken", "全件", std::nullopt},
        {"Ohitotuki", "過去１ヶ月", 1},
        {"Osannkagetu", "過去3ヶ月", 2},
        {"Ohantosi", "過去半年", 5},
        {"Oitinen", "過去一年", 12},
    };
    for (const auto &p : periods) {
        auto *b = new QRadioButton(QString::fromUtf8(p.caption), period);
        b->setObjectName(QString::fromLatin1(p.name));
        periodRow->addWidget(b);
        m_periods.emplace_back(b, p.months);
    }
    m_periods.front().first->setChecked(true);
    optionRow->addWidget(period);

    auto *order = new QGroupBox(QStringLiteral("表示順序"), conditions);
    order->setObjectName(QStringLiteral("F_zyunzyo"));
    auto *orderRow = new QHBoxLayout(order);
    auto *byDate = new QRadioButton(QStringLiteral("日付順"), order);
    byDate->setObjectName(QStringLiteral("O2day"));
    byDate->setChecked(true);
    m_byAmount = new QRadioButton(QStringLiteral("金額順"), order);
    m_byAmount->setObjectName(QStringLiteral("O2money"));
    orderRow->addWidget(byDate);
    orderRow->addWidget(m_byAmount);
    optionRow->addWidget(order);
    optionRow->addStretch(1);
    condRows->addLayout(optionRow);

    auto *top = new QHBoxLayout;
    top->addWidget(conditions, 1);
    auto *buttons = new QVBoxLayout;
    auto *searchButton = new QPushButton(QStringLiteral("検索結果表示"), this);
    searchButton->setObjectName(QStringLiteral("cmd_kensaku"));
    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));
    buttons->addStretch(1);
    buttons->addWidget(searchButton);
    buttons->addWidget(end);
    top->addLayout(buttons);
    outer->addLayout(top);

    m_tab = new QTabWidget(this);
    m_tab->setObjectName(QStringLiteral("TAB"));
    m_grid = new Grid(4, initialRows);
    m_grid->setObjectName(QStringLiteral("SP"));
    const char *headings[] = {"日付", "金額", "保管場所", "備考"};
    const double widths[] = {10.75, 14.25, 13.37, 48};
    for (int c = 1; c <= 4; ++c) {
        m_grid->setHeading(c, QString::fromUtf8(headings[c - 1]));
        m_grid->setColumnWidthChars(c, widths[c - 1]);
    }
    m_grid->setTextColumn(1);
    m_grid->setNumericColumn(2, -numericLimit, numericLimit);
    m_grid->setTextColumn(3);
    m_grid->setTextColumn(4);
    m_tab->addTab(m_grid, QStringLiteral("リスト表示"));

    auto *graphPage = new QWidget;
    auto *graphLayout = new QVBoxLayout(graphPage);
    graphLayout->setContentsMargins(0, 0, 0, 0);
    m_graph = new BarGraph(graphPage);
    graphLayout->addWidget(m_graph, 0, Qt::AlignLeft | Qt::AlignTop);
    graphLayout->addStretch(1);
    m_tab->addTab(graphPage, QStringLiteral("グラフ表示(10回分)"));
    outer->addWidget(m_tab, 1);

    connect(searchButton, &QPushButton::clicked, this, &ItemDetail::search);
    connect(end, &QPushButton::clicked, this, &QWidget::close);
}

void ItemDetail::load()
{
    withDb([&] {
        Database db(dbPath());
        {
            Cursor c = db.query(QStringLiteral("SELECT N_index FROM Nyuukin_T"));
            for (; !c.eof(); c.next())
                m_items->addItem(c.text(QStringLiteral("N_index")));
        }
        Cursor c = db.query(QStringLiteral("SELECT S_index FROM Syukkin_T"));
        for (; !c.eof(); c.next())
            m_items->addItem(c.text(QStringLiteral("S_index")));
    });
    // The name box starts empty: the user picks or types the item.
    m_items->setCurrentIndex(-1);
    m_items->setEditText(QString());
}

qint32 ItemDetail::startDate(int yearMonth, int months)
{
    const int monthIndex = (yearMonth / 100) * 12 + (yearMonth % 100 - 1) - months;
    return ((monthIndex / 12) * 100 + monthIndex % 12 + 1) * 100 + 1;
}

QString ItemDetail::searchStatement(
    bool income, const QString &item, std::optional<qint32> start, bool byAmount)
{
    const QString p = income ? QStringLiteral("N") : QStringLiteral("S");
    const QString orderBy = QStringLiteral(") ORDER BY ") + p
        + (byAmount ? QStringLiteral("_money DESC") : QStringLiteral("_date DESC"));
    const QString name = Database::escape(item);
    if (!start)
        return QStringLiteral("SELECT * FROM ") + p + QStringLiteral(" WHERE ( ") + p
            + QStringLiteral("_index = '") + name + QStringLiteral("'") + orderBy;
    return QStringLiteral("SELECT * FROM ") + p + QStringLiteral(" WHERE (") + p
        + QStringLiteral("_index = '") + name + QStringLiteral("' AND ") + p + QStringLiteral("_date>=")
        + QString::number(*start) + orderBy;
}

bool ItemDetail::isIncomeItem(Database &db, const QString &item)
{
    // Whether a table holds any posting of the name, asked through the table's item index:
    // walking every posting row to find the first one took most of a search's time on a
    // large ledger.
    auto hasPosting = [&](const QString &p) {
        return !db.query(QStringLiteral("SELECT * FROM %1 WHERE ( %1_index = '%2')")
                             .arg(p, Database::escape(item)))
                    .eof();
    };
    // Postings in S make the name an expense item even when it has income postings too.
    bool income = hasPosting(QStringLiteral("N"));
    if (hasPosting(QStringLiteral("S")))
        income = false;
    return income;
}

std::optional<int> ItemDetail::selectedMonths() const
{
    for (const auto &[button, months] : m_periods) {
        if (button->isChecked())
            return months;
    }
    return std::nullopt;
}

void ItemDetail::search()
{
    const QString item = m_items->currentText();
    if (item.isEmpty()) {
        dialogs().info(QStringLiteral("項目名が選択されてません"));
        return;
    }
    const QDate today = clock().today();
    const int yearMonth = today.year() * 100 + today.month();
    const std::optional<int> months = selectedMonths();
    const bool byAmount = m_byAmount->isChecked();

    // Everything is read before the grid is touched, so a failure leaves the list and the
    // graph of the previous search as they were.
    GridColumns rows(4);
    const bool ok = withDb([&] {
        const BusyCursor busy;
        Database db(dbPath());
        const bool income = isIncomeItem(db, item);
        std::optional<qint32> start;
        if (months)
            start = startDate(yearMonth, *months);
        const QString p = income ? QStringLiteral("N") : QStringLiteral("S");
        const QString date = p + QStringLiteral("_date"), money = p + QStringLiteral("_money"),
                      hokan = p + QStringLiteral("_hokan"), memo = p + QStringLiteral("_memo");
        Cursor c = db.query(searchStatement(income, item, start, byAmount));
        if (c.eof())
            return;
        const std::vector<int> positions {
            c.indexOf(date), c.indexOf(money), c.indexOf(hokan), c.indexOf(memo)};
        c.readTexts(positions, [&rows, &money](int col, QStringView text) {
            if (col == 1 && !isPlainAmount(text))
                rows.append(col, amountText(text, money));
            else
                rows.append(col, text);
        });
    });
    if (!ok)
        return;
    const BusyCursor busy;
    m_grid->replaceRows(std::move(rows));
    drawGraph();
}

void ItemDetail::drawGraph()
{
    const int n = qMin(m_grid->maxRows(), BarGraph::Slots);
    std::vector<qint64> amounts;
    qint64 max = 0;
    for (int row = 1; row <= n; ++row) {
        amounts.push_back(m_grid->text(2, row).toLongLong());
        max = qMax(max, amounts.back());
    }
    m_graph->clear();
    for (int i = 0; i < n; ++i) {
        m_graph->setSlot(i, BarGraph::gapPercent(amounts[i], max), m_grid->text(1, i + 1),
            QStringLiteral("\\") + QString::number(amounts[i]));
    }
}
