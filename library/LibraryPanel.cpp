#include "library/LibraryPanel.h"

#include "gui/KeyboardReach.h"
#include "gui/MessageBox.h"
#include "library/LibraryDelegate.h"
#include "store/IndexRefresher.h"
#include "store/MemoStore.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QRegularExpression>
#include <QMainWindow>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// Changes to the folder come in bursts (a write is a temporary file, then a rename).
constexpr int kSettleMs = 150;

// The nearest folder of PATH or above it that exists: a library folder not made yet is
// watched through its parent, so that it is noticed when it appears.
QString nearestExisting(QString path)
{
    while (!path.isEmpty() && !QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            break;
        path = parent;
    }
    return path;
}

}  // namespace

// Keeps the selected memos, the current one and the scroll position across a change of the
// list: memos that are still shown stay selected.
class TLibraryPanel::KeepSelection {
public:
    explicit KeepSelection(TLibraryPanel* panel, bool keepScroll) : panel_(panel), keepScroll_(keepScroll)
    {
        const QModelIndexList selected = panel->memoList->selectionModel()->selectedIndexes();
        for (const QModelIndex& index : selected)
            names_.insert(panel->memoModel->entryAt(index.row()).fileName());
        const QModelIndex current = panel->memoList->currentIndex();
        if (current.isValid())
            current_ = panel->memoModel->entryAt(current.row()).fileName();
        scroll_ = panel->memoList->verticalScrollBar()->value();
    }
    ~KeepSelection()
    {
        TLibraryModel* model = panel_->memoModel;
        QItemSelection selection;
        int first = -1;
        for (int row = 0; row <= model->rowCount(); ++row) {
            const bool in = row < model->rowCount() && !names_.isEmpty() && names_.contains(model->entryAt(row).fileName());
            if (in && first < 0)
                first = row;
            if (!in && first >= 0) {
                selection.select(model->index(first), model->index(row - 1));
                first = -1;
            }
        }
        QItemSelectionModel* selectionModel = panel_->memoList->selectionModel();
        if (!current_.isEmpty())
            if (const int row = model->rowOf(current_); row >= 0)
                selectionModel->setCurrentIndex(model->index(row), QItemSelectionModel::NoUpdate);
        if (!selection.isEmpty())
            selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
        if (keepScroll_) {
            panel_->memoList->doItemsLayout();
            panel_->memoList->verticalScrollBar()->setValue(scroll_);
        }
    }

private:
    TLibraryPanel* panel_;
    bool keepScroll_;
    QSet<QString> names_;
    QString current_;
    int scroll_ = 0;
};

