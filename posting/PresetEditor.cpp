// SPDX-License-Identifier: GPL-3.0-or-later
#include "PresetEditor.h"

#include "Dialogs.h"
#include "Grid.h"
#include "StatementParser.h"
#include "TaskWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <map>

namespace {

// A tab-separated file has more tabs than commas in its heading line.
QChar separatorOf(const QString &line)
{
    return line.count(u'\t') > line.count(u',') ? u'\t' : u',';
}

} // namespace

PresetEditor::PresetEditor(Dialogs &dialogs, const QStringList &lines, const QList<Preset> &presets,
    const QDate &today, QWidget *parent)
    : QDialog(parent)
    , m_dialogs(dialogs)
    , m_lines(lines)
    , m_presets(presets)
    , m_today(today)
{
    setObjectName(QStringLiteral("F_preset"));
    setWindowTitle(QStringLiteral("取込形式の登録"));

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("txt_name"));
    m_name->setMaxLength(40);
    m_heading = new QComboBox(this);
    m_heading->setObjectName(QStringLiteral("cb_heading"));
    m_heading->setMinimumContentsLength(40);
    m_heading->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    for (int i = 0; i < m_lines.size(); ++i) {
        QString shown = m_lines.at(i);
        if (shown.size() > 60)
            shown = shown.left(60) + QStringLiteral("…");
        m_heading->addItem(QString::number(i + 1) + QStringLiteral("行目：") + shown);
    }
    const auto role = [this](const char *name) {
        auto *c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setMinimumContentsLength(14);
        return c;
    };
    m_date = role("cb_date");
    m_text = role("cb_text");
    m_out = role("cb_out");
    m_in = role("cb_in");
    m_signed = role("cb_signed");
    m_balance = role("cb_balance");
    m_id = role("cb_id");
    // Columns a spreadsheet moved in from may have: each line's category, item and place.
    m_category = role("cb_bunrui");
    m_item = role("cb_koumoku");
    m_place = role("cb_hokan");
    m_dateForm = new QComboBox(this);
    m_dateForm->setObjectName(QStringLiteral("cb_dateform"));
    // In the order of StatementValues::DateForm.
    m_dateForm->addItems({QStringLiteral("自動"), QStringLiteral("yyyy/m/d"), QStringLiteral("yyyymmdd"),
        QStringLiteral("和暦"), QStringLiteral("月日のみ"), QStringLiteral("yymmdd")});
    m_newest = new QCheckBox(QStringLiteral("新しい順"), this);
    m_newest->setObjectName(QStringLiteral("chk_newest"));
    // A card's file writes a purchase as a positive amount: the signed column is then the
    // purchases, and the lines are imported into a card.
    m_card = new QCheckBox(QStringLiteral("カードの明細（符号付き金額は利用額）"), this);
    m_card->setObjectName(QStringLiteral("chk_card"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("形式の名前"), m_name);
    form->addRow(QStringLiteral("見出し行"), m_heading);
    auto *roles = new QFormLayout;
    roles->addRow(QStringLiteral("日付"), m_date);
    roles->addRow(QStringLiteral("日付の形式"), m_dateForm);
    roles->addRow(QStringLiteral("内容"), m_text);
    roles->addRow(QStringLiteral("残高"), m_balance);
    roles->addRow(QStringLiteral("分類（移行）"), m_category);
    roles->addRow(QStringLiteral("項目（移行）"), m_item);
    roles->addRow(QStringLiteral("保管場所（移行）"), m_place);
    auto *amounts = new QFormLayout;
    amounts->addRow(QStringLiteral("出金"), m_out);
    amounts->addRow(QStringLiteral("入金"), m_in);
    amounts->addRow(QStringLiteral("符号付き金額"), m_signed);
    amounts->addRow(QStringLiteral("明細番号"), m_id);
    auto *columns = new QHBoxLayout;
    columns->addLayout(roles);
    columns->addSpacing(16);
    columns->addLayout(amounts);
    columns->addStretch();

    m_grid = new Grid(ColCount, 0, this);
    m_grid->setObjectName(QStringLiteral("SP"));
    const QStringList headings {QStringLiteral("行"), QStringLiteral("日付"), QStringLiteral("内容"),
        QStringLiteral("金額"), QStringLiteral("残高"), QStringLiteral("読取り")};
    const double widths[] = {4, 9, 24, 10, 10, 20};
    for (int c = ColLine; c <= ColResult; ++c) {
        m_grid->setHeading(c, headings.at(c - ColLine));
        m_grid->setColumnWidthChars(c, widths[c - ColLine]);
        m_grid->setTextColumn(c);
    }
    m_grid->setMinimumWidth(m_grid->fontMetrics().averageCharWidth() * 90);

    m_ok = new QPushButton(QStringLiteral("登録"), this);
    m_ok->setObjectName(QStringLiteral("cmd_ok"));
    m_ok->setAutoDefault(false);
    m_end = new QPushButton(QStringLiteral("閉じる"), this);
    m_end->setObjectName(QStringLiteral("cmd_end"));
    m_end->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addStretch();
    buttons->addWidget(m_end);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TaskWindow::makeHeading("Label1", windowTitle(), this));
    layout->addLayout(form);
    layout->addLayout(columns);
    auto *checks = new QHBoxLayout;
    checks->addWidget(m_newest);
    checks->addWidget(m_card);
    checks->addStretch();
    layout->addLayout(checks);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
    resize(900, 620);

    // The heading is most likely the first of the lines with the most fields.
    int best = 0;
    qsizetype most = 0;
    for (int i = 0; i < m_lines.size(); ++i) {
        const qsizetype n = StatementValues::fields(m_lines.at(i), separatorOf(m_lines.at(i))).size();
        if (n > most)
            best = i, most = n;
    }
    m_heading->setCurrentIndex(m_lines.isEmpty() ? -1 : best);
    headingChosen();

    connect(m_heading, &QComboBox::currentIndexChanged, this, &PresetEditor::headingChosen);
    for (QComboBox *c :
        {m_date, m_text, m_out, m_in, m_signed, m_balance, m_id, m_category, m_item, m_place, m_dateForm})
        connect(c, &QComboBox::currentIndexChanged, this, &PresetEditor::preview);
    connect(m_newest, &QCheckBox::toggled, this, &PresetEditor::preview);
    connect(m_card, &QCheckBox::toggled, this, &PresetEditor::preview);
    connect(m_ok, &QPushButton::clicked, this, &PresetEditor::save);
    connect(m_end, &QPushButton::clicked, this, &QDialog::reject);
}

