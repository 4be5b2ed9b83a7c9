// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MoveIn.h"
#include "TaskWindow.h"

#include <QStringList>
#include <functional>

class Grid;
class PresetEditor;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// F_iten: years of a household's books moved in at once from another household program's export
// or a spreadsheet's CSV. The files are read and previewed first (the masters to be created,
// each renameable or mapped onto an existing one, the lines, every unreadable line and each
// place's balance for today); nothing is written until 移行実行, which writes it all as one
// action of the history after a backup.
class MoveInWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit MoveInWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;
    // Reads the files as cmd_file does after its dialog.
    void openFiles(const QStringList &paths);

    using FilesPicker = std::function<QStringList(const QString &filter)>;
    void setFilesPicker(FilesPicker picker) { m_pickFiles = std::move(picker); }
    using EditorRunner = std::function<bool(PresetEditor &)>;
    void setEditorRunner(EditorRunner runner) { m_runEditor = std::move(runner); }

    // The lines grid's columns, and the masters grid's.
    enum Col { ColTake = 1, ColDate, ColPlace, ColItem, ColAmount, ColMemo, ColState, ColCount = ColState };
    enum MasterCol { MKind = 1, MSource, MName, MState, MSum, MBalance, MCount = MBalance };

    const MoveIn::Plan &plan() const { return m_plan; }

private:
    void chooseFiles();
    void editPreset();
    void readAgain();
    void showPlan();
    void showLines();
    void toggle(int col, int row);
    // The names and balances typed in the masters grid, into the plan.
    bool takeMasters();
    void execute();

    QList<MoveIn::SourceFile> m_files;
    QList<Preset> m_presets; // the spreadsheet layouts the user saved
    MoveIn::Plan m_plan;
    QStringList m_places;

    FilesPicker m_pickFiles;
    EditorRunner m_runEditor;
    QLabel *m_fileLabel = nullptr;
    QComboBox *m_preset = nullptr;
    QComboBox *m_other = nullptr;
    Grid *m_masters = nullptr;
    Grid *m_grid = nullptr;
    QPlainTextEdit *m_kekka = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_end = nullptr;
};
