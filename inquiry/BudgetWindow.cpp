// SPDX-License-Identifier: GPL-3.0-or-later
#include "BudgetWindow.h"

#include "Amount.h"
#include "BudgetGraph.h"
#include "Csv.h"
#include "Database.h"
#include "Grid.h"
#include "YearHeader.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <limits>

namespace {

constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2100;
constexpr int kKindCol = 2;
constexpr int kFirstMonthCol = 3;
constexpr int kTotalCol = 15;
constexpr int kCarryCol = 16;

using BudgetPlan::By;
using BudgetPlan::Side;

QString levelName(By by)
{
    return by == By::Category ? QStringLiteral("区分別") : QStringLiteral("項目別");
}

QString sideName(Side side)
{
    return side == Side::Income ? QStringLiteral("収入") : QStringLiteral("支出");
}

QString carryCaption(bool on)
{
    return on ? QStringLiteral("繰越あり") : QStringLiteral("繰越なし");
}

} // namespace

BudgetWindow::BudgetWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
    , m_year(new QLineEdit(this))
    , m_spin(new QScrollBar(Qt::Vertical, this))
    , m_expense(YearHeader::option("O_syukkin", "支出", this))
    , m_income(YearHeader::option("O_nyuukin", "収入", this))
    , m_byCategory(YearHeader::option("O_kubun", "区分別", this))
    , m_byItem(YearHeader::option("O_koumoku", "項目別", this))
    , m_grid(new Grid(kCarryCol, 0, this))
    , m_graph(new BudgetGraph(this))
{
    setObjectName(QStringLiteral("F_yosan"));
    setWindowTitle(QStringLiteral("予算と実績"));
    m_year->setObjectName(QStringLiteral("txt_year"));
    m_spin->setObjectName(QStringLiteral("SC"));
    m_grid->setObjectName(QStringLiteral("SP"));

    auto *heading = makeHeading("Label5", QStringLiteral("予算と実績"), this);

    YearHeader::setUpYear(m_year, m_spin, kFirstYear, kLastYear);

    auto *previous = new QPushButton(QStringLiteral("前年の実績から作成"), this);
    previous->setObjectName(QStringLiteral("cmd_zennen"));
    auto *ok = new QPushButton(QStringLiteral("保存"), this);
    ok->setObjectName(QStringLiteral("cmd_ok"));
    auto *csv = new QPushButton(QStringLiteral("CSV出力"), this);
    csv->setObjectName(QStringLiteral("cmd_csv"));
    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));

    auto *top = new QHBoxLayout;
    QGroupBox *sides = YearHeader::optionPair("Frame1", m_expense, m_income, this);
    QGroupBox *levels = YearHeader::optionPair("Frame2", m_byCategory, m_byItem, this);
    YearHeader::addYearAndOptions(top, heading, m_year, m_spin, sides, levels);
    top->addStretch(1);
    top->addWidget(previous);
    top->addWidget(ok);
    top->addWidget(csv);
    top->addWidget(end);

    constexpr qint64 lo = std::numeric_limits<qint64>::min(), hi = std::numeric_limits<qint64>::max();
    m_grid->setTextColumn(1);
    m_grid->setColumnWidthChars(1, 14);
    m_grid->setTextColumn(kKindCol);
    m_grid->setColumnWidthChars(kKindCol, 4);
    for (int m = 1; m <= 12; ++m) {
        const int col = kFirstMonthCol + m - 1;
        m_grid->setNumericColumn(col, lo, hi);
        m_grid->setHeading(col, QStringLiteral("%1月").arg(m));
        m_grid->setColumnWidthChars(col, 9);
    }
    m_grid->setNumericColumn(kTotalCol, lo, hi);
    m_grid->setHeading(kTotalCol, QStringLiteral("年計"));
    m_grid->setColumnWidthChars(kTotalCol, 11);
    m_grid->setTextColumn(kCarryCol);
    m_grid->setHeading(kCarryCol, QStringLiteral("繰越"));
    m_grid->setColumnWidthChars(kCarryCol, 8);
    int gridWidth = 2 * m_grid->frameWidth() + m_grid->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c <= kCarryCol; ++c)
        gridWidth += m_grid->columnWidth(c);
    m_grid->setMinimumWidth(gridWidth);

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(m_grid, 3);
    outer->addWidget(m_graph, 2);
    resize(sizeHint().width(), fontMetrics().height() * 48);

    m_expense->setChecked(true);
    m_byCategory->setChecked(true);

    connect(m_spin, &QScrollBar::valueChanged, this, [this](int year) {
        m_year->setText(QString::number(year));
        yearOrSideChanged();
    });
    for (QRadioButton *b : {m_income, m_expense})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                yearOrSideChanged();
        });
    for (QRadioButton *b : {m_byCategory, m_byItem})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                levelChanged();
        });
    connect(m_grid, &Grid::buttonClicked, this, [this](int col, int row, bool) {
        if (col == kCarryCol)
            carryClicked(row);
    });
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex &current) { showInGraph(current.row() + 1); });
    connect(previous, &QPushButton::clicked, this, &BudgetWindow::createFromPreviousYear);
    connect(ok, &QPushButton::clicked, this, &BudgetWindow::save);
    connect(csv, &QPushButton::clicked, this, &BudgetWindow::exportCsv);
    connect(end, &QPushButton::clicked, this, &QWidget::close);
}