TLibraryPanel::TLibraryPanel(const QString& folder, QWidget* parent)
    : QWidget(parent), folder_(folder), index_(std::make_unique<IndexRefresher>(folder))
{
    setObjectName(QStringLiteral("LibraryPanel1"));
    filterEdit = new QLineEdit(this);
    filterEdit->setObjectName(QStringLiteral("Filter1"));
    filterEdit->setPlaceholderText(QStringLiteral("検索 (言葉、#タグ、★、2026-12-07、今日)"));
    filterEdit->setToolTip(QStringLiteral("言葉はタイトル・読み・タグ・メモ書きから探します。\n"
                                          "#タグ: そのタグのメモ、★ か is:star: スター付きのメモ、\n"
                                          "2026-12-07、2026-12、2026-12-01..2026-12-07、今日、昨日: その日に届いたメモ"));
    filterEdit->setClearButtonEnabled(true);
    filterEdit->setAccessibleName(QStringLiteral("検索"));
    orderBox = new QComboBox(this);
    orderBox->setObjectName(QStringLiteral("Order1"));
    NameList(orderBox, QStringLiteral("並べ替え"));
    orderBox->addItems({QStringLiteral("新しい順"), QStringLiteral("古い順"), QStringLiteral("タイトル順")});

    memoModel = new TLibraryModel(this);
    memoModel->setFolder(folder_);
    memoList = new QListView(this);
    memoList->setObjectName(QStringLiteral("List1"));
    memoList->setAccessibleName(QStringLiteral("メモの一覧"));
    memoList->setModel(memoModel);
    memoList->setItemDelegate(new TLibraryDelegate(memoList));
    // A grid that fills rows left to right; all cells alike, so ten thousand lay out at once.
    memoList->setViewMode(QListView::ListMode);
    memoList->setFlow(QListView::LeftToRight);
    memoList->setWrapping(true);
    memoList->setResizeMode(QListView::Adjust);
    memoList->setMovement(QListView::Static);
    memoList->setUniformItemSizes(true);
    memoList->setGridSize(TLibraryDelegate::CellSize(memoList->fontMetrics()));
    memoList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    memoList->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    memoList->verticalScrollBar()->setSingleStep(memoList->gridSize().height() / 3);
    memoList->setMouseTracking(true);
    memoList->setContextMenuPolicy(Qt::ActionsContextMenu);

    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("Count1"));
    countLabel->setToolTip(QDir::toNativeSeparators(folder_));
    noticeLabel = new QLabel(this);
    noticeLabel->setObjectName(QStringLiteral("Notice1"));
    noticeLabel->setWordWrap(true);
    noticeLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    noticeLabel->hide();

    createActions();
    auto* tools = commandBar = new QToolBar(this);
    tools->setObjectName(QStringLiteral("Tools1"));
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tools->setIconSize(QSize(16, 16));
    for (QAction* a : {openAction, sendAction, printAction, exportAction, trashAction, renameAction,
                       duplicatesAction, trashDuplicatesAction})
        tools->addAction(a);
    // Only where it applies: most folders never see a conflict copy.
    tools->addAction(keepAction);
    keepAction->setVisible(false);
    notesBar = new QToolBar(this);
    notesBar->setObjectName(QStringLiteral("NotesTools1"));
    notesBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QAction* a : {notesAction, starAction, undoNotesAction})
        notesBar->addAction(a);

    tagList = new QListWidget(this);
    tagList->setObjectName(QStringLiteral("TagList1"));
    tagList->setAccessibleName(QStringLiteral("タグの一覧"));
    tagList->setToolTip(QStringLiteral("クリックするとそのタグのメモだけを表示します"));
    tagList->setFlow(QListView::LeftToRight);
    tagList->setWrapping(true);
    tagList->setResizeMode(QListView::Adjust);
    tagList->setSpacing(3);
    // Two rows of tags; more scroll.
    tagList->setMaximumHeight(2 * (tagList->fontMetrics().height() + 2 * tagList->spacing()) + 2 * tagList->frameWidth() + 2);
    tagList->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    tagList->hide();  // until the folder has tags
    connect(tagList, &QListWidget::itemClicked, this, &TLibraryPanel::filterByTag);
    // From the keyboard: Enter or Space on the current tag (an activation would come on top of
    // the click where a style activates on one click).
    auto* chooseTag = new QAction(tagList);
    chooseTag->setShortcuts({Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space});
    chooseTag->setShortcutContext(Qt::WidgetShortcut);
    tagList->addAction(chooseTag);
    connect(chooseTag, &QAction::triggered, this, [this] { filterByTag(tagList->currentItem()); });

    auto* top = new QHBoxLayout;
    top->addWidget(filterEdit, 1);
    top->addWidget(orderBox);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    layout->addLayout(top);
    layout->addWidget(tools);
    layout->addWidget(notesBar);
    layout->addWidget(tagList);
    layout->addWidget(memoList, 1);
    layout->addWidget(noticeLabel);
    layout->addWidget(countLabel);

    connect(filterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        {
            KeepSelection keep(this, false);
            memoModel->setFilter(text);
        }
        memoList->scrollToTop();
        updateCount();
    });
    // The list opens in the order last chosen, and a new choice is kept for the next start.
    orderBox->setCurrentIndex(std::max<qsizetype>(0, kLibraryOrders.indexOf(LibrarySettings.Order)));
    memoModel->setOrder(TLibraryModel::Order(orderBox->currentIndex()));
    connect(orderBox, &QComboBox::currentIndexChanged, this, [this](int order) {
        LibrarySettings.Order = kLibraryOrders.value(order, kLibraryOrders.first());
        {
            KeepSelection keep(this, false);
            memoModel->setOrder(TLibraryModel::Order(order));
        }
        if (memoList->currentIndex().isValid())
            memoList->scrollTo(memoList->currentIndex());
        else
            memoList->scrollToTop();
    });
    connect(memoList, &QListView::activated, this, [this] { openAction->trigger(); });
    memoList->installEventFilter(this);
    connect(memoList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        updateActions();
        updateCount();
    });
    // Down from the filter box goes into the list.
    auto* intoList = new QAction(filterEdit);
    intoList->setShortcut(Qt::Key_Down);
    intoList->setShortcutContext(Qt::WidgetShortcut);
    filterEdit->addAction(intoList);
    connect(intoList, &QAction::triggered, this, [this] {
        memoList->setFocus();
        if (!memoList->currentIndex().isValid() && memoModel->rowCount() > 0)
            memoList->setCurrentIndex(memoModel->index(0));
    });
    auto* clearFilter = new QAction(filterEdit);
    clearFilter->setShortcut(Qt::Key_Escape);
    clearFilter->setShortcutContext(Qt::WidgetShortcut);
    filterEdit->addAction(clearFilter);
    connect(clearFilter, &QAction::triggered, filterEdit, &QLineEdit::clear);

    watcher_ = new QFileSystemWatcher(this);
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
    connect(settle_, &QTimer::timeout, this, &TLibraryPanel::refresh);
    connect(index_.get(), &IndexRefresher::Refreshed, this, &TLibraryPanel::takeEntries);
    connect(index_.get(), &IndexRefresher::Meanwhile, this, [this](MemoEntries known) {
        KeepSelection keep(this, true);
        memoModel->setEntries(std::move(known), false);
        partShown_ = true;
        updateTags();
        updateCount();
        updateActions();
    });
    // The first look at the folder reads every memo when there is no index yet: meanwhile the
    // list shows the memos the index knew, or says that they are being read.
    refresh();
    updateCount();
    updateActions();
}

