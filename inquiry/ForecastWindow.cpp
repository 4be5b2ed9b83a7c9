// SPDX-License-Identifier: GPL-3.0-or-later
#include "ForecastWindow.h"

#include "Amount.h"
#include "Database.h"
#include "ForecastGraph.h"
#include "Grid.h"
#include "YearHeader.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <limits>

namespace {

const QString allPlaces = QStringLiteral("（すべて）");
constexpr int kMonths[4] = {1, 3, 6, 12};

constexpr int kDateCol = 1, kItemCol = 2, kPlaceCol = 3, kInCol = 4, kOutCol = 5, kBalanceCol = 6;

QString choiceList(const QStringList &entries)
{
    QString list;
    for (const QString &e : entries)
        list += e + u'\t';
    return list;
}

const QList<Schedule::Shift> shifts = {Schedule::Shift::Next, Schedule::Shift::Previous};
const QList<Schedule::AmountRule> rules = {
    Schedule::AmountRule::LastPosted, Schedule::AmountRule::SameMonthLastYear, Schedule::AmountRule::Fixed};

void appendRow(GridColumns &rows, const QStringList &cells)
{
    for (int c = 0; c < cells.size(); ++c)
        rows.append(c, cells[c]);
}

int fitWidth(Grid *grid, int cols)
{
    int width = 2 * grid->frameWidth() + grid->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c <= cols; ++c)
        width += grid->columnWidth(c);
    return width;
}

} // namespace

ForecastWindow::ForecastWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
    , m_place(new QComboBox(this))
    , m_tabs(new QTabWidget(this))
    , m_grid(new Grid(kBalanceCol, 0, this))
    , m_graph(new ForecastGraph(this))
    , m_schedules(new Grid(ColRemove, 0, this))
{
    setObjectName(QStringLiteral("F_mitosi"));
    setWindowTitle(QStringLiteral("残高の見通し"));
    m_place->setObjectName(QStringLiteral("cb_hokan"));
    m_tabs->setObjectName(QStringLiteral("TAB"));
    m_grid->setObjectName(QStringLiteral("SP"));
    m_schedules->setObjectName(QStringLiteral("SP2"));

    auto *heading = makeHeading("Label5", QStringLiteral("残高の見通し"), this);

    auto *period = new QGroupBox(this);
    period->setObjectName(QStringLiteral("Frame1"));
    auto *periodRow = new QHBoxLayout(period);
    periodRow->setContentsMargins(8, 2, 8, 2);
    for (int i = 0; i < 4; ++i) {
        const QByteArray name = "O_" + QByteArray::number(kMonths[i]);
        m_months[i] = YearHeader::option(
            name.constData(), QStringLiteral("%1か月").arg(kMonths[i]).toUtf8().constData(), period);
        periodRow->addWidget(m_months[i]);
    }
    m_months[1]->setChecked(true);

    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));

    auto *top = new QHBoxLayout;
    top->addWidget(heading);
    top->addSpacing(16);
    top->addWidget(new QLabel(QStringLiteral("保管場所"), this));
    top->addWidget(m_place);
    m_place->setMinimumContentsLength(12);
    top->addSpacing(12);
    top->addWidget(period);
    top->addStretch(1);
    top->addWidget(end, 0, Qt::AlignTop);

    constexpr qint64 lo = std::numeric_limits<qint64>::min(), hi = std::numeric_limits<qint64>::max();
    const struct
    {
        const char *heading;
        double width;
    } columns[] = {{"日付", 24}, {"項目", 18}, {"保管場所", 13}, {"入金", 12}, {"出金", 12}, {"残高", 14}};
    for (int c = kDateCol; c <= kBalanceCol; ++c) {
        if (c >= kInCol)
            m_grid->setNumericColumn(c, lo, hi);
        else
            m_grid->setTextColumn(c);
        m_grid->setHeading(c, QString::fromUtf8(columns[c - 1].heading));
        m_grid->setColumnWidthChars(c, columns[c - 1].width);
    }
    m_grid->setMinimumWidth(fitWidth(m_grid, kBalanceCol));

    const struct
    {
        const char *heading;
        double width;
    } scheduleColumns[] = {{"区分", 5}, {"項目", 16}, {"保管場所", 12}, {"日", 5}, {"月", 10}, {"休日", 10},
        {"金額", 11}, {"固定額", 10}, {"変更処理", 8}, {"削除処理", 8}};
    for (int c = ColSide; c <= ColRemove; ++c) {
        m_schedules->setHeading(c, QString::fromUtf8(scheduleColumns[c - 1].heading));
        m_schedules->setColumnWidthChars(c, scheduleColumns[c - 1].width);
    }
    m_schedules->setTextColumn(ColSide);
    m_schedules->setTextColumn(ColItem);
    m_schedules->setTextColumn(ColPlace);
    m_schedules->setIntegerColumn(ColDay, 1, 31);
    m_schedules->setTextColumn(ColMonths, 40, false);
    QStringList shiftNames, ruleNames;
    for (Schedule::Shift s : shifts)
        shiftNames << Schedule::shiftText(s);
    for (Schedule::AmountRule r : rules)
        ruleNames << Schedule::amountText(r);
    m_schedules->setChoiceColumn(ColShift, choiceList(shiftNames));
    m_schedules->setChoiceColumn(ColAmount, choiceList(ruleNames));
    m_schedules->setNumericColumn(ColFixed, 0, std::numeric_limits<qint32>::max(), false);
    m_schedules->setButtonColumn(ColSave, QStringLiteral("更新"));
    m_schedules->setButtonColumn(ColRemove, QStringLiteral("削除"));
    m_schedules->setMinimumWidth(fitWidth(m_schedules, ColRemove));

    auto *ahead = new QWidget(m_tabs);
    auto *aheadLayout = new QVBoxLayout(ahead);
    aheadLayout->addWidget(m_grid, 3);
    aheadLayout->addWidget(m_graph, 2);
    m_tabs->addTab(ahead, QStringLiteral("見通し"));
    auto *plans = new QWidget(m_tabs);
    auto *plansLayout = new QVBoxLayout(plans);
    auto *hint
        = new QLabel(QStringLiteral("月は「毎月」「奇数月」「偶数月」か、6,12 のように月の数字で入力します。"
                                    "日の 31 は月末です。"),
            plans);
    hint->setObjectName(QStringLiteral("Label1"));
    plansLayout->addWidget(hint);
    plansLayout->addWidget(m_schedules, 1);
    m_tabs->addTab(plans, QStringLiteral("予定"));

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(m_tabs, 1);
    resize(std::max(sizeHint().width(), m_schedules->minimumWidth() + 40), fontMetrics().height() * 44);

    connect(end, &QPushButton::clicked, this, &QWidget::close);
    connect(m_place, &QComboBox::currentIndexChanged, this, [this] { display(); });
    for (QRadioButton *b : m_months)
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            // A period that could not be read gives way to the one shown.
            if (on && !refresh())
                showPeriod(m_shownMonths);
        });
    connect(m_schedules, &Grid::buttonClicked, this, [this](int col, int row, bool) {
        if (col == ColSave)
            saveSchedule(row);
        else if (col == ColRemove)
            removeSchedule(row);
    });
}

