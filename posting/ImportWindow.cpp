// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportWindow.h"

#include "ActionHistory.h"
#include "BasGeneral.h"
#include "CardLedger.h"
#include "Database.h"
#include "FileHeader.h"
#include "Grid.h"
#include "PresetEditor.h"
#include "RuleWindow.h"
#include "TypedCombo.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QToolTip>
#include <QVBoxLayout>
#include <limits>

using ImportLedger::State;

namespace {

// A statement is a few thousand lines; anything far larger is no statement.
constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;
// The lines of a file the preset editor shows, and the characters of each.
constexpr int EditorLines = 30;
constexpr int EditorLineChars = 2000;
// The lines of a file the question about an unknown layout quotes.
constexpr int QuotedLines = 5;

QString stateText(State s)
{
    switch (s) {
    case State::Imported:
        return QStringLiteral("取込済");
    case State::Check:
        return QStringLiteral("要確認");
    case State::Matched:
        return QStringLiteral("照合");
    case State::New:
        break;
    }
    return QStringLiteral("新規");
}

// yyyymmdd as yyyy/mm/dd.
QString dayText(int yyyymmdd)
{
    return QStringLiteral("%1/%2/%3")
        .arg(yyyymmdd / 10000)
        .arg(yyyymmdd / 100 % 100, 2, 10, QChar(u'0'))
        .arg(yyyymmdd % 100, 2, 10, QChar(u'0'));
}

} // namespace

using ImportLedger::yen;

ImportWindow::ImportWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_import"));
    setWindowTitle(QStringLiteral("明細取込"));

    auto *title = makeHeading("Label1", QStringLiteral("明細取込"), this);

    m_hokan = newTypedCombo(QStringLiteral("cb_hokan"), 14, this);
    // Its hint says what to do first, while no statement is open.
    auto *header = new FileHeader(
        {QStringLiteral("はじめに、銀行やカード会社のサイトから明細をCSVファイルで"
                        "保存し、「ファイル選択...」でそのファイルを開いて下さい。"
                        "明細の形式は自動で選ばれます。保管場所は、一度取り込んだ"
                        "口座なら自動で選ばれます。"),
            QStringLiteral("明細の形式"), QStringLiteral("形式の登録..."), QStringLiteral("保管場所")},
        m_hokan, this);
    m_fileLabel = header->fileLabel();
    m_hint = header->hint();
    m_preset = header->preset();

    m_grid = new Grid(ColCount, 0, this);
    m_grid->setObjectName(QStringLiteral("SP"));
    FileHeader::setColumns(*m_grid,
        {{ColCheck, "取込", 4}, {ColDate, "日付", 9}, {ColText, "内容", 24}, {ColOut, "出金", 10},
            {ColIn, "入金", 10}, {ColBalance, "残高", 11}, {ColItem, "項目", 18}, {ColState, "状態", 7}});
    for (int col : {int(ColOut), int(ColIn), int(ColBalance)})
        m_grid->setNumericColumn(col, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    for (int col : {int(ColDate), int(ColText), int(ColState)})
        m_grid->setTextColumn(col);
    // The description takes whatever width the window has beyond the other columns.
    m_grid->horizontalHeader()->setSectionResizeMode(ColText - 1, QHeaderView::Stretch);
    m_grid->setButtonColumn(ColCheck, QString());
    m_grid->setChoiceColumn(ColItem, QString());
    m_grid->setMinimumWidth(m_grid->fontMetrics().averageCharWidth() * 100);

    m_kekka = FileHeader::resultPane(this);

    m_ok = new QPushButton(QStringLiteral("取込実行"), this);
    m_ok->setObjectName(QStringLiteral("cmd_ok"));
    m_undo = new QPushButton(QStringLiteral("取込の取消"), this);
    m_undo->setObjectName(QStringLiteral("cmd_undo"));
    m_rule = new QPushButton(QStringLiteral("ルール..."), this);
    m_rule->setObjectName(QStringLiteral("cmd_rule"));
    m_end = new QPushButton(QStringLiteral("閉じる"), this);
    m_end->setObjectName(QStringLiteral("cmd_end"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addWidget(m_undo);
    buttons->addWidget(m_rule);
    buttons->addStretch();
    buttons->addWidget(m_end);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(header);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_kekka);
    layout->addLayout(buttons);
    resize(960, 600);

    m_pickFile = [this](const QString &filter, const QString &folder) -> std::optional<QString> {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("ヴェルモラ"), folder, filter);
        if (path.isEmpty())
            return std::nullopt;
        return path;
    };
    m_pickFromList = [this](const QString &label, const QStringList &entries) -> std::optional<int> {
        bool ok = false;
        const QString chosen
            = QInputDialog::getItem(this, QStringLiteral("ヴェルモラ"), label, entries, 0, false, &ok);
        if (!ok)
            return std::nullopt;
        return int(entries.indexOf(chosen));
    };
    m_runEditor = [](PresetEditor &editor) { return editor.exec() == QDialog::Accepted; };

    connect(header->fileButton(), &QPushButton::clicked, this, &ImportWindow::chooseFile);
    connect(header->presetButton(), &QPushButton::clicked, this, &ImportWindow::editCurrentPreset);
    connect(m_preset, &QComboBox::activated, this, &ImportWindow::presetChosen);
    connect(m_hokan, &QComboBox::currentTextChanged, this, [this] {
        if (m_statement.matched)
            refresh();
    });
    connect(m_grid, &Grid::buttonClicked, this, [this](int col, int row, bool) { toggle(col, row); });
    connect(m_ok, &QPushButton::clicked, this, &ImportWindow::execute);
    connect(m_undo, &QPushButton::clicked, this, &ImportWindow::undoBatch);
    connect(m_rule, &QPushButton::clicked, this, &ImportWindow::openRules);
    m_grid->viewport()->installEventFilter(this);
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);
}