void BudgetWindow::load()
{
    Choice c;
    c.year = qBound(kFirstYear, clock().today().year(), kLastYear);
    setControls(c);
    refresh();
}

BudgetWindow::Choice BudgetWindow::chosen() const
{
    return Choice {m_year->text().toInt(), m_income->isChecked() ? Side::Income : Side::Expense,
        m_byItem->isChecked() ? By::Item : By::Category};
}

void BudgetWindow::setControls(const Choice &c)
{
    m_settingControls = true;
    m_spin->setValue(c.year);
    m_year->setText(QString::number(c.year));
    (c.side == Side::Income ? m_income : m_expense)->setChecked(true);
    (c.by == By::Item ? m_byItem : m_byCategory)->setChecked(true);
    m_settingControls = false;
}

void BudgetWindow::yearOrSideChanged()
{
    if (!m_settingControls && !refresh() && m_shown.year != 0)
        setControls(m_shown);
}

bool BudgetWindow::refresh()
{
    Choice c = chosen();
    std::optional<BudgetPlan::Plan> stored;
    CategoryTotals::Year actual;
    const bool ok = withRead([&](Database &db) {
        stored = BudgetPlan::load(db, c.side, c.year);
        // A planned year is shown at the level it was planned at.
        if (stored)
            c.by = stored->by;
        actual = BudgetPlan::actual(db, c.side, c.by, c.year);
    });
    if (!ok)
        return false;
    m_stored = stored.has_value();
    m_plan = stored.value_or(BudgetPlan::Plan {c.by, {}});
    m_actual = actual;
    m_shown = c;
    setControls(c);
    display();
    return true;
}

void BudgetWindow::levelChanged()
{
    if (m_settingControls)
        return;
    const Choice c = chosen();
    if (c.by == m_plan.by)
        return;
    if (m_stored || !m_plan.rows.isEmpty()) {
        if (!dialogs().ask(
                QStringLiteral("%1年の%2予算は%3で作成されています。%4に切り替えますか？")
                    .arg(QString::number(c.year), sideName(c.side), levelName(m_plan.by), levelName(c.by)))) {
            setControls(m_shown);
            return;
        }
    }
    CategoryTotals::Year actual;
    if (!withRead([&](Database &db) { actual = BudgetPlan::actual(db, c.side, c.by, c.year); })) {
        setControls(m_shown);
        return;
    }
    // The new level starts empty; the stored plan is replaced only when this one is saved.
    m_plan = BudgetPlan::Plan {c.by, {}};
    m_actual = actual;
    m_shown = c;
    display();
}