void ForecastWindow::load()
{
    refresh();
}

int ForecastWindow::months() const
{
    for (int i = 0; i < 4; ++i)
        if (m_months[i]->isChecked())
            return kMonths[i];
    return 3;
}

void ForecastWindow::showPeriod(int months)
{
    for (int i = 0; i < 4; ++i) {
        const QSignalBlocker block(m_months[i]);
        m_months[i]->setChecked(kMonths[i] == months);
    }
}

QString ForecastWindow::chosenPlace() const
{
    return m_place->currentIndex() <= 0 ? QString() : m_place->currentText();
}

bool ForecastWindow::refresh()
{
    Forecast::Result result;
    QList<Schedule::Entry> entries;
    const QDate today = clock().today();
    if (!withRead([&](Database &db) {
            result = Forecast::compute(db, today, months());
            entries = Schedule::list(db);
        }))
        return false;
    m_result = result;
    m_entries = entries;
    m_shownMonths = months();

    // The list of places follows the master; the place chosen stays chosen while it is there.
    const QString chosen = chosenPlace();
    QStringList names {allPlaces};
    for (const Forecast::Place &p : std::as_const(m_result.places))
        names << p.name;
    {
        const QSignalBlocker block(m_place);
        m_place->clear();
        m_place->addItems(names);
        m_place->setCurrentIndex(std::max<qsizetype>(0, names.indexOf(chosen, 1)));
    }
    display();
    displaySchedules();
    return true;
}

