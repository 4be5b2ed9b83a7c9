// SPDX-License-Identifier: GPL-3.0-or-later
#include "CsvExport.h"

#include "BasGeneral.h"
#include "Csv.h"
#include "CsvLists.h"
#include "Database.h"
#include "TypedCombo.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2100;

QLabel *label(const QString &text, const char *name, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

CsvExport::CsvExport(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
    , m_kind(newTypedCombo(QStringLiteral("CB"), 14, this))
    , m_period(new QGroupBox(QStringLiteral("抽出条件"), this))
    , m_year1(new QLineEdit(m_period))
    , m_spin1(new QScrollBar(Qt::Vertical, m_period))
    , m_month1(new QComboBox(m_period))
    , m_year2(new QLineEdit(m_period))
    , m_spin2(new QScrollBar(Qt::Vertical, m_period))
    , m_month2(new QComboBox(m_period))
    , m_export(new QPushButton(QStringLiteral("CSV出力"), this))
    , m_end(new QPushButton(QStringLiteral("閉じる"), this))
{
    setObjectName(QStringLiteral("F_csv"));
    setWindowTitle(QStringLiteral("CSV出力画面"));
    m_period->setObjectName(QStringLiteral("Frame1"));
    m_year1->setObjectName(QStringLiteral("txt_Y1"));
    m_spin1->setObjectName(QStringLiteral("VS1"));
    m_month1->setObjectName(QStringLiteral("CBM1"));
    m_year2->setObjectName(QStringLiteral("txt_Y2"));
    m_spin2->setObjectName(QStringLiteral("VS2"));
    m_month2->setObjectName(QStringLiteral("CBM2"));
    m_export->setObjectName(QStringLiteral("cmd_syuturyoku"));
    m_end->setObjectName(QStringLiteral("cmd_end"));

    QLabel *heading = makeHeading("Label5", QStringLiteral("CSV出力画面"), this);

    const int yearWidth = m_year1->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12;
    auto periodRow = new QHBoxLayout(m_period);
    const auto addEnd = [&](QLineEdit *year, QScrollBar *spin, QComboBox *month) {
        year->setFixedWidth(yearWidth);
        year->setAlignment(Qt::AlignRight);
        // The up arrow counts the year upwards.
        spin->setRange(kFirstYear, kLastYear);
        spin->setPageStep(1);
        spin->setInvertedAppearance(true);
        spin->setFixedHeight(year->sizeHint().height());
        periodRow->addWidget(year);
        periodRow->addWidget(spin);
        periodRow->addWidget(label(QStringLiteral("年"), "Label1", m_period));
        periodRow->addSpacing(6);
        periodRow->addWidget(month);
        periodRow->addWidget(label(QStringLiteral("月"), "Label2", m_period));
    };
    addEnd(m_year1, m_spin1, m_month1);
    periodRow->addSpacing(10);
    periodRow->addWidget(label(QStringLiteral("～"), "Label2", m_period));
    periodRow->addSpacing(10);
    addEnd(m_year2, m_spin2, m_month2);
    periodRow->addStretch();

    auto kindRow = new QHBoxLayout;
    kindRow->addWidget(label(QStringLiteral("出力項目"), "Label3", this));
    kindRow->addWidget(m_kind);
    kindRow->addStretch();

    auto buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_export);
    buttons->addWidget(m_end);

    auto layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addSpacing(8);
    layout->addLayout(kindRow);
    layout->addWidget(m_period);
    layout->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The window keeps its size while the period is hidden.
    QSizePolicy keep = m_period->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_period->setSizePolicy(keep);

    connect(m_kind, &QComboBox::currentIndexChanged, this, &CsvExport::kindChosen);
    connect(
        m_spin1, &QScrollBar::valueChanged, this, [this](int v) { m_year1->setText(QString::number(v)); });
    connect(
        m_spin2, &QScrollBar::valueChanged, this, [this](int v) { m_year2->setText(QString::number(v)); });
    connect(m_year1, &QLineEdit::textChanged, this, [this] { yearEdited(m_year1); });
    connect(m_year2, &QLineEdit::textChanged, this, [this] { yearEdited(m_year2); });
    connect(m_export, &QPushButton::clicked, this, &CsvExport::exportList);
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);
}