void BudgetWindow::display()
{
    m_sheet = BudgetPlan::compare(m_plan, m_actual);
    const int lines = int(m_sheet.lines.size()) + 1;
    m_grid->clearCells();
    m_grid->setMaxRows(lines * RowsPerLine);
    m_grid->setHeading(1, m_plan.by == By::Category ? QStringLiteral("区分") : QStringLiteral("項目"));
    const QColor normal, red(Qt::red); // normal: the palette's text colour
    auto put = [&](int row, const QString &kind, const std::array<qint64, 12> &months, qint64 total,
                   bool remainder) {
        m_grid->setText(kKindCol, row, kind);
        for (int m = 0; m < 12; ++m) {
            m_grid->setText(kFirstMonthCol + m, row, QString::number(months[m]));
            m_grid->setCellTextColor(kFirstMonthCol + m, row, remainder && months[m] < 0 ? red : normal);
        }
        m_grid->setText(kTotalCol, row, QString::number(total));
        m_grid->setCellTextColor(kTotalCol, row, remainder && total < 0 ? red : normal);
    };
    for (int i = 0; i < lines; ++i) {
        const bool isTotal = i == lines - 1;
        const BudgetPlan::Line &line = isTotal ? m_sheet.total : m_sheet.lines.at(i);
        const int row = i * RowsPerLine + 1;
        m_grid->setText(1, row, line.name);
        put(row, QStringLiteral("予算"), line.budget, line.budgetTotal, false);
        put(row + 1, QStringLiteral("実績"), line.actual, line.actualTotal, false);
        put(row + 2, QStringLiteral("残"), line.remainder, line.remainderTotal, true);
        if (!isTotal) {
            // The budget cells are the input cells, their figures grouped by threes as the rows
            // below; the switch turns carry-over on and off.
            for (int m = 0; m < 12; ++m) {
                m_grid->setCellKind(kFirstMonthCol + m, row, Grid::Kind::Numeric);
                m_grid->setCellLocked(kFirstMonthCol + m, row, false);
            }
            m_grid->setCellKind(kCarryCol, row, Grid::Kind::Button);
            m_grid->setButtonCaption(kCarryCol, row, carryCaption(line.carry));
        }
    }
    showInGraph(m_grid->currentIndex().isValid() ? m_grid->currentIndex().row() + 1 : 0);
}

void BudgetWindow::showInGraph(int row)
{
    const int line = row >= 1 ? (row - 1) / RowsPerLine : -1;
    const BudgetPlan::Line &l
        = line >= 0 && line < m_sheet.lines.size() ? m_sheet.lines.at(line) : m_sheet.total;
    m_graph->setMonths(l.name, l.budget, l.actual, l.remainder);
}

std::optional<BudgetPlan::Plan> BudgetWindow::planFromGrid()
{
    BudgetPlan::Plan plan;
    plan.by = m_plan.by;
    for (int i = 0; i < m_sheet.lines.size(); ++i) {
        const BudgetPlan::Line &line = m_sheet.lines.at(i);
        const int row = i * RowsPerLine + 1;
        BudgetPlan::Row r;
        r.name = line.name;
        r.carry = line.carry;
        bool any = false;
        for (int m = 0; m < 12; ++m) {
            QString text = m_grid->text(kFirstMonthCol + m, row).trimmed();
            text.remove(u',');
            const std::optional<qint32> v = text.isEmpty() ? std::optional<qint32>(0) : Amount::parse(text);
            if (!v) {
                dialogs().info(QStringLiteral("%1の%2月の予算は0から2147483647までの整数で入力してください")
                                   .arg(line.name)
                                   .arg(m + 1));
                return std::nullopt;
            }
            r.months[m] = *v;
            any = any || *v != 0;
        }
        // A row with nothing planned and no switch is not kept.
        if (line.planned || any || r.carry)
            plan.rows << r;
    }
    return plan;
}

