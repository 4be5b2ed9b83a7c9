// SPDX-License-Identifier: GPL-3.0-or-later
#include "YearlyTotals.h"

#include "Contrast.h"
#include "Csv.h"
#include "Database.h"
#include "Grid.h"
#include "MonthlyTotals.h"
#include "YearlyGraph.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {

constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2100;
const char16_t *const kRowHeadings[] = {u"収入", u"支出", u"収支差額"};

} // namespace

YearlyTotals::YearlyTotals(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
    , m_graph(new YearlyGraph(this))
    , m_heading(new QLabel(QStringLiteral("収支合計金額照会"), this))
    , m_year(new QLineEdit(this))
    , m_spin(new QScrollBar(Qt::Vertical, this))
    , m_grid(new Grid(12, 3, this))
    , m_list(new QPushButton(QStringLiteral("グラフ再表示"), this))
    , m_csv(new QPushButton(QStringLiteral("CSV出力"), this))
    , m_end(new QPushButton(QStringLiteral("閉じる"), this))
{
    setObjectName(QStringLiteral("F_all_S"));
    setWindowTitle(QStringLiteral("収支合計金額照会"));
    m_heading->setObjectName(QStringLiteral("Label5"));
    m_year->setObjectName(QStringLiteral("txt_year"));
    m_spin->setObjectName(QStringLiteral("SC"));
    m_grid->setObjectName(QStringLiteral("SP"));
    m_list->setObjectName(QStringLiteral("cmd_list"));
    m_csv->setObjectName(QStringLiteral("cmd_csv"));
    m_end->setObjectName(QStringLiteral("cmd_end"));

    // The graph is the window's surface: every control lies above it, at fixed places
    // given in twips like the graph itself.
    const QSize client = m_graph->sizeHint();
    setFixedSize(client);
    m_graph->setGeometry(QRect(QPoint(0, 0), client));
    m_graph->lower();

    QFont headingFont = font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.5);
    headingFont.setBold(true);
    m_heading->setFont(headingFont);
    place(m_heading, 120, 120, 3600, 480);

    // The year is chosen with the spinner only. Its arrows step as a scroll bar does: the top
    // one to the year before, the bottom one to the year after.
    m_year->setReadOnly(true);
    m_year->setAlignment(Qt::AlignCenter);
    place(m_year, 4080, 180, 720, 360);
    m_spin->setRange(kFirstYear, kLastYear);
    m_spin->setSingleStep(1);
    m_spin->setPageStep(1);
    m_spin->setInvertedAppearance(true);
    place(m_spin, 4800, 150, 255, 420);

    place(m_list, 8220, 150, 1380, 420);
    place(m_csv, 9720, 150, 1380, 420);
    place(m_end, 11220, 150, 1380, 420);

    for (int m = 1; m <= 12; ++m) {
        m_grid->setNumericColumn(m, -9999999999LL, 9999999999LL, true);
        m_grid->setHeading(m, QStringLiteral("%1月").arg(m));
    }
    QStringList rowHeadings;
    for (const char16_t *h : kRowHeadings)
        rowHeadings << QString::fromUtf16(h);
    m_grid->setRowHeadings(rowHeadings);
    m_grid->verticalHeader()->show();
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont gridFont = font();
    gridFont.setPointSizeF(8);
    m_grid->setFont(gridFont);
    place(m_grid, 120, 6300, 12510, 1020);
    fitGrid();

    connect(m_spin, &QScrollBar::valueChanged, this, &YearlyTotals::yearChanged);
    connect(m_list, &QPushButton::clicked, this, [this] { refresh(); });
    connect(m_csv, &QPushButton::clicked, this, &YearlyTotals::exportCsv);
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);
}

void YearlyTotals::place(QWidget *w, int x, int y, int width, int height)
{
    w->setGeometry(m_graph->toPixels(QRect(x, y, width, height)));
}