// A refresh still running is stopped between two files and waited for, before the list it
// would hand its memos to goes.
TLibraryPanel::~TLibraryPanel()
{
    index_.reset();
}

bool TLibraryPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == memoList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool typed = !text.isEmpty() && text.at(0).isPrint() &&
                           !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (typed) {
            filterEdit->setFocus();
            filterEdit->insert(text);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TLibraryPanel::createActions()
{
    auto make = [this](const char* name, const QString& text, QKeySequence key, auto slot) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        // On the buttons without the key letter and the dots, so that all fit beside two memos.
        action->setIconText(QString(text).remove(QRegularExpression(QStringLiteral("\\(&.\\)|\\.\\.\\."))));
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        connect(action, &QAction::triggered, this, [this, slot] { RunGuarded([&] { slot(); }); });
        addAction(action);
        memoList->addAction(action);
        return action;
    };
    openAction = make("OpenMemo1", QStringLiteral("開く(&O)"), {}, [this] {
        if (open_)
            OpenLibraryMemos(selectedMemos(), open_);
    });
    sendAction = make("SendMemo1", QStringLiteral("送信(&S)"), {}, [this] { emit sendRequested(selectedMemos()); });
    printAction = make("PrintMemo1", QStringLiteral("印刷(&P)"), {}, [this] { PrintLibraryMemos(this, selectedMemos()); });
    exportAction = make("ExportMemo1", QStringLiteral("書き出し(&E)..."), {},
                       [this] { ExportLibraryMemos(this, selectedMemos()); });
    trashAction = make("TrashMemo1", QStringLiteral("削除(&D)"), QKeySequence::Delete, [this] {
        const int first = memoList->currentIndex().row();
        if (const QStringList trashed = TrashLibraryMemos(selectedMemos()); !trashed.isEmpty())
            emit memosTrashed(trashed);
        refreshThen([this, first] {
            // The memo that took the place of the first one gone is the current one, as in a file list.
            if (!memoList->selectionModel()->hasSelection() && memoModel->rowCount() > 0 && first >= 0)
                memoList->setCurrentIndex(memoModel->index(std::min(first, memoModel->rowCount() - 1)));
        });
    });
    notesAction = make("MemoNotes1", QStringLiteral("タグ・メモ書き(&T)..."), QKeySequence(Qt::CTRL | Qt::Key_T), [this] {
        const QList<LibraryMemo> memos = selectedMemos();
        if (memos.isEmpty())
            return;
        TMemoNotesDialog dialog(memos, this);
        if (dialog.exec() == QDialog::Accepted)
            changeNotes(dialog.change());
    });
    starAction = make("StarMemo1", QStringLiteral("スター(&R)"), {}, [this] {
        const QList<LibraryMemo> memos = selectedMemos();
        const bool all = !memos.isEmpty() &&
                         std::all_of(memos.cbegin(), memos.cend(), [](const LibraryMemo& m) { return m.starred; });
        changeNotes({{}, {}, {}, !all});
    });
    undoNotesAction = make("UndoNotes1", QStringLiteral("元に戻す(&U)"), {}, [this] {
        UndoLibraryNotes(this, std::exchange(undo_, {}));
        updateActions();
        refresh();
    });
    undoNotesAction->setToolTip(QStringLiteral("タグ・メモ書き・スターの最後の変更を元に戻します"));
    duplicatesAction = make("FindDuplicates1", QStringLiteral("重複を探す(&F)"), {}, [this] {
        if (!duplicatesAction->isChecked()) {
            {
                KeepSelection keep(this, false);
                memoModel->setDuplicates(std::nullopt);
            }
            updateCount();
            updateActions();
            return;
        }
        // The folder as it is now, then the memos in it more than once.
        refreshThen([this] {
            if (duplicatesAction->isChecked())
                findDuplicates();
        });
    });
    duplicatesAction->setCheckable(true);
    trashDuplicatesAction = make("TrashDuplicates1", QStringLiteral("重複を削除(&X)"), {}, [this] { trashDuplicates(); });
    renameAction = make("RenameMemo1", QStringLiteral("名前の変更(&M)..."), Qt::Key_F2, [this] {
        const QModelIndexList selected = memoList->selectionModel()->selectedIndexes();
        if (selected.size() != 1)
            return;
        const LibraryMemo memo = memoAt(selected[0].row());
        const QString renamed = RenameLibraryMemo(this, memo);
        if (!renamed.isEmpty())
            emit memoRenamed(memo.path, QFileInfo(memo.path).dir().filePath(renamed));
        refreshThen([this, renamed] {
            if (const int row = renamed.isEmpty() ? -1 : memoModel->rowOf(renamed); row >= 0) {
                memoList->setCurrentIndex(memoModel->index(row));
                memoList->scrollTo(memoModel->index(row));
            }
        });
    });
    keepAction = make("KeepVersion1", QStringLiteral("このファイルを残す(&K)..."), {}, [this] {
        const QModelIndexList selected = memoList->selectionModel()->selectedIndexes();
        if (selected.size() != 1)
            return;
        const LibraryMemo memo = memoAt(selected[0].row());
        QStringList trashed;
        const QString kept = KeepLibraryVersion(memo, memoModel->versionsOf(selected[0].row()), &trashed);
        if (!trashed.isEmpty())
            emit memosTrashed(trashed);
        const QString keptPath = QFileInfo(memo.path).dir().filePath(kept);
        if (!kept.isEmpty() && keptPath != memo.path)
            emit memoRenamed(memo.path, keptPath);
        refreshThen([this, kept] {
            if (const int row = kept.isEmpty() ? -1 : memoModel->rowOf(kept); row >= 0) {
                memoList->setCurrentIndex(memoModel->index(row));
                memoList->selectionModel()->select(memoModel->index(row), QItemSelectionModel::ClearAndSelect);
                memoList->scrollTo(memoModel->index(row));
            }
        });
    });
}