QChar PresetEditor::separator() const
{
    const int i = m_heading->currentIndex();
    return i < 0 ? u',' : separatorOf(m_lines.at(i));
}

QStringList PresetEditor::headingFields() const
{
    const int i = m_heading->currentIndex();
    if (i < 0)
        return {};
    QStringList f = StatementValues::fields(m_lines.at(i), separator());
    while (!f.isEmpty() && f.constLast().isEmpty())
        f.removeLast();
    return f;
}

int PresetEditor::column(const QComboBox *role) const
{
    return role->currentIndex() <= 0 ? -1 : role->currentIndex() - 1;
}

void PresetEditor::headingChosen()
{
    const QStringList heading = headingFields();
    for (QComboBox *c :
        {m_date, m_text, m_out, m_in, m_signed, m_balance, m_id, m_category, m_item, m_place}) {
        const QSignalBlocker block(c);
        c->clear();
        c->addItem(QStringLiteral("（なし）"));
        for (int i = 0; i < heading.size(); ++i)
            c->addItem(QString::number(i + 1) + u'：' + heading.at(i));
        c->setCurrentIndex(0);
    }
    preview();
}

Preset PresetEditor::mapped() const
{
    const QStringList heading = headingFields();
    const auto named = [&](const QComboBox *role) {
        const int col = column(role);
        return col < 0 ? QString() : heading.value(col);
    };
    Preset p;
    p.name = m_name->text().trimmed();
    if (!heading.isEmpty())
        p.headings << heading;
    p.separator = separator();
    if (column(m_date) >= 0)
        p.date << named(m_date);
    p.dateForm = StatementValues::DateForm(qMax(0, m_dateForm->currentIndex()));
    if (column(m_text) >= 0)
        p.description << named(m_text);
    p.out = named(m_out);
    p.in = named(m_in);
    p.signedAmount = named(m_signed);
    if (column(m_balance) >= 0)
        p.balance << named(m_balance);
    p.id = named(m_id);
    p.category = named(m_category);
    p.item = named(m_item);
    p.place = named(m_place);
    p.newestFirst = m_newest->isChecked();
    if (m_card->isChecked()) {
        p.card = true;
        p.charge = p.signedAmount;
        p.signedAmount.clear();
        // Without a payment date in the file, the card's own days give the bill's.
        p.paymentFromCard = true;
    }
    return p;
}