void YearlyTotals::fitGrid()
{
    // The headings row and the three data rows share the grid's height; the twelve month
    // columns share the width the row headings leave.
    const int rowHeight = (m_grid->height() - 2 * m_grid->frameWidth()) / 4;
    m_grid->horizontalHeader()->setFixedHeight(rowHeight);
    m_grid->verticalHeader()->setMinimumSectionSize(rowHeight);
    for (int r = 0; r < 3; ++r)
        m_grid->setRowHeight(r, rowHeight);
    const int headerWidth = m_grid->verticalHeader()->sizeHint().width();
    const int columnWidth = (m_grid->width() - 2 * m_grid->frameWidth() - headerWidth) / 12;
    for (int c = 0; c < 12; ++c)
        m_grid->setColumnWidth(c, columnWidth);
}

void YearlyTotals::showEvent(QShowEvent *e)
{
    TaskWindow::showEvent(e);
    fitGrid();
}

void YearlyTotals::load()
{
    // A current year outside the spinner's range shows the nearest year it has.
    const int year = qBound(kFirstYear, clock().today().year(), kLastYear);
    m_restoringYear = true;
    m_spin->setValue(year);
    m_restoringYear = false;
    m_year->setText(QString::number(year));
    refresh();
}

bool YearlyTotals::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate && !m_year->text().isEmpty()) {
        if (m_skipActivation)
            m_skipActivation = false;
        else
            refresh();
    }
    return TaskWindow::event(e);
}

void YearlyTotals::yearChanged(int year)
{
    if (m_restoringYear)
        return;
    m_year->setText(QString::number(year));
    if (refresh() || m_shownYear == 0)
        return;
    // The grid still holds the year shown before; the year controls go back to it, so that
    // what is shown (and saved) is never labelled with another year.
    m_restoringYear = true;
    m_spin->setValue(m_shownYear);
    m_restoringYear = false;
    m_year->setText(QString::number(m_shownYear));
}

bool YearlyTotals::refresh()
{
    const int year = m_year->text().toInt();
    MonthlyTotals::Year totals;
    const bool ok = withDb([&] {
        Database db(dbPath());
        totals = MonthlyTotals::read(db, year);
    });
    if (!ok) {
        m_skipActivation = true;
        return false;
    }
    m_skipActivation = false;
    GridColumns rows(12);
    for (int m = 1; m <= 12; ++m) {
        const qint64 difference = totals.difference(m);
        rows.append(m - 1, QString::number(totals.income[m - 1]));
        rows.append(m - 1, QString::number(totals.expense[m - 1]));
        rows.append(m - 1, QString::number(difference));
        m_grid->setCellTextColor(m, 3,
            difference < 0       ? QColor(Qt::red)
                : difference > 0 ? Contrast::incomeBlue(m_grid->palette().color(QPalette::Base))
                                 : QColor());
    }
    m_grid->writeRows(1, rows);
    m_graph->setTotals(totals.income, totals.expense);
    m_shownYear = year;
    return true;
}

bool YearlyTotals::writeCsv(QIODevice *out) const
{
    Csv::Writer w(out);
    w.line({m_year->text(), QStringLiteral("年度　収支合計金額リスト")});
    w.line({Csv::createdLine(QStringLiteral("リスト作成日:"), clock())});
    w.field(QString());
    for (int m = 1; m <= 12; ++m)
        w.field(QStringLiteral("%1月").arg(m));
    w.field(QString());
    w.endLine();
    for (int row = 1; row <= 3; ++row) {
        w.field(QString::fromUtf16(kRowHeadings[row - 1]));
        for (int m = 1; m <= 12; ++m)
            w.field(m_grid->text(m, row));
        w.field(QString());
        w.endLine();
    }
    w.endLine();
    return w.finish();
}

void YearlyTotals::exportCsv()
{
    Csv::saveAs(dialogs(), context().appDir, m_year->text() + QStringLiteral("年収支合計.CSV"),
        [this](QIODevice *out) { return writeCsv(out); });
}
