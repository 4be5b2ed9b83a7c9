// SPDX-License-Identifier: GPL-3.0-or-later
#include "CategoryReport.h"

#include "Csv.h"
#include "Database.h"
#include "Grid.h"
#include "PieChart.h"
#include "YearHeader.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace {

constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2100;
constexpr int kTotalCol = 14;
constexpr int kShareCol = 15;
// The year's budget and what is left of it, shown when the year has a plan at the level shown.
constexpr int kBudgetCol = 16;
constexpr int kRemainderCol = 17;

using CategoryTotals::By;
using CategoryTotals::Side;

QString nameHeading(By by)
{
    return by == By::Category ? QStringLiteral("区分") : QStringLiteral("項目");
}

} // namespace

CategoryReport::CategoryReport(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
    , m_year(new QLineEdit(this))
    , m_spin(new QScrollBar(Qt::Vertical, this))
    , m_income(YearHeader::option("O_nyu", "収入", this))
    , m_expense(YearHeader::option("O_syu", "支出", this))
    , m_byCategory(YearHeader::option("O_kubun", "区分別", this))
    , m_byItem(YearHeader::option("O_koumoku", "項目別", this))
    , m_grid(new Grid(kRemainderCol, 1, this))
    , m_pie(new PieChart(this))
{
    setObjectName(QStringLiteral("F_bunrui_S"));
    setWindowTitle(QStringLiteral("区分別集計照会"));
    m_year->setObjectName(QStringLiteral("txt_year"));
    m_spin->setObjectName(QStringLiteral("SC"));
    m_grid->setObjectName(QStringLiteral("SP"));

    auto *heading = makeHeading("Label5", QStringLiteral("区分別集計照会"), this);

    YearHeader::setUpYear(m_year, m_spin, kFirstYear, kLastYear);

    auto *csv = new QPushButton(QStringLiteral("CSV出力"), this);
    csv->setObjectName(QStringLiteral("cmd_csv"));
    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));

    auto *top = new QHBoxLayout;
    QGroupBox *sides = YearHeader::optionPair("Frame1", m_income, m_expense, this);
    QGroupBox *levels = YearHeader::optionPair("Frame2", m_byCategory, m_byItem, this);
    YearHeader::addYearAndOptions(top, heading, m_year, m_spin, sides, levels);
    top->addStretch(1);
    top->addWidget(csv);
    top->addWidget(end);

    m_grid->setTextColumn(1);
    m_grid->setColumnWidthChars(1, 16);
    for (int m = 1; m <= 12; ++m) {
        m_grid->setNumericColumn(
            m + 1, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
        m_grid->setHeading(m + 1, QStringLiteral("%1月").arg(m));
        m_grid->setColumnWidthChars(m + 1, 9);
    }
    m_grid->setNumericColumn(
        kTotalCol, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    m_grid->setHeading(kTotalCol, QStringLiteral("合計"));
    m_grid->setColumnWidthChars(kTotalCol, 11);
    m_grid->setTextColumn(kShareCol);
    m_grid->setHeading(kShareCol, QStringLiteral("構成比"));
    m_grid->setColumnWidthChars(kShareCol, 7);
    for (int col : {kBudgetCol, kRemainderCol}) {
        m_grid->setNumericColumn(col, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
        m_grid->setColumnWidthChars(col, 11);
        m_grid->setColumnHidden(col - 1, true);
    }
    m_grid->setHeading(kBudgetCol, QStringLiteral("予算"));
    m_grid->setHeading(kRemainderCol, QStringLiteral("予算残"));
    int gridWidth = 2 * m_grid->frameWidth() + m_grid->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < kShareCol; ++c)
        gridWidth += m_grid->columnWidth(c);
    m_grid->setMinimumWidth(gridWidth);

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(m_grid, 3);
    outer->addWidget(m_pie, 2);

    resize(sizeHint().width(), fontMetrics().height() * 44);

    m_expense->setChecked(true);
    m_byCategory->setChecked(true);

    connect(m_spin, &QScrollBar::valueChanged, this, [this](int year) {
        m_year->setText(QString::number(year));
        optionChanged();
    });
    for (QRadioButton *b : {m_income, m_expense, m_byCategory, m_byItem}) {
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                optionChanged();
        });
    }
    connect(csv, &QPushButton::clicked, this, &CategoryReport::exportCsv);
    connect(end, &QPushButton::clicked, this, &QWidget::close);
}

void CategoryReport::load()
{
    // A current year outside the spinner's range shows the nearest year it has.
    Choice c;
    c.year = qBound(kFirstYear, clock().today().year(), kLastYear);
    setControls(c);
    refresh();
}

bool CategoryReport::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate && !m_year->text().isEmpty()) {
        if (m_skipActivation)
            m_skipActivation = false;
        else
            refresh();
    }
    return TaskWindow::event(e);
}

CategoryReport::Choice CategoryReport::chosen() const
{
    return Choice {m_year->text().toInt(), m_income->isChecked() ? Side::Income : Side::Expense,
        m_byItem->isChecked() ? By::Item : By::Category};
}

void CategoryReport::setControls(const Choice &c)
{
    m_settingControls = true;
    m_spin->setValue(c.year);
    m_year->setText(QString::number(c.year));
    (c.side == Side::Income ? m_income : m_expense)->setChecked(true);
    (c.by == By::Item ? m_byItem : m_byCategory)->setChecked(true);
    m_settingControls = false;
}