void TLibraryPanel::changeNotes(const MemoNotesChange& change)
{
    const QList<LibraryMemo> memos = selectedMemos();
    if (memos.isEmpty())
        return;
    NotesUndo undo = ChangeLibraryNotes(this, memos, change);
    if (!undo.isEmpty())
        undo_ = std::move(undo);
    updateActions();
    refresh();
}

void TLibraryPanel::updateTags()
{
    const QList<QPair<QString, int>> counts = memoModel->tagCounts();
    const QString current = tagList->currentItem() ? tagList->currentItem()->data(Qt::UserRole).toString() : QString();
    tagList->clear();
    for (const auto& [tag, count] : counts) {
        auto* item = new QListWidgetItem(QStringLiteral("#%1 (%2)").arg(tag).arg(count), tagList);
        item->setData(Qt::UserRole, tag);
        if (tag == current)
            tagList->setCurrentItem(item);
    }
    tagList->setVisible(!counts.isEmpty());
}

void TLibraryPanel::filterByTag(QListWidgetItem* item)
{
    if (!item)
        return;
    const QString term = QLatin1Char('#') + item->data(Qt::UserRole).toString();
    QStringList words = filterEdit->text().split(QRegularExpression(QStringLiteral("[ \u3000]+")), Qt::SkipEmptyParts);
    if (words.contains(term))
        words.removeAll(term);  // a second click takes the tag out of the search again
    else
        words << term;
    filterEdit->setText(words.join(QLatin1Char(' ')));
}

