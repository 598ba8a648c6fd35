#include "library/LibraryPanel.h"

#include "gui/MessageBox.h"
#include "library/LibraryDelegate.h"
#include "store/LibraryIndex.h"
#include "store/MemoStore.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
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
        const QModelIndexList selected = panel->List1->selectionModel()->selectedIndexes();
        for (const QModelIndex& index : selected)
            names_.insert(panel->Model1->entryAt(index.row()).fileName);
        const QModelIndex current = panel->List1->currentIndex();
        if (current.isValid())
            current_ = panel->Model1->entryAt(current.row()).fileName;
        scroll_ = panel->List1->verticalScrollBar()->value();
    }
    ~KeepSelection()
    {
        TLibraryModel* model = panel_->Model1;
        QItemSelection selection;
        int first = -1;
        for (int row = 0; row <= model->rowCount(); ++row) {
            const bool in = row < model->rowCount() && names_.contains(model->entryAt(row).fileName);
            if (in && first < 0)
                first = row;
            if (!in && first >= 0) {
                selection.select(model->index(first), model->index(row - 1));
                first = -1;
            }
        }
        QItemSelectionModel* selectionModel = panel_->List1->selectionModel();
        if (!current_.isEmpty())
            if (const int row = model->rowOf(current_); row >= 0)
                selectionModel->setCurrentIndex(model->index(row), QItemSelectionModel::NoUpdate);
        if (!selection.isEmpty())
            selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
        if (keepScroll_) {
            panel_->List1->doItemsLayout();
            panel_->List1->verticalScrollBar()->setValue(scroll_);
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
    : QWidget(parent), folder_(folder), index_(std::make_unique<LibraryIndex>(folder))
{
    setObjectName(QStringLiteral("LibraryPanel1"));
    Filter1 = new QLineEdit(this);
    Filter1->setObjectName(QStringLiteral("Filter1"));
    Filter1->setPlaceholderText(QStringLiteral("タイトル・読みで絞り込み"));
    Filter1->setClearButtonEnabled(true);
    Order1 = new QComboBox(this);
    Order1->setObjectName(QStringLiteral("Order1"));
    Order1->addItems({QStringLiteral("新しい順"), QStringLiteral("古い順"), QStringLiteral("タイトル順")});

    Model1 = new TLibraryModel(this);
    Model1->setFolder(folder_);
    List1 = new QListView(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setModel(Model1);
    List1->setItemDelegate(new TLibraryDelegate(List1));
    // A grid that fills rows left to right; all cells alike, so ten thousand lay out at once.
    List1->setViewMode(QListView::ListMode);
    List1->setFlow(QListView::LeftToRight);
    List1->setWrapping(true);
    List1->setResizeMode(QListView::Adjust);
    List1->setMovement(QListView::Static);
    List1->setUniformItemSizes(true);
    List1->setGridSize(TLibraryDelegate::CellSize(List1->fontMetrics()));
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List1->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    List1->verticalScrollBar()->setSingleStep(List1->gridSize().height() / 3);
    List1->setMouseTracking(true);
    List1->setContextMenuPolicy(Qt::ActionsContextMenu);

    Count1 = new QLabel(this);
    Count1->setObjectName(QStringLiteral("Count1"));
    Count1->setToolTip(QDir::toNativeSeparators(folder_));

    createActions();
    auto* tools = Tools1 = new QToolBar(this);
    tools->setObjectName(QStringLiteral("Tools1"));
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tools->setIconSize(QSize(16, 16));
    for (QAction* a : {OpenMemo1, SendMemo1, PrintMemo1, ExportMemo1, TrashMemo1, RenameMemo1})
        tools->addAction(a);

    auto* top = new QHBoxLayout;
    top->addWidget(Filter1, 1);
    top->addWidget(Order1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    layout->addLayout(top);
    layout->addWidget(tools);
    layout->addWidget(List1, 1);
    layout->addWidget(Count1);

    connect(Filter1, &QLineEdit::textChanged, this, [this](const QString& text) {
        {
            KeepSelection keep(this, false);
            Model1->setFilter(text);
        }
        List1->scrollToTop();
        updateCount();
    });
    connect(Order1, &QComboBox::currentIndexChanged, this, [this](int order) {
        {
            KeepSelection keep(this, false);
            Model1->setOrder(TLibraryModel::Order(order));
        }
        if (List1->currentIndex().isValid())
            List1->scrollTo(List1->currentIndex());
        else
            List1->scrollToTop();
    });
    connect(List1, &QListView::activated, this, [this] { OpenMemo1->trigger(); });
    List1->installEventFilter(this);
    connect(List1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        updateActions();
        updateCount();
    });
    // Down from the filter box goes into the list.
    auto* intoList = new QAction(Filter1);
    intoList->setShortcut(Qt::Key_Down);
    intoList->setShortcutContext(Qt::WidgetShortcut);
    Filter1->addAction(intoList);
    connect(intoList, &QAction::triggered, this, [this] {
        List1->setFocus();
        if (!List1->currentIndex().isValid() && Model1->rowCount() > 0)
            List1->setCurrentIndex(Model1->index(0));
    });
    auto* clearFilter = new QAction(Filter1);
    clearFilter->setShortcut(Qt::Key_Escape);
    clearFilter->setShortcutContext(Qt::WidgetShortcut);
    Filter1->addAction(clearFilter);
    connect(clearFilter, &QAction::triggered, Filter1, &QLineEdit::clear);

    watcher_ = new QFileSystemWatcher(this);
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
    connect(settle_, &QTimer::timeout, this, &TLibraryPanel::refresh);
    // The first look at the folder reads every memo when there is no index yet.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    refresh();
    QApplication::restoreOverrideCursor();
    updateActions();
}

TLibraryPanel::~TLibraryPanel() = default;

bool TLibraryPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == List1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool typed = !text.isEmpty() && text.at(0).isPrint() &&
                           !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (typed) {
            Filter1->setFocus();
            Filter1->insert(text);
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
        List1->addAction(action);
        return action;
    };
    OpenMemo1 = make("OpenMemo1", QStringLiteral("開く(&O)"), {}, [this] {
        if (open_)
            OpenLibraryMemos(selectedMemos(), open_);
    });
    SendMemo1 = make("SendMemo1", QStringLiteral("送信(&S)"), {}, [this] { emit sendRequested(selectedMemos()); });
    PrintMemo1 = make("PrintMemo1", QStringLiteral("印刷(&P)"), {}, [this] { PrintLibraryMemos(this, selectedMemos()); });
    ExportMemo1 = make("ExportMemo1", QStringLiteral("書き出し(&E)..."), {},
                       [this] { ExportLibraryMemos(this, selectedMemos()); });
    TrashMemo1 = make("TrashMemo1", QStringLiteral("削除(&D)"), QKeySequence::Delete, [this] {
        const int first = List1->currentIndex().row();
        TrashLibraryMemos(selectedMemos());
        refresh();
        // The memo that took the place of the first one gone is the current one, as in a file list.
        if (!List1->selectionModel()->hasSelection() && Model1->rowCount() > 0 && first >= 0)
            List1->setCurrentIndex(Model1->index(std::min(first, Model1->rowCount() - 1)));
    });
    RenameMemo1 = make("RenameMemo1", QStringLiteral("名前の変更(&M)..."), Qt::Key_F2, [this] {
        const QModelIndexList selected = List1->selectionModel()->selectedIndexes();
        if (selected.size() != 1)
            return;
        const QString renamed = RenameLibraryMemo(this, memoAt(selected[0].row()));
        refresh();
        if (const int row = renamed.isEmpty() ? -1 : Model1->rowOf(renamed); row >= 0) {
            List1->setCurrentIndex(Model1->index(row));
            List1->scrollTo(Model1->index(row));
        }
    });
}

void TLibraryPanel::refresh()
{
    bool changed = false;
    MemoEntries entries = index_->Refresh(&changed);
    if (changed) {
        KeepSelection keep(this, true);
        Model1->setEntries(std::move(entries));
    }
    watchFolder();
    updateCount();
    updateActions();
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
    const qsizetype n = List1->selectionModel()->selectedIndexes().size();
    for (QAction* a : {OpenMemo1, SendMemo1, PrintMemo1, ExportMemo1, TrashMemo1})
        a->setEnabled(n > 0);
    RenameMemo1->setEnabled(n == 1);
}

void TLibraryPanel::updateCount()
{
    const int total = Model1->totalCount();
    const int shown = Model1->rowCount();
    QString text;
    if (total == 0)
        text = QStringLiteral("メモはまだありません");
    else if (shown == total)
        text = QStringLiteral("%1 件").arg(total);
    else
        text = QStringLiteral("%1 / %2 件").arg(shown).arg(total);
    const qsizetype selected = List1->selectionModel()->selectedIndexes().size();
    if (selected > 0)
        text += QStringLiteral("  (%1 件を選択)").arg(selected);
    Count1->setText(text);
}

LibraryMemo TLibraryPanel::memoAt(int row) const
{
    const MemoEntry& e = Model1->entryAt(row);
    return {Model1->pathAt(row), e.info.title, e.info.reading, QDateTime::fromMSecsSinceEpoch(e.info.time),
            e.info.titled};
}

QList<LibraryMemo> TLibraryPanel::selectedMemos() const
{
    QModelIndexList selected = List1->selectionModel()->selectedIndexes();
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
        const int width = std::max(2 * panel->List1->gridSize().width() +
                                       panel->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 24,
                                   panel->Tools1->sizeHint().width() + 16);
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
    panel->List1->setFocus();
    return dock;
}