QString PresetEditor::problem() const
{
    const QString name = m_name->text().trimmed();
    if (name.isEmpty())
        return QStringLiteral("形式の名前を入力して下さい");
    for (const Preset &p : m_presets)
        if (p.builtIn && p.name == name)
            return QStringLiteral("「%1」は組込みの形式の名前です　別の名前を入力して下さい").arg(name);
    if (column(m_date) < 0)
        return QStringLiteral("日付の列を選択して下さい");
    if (column(m_text) < 0)
        return QStringLiteral("内容の列を選択して下さい");
    const bool outIn = column(m_out) >= 0 || column(m_in) >= 0;
    const bool signedOne = column(m_signed) >= 0;
    if (outIn && signedOne)
        return QStringLiteral("出金・入金の列と符号付き金額の列はどちらか一方を選択して下さい");
    if (m_card->isChecked() && !signedOne)
        return QStringLiteral("カードの明細は符号付き金額の列（利用額）を選択して下さい");
    if (!signedOne && (column(m_out) < 0 || column(m_in) < 0))
        return QStringLiteral("出金と入金の列、または符号付き金額の列を選択して下さい");
    // The import finds a column by its heading: each chosen one needs a heading of its own.
    const QStringList heading = headingFields();
    std::map<int, QString> chosen;
    const struct
    {
        const QComboBox *combo;
        const char *role;
    } roles[] = {{m_date, "日付"}, {m_text, "内容"}, {m_out, "出金"}, {m_in, "入金"},
        {m_signed, "符号付き金額"}, {m_balance, "残高"}, {m_id, "明細番号"}, {m_category, "分類"},
        {m_item, "項目"}, {m_place, "保管場所"}};
    for (const auto &r : roles) {
        const int col = column(r.combo);
        if (col < 0)
            continue;
        const QString role = QString::fromUtf8(r.role);
        if (chosen.count(col))
            return QStringLiteral("%1列目を%2と%3の両方に選択しています").arg(col + 1).arg(chosen[col], role);
        chosen[col] = role;
        if (heading.value(col).isEmpty())
            return QStringLiteral("%1列目（%2）には見出しがありません").arg(col + 1).arg(role);
        if (heading.count(heading.value(col)) > 1)
            return QStringLiteral("見出し「%1」の列が複数あるため%2に使えません")
                .arg(heading.value(col), role);
    }
    return QString();
}

void PresetEditor::preview()
{
    const int headingIndex = m_heading->currentIndex();
    std::map<int, QStringList> rows; // line number → cells from the date on
    if (headingIndex >= 0) {
        Preset p = mapped();
        p.name = QStringLiteral("preview");
        const Statement st = StatementParser::parse(p, m_lines, m_today);
        for (const StatementLine &l : st.lines)
            rows[l.lineNo] = {QString::number(l.date), l.description, QString::number(l.amount),
                l.balance ? QString::number(*l.balance) : QString(), QString()};
        for (const BadLine &b : st.bad)
            rows[b.lineNo] = {QString(), b.text, QString(), QString(), b.reason};
        if (!st.matched)
            for (int i = headingIndex + 1; i < m_lines.size(); ++i)
                rows[i + 1] = {
                    QString(), m_lines.at(i), QString(), QString(), QStringLiteral("列の選択が足りません")};
    }
    m_grid->setUpdatesEnabled(false);
    m_grid->setMaxRows(0);
    m_grid->setMaxRows(int(rows.size()));
    int r = 0;
    for (const auto &[lineNo, cells] : rows) {
        ++r;
        m_grid->setText(ColLine, r, QString::number(lineNo));
        for (int c = ColDate; c <= ColResult; ++c)
            m_grid->setText(c, r, cells.at(c - ColDate));
    }
    m_grid->setUpdatesEnabled(true);
}

void PresetEditor::save()
{
    const QString why = problem();
    if (!why.isEmpty()) {
        m_dialogs.info(why);
        return;
    }
    const Preset p = mapped();
    for (const Preset &existing : m_presets)
        if (!existing.builtIn && existing.name == p.name
            && !m_dialogs.ask(QStringLiteral("取込形式「%1」はすでにあります　置き換えますか？").arg(p.name)))
            return;
    if (!m_save || !m_save(p))
        return;
    m_saved = p;
    accept();
}