bool ImportWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_grid->viewport() && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = m_grid->indexAt(help->pos());
        const QString tip
            = index.isValid() && index.column() + 1 == ColItem ? itemTip(index.row() + 1) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, m_grid->viewport());
        return true;
    }
    return TaskWindow::eventFilter(watched, event);
}

TaskWindow *ImportWindow::openRules()
{
    auto *rules = new RuleWindow(context());
    rules->load();
    rules->setPlace(m_hokan->currentText());
    // What is written there fills the lines anew once it closes.
    connect(rules, &TaskWindow::closed, this, [this] {
        load();
        if (m_statement.matched)
            refresh();
    });
    rules->show();
    return rules;
}

void ImportWindow::load()
{
    m_presets = Preset::builtIns();
    QStringList places;
    withRead([&](Database &db) {
        m_presets += ImportLedger::userPresets(db);
        m_incomeItems.clear();
        m_expenseItems.clear();
        for (Cursor c = db.query(QStringLiteral("SELECT N_index FROM Nyuukin_T")); !c.eof(); c.next())
            m_incomeItems << c.text(0);
        for (Cursor c
             = db.query(QStringLiteral("SELECT S_index FROM Syukkin_T WHERE (Not S_kubun = '自動')"));
             !c.eof(); c.next())
            m_expenseItems << c.text(0);
        m_debitItems.clear();
        for (Cursor c = db.query(QStringLiteral("SELECT S_index FROM Syukkin_T where (S_kubun= '自動')"));
             !c.eof(); c.next())
            m_debitItems << c.text(0);
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T")); !c.eof(); c.next())
            places << c.text(0);
    });
    const QSignalBlocker blockPreset(m_preset);
    const QSignalBlocker blockHokan(m_hokan);
    const QString preset = m_preset->currentText();
    m_preset->clear();
    for (const Preset &p : m_presets)
        m_preset->addItem(p.name);
    m_preset->setCurrentIndex(m_preset->findText(preset));
    m_places = places;
    const QString place = m_hokan->currentText();
    m_hokan->clear();
    m_hokan->addItems(places);
    m_hokan->setCurrentIndex(m_hokan->findText(place));
    m_hokan->setEditText(place);
}