void BudgetWindow::carryClicked(int row)
{
    const int line = (row - 1) / RowsPerLine;
    if ((row - 1) % RowsPerLine != 0 || line >= m_sheet.lines.size())
        return;
    // The budget cells as edited so far stay; the remainders follow the switch.
    std::optional<BudgetPlan::Plan> plan = planFromGrid();
    if (!plan)
        return;
    const QString name = m_sheet.lines.at(line).name;
    bool found = false;
    for (BudgetPlan::Row &r : plan->rows)
        if (r.name == name) {
            r.carry = !r.carry;
            found = true;
        }
    if (!found) {
        BudgetPlan::Row r;
        r.name = name;
        r.carry = true;
        plan->rows << r;
    }
    m_plan = *plan;
    display();
}

bool BudgetWindow::save()
{
    const std::optional<BudgetPlan::Plan> plan = planFromGrid();
    if (!plan)
        return false;
    const Choice c = m_shown;
    if (!withWrite(QStringLiteral("%1年の%2予算（%3）を保存")
                       .arg(QString::number(c.year), sideName(c.side), levelName(plan->by)),
            [&](Database &db) { BudgetPlan::save(db, c.side, c.year, *plan); }))
        return false;
    dialogs().info(QStringLiteral("保存しました"));
    return refresh();
}

bool BudgetWindow::createFromPreviousYear()
{
    const Choice c = m_shown;
    if ((m_stored || !m_plan.rows.isEmpty())
        && !dialogs().ask(
            QStringLiteral("%1年の予算を前年の実績から作り直します　よろしいですか？").arg(c.year)))
        return false;
    CategoryTotals::Year previous;
    if (!withRead([&](Database &db) { previous = BudgetPlan::actual(db, c.side, m_plan.by, c.year - 1); }))
        return false;
    const std::optional<BudgetPlan::Plan> plan = BudgetPlan::fromActual(previous, m_plan.by);
    if (!plan) {
        dialogs().info(QStringLiteral("前年の実績に予算の上限（2147483647円）を超える月があります"));
        return false;
    }
    // The switches already set stay with their rows.
    BudgetPlan::Plan made = *plan;
    for (BudgetPlan::Row &r : made.rows)
        for (const BudgetPlan::Row &old : std::as_const(m_plan.rows))
            if (old.name == r.name)
                r.carry = old.carry;
    m_plan = made;
    display();
    return true;
}

bool BudgetWindow::writeCsv(QIODevice *out) const
{
    Csv::Writer w(out);
    w.line({QString::number(m_shown.year),
        QStringLiteral("年度　予算と実績（%1・%2）").arg(sideName(m_shown.side), levelName(m_plan.by))});
    w.line({Csv::createdLine(QStringLiteral("リスト作成日:"), clock())});
    for (int row = 0; row <= m_grid->maxRows(); ++row) {
        for (int col = 1; col < kCarryCol; ++col)
            w.field(m_grid->text(col, row));
        // The switch as a word; the heading row keeps its heading.
        if (row == 0)
            w.field(m_grid->heading(kCarryCol));
        else if ((row - 1) % RowsPerLine == 0 && (row - 1) / RowsPerLine < m_sheet.lines.size())
            w.field(m_sheet.lines.at((row - 1) / RowsPerLine).carry ? QStringLiteral("あり")
                                                                    : QStringLiteral("なし"));
        else
            w.field(QString());
        w.endLine();
    }
    w.endLine();
    return w.finish();
}

void BudgetWindow::exportCsv()
{
    Csv::saveAs(dialogs(), context().appDir, QStringLiteral("%1年予算と実績.CSV").arg(m_shown.year),
        [this](QIODevice *out) { return writeCsv(out); });
}