void TLibraryPanel::findDuplicates()
{
    DuplicateGroups groups;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        groups = FindDuplicateMemos(folder_, *memoModel->entries());
        QApplication::restoreOverrideCursor();
    }
    {
        KeepSelection keep(this, false);
        memoModel->setDuplicates(std::move(groups));
    }
    memoList->scrollToTop();
    updateCount();
    updateActions();
}

void TLibraryPanel::trashDuplicates()
{
    QList<LibraryMemo> surplus;
    for (const QString& name : memoModel->surplusDuplicates())
        if (const int row = memoModel->rowOf(name); row >= 0)
            surplus << memoAt(row);
    if (const QStringList trashed = TrashLibraryMemos(surplus); !trashed.isEmpty())
        emit memosTrashed(trashed);
    refreshThen([] {});
}

void TLibraryPanel::refresh()
{
    index_->Request();
    watchFolder();
}

bool TLibraryPanel::refreshing() const
{
    return index_->Busy();
}

void TLibraryPanel::refreshThen(std::function<void()> after)
{
    afterRefresh_.push_back(std::move(after));
    refresh();
}

void TLibraryPanel::takeEntries(MemoEntries entries, bool changed)
{
    if (changed || std::exchange(partShown_, false)) {
        KeepSelection keep(this, true);
        memoModel->setEntries(std::move(entries), true);
        updateTags();
    }
    updateCount();
    updateActions();
    updateNotice();
    if (index_->Busy())
        return;  // another look follows: its list is the one asked for
    for (const auto& after : std::exchange(afterRefresh_, {}))
        after();
    emit refreshed();
}

void TLibraryPanel::watchFolder()
{
    const QString target = nearestExisting(folder_);
    const QStringList watched = watcher_->directories();
    if (watched.size() == 1 && watched[0] == target)
        return;
    if (!watched.isEmpty())
        watcher_->removePaths(watched);
    if (!target.isEmpty())
        watcher_->addPath(target);
}

void TLibraryPanel::updateActions()
{
    const qsizetype n = memoList->selectionModel()->selectedIndexes().size();
    for (QAction* a : {openAction, sendAction, printAction, exportAction, trashAction, notesAction, starAction})
        a->setEnabled(n > 0);
    renameAction->setEnabled(n == 1);
    const QModelIndexList selected = memoList->selectionModel()->selectedIndexes();
    const bool versions = n == 1 && memoModel->versionsOf(selected[0].row()).size() > 1;
    keepAction->setEnabled(versions);
    keepAction->setVisible(memoModel->conflictCount() > 0);
    undoNotesAction->setEnabled(!undo_.isEmpty());
    trashDuplicatesAction->setVisible(memoModel->showingDuplicates());
    trashDuplicatesAction->setEnabled(!memoModel->surplusDuplicates().isEmpty());
}