void ImportWindow::chooseFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (const auto path = m_pickFile(QStringLiteral("CSV (*.csv *.txt)"), folder))
        openFile(*path);
}

void ImportWindow::openFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        dialogs().info(QStringLiteral("ファイルを開けません") + QStringLiteral("\r\n") + path);
        return;
    }
    if (f.size() > MaxFileBytes) {
        dialogs().info(QStringLiteral("ファイルが大きすぎます（16MBまで）\r\n") + path);
        return;
    }
    const QByteArray bytes = f.readAll();
    if (bytes.isEmpty()) {
        dialogs().info(QStringLiteral("ファイルが空です\r\n") + path);
        return;
    }
    const StatementValues::Decoded decoded = StatementValues::decode(bytes);
    const QStringList lines = StatementValues::lines(decoded.text);
    std::optional<int> detected = StatementParser::detect(m_presets, lines);
    if (!detected) {
        QStringList quoted;
        for (const QString &line : lines.mid(0, QuotedLines))
            quoted << StatementValues::excerpt(line);
        if (!dialogs().ask(QStringLiteral("明細の形式がわかりません。先頭の行：\r\n")
                + quoted.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n取込形式を登録しますか？")))
            return;
        detected = editPreset(lines);
        if (!detected || !StatementParser::findHeading(m_presets.at(*detected), lines))
            return;
    }
    m_file = path;
    m_lines = lines;
    m_encoding = StatementValues::encodingName(decoded.encoding);
    {
        const QSignalBlocker block(m_preset);
        m_preset->setCurrentIndex(*detected);
    }
    parseWith(*detected);
}

void ImportWindow::presetChosen(int index)
{
    if (m_lines.isEmpty() || index < 0)
        return;
    if (!StatementParser::findHeading(m_presets.at(index), m_lines)) {
        dialogs().info(QStringLiteral("選択した形式の見出し行がファイルにありません"));
        return;
    }
    parseWith(index);
}

std::optional<int> ImportWindow::editPreset(const QStringList &lines)
{
    // No heading or statement line is anywhere near as long as EditorLineChars: a longer line
    // is shown cut rather than split into a list of columns.
    QStringList first;
    for (const QString &line : lines.mid(0, EditorLines))
        first << line.left(EditorLineChars);
    PresetEditor editor(dialogs(), first, m_presets, clock().today(), this);
    editor.setSaver([this](const Preset &p) {
        return withWrite(QStringLiteral("取込形式「") + p.name + QStringLiteral("」を保存"),
            [&](Database &db) { ImportLedger::saveUserPreset(db, p); });
    });
    if (!m_runEditor(editor) || editor.saved().name.isEmpty())
        return std::nullopt;
    load();
    for (int i = 0; i < m_presets.size(); ++i)
        if (!m_presets.at(i).builtIn && m_presets.at(i).name == editor.saved().name) {
            const QSignalBlocker block(m_preset);
            m_preset->setCurrentIndex(i);
            return i;
        }
    return std::nullopt;
}

void ImportWindow::editCurrentPreset()
{
    if (m_lines.isEmpty()) {
        dialogs().info(QStringLiteral("ファイルを選択して下さい"));
        return;
    }
    if (const std::optional<int> saved = editPreset(m_lines))
        presetChosen(*saved);
}

void ImportWindow::parseWith(int presetIndex)
{
    const Preset &preset = m_presets.at(presetIndex);
    m_statement = StatementParser::parse(preset, m_lines, clock().today());
    // The file's name; its folder is in the tooltip (a long path would push the rest away).
    m_fileLabel->setText(QFileInfo(m_file).fileName() + QStringLiteral("　（") + m_encoding + u'、'
        + QString::number(m_statement.lines.size()) + QStringLiteral("件）"));
    m_fileLabel->setToolTip(QDir::toNativeSeparators(m_file));
    m_hint->hide();
    QString remembered;
    withRead([&](Database &db) {
        remembered = ImportLedger::rememberedPlace(db, preset.name, m_statement.account);
    });
    if (!remembered.isEmpty()) {
        const QSignalBlocker block(m_hokan);
        m_hokan->setCurrentIndex(m_hokan->findText(remembered));
        m_hokan->setEditText(remembered);
    }
    refresh();
}

void ImportWindow::refresh()
{
    const QString place = m_hokan->currentText();
    m_states.clear();
    if (!withRead([&](Database &db) { m_states = ImportLedger::analyse(db, place, m_statement.lines); }))
        m_states = QList<ImportLedger::LineState>(m_statement.lines.size());
    // After the items, the transfers to (a withdrawal) or from (a deposit) every other place.
    m_otherPlaces = m_places;
    m_otherPlaces.removeAll(place);
    // The targets of a withdrawal, of a deposit, and of a card's refund (a negative expense).
    // A withdrawal may be an automatic debit: its items follow the expense items under their
    // own heading.
    QStringList outTargets = m_expenseItems, inTargets = m_incomeItems, refundTargets = m_expenseItems;
    if (!m_debitItems.isEmpty())
        outTargets << debitHeading() << m_debitItems;
    for (const QString &other : std::as_const(m_otherPlaces)) {
        outTargets << ImportLedger::transferTarget(true, other);
        inTargets << ImportLedger::transferTarget(false, other);
        refundTargets << inTargets.constLast();
    }
    const auto listOf = [](const QStringList &targets) { return targets.join(u'\t') + u'\t'; };
    const QString outList = listOf(outTargets), inList = listOf(inTargets),
                  refundList = listOf(refundTargets);
    m_checked = QList<bool>(m_statement.lines.size(), false);
    m_grid->setUpdatesEnabled(false);
    m_grid->setMaxRows(0);
    m_grid->setMaxRows(int(m_statement.lines.size()));
    bool anyBalance = false;
    for (int i = 0; i < m_statement.lines.size(); ++i) {
        const StatementLine &l = m_statement.lines.at(i);
        const ImportLedger::LineState &s = m_states.at(i);
        const int r = i + 1;
        // A line deleted or changed since its import is offered, not ticked.
        m_checked[i] = (s.state == State::New || s.state == State::Matched) && s.note.isEmpty();
        if (s.state == State::Imported)
            m_grid->setCellKind(ColCheck, r, Grid::Kind::Text); // cannot be checked
        else
            m_grid->setButtonCaption(ColCheck, r, m_checked[i] ? checkedMark() : QString());
        m_grid->setText(ColDate, r, QString::number(l.date));
        m_grid->setText(ColText, r, l.description);
        m_grid->setText(l.amount < 0 ? ColOut : ColIn, r, QString::number(qAbs(qint64(l.amount))));
        if (l.balance) {
            m_grid->setText(ColBalance, r, QString::number(*l.balance));
            anyBalance = true;
        }
        const bool refund = l.amount > 0 && m_statement.card;
        const QStringList &items = l.amount < 0 ? outTargets : refund ? refundTargets : inTargets;
        m_grid->setCellChoiceList(ColItem, r, l.amount < 0 ? outList : refund ? refundList : inList);
        const int item = items.indexOf(s.item);
        m_grid->setText(ColItem, r, item >= 0 ? QString::number(item) : QString());
        if (s.state == State::Imported)
            m_grid->setCellLocked(ColItem, r, true);
        m_grid->setText(ColState, r, stateText(s.state));
    }
    m_grid->setColumnHidden(ColBalance - 1, !anyBalance);
    m_grid->setUpdatesEnabled(true);
    showMessages();
}

void ImportWindow::showMessages()
{
    QStringList text;
    // A card statement's bill, as the file states it: what the bank's payment is matched with.
    if (m_statement.card)
        text << QStringLiteral("請求：お支払日 ")
                + (m_statement.paymentDate ? dayText(*m_statement.paymentDate)
                                           : QStringLiteral("（カード設定の締め日・支払日から）"))
                + QStringLiteral("　ご請求額 ")
                + (m_statement.billTotal ? BasGeneral::amountLabel(*m_statement.billTotal)
                                         : QStringLiteral("（明細の合計）"));
    text << m_statement.notes;
    for (int i = 0; i < m_states.size() && i < m_statement.lines.size(); ++i)
        if (!m_states.at(i).note.isEmpty())
            text << QString::number(m_statement.lines.at(i).lineNo) + QStringLiteral("行目：")
                    + m_states.at(i).note + QStringLiteral("（取り込む場合はチェックして下さい）");
    for (const BadLine &b : m_statement.bad)
        text << QString::number(b.lineNo) + QStringLiteral("行目：") + b.reason + u'：'
                + StatementValues::excerpt(b.text);
    m_kekka->setPlainText(text.join(QStringLiteral("\r\n")));
}

void ImportWindow::toggle(int col, int row)
{
    if (col != ColCheck || row < 1 || row > m_states.size() || m_states.at(row - 1).state == State::Imported)
        return;
    bool &checked = m_checked[row - 1];
    checked = !checked;
    m_grid->setButtonCaption(ColCheck, row, checked ? checkedMark() : QString());
}

void ImportWindow::execute()
{
    if (!m_statement.matched) {
        dialogs().info(QStringLiteral("ファイルを選択して下さい"));
        return;
    }
    const QString place = m_hokan->currentText();
    if (place.isEmpty()) {
        dialogs().info(QStringLiteral("保管場所を選択して下さい"));
        return;
    }
    // The place is typed into an editable list: one the ledger does not have is named before
    // anything is read for it.
    if (m_hokan->findText(place) < 0) {
        dialogs().info(QStringLiteral("保管場所") + place + QStringLiteral("がありません"));
        return;
    }
    QList<ImportLedger::Line> lines;
    int firstIndex = -1; // in m_statement.lines, of the first line to import
    for (int i = 0; i < m_statement.lines.size(); ++i) {
        const int r = i + 1;
        if (m_states.value(i).state == State::Imported || !m_checked.value(i))
            continue;
        const StatementLine &l = m_statement.lines.at(i);
        const QStringList entries = m_grid->choiceEntries(ColItem, r);
        bool ok = false;
        const int item = m_grid->text(ColItem, r).toInt(&ok);
        // The entries after the items (and for a withdrawal the debits) are the other places, in
        // order.
        const QStringList &items = l.amount < 0 || m_statement.card ? m_expenseItems : m_incomeItems;
        const int debits = l.amount < 0 && !m_debitItems.isEmpty() ? int(m_debitItems.size()) + 1 : 0;
        if (!ok || item < 0 || item >= entries.size() || entries.at(item) == debitHeading()) {
            dialogs().info(QString::number(l.lineNo) + QStringLiteral("行目（") + QString::number(l.date)
                + u' ' + l.description + QStringLiteral("）の項目を選択して下さい"));
            return;
        }
        if (firstIndex < 0)
            firstIndex = i;
        if (item < items.size() + debits)
            lines << ImportLedger::Line {l, entries.at(item), QString()};
        else
            lines << ImportLedger::Line {
                l, QString(), m_otherPlaces.value(item - int(items.size()) - debits)};
    }
    if (lines.isEmpty()) {
        dialogs().info(QStringLiteral("取り込む明細がありません"));
        return;
    }

    ImportLedger::Batch batch {clock().now().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")),
        QFileInfo(m_file).fileName(), m_preset->currentText(), place, std::nullopt, std::nullopt};
    if (m_statement.card) {
        batch.bill = cardBill(place);
        if (!batch.bill)
            return;
    }
    // Where the file says what the place held before its first line to import, the ledger is
    // compared with it at that very point: its balance at the start of that day plus the lines
    // of the day before it that the ledger already holds (imported, or typed by hand). Where
    // the two disagree, a stocktake can set the start of the day to the bank's figure.
    const StatementLine &first = m_statement.lines.at(firstIndex);
    if (first.balance) {
        std::optional<qint32> replayed;
        if (!withRead(
                [&](Database &db) { replayed = ImportLedger::balanceAtStartOf(db, place, first.date); }))
            return;
        const qint64 before = qint64(*first.balance) - first.amount
            - ImportLedger::heldEarlierThatDay(m_statement.lines, m_states, firstIndex);
        // A place with nothing recorded yet starts from the statement rather than being
        // compared with it.
        bool fresh = false;
        if (!withRead([&](Database &db) {
                Cursor c
                    = db.query(QStringLiteral("SELECT (SELECT COUNT(*) FROM N WHERE N_hokan = ?)"
                                              " + (SELECT COUNT(*) FROM S WHERE S_hokan = ?)"
                                              " + (SELECT COUNT(*) FROM Idourireki_T WHERE I_hokanmoto = ?"
                                              " OR I_hokansaki = ?)"
                                              " + (SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_hokan = ?)"),
                        {place, place, place, place, place});
                fresh = c.value(0).toLongLong() == 0;
            }))
            return;
        if (replayed && before != *replayed && before >= INT32_MIN && before <= INT32_MAX) {
            const QString question = fresh
                ? place + QStringLiteral("にはまだ記録がありません。\r\n残高を明細の") + dayText(first.date)
                    + QStringLiteral("時点の残高 ") + yen(before) + QStringLiteral("から始めますか？")
                : place + QStringLiteral("の") + dayText(first.date) + QStringLiteral("時点の残高 ")
                    + yen(*replayed) + QStringLiteral("が明細の残高 ") + yen(before)
                    + QStringLiteral("と違います。\r\n金額棚卸で ") + yen(before)
                    + QStringLiteral("にしてから取り込みますか？");
            if (dialogs().ask(question))
                batch.stocktakeTo = qint32(before);
        }
    }
    if (!dialogs().ask(QStringLiteral("%1件の明細を").arg(lines.size()) + place
            + QStringLiteral("に取り込みます　よろしいですか？")))
        return;

    ImportLedger::Refusal refusal;
    bool imported = false;
    const QString presetName = m_preset->currentText();
    const bool ok = withWrite(
        QStringLiteral("明細%1件を").arg(lines.size()) + place + QStringLiteral("に取込"), [&](Database &db) {
            // A refusal comes before the first statement that writes: nothing to roll back.
            imported = ImportLedger::importLines(db, batch, lines, refusal).has_value();
            if (imported)
                ImportLedger::rememberPlace(db, presetName, m_statement.account, place);
        });
    if (!refusal.message.isEmpty()) {
        dialogs().info(refusal.message);
        return;
    }
    if (!ok || !imported)
        return;
    dialogs().info(QStringLiteral("%1件を取り込みました").arg(lines.size()));
    refresh();
}

std::optional<ImportLedger::Bill> ImportWindow::cardBill(const QString &place)
{
    std::optional<CardLedger::Card> card;
    if (!withRead([&](Database &db) { card = CardLedger::card(db, place); }))
        return std::nullopt;
    if (!card) {
        dialogs().info(
            place + QStringLiteral("はカードとして登録されていません\r\nカード設定で登録して下さい"));
        return std::nullopt;
    }
    ImportLedger::Bill bill;
    int newest = 0;
    qint64 sum = 0;
    for (const StatementLine &l : std::as_const(m_statement.lines)) {
        newest = qMax(newest, l.date);
        sum -= l.amount;
    }
    // The file's payment date where the layout states one; else the card's own days say it.
    const int presetIndex = m_preset->currentIndex();
    const bool fromCard = presetIndex < 0 || m_presets.at(presetIndex).paymentFromCard;
    if (!fromCard && m_statement.paymentDate)
        bill.paymentDate = *m_statement.paymentDate;
    else {
        const QDate pay = CardLedger::paymentDate(
            *card, QDate(newest / 10000, newest / 100 % 100, newest % 100), m_statement.billMonth);
        bill.paymentDate = pay.isValid() ? pay.year() * 10000 + pay.month() * 100 + pay.day() : 0;
    }
    bill.total = m_statement.billTotal.value_or(sum);
    return bill;
}

void ImportWindow::undoBatch()
{
    QList<ImportLedger::BatchInfo> list;
    if (!withRead([&](Database &db) { list = ImportLedger::batches(db); }))
        return;
    if (list.isEmpty()) {
        dialogs().info(QStringLiteral("取り消せる取込がありません"));
        return;
    }
    QStringList entries;
    for (const ImportLedger::BatchInfo &b : list)
        entries << QStringList {b.when, b.file, b.preset, b.place,
            QString::number(b.count) + QStringLiteral("件"), BasGeneral::amountLabel(b.total)}
                       .join(u'　');
    const std::optional<int> chosen = m_pickFromList(QStringLiteral("取り消す取込"), entries);
    if (!chosen || *chosen < 0 || *chosen >= list.size())
        return;
    const ImportLedger::BatchInfo &b = list.at(*chosen);
    // The import is an action of the history: taking it back takes back every later action
    // too, as the history does. Only a batch the history no longer holds (imported before it
    // was kept, or pruned) is taken back on its own.
    std::optional<qint64> entry;
    int actions = 0;
    if (!withRead([&](Database &db) {
            entry = ActionHistory::insertedBy(db, QStringLiteral("X_import_batch"), b.no);
            if (entry)
                actions = int(ActionHistory::entriesFrom(db, *entry).size());
        }))
        return;
    if (entry) {
        QString question = b.when + QStringLiteral("の取込（") + QString::number(b.count)
            + QStringLiteral("件）を取り消します");
        if (actions > 1)
            question += QStringLiteral("\r\nその後の操作") + QString::number(actions - 1)
                + QStringLiteral("件も取り消します");
        if (!dialogs().ask(question + QStringLiteral("　よろしいですか？")))
            return;
        ActionHistory::Outcome outcome;
        if (!withDb([&] {
                outcome
                    = ActionHistory::takeBackFrom(dbPath(), *entry, historyName(), clock().now(), actions);
            }))
            return;
        dialogs().info(outcome.done ? QStringLiteral("取込を取り消しました") : outcome.refusal);
        if (m_statement.matched)
            refresh();
        return;
    }
    ImportLedger::Later later;
    if (!withRead([&](Database &db) { later = ImportLedger::laterThan(db, b.no); }))
        return;
    QString question = b.when + QStringLiteral("の取込（") + QString::number(b.count)
        + QStringLiteral("件）を取り消します");
    if (later.postings > 0 || later.stocktakes > 0)
        question += QStringLiteral("\r\n") + b.place
            + QStringLiteral("には取込後の入出金が%1件、金額棚卸が%2件あります")
                  .arg(later.postings)
                  .arg(later.stocktakes);
    if (!dialogs().ask(question + QStringLiteral("　よろしいですか？")))
        return;
    ImportLedger::Refusal refusal;
    const bool ok = withWrite(QStringLiteral("%1の取込の取消").arg(b.when),
        [&](Database &db) { ImportLedger::undo(db, b.no, refusal); });
    if (!refusal.message.isEmpty()) {
        dialogs().info(refusal.message);
        return;
    }
    if (!ok)
        return;
    dialogs().info(QStringLiteral("取込を取り消しました"));
    if (m_statement.matched)
        refresh();
}