void CategoryReport::optionChanged()
{
    if (!m_settingControls)
        refresh();
}

bool CategoryReport::refresh()
{
    const Choice c = chosen();
    CategoryTotals::Year totals;
    std::optional<BudgetPlan::Plan> plan;
    const bool ok = withRead([&](Database &db) {
        totals = CategoryTotals::read(db, c.side, c.by, c.year);
        plan = BudgetPlan::load(db, c.side, c.year);
    });
    if (!ok) {
        m_skipActivation = true;
        // What is shown is never labelled with another year or option.
        if (m_shown.year != 0)
            setControls(m_shown);
        return false;
    }
    m_skipActivation = false;
    display(c, totals, plan && plan->by == c.by ? plan : std::nullopt);
    return true;
}

void CategoryReport::display(
    const Choice &c, const CategoryTotals::Year &totals, const std::optional<BudgetPlan::Plan> &plan)
{
    const int rows = int(totals.rows.size()) + 1;
    m_grid->clearCells();
    m_grid->setMaxRows(rows);
    m_grid->setHeading(1, nameHeading(c.by));
    auto fill = [this](int row, const QString &name, const std::array<qint64, 12> &months, qint64 total,
                    const QString &share) {
        m_grid->setText(1, row, name);
        for (int m = 1; m <= 12; ++m) {
            const qint64 v = months[m - 1];
            m_grid->setText(m + 1, row, QString::number(v));
            m_grid->setCellTextColor(m + 1, row, v < 0 ? QColor(Qt::red) : QColor());
        }
        m_grid->setText(kTotalCol, row, QString::number(total));
        m_grid->setCellTextColor(kTotalCol, row, total < 0 ? QColor(Qt::red) : QColor());
        m_grid->setText(kShareCol, row, share);
    };
    QList<std::pair<QString, qint64>> slices;
    for (int i = 0; i < totals.rows.size(); ++i) {
        const CategoryTotals::Row &r = totals.rows.at(i);
        fill(i + 1, r.name, r.months, r.total, CategoryTotals::percentText(r.shareTenths));
        slices.append({r.name, r.total});
    }
    // The rows above zero share the whole; the total's share says whether there are any.
    const bool anyShare = std::any_of(
        totals.rows.begin(), totals.rows.end(), [](const CategoryTotals::Row &r) { return r.total > 0; });
    fill(rows, QStringLiteral("合計"), totals.months, totals.total,
        CategoryTotals::percentText(anyShare ? 1000 : 0));
    m_budgetShown = plan.has_value();
    m_grid->setColumnHidden(kBudgetCol - 1, !m_budgetShown);
    m_grid->setColumnHidden(kRemainderCol - 1, !m_budgetShown);
    if (m_budgetShown) {
        // The same comparison the budget window makes, of the same sums.
        const BudgetPlan::Sheet sheet = BudgetPlan::compare(*plan, totals);
        QHash<QString, const BudgetPlan::Line *> lineOf;
        for (const BudgetPlan::Line &line : sheet.lines)
            lineOf.insert(line.name, &line);
        auto budget = [this](int row, qint64 planned, qint64 left) {
            m_grid->setText(kBudgetCol, row, QString::number(planned));
            m_grid->setText(kRemainderCol, row, QString::number(left));
            m_grid->setCellTextColor(kRemainderCol, row, left < 0 ? QColor(Qt::red) : QColor());
        };
        for (int i = 0; i < totals.rows.size(); ++i) {
            const BudgetPlan::Line *line = lineOf.value(totals.rows.at(i).name);
            budget(i + 1, line->budgetTotal, line->remainderTotal);
        }
        budget(rows, sheet.total.budgetTotal, sheet.total.remainderTotal);
    }
    m_pie->setTotals(slices);
    m_shown = c;
}

QString CategoryReport::title(const Choice &c) const
{
    return QStringLiteral("年度　%1集計（%2）")
        .arg(c.by == By::Category ? QStringLiteral("区分別") : QStringLiteral("項目別"),
            c.side == Side::Income ? QStringLiteral("収入") : QStringLiteral("支出"));
}

bool CategoryReport::writeCsv(QIODevice *out) const
{
    Csv::Writer w(out);
    w.line({QString::number(m_shown.year), title(m_shown)});
    w.line({Csv::createdLine(QStringLiteral("リスト作成日:"), clock())});
    for (int row = 0; row <= m_grid->maxRows(); ++row) {
        for (int col = 1; col <= (m_budgetShown ? kRemainderCol : kShareCol); ++col)
            w.field(m_grid->text(col, row));
        w.endLine();
    }
    w.endLine();
    return w.finish();
}

void CategoryReport::exportCsv()
{
    if (m_shown.year == 0)
        m_shown = chosen(); // nothing read yet: the file holds the headings of the choice
    const QString kind = m_shown.by == By::Category ? QStringLiteral("区分別") : QStringLiteral("項目別");
    Csv::saveAs(dialogs(), context().appDir, QStringLiteral("%1年%2集計.CSV").arg(m_shown.year).arg(kind),
        [this](QIODevice *out) { return writeCsv(out); });
}