void CsvExport::load()
{
    for (int k = 0; k < CsvLists::kindCount; ++k)
        m_kind->addItem(CsvLists::entry(k));
    m_kind->setCurrentIndex(-1);
    for (int m = 1; m <= 12; ++m) {
        const QString mm = QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0'));
        m_month1->addItem(mm);
        m_month2->addItem(mm);
    }
    // A current year outside the spinners' range shows the nearest year they have.
    const QDate today = clock().today();
    const int year = qBound(kFirstYear, today.year(), kLastYear);
    for (auto [box, spin] : {std::pair {m_year1, m_spin1}, std::pair {m_year2, m_spin2}}) {
        box->setText(QString::number(year));
        spin->setValue(year);
    }
    m_month1->setCurrentIndex(today.month() - 1);
    m_month2->setCurrentIndex(today.month() - 1);
}

int CsvExport::selectedKind() const
{
    const int index = m_kind->currentIndex();
    if (index < 0 || m_kind->currentText() != m_kind->itemText(index))
        return -1;
    return index;
}

void CsvExport::kindChosen(int index)
{
    if (index >= 0)
        m_period->setVisible(CsvLists::isHistory(index));
}

void CsvExport::yearEdited(QLineEdit *box)
{
    // The check shows its own message for a character other than a digit. The button
    // waits until both year boxes hold digits only.
    const bool ok = BasGeneral::isDigitsOnly(box->text(), dialogs());
    // A typed year moves its spinner along, so that the next step starts from it.
    QScrollBar *spin = box == m_year1 ? m_spin1 : m_spin2;
    if (const auto year = yearOf(box)) {
        const QSignalBlocker quiet(spin);
        spin->setValue(*year);
    }
    QLineEdit *other = box == m_year1 ? m_year2 : m_year1;
    const bool otherOk = std::all_of(
        other->text().cbegin(), other->text().cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    m_export->setEnabled(ok && otherOk);
}

std::optional<int> CsvExport::yearOf(const QLineEdit *box)
{
    const QString t = box->text();
    if (t.isEmpty() || !std::all_of(t.cbegin(), t.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const int y = t.toInt(&ok);
    if (!ok || y < kFirstYear || y > kLastYear)
        return std::nullopt;
    return y;
}

void CsvExport::exportList()
{
    const int kind = selectedKind();
    if (kind < 0) {
        dialogs().info(QStringLiteral("出力項目が選択されていません"));
        return;
    }
    // Both years are checked for every kind, whatever the hidden frame holds. An empty box
    // is no year either.
    const auto y1 = yearOf(m_year1);
    const auto y2 = y1 ? yearOf(m_year2) : std::nullopt;
    if (!y1 || !y2) {
        dialogs().info(QStringLiteral("2000年～2100年で設定して下さい"));
        return;
    }
    const CsvLists::Period period {
        *y1, m_month1->currentText().trimmed(), *y2, m_month2->currentText().trimmed()};
    if (CsvLists::isHistory(kind)
        && (!CsvLists::twoDigitMonth(period.m1) || !CsvLists::twoDigitMonth(period.m2))) {
        dialogs().info(QStringLiteral("数値を入力して下さい"));
        return;
    }

    const auto chosen = dialogs().saveFileName(
        Csv::filter(), context().appDir, CsvLists::entry(kind) + QStringLiteral(".CSV"));
    if (!chosen)
        return;
    const QString path = Csv::withCsvSuffix(*chosen);

    enum class Outcome { Saved, NoRows, FileFailed } outcome = Outcome::FileFailed;
    const bool ok = withDb([&] {
        Database db(dbPath());
        Cursor rows = db.query(CsvLists::statement(kind, period));
        if (rows.eof()) {
            outcome = Outcome::NoRows;
            return;
        }
        // The rows stream into a temporary file that replaces the chosen one only once all
        // of them are written; a failure part-way leaves an existing file as it was.
        const QString now = BasGeneral::dateTimeText(clock());
        const bool saved = Csv::save(path, [&](QIODevice *out) {
            Csv::Writer w(out);
            CsvLists::writeHeadings(w, kind, period, now);
            CsvLists::writeRows(w, kind, rows);
            w.endLine();
            return w.finish();
        });
        outcome = saved ? Outcome::Saved : Outcome::FileFailed;
    });
    if (!ok)
        return;
    switch (outcome) {
    case Outcome::NoRows:
        dialogs().info(QStringLiteral("データが無い為 処理を中断します"));
        break;
    case Outcome::Saved:
        dialogs().info(path + QStringLiteral("に保存しました"));
        break;
    case Outcome::FileFailed:
        dialogs().info(QStringLiteral("DB接続失敗"));
        break;
    }
}
