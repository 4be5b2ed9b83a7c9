// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportLedger.h"
#include "Preset.h"
#include "StatementParser.h"
#include "TaskWindow.h"

#include <QStringList>
#include <functional>
#include <optional>

class Grid;
class PresetEditor;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// F_import: reads a bank's or a card's statement file, shows each line with what it already is
// in the ledger, and imports the checked lines into one storage place as income and expense
// postings or as transfers to and from other places; a whole import can be taken back. A bank
// line that pays an imported card bill is offered as the transfer to that card.
class ImportWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit ImportWindow(const AppContext &context, QWidget *parent = nullptr);

    // Fills the presets, the storage places and the item lists.
    void load() override;

    // Reads a statement file as cmd_file does after its dialog.
    void openFile(const QString &path);

    // The file dialog and the list of batches to undo, replaceable in tests.
    using FilePicker = std::function<std::optional<QString>(const QString &filter, const QString &folder)>;
    void setFilePicker(FilePicker picker) { m_pickFile = std::move(picker); }
    using ListPicker = std::function<std::optional<int>(const QString &title, const QStringList &entries)>;
    void setListPicker(ListPicker picker) { m_pickFromList = std::move(picker); }

    // Runs the preset editor (modal in the program); true when it saved a preset.
    using EditorRunner = std::function<bool(PresetEditor &)>;
    void setEditorRunner(EditorRunner runner) { m_runEditor = std::move(runner); }

    // Grid columns.
    enum Col {
        ColCheck = 1,
        ColDate,
        ColText,
        ColOut,
        ColIn,
        ColBalance,
        ColItem,
        ColState,
        ColCount = ColState
    };
    static QString checkedMark() { return QStringLiteral("○"); }
    // The heading in a withdrawal's item list above the automatic debits' items.
    static QString debitHeading() { return QStringLiteral("―― 自動引落 ――"); }
    // Whether the line in grid row `row` is to be imported.
    bool isChecked(int row) const { return m_checked.value(row - 1); }
    // What the item cell of grid row `row` shows in its tooltip: the rule that filled it.
    QString itemTip(int row) const { return m_states.value(row - 1).rule; }

    // Opens F_rule on the place chosen now (cmd_rule); the window, for tests.
    TaskWindow *openRules();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void chooseFile();
    void presetChosen(int index);
    // The preset editor on a file's first lines; the index of the saved preset, if any.
    std::optional<int> editPreset(const QStringList &lines);
    void editCurrentPreset();
    void parseWith(int presetIndex);
    void refresh();
    void toggle(int col, int row);
    void execute();
    void undoBatch();
    void showMessages();
    // The bill of a card statement for the card `place`; nullopt (and said why) when the place
    // is no card.
    std::optional<ImportLedger::Bill> cardBill(const QString &place);

    QList<Preset> m_presets;
    QStringList m_incomeItems, m_expenseItems, m_debitItems, m_places;
    // The other places offered as transfer targets after the items, for the place chosen now.
    QStringList m_otherPlaces;
    QString m_file;
    QStringList m_lines; // the decoded file
    QString m_encoding;
    Statement m_statement;
    QList<ImportLedger::LineState> m_states;
    QList<bool> m_checked;

    FilePicker m_pickFile;
    ListPicker m_pickFromList;
    EditorRunner m_runEditor;

    QLabel *m_fileLabel = nullptr;
    QLabel *m_hint = nullptr;
    QComboBox *m_preset = nullptr;
    QComboBox *m_hokan = nullptr;
    Grid *m_grid = nullptr;
    QPlainTextEdit *m_kekka = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_undo = nullptr;
    QPushButton *m_rule = nullptr;
    QPushButton *m_end = nullptr;
};