void TLibraryPanel::updateNotice()
{
    const QString problem = index_->Problem();
    noticeLabel->setText(problem);
    noticeLabel->setVisible(!problem.isEmpty());
}

void TLibraryPanel::updateCount()
{
    const int total = memoModel->totalCount();
    const int shown = memoModel->rowCount();
    QString text;
    if (memoModel->showingDuplicates() && shown == 0)
        text = QStringLiteral("重複しているメモはありません");
    else if (memoModel->showingDuplicates())
        text = QStringLiteral("重複 %1 組 (%2 件)").arg(memoModel->duplicateGroupCount()).arg(shown);
    else if (total == 0 && index_->Busy())
        text = QStringLiteral("メモを読み込んでいます…");
    else if (total == 0)
        text = QStringLiteral("メモはまだありません");
    else if (shown == total)
        text = QStringLiteral("%1 件").arg(total);
    else
        text = QStringLiteral("%1 / %2 件").arg(shown).arg(total);
    if (const int conflicts = memoModel->conflictCount(); conflicts > 0 && total > 0)
        text += QStringLiteral("  競合 %1 件").arg(conflicts);
    const qsizetype selected = memoList->selectionModel()->selectedIndexes().size();
    if (selected > 0)
        text += QStringLiteral("  (%1 件を選択)").arg(selected);
    countLabel->setText(text);
}

LibraryMemo TLibraryPanel::memoAt(int row) const
{
    const MemoEntry& e = memoModel->entryAt(row);
    return {memoModel->pathAt(row), e.title().toString(), e.reading().toString(), QDateTime::fromMSecsSinceEpoch(e.time()),
            e.titled(),             e.tags(),             e.note().toString(),    e.starred()};
}

QList<LibraryMemo> TLibraryPanel::selectedMemos() const
{
    QModelIndexList selected = memoList->selectionModel()->selectedIndexes();
    std::sort(selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<LibraryMemo> memos;
    memos.reserve(selected.size());
    for (const QModelIndex& index : selected)
        memos << memoAt(index.row());
    return memos;
}

QDockWidget* ShowLibrary(QMainWindow* frame, const MemoOpener& open)
{
    auto* dock = frame->findChild<QDockWidget*>(QStringLiteral("LibraryDock1"));
    auto* panel = dock ? qobject_cast<TLibraryPanel*>(dock->widget()) : nullptr;
    const QString folder = LibraryFolder();
    if (!dock) {
        dock = new QDockWidget(QStringLiteral("メモ一覧"), frame);
        dock->setObjectName(QStringLiteral("LibraryDock1"));
        dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
        frame->addDockWidget(Qt::LeftDockWidgetArea, dock);
    }
    if (!panel || panel->folder() != folder) {
        delete panel;  // the folder was changed in the options
        panel = new TLibraryPanel(folder, dock);
        dock->setWidget(panel);
        // Two columns of memos beside the memo windows; the frame grows when it has no room.
        const int width = std::max(2 * panel->memoList->gridSize().width() +
                                       panel->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 24,
                                   panel->commandBar->sizeHint().width() + 16);
        const QRect free = frame->screen() ? frame->screen()->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
        const int wanted = width + 420;
        if (frame->width() < wanted) {
            frame->resize(std::min(wanted, free.width() - 8), std::max(frame->height(), std::min(560, free.height() - 40)));
            // Grown to the right and down: kept on the screen.
            const QRect placed = frame->frameGeometry();
            frame->move(std::max(free.left(), std::min(placed.left(), free.right() - placed.width())),
                        std::max(free.top(), std::min(placed.top(), free.bottom() - placed.height())));
        }
        frame->resizeDocks({dock}, {width}, Qt::Horizontal);
    }
    panel->setOpener(open);
    dock->show();
    dock->raise();
    panel->refresh();
    panel->memoList->setFocus();
    return dock;
}
