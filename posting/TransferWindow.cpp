// SPDX-License-Identifier: GPL-3.0-or-later
#include "TransferWindow.h"

#include "Amount.h"
#include "BasGeneral.h"
#include "Database.h"
#include "Ledger.h"
#include "TypedCombo.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

namespace {

QLabel *makeLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// Leading and trailing half-width and full-width blanks; tabs and other characters stay.
QString trimBlanks(const QString &text)
{
    auto isBlank = [](QChar c) { return c == u' ' || c == QChar(0x3000); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool allDigits(const QString &text)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

TransferWindow::TransferWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_idou"));
    setWindowTitle(QStringLiteral("金額移動処理画面"));

    auto *title = makeHeading("Label1", QStringLiteral("金額移動処理画面"), this);
    title->setAlignment(Qt::AlignCenter);

    m_moto = newTypedCombo(QStringLiteral("cb_moto"), 14, this);
    m_saki = newTypedCombo(QStringLiteral("cb_saki"), 14, this);

    m_arrow = new QLabel(this);
    m_arrow->setObjectName(QStringLiteral("img_ya"));
    m_arrow->setAlignment(Qt::AlignCenter);
    m_arrow->setMinimumWidth(48);

    auto *places = new QGridLayout;
    places->addWidget(makeLabel("Label2", QStringLiteral("移動元"), this), 0, 0);
    places->addWidget(makeLabel("Label3", QStringLiteral("移動先"), this), 0, 2);
    places->addWidget(m_moto, 1, 0);
    places->addWidget(m_arrow, 1, 1);
    places->addWidget(m_saki, 1, 2);
    places->setColumnStretch(0, 1);
    places->setColumnStretch(2, 1);

    m_money = new QLineEdit(this);
    m_money->setObjectName(QStringLiteral("txt_money"));
    m_day = new QLineEdit(this);
    m_day->setObjectName(QStringLiteral("txt_day"));
    m_memo = new QLineEdit(this);
    m_memo->setObjectName(QStringLiteral("txt_memo"));

    auto *form = new QFormLayout;
    form->addRow(makeLabel("Label4", QStringLiteral("移動金額"), this), m_money);
    form->addRow(makeLabel("Label5", QStringLiteral("移動日付"), this), m_day);
    form->addRow(makeLabel("Label6", QStringLiteral("備考"), this), m_memo);

    m_kekka = new QPlainTextEdit(this);
    m_kekka->setObjectName(QStringLiteral("txt_kekka"));
    m_kekka->setReadOnly(true);
    m_kekka->setMinimumHeight(m_kekka->fontMetrics().lineSpacing() * 5);
    // Wide enough for a result line with a long name and two ten-digit amounts.
    m_kekka->setMinimumWidth(m_kekka->fontMetrics().horizontalAdvance(QChar(0x91D1)) * 30);

    m_ok = new QPushButton(QStringLiteral("実行"), this);
    m_ok->setObjectName(QStringLiteral("cmd_ok"));
    m_end = new QPushButton(QStringLiteral("閉じる"), this);
    m_end->setObjectName(QStringLiteral("cmd_end"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_end);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addSpacing(8);
    layout->addLayout(places);
    layout->addSpacing(8);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addWidget(makeLabel("Label7", QStringLiteral("処理結果表示"), this));
    layout->addWidget(m_kekka, 1);
    layout->addLayout(buttons);

    setTabOrder(m_moto, m_saki);
    setTabOrder(m_saki, m_money);
    setTabOrder(m_money, m_day);
    setTabOrder(m_day, m_memo);
    setTabOrder(m_memo, m_ok);
    setTabOrder(m_ok, m_end);
    setTabOrder(m_end, m_kekka);

    connect(m_money, &QLineEdit::textChanged, this, &TransferWindow::boxChanged);
    connect(m_day, &QLineEdit::textChanged, this, &TransferWindow::boxChanged);
    connect(m_ok, &QPushButton::clicked, this, &TransferWindow::execute);
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);
}

void TransferWindow::boxChanged(const QString &text)
{
    m_ok->setEnabled(BasGeneral::isDigitsOnly(text, dialogs()));
}

void TransferWindow::load()
{
    // The arrow is decoration: without the file the window works, only the picture is missing.
    const QPixmap arrow(context().arrowPath());
    if (!arrow.isNull())
        m_arrow->setPixmap(arrow);

    if (m_day->text().isEmpty())
        m_day->setText(clock().today().toString(QStringLiteral("yyyyMMdd")));

    withDb([&] {
        Database db(dbPath());
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T")); !c.eof(); c.next()) {
            const QString name = c.text(QStringLiteral("H_index"));
            m_moto->addItem(name);
            m_saki->addItem(name);
        }
    });
    // Both lists start with nothing chosen.
    m_moto->setCurrentIndex(-1);
    m_saki->setCurrentIndex(-1);
}

void TransferWindow::execute()
{
    m_kekka->clear();

    if (m_moto->currentText().isEmpty() || m_saki->currentText().isEmpty() || m_money->text().isEmpty()) {
        dialogs().info(QStringLiteral("全ての値が入力されていません"));
        return;
    }
    const QString source = trimBlanks(m_moto->currentText());
    const QString destination = trimBlanks(m_saki->currentText());
    if (source == destination) {
        dialogs().info(QStringLiteral("移動元と移動先が同じです"));
        return;
    }
    const QString day = m_day->text();
    if (!BasGeneral::hasLength(day, 8, BasGeneral::dateLengthMessage(QStringLiteral("移動日付")), dialogs()))
        return;
    // Either box can still hold a letter while the other one re-enabled the button, and the
    // amount can have more digits than 32 bits hold: refuse before anything is asked or written.
    const std::optional<qint32> amount = Amount::parse(m_money->text());
    if (!amount || !allDigits(day)) {
        dialogs().info(QStringLiteral("数値を入力して下さい"));
        return;
    }
    if (!dialogs().ask(QStringLiteral("金額移動処理を実行します　よろしいですか？")))
        return;

    const QString memo = m_memo->text();
    Ledger::TransferOutcome outcome;
    const QString description = source + QStringLiteral("から") + destination + QStringLiteral("へ \\")
        + QString::number(*amount) + QStringLiteral("を移動");
    const bool ok = withWrite(description, [&](Database &db) {
        outcome = Ledger(db).transfer({source, destination, *amount, day.toInt(), memo});
    });
    // Shown once the connection is closed, so no lock is held while the box waits.
    // The result is shown only once the transaction has committed.
    if (!ok)
        return;
    if (!outcome.done()) {
        dialogs().info(outcome.refusal);
        return;
    }
    m_kekka->setPlainText(source + QStringLiteral("(移動前 \\") + QString::number(outcome.before)
        + QStringLiteral("→移動後 \\") + QString::number(outcome.after) + QStringLiteral(")\r\n")
        + destination + QStringLiteral("(移動前 \\") + QString::number(outcome.destinationBefore)
        + QStringLiteral("→移動後 \\") + QString::number(outcome.destinationAfter) + QStringLiteral(")\r\n")
        + QStringLiteral("移動金額 \\") + QString::number(*amount) + QStringLiteral("\r\n処理完了"));
}