void ForecastWindow::display()
{
    const QString only = chosenPlace();
    GridColumns rows(kBalanceCol);
    QList<int> red;
    auto add = [&](const QStringList &cells) { appendRow(rows, cells); };
    auto money = [](qint64 v) { return v == 0 ? QString() : QString::number(v); };
    for (const Forecast::Place &p : std::as_const(m_result.places))
        if (only.isEmpty() || p.name == only) {
            add({Forecast::dayText(m_result.from), QStringLiteral("現在の残高"), p.name, QString(), QString(),
                QString::number(p.balance)});
            if (p.balance < p.floor())
                red << int(rows.rowCount());
        }
    for (const Forecast::Movement &m : std::as_const(m_result.movements)) {
        if (!only.isEmpty() && m.place != only)
            continue;
        QString day = Forecast::dayText(m.date);
        if (m.scheduled != m.date)
            day += QStringLiteral("（%1から）").arg(m.scheduled.toString(QStringLiteral("M/d")));
        add({day, m.item, m.place, money(m.in), money(m.out), QString::number(m.balance)});
        if (m.shortfall)
            red << int(rows.rowCount());
    }
    m_grid->replaceRows(std::move(rows));
    for (int row : std::as_const(red))
        for (int c = kDateCol; c <= kBalanceCol; ++c)
            m_grid->setCellTextColor(c, row, Qt::red);

    const Forecast::Place *place = only.isEmpty() ? nullptr : m_result.place(only);
    m_graph->setBalances(only.isEmpty() ? QStringLiteral("すべての保管場所") : only, m_result.from,
        m_result.daily(only), place ? place->floor() : 0);
}

void ForecastWindow::displaySchedules()
{
    GridColumns rows(ColRemove);
    for (const Schedule::Entry &e : std::as_const(m_entries)) {
        QStringList cells {Schedule::sideText(e.side), e.item, e.place};
        if (e.scheduled)
            cells << QString::number(e.day) << Schedule::monthsText(e.months)
                  << QString::number(shifts.indexOf(e.shift)) << QString::number(rules.indexOf(e.amount))
                  << (e.amount == Schedule::AmountRule::Fixed ? QString::number(e.fixed) : QString());
        else
            // An unscheduled income item is a salary until the user says otherwise.
            cells << QString() << QString() << QString::number(e.side == Schedule::Side::Income ? 1 : 0)
                  << QStringLiteral("0") << QString();
        appendRow(rows, cells);
    }
    m_schedules->replaceRows(std::move(rows));
}

bool ForecastWindow::saveSchedule(int row)
{
    if (row < 1 || row > m_entries.size())
        return false;
    Schedule::Entry e = m_entries.at(row - 1);
    bool ok = false;
    const int day = m_schedules->text(ColDay, row).trimmed().toInt(&ok);
    if (!ok || day < 1 || day > 31) {
        dialogs().info(e.item + QStringLiteral("の日は1から31までの数字で入力して下さい（31は月末）"));
        return false;
    }
    // A day alone recurs every month.
    const QString monthsText = m_schedules->text(ColMonths, row).trimmed();
    const std::optional<int> monthMask
        = monthsText.isEmpty() ? std::optional<int>(Schedule::EveryMonth) : Schedule::parseMonths(monthsText);
    if (!monthMask) {
        dialogs().info(e.item
            + QStringLiteral(
                "の月は「毎月」「奇数月」「偶数月」か、6,12のように1から12までの数字で入力して下さい"));
        return false;
    }
    const int shift = m_schedules->text(ColShift, row).toInt(&ok);
    e.shift = ok && shift >= 0 && shift < shifts.size() ? shifts[shift] : Schedule::Shift::Next;
    const int rule = m_schedules->text(ColAmount, row).toInt(&ok);
    e.amount = ok && rule >= 0 && rule < rules.size() ? rules[rule] : Schedule::AmountRule::LastPosted;
    e.fixed = 0;
    if (e.amount == Schedule::AmountRule::Fixed) {
        const std::optional<qint32> fixed = Amount::parse(m_schedules->text(ColFixed, row).trimmed());
        if (!fixed || *fixed == 0) {
            dialogs().info(e.item + QStringLiteral("の固定額を1から2147483647までの数字で入力して下さい"));
            return false;
        }
        e.fixed = *fixed;
    }
    e.day = day;
    e.months = *monthMask;
    const bool existed = e.scheduled;
    e.scheduled = true;
    if (!withWrite(QStringLiteral("%1「%2」の予定を%3")
                       .arg(Schedule::sideText(e.side), e.item,
                           existed ? QStringLiteral("変更") : QStringLiteral("登録")),
            [&](Database &db) { Schedule::save(db, e); }))
        return false;
    return refresh();
}

bool ForecastWindow::removeSchedule(int row)
{
    if (row < 1 || row > m_entries.size())
        return false;
    const Schedule::Entry &e = m_entries.at(row - 1);
    if (!e.scheduled)
        return false;
    const Schedule::Side side = e.side;
    const QString item = e.item;
    if (!dialogs().ask(item + QStringLiteral("の予定を削除します　よろしいですか？")))
        return false;
    if (!withWrite(QStringLiteral("%1「%2」の予定を削除").arg(Schedule::sideText(side), item),
            [&](Database &db) { Schedule::remove(db, side, item); }))
        return false;
    return refresh();
}
