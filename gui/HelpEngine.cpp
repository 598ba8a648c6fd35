#include "gui/HelpEngine.h"

#include "platform/HelpIndex.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace platform {

namespace {

QString g_helpFile;

enum class Tab { Contents, Keywords, Search };

class HelpWindow : public QWidget {
public:
    HelpWindow()
    {
        setObjectName(QStringLiteral("HelpWindow"));
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowFlag(Qt::Window);
        resize(760, 540);

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* bar = new QToolBar(this);
        bar->setObjectName(QStringLiteral("HelpToolBar"));
        bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        layout->addWidget(bar);

        auto* split = new QSplitter(this);
        layout->addWidget(split, 1);
        tabs_ = new QTabWidget(split);
        tabs_->setObjectName(QStringLiteral("HelpTabs"));
        browser_ = new QTextBrowser(split);
        browser_->setObjectName(QStringLiteral("HelpBrowser"));
        browser_->setOpenExternalLinks(true);
        tabs_->setMinimumWidth(150);
        split->setStretchFactor(0, 0);
        split->setStretchFactor(1, 1);
        split->setSizes({260, 500});

        contents_ = new QListWidget;
        contents_->setObjectName(QStringLiteral("HelpContents"));
        tabs_->addTab(contents_, QStringLiteral("目次"));

        auto* keywordPage = new QWidget;
        auto* kl = new QVBoxLayout(keywordPage);
        kl->addWidget(new QLabel(QStringLiteral("キーワードを入力してください:")));
        keyEdit_ = new QLineEdit;
        keyEdit_->setObjectName(QStringLiteral("HelpKeyEdit"));
        keyEdit_->setClearButtonEnabled(true);
        kl->addWidget(keyEdit_);
        keywords_ = new QListWidget;
        keywords_->setObjectName(QStringLiteral("HelpKeywords"));
        kl->addWidget(keywords_, 1);
        tabs_->addTab(keywordPage, QStringLiteral("キーワード"));

        auto* searchPage = new QWidget;
        auto* sl = new QVBoxLayout(searchPage);
        sl->addWidget(new QLabel(QStringLiteral("探す語句 (空白で区切ると すべてを含むページ):")));
        searchEdit_ = new QLineEdit;
        searchEdit_->setObjectName(QStringLiteral("HelpSearchEdit"));
        searchEdit_->setClearButtonEnabled(true);
        sl->addWidget(searchEdit_);
        auto* go = new QPushButton(QStringLiteral("検索(&S)"));
        sl->addWidget(go);
        found_ = new QListWidget;
        found_->setObjectName(QStringLiteral("HelpFound"));
        sl->addWidget(found_, 1);
        tabs_->addTab(searchPage, QStringLiteral("検索"));

        back_ = bar->addAction(QStringLiteral("← 戻る"), browser_, &QTextBrowser::backward);
        back_->setShortcut(QKeySequence::Back);
        forward_ = bar->addAction(QStringLiteral("進む →"), browser_, &QTextBrowser::forward);
        forward_->setShortcut(QKeySequence::Forward);
        bar->addSeparator();
        bar->addAction(QStringLiteral("目次"), this, [this] { ShowFile(QStringLiteral("contents.html"), Tab::Contents); });
        bar->addAction(QStringLiteral("キーワード"), this, [this] { ShowKeywords(); });
        bar->addAction(QStringLiteral("検索"), this, [this] {
            tabs_->setCurrentIndex(int(Tab::Search));
            searchEdit_->setFocus();
        });
        bar->addAction(QStringLiteral("ヘルプの使い方"), this,
                       [this] { ShowFile(QStringLiteral("helponhelp.html"), Tab::Contents); });
        back_->setEnabled(false);
        forward_->setEnabled(false);
        connect(browser_, &QTextBrowser::backwardAvailable, back_, &QAction::setEnabled);
        connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QAction::setEnabled);

        auto openItem = [this](QListWidgetItem* item) {
            if (item && !item->data(Qt::UserRole).toString().isEmpty())
                ShowFile(item->data(Qt::UserRole).toString(), Tab(tabs_->currentIndex()));
        };
        connect(contents_, &QListWidget::itemActivated, this, openItem);
        connect(contents_, &QListWidget::itemClicked, this, openItem);
        connect(keywords_, &QListWidget::itemActivated, this, openItem);
        connect(keywords_, &QListWidget::itemClicked, this, openItem);
        connect(found_, &QListWidget::itemActivated, this, openItem);
        connect(found_, &QListWidget::itemClicked, this, openItem);
        connect(keyEdit_, &QLineEdit::textChanged, this, [this] { fillKeywords(); });
        keyEdit_->installEventFilter(this);  // Up and Down move through the list while typing
        connect(keyEdit_, &QLineEdit::returnPressed, this, [this, openItem] {
            openItem(keywords_->currentItem() ? keywords_->currentItem() : keywords_->item(0));
        });
        connect(searchEdit_, &QLineEdit::returnPressed, this, [this] { runSearch(); });
        connect(go, &QPushButton::clicked, this, [this] { runSearch(); });
    }

    // Reads the pages again (they may have been installed meanwhile).
    bool Reload()
    {
        const bool ok = index_.Load(FindHelpFolder());
        browser_->setSearchPaths(ok ? QStringList{index_.Folder()} : QStringList{});
        contents_->clear();
        for (const HelpTopic& t : index_.Topics()) {
            auto* item = new QListWidgetItem(t.title.isEmpty() ? t.file : t.title, contents_);
            item->setData(Qt::UserRole, t.file);
        }
        fillKeywords();
        found_->clear();
        return ok;
    }

    bool ShowFile(const QString& file, Tab tab)
    {
        tabs_->setCurrentIndex(int(tab));
        if (!index_.ByFile(file)) {
            ShowMessage(index_.Folder().isEmpty() ? missingFolderText()
                                                  : QStringLiteral("ヘルプのページ %1 が見つかりません (%2)。")
                                                        .arg(file.toHtmlEscaped(), index_.Folder().toHtmlEscaped()));
            return false;
        }
        page_ = file;
        browser_->setSource(QUrl::fromLocalFile(QDir(index_.Folder()).filePath(file)));
        for (int i = 0; i < contents_->count(); ++i)
            if (contents_->item(i)->data(Qt::UserRole).toString() == file)
                contents_->setCurrentRow(i);
        return true;
    }

    bool ShowContext(unsigned long context)
    {
        if (const HelpTopic* t = index_.ByContext(context))
            return ShowFile(t->file, Tab::Contents);
        ShowMessage(index_.Folder().isEmpty()
                        ? missingFolderText()
                        : QStringLiteral("このヘルプには トピック番号 %1 のページがありません (%2)。")
                              .arg(context)
                              .arg(index_.Folder().toHtmlEscaped()));
        return false;
    }

    bool ShowKeywords()
    {
        tabs_->setCurrentIndex(int(Tab::Keywords));
        keyEdit_->clear();
        keyEdit_->setFocus();
        if (index_.Folder().isEmpty() || index_.Topics().empty()) {
            ShowMessage(missingFolderText());
            return false;
        }
        if (page_.isEmpty())
            ShowFile(QStringLiteral("contents.html"), Tab::Keywords);
        return true;
    }

    void ShowMessage(const QString& html)
    {
        page_.clear();
        browser_->clearHistory();
        browser_->setHtml(QStringLiteral("<h2>ヘルプを表示できません</h2><p>%1</p>").arg(html));
    }

    QString Page() const { return page_; }

protected:
    // Escape closes the window, as it closes every dialog of the program; keys that a control
    // uses itself never get this far.
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
            close();
            return;
        }
        QWidget::keyPressEvent(e);
    }

    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == keyEdit_ && e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if ((key == Qt::Key_Up || key == Qt::Key_Down) && keywords_->count() > 0) {
                const int row = keywords_->currentRow() + (key == Qt::Key_Down ? 1 : -1);
                keywords_->setCurrentRow(std::clamp(row, 0, keywords_->count() - 1));
                return true;
            }
        }
        return QWidget::eventFilter(watched, e);
    }

    // A modal dialog that opens while the window is up would block it; the window becomes
    // the dialog's transient child instead, so help stays usable beside the dialog.
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::WindowBlocked && windowHandle()) {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != this && modal->windowHandle())
                windowHandle()->setTransientParent(modal->windowHandle());
        }
        return QWidget::event(e);
    }

public:
    QString Text() const { return browser_->toPlainText(); }

private:
    static QString missingFolderText()
    {
        QString places;
        for (const QString& f : HelpFolderCandidates())
            places += QStringLiteral("<li>%1</li>").arg(f.toHtmlEscaped());
        return QStringLiteral("ヘルプファイルが見つかりません。VEXLO を正しくインストールし直してください。"
                              "</p><p>次の場所を探しました:</p><ul>%1</ul>")
            .arg(places);
    }

    void fillKeywords()
    {
        keywords_->clear();
        for (const auto& [keyword, file] : index_.MatchKeywords(keyEdit_->text())) {
            const HelpTopic* t = index_.ByFile(file);
            auto* item = new QListWidgetItem(QStringLiteral("%1 — %2").arg(keyword, t ? t->title : file), keywords_);
            item->setData(Qt::UserRole, file);
            item->setToolTip(item->text());
        }
        if (keywords_->count() > 0)
            keywords_->setCurrentRow(0);
    }

    void runSearch()
    {
        found_->clear();
        for (const HelpTopic* t : index_.Search(searchEdit_->text())) {
            auto* item = new QListWidgetItem(t->title.isEmpty() ? t->file : t->title, found_);
            item->setData(Qt::UserRole, t->file);
        }
        if (found_->count() == 0)
            new QListWidgetItem(QStringLiteral("(見つかりません)"), found_);
    }

    HelpIndex index_;
    QTabWidget* tabs_ = nullptr;
    QTextBrowser* browser_ = nullptr;
    QListWidget* contents_ = nullptr;
    QLineEdit* keyEdit_ = nullptr;
    QListWidget* keywords_ = nullptr;
    QLineEdit* searchEdit_ = nullptr;
    QListWidget* found_ = nullptr;
    QAction* back_ = nullptr;
    QAction* forward_ = nullptr;
    QString page_;
};

QPointer<HelpWindow> g_window;

// The window, shown and raised. While a modal dialog is up the help window becomes its
// transient child, so the dialog's modality does not block it.
HelpWindow* window()
{
    if (!g_window) {
        g_window = new HelpWindow;
        // First showing: in the middle of the screen the program is on.
        QWidget* near = QApplication::activeWindow();
        if (QScreen* s = near ? near->screen() : QGuiApplication::primaryScreen()) {
            const QRect area = s->availableGeometry();
            g_window->resize(g_window->size().boundedTo(area.size() * 9 / 10));
            g_window->move(area.center() - g_window->rect().center());
        }
    }
    const QString base = QFileInfo(g_helpFile).completeBaseName();
    g_window->setWindowTitle(QStringLiteral("%1 ヘルプ").arg(base.isEmpty() ? QStringLiteral("VEXLO") : base));
    g_window->Reload();
    QWidget* modal = QApplication::activeModalWidget();
    g_window->winId();  // the native window exists from here on
    if (QWindow* handle = g_window->windowHandle()) {
        QWindow* parent = modal && modal != g_window ? modal->windowHandle() : nullptr;
        if (handle->transientParent() != parent) {
            g_window->hide();  // a window manager reads the transient hint when the window maps
            handle->setTransientParent(parent);
        }
    }
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return g_window;
}

}  // namespace

void SetHelpFile(const char* name)
{
    g_helpFile = QString::fromUtf8(name);
}

bool WinHelp(unsigned command, unsigned long data)
{
    switch (command) {
    case HELP_CONTEXT: return window()->ShowContext(data);
    case HELP_QUIT:
        if (g_window)
            g_window->close();
        return true;
    case HELP_CONTENTS: return window()->ShowFile(QStringLiteral("contents.html"), Tab::Contents);
    case HELP_HELPONHELP: return window()->ShowFile(QStringLiteral("helponhelp.html"), Tab::Contents);
    case HELP_PARTIALKEY: return window()->ShowKeywords();
    default: return false;
    }
}

bool HelpWindowOpen()
{
    return g_window && g_window->isVisible();
}

QString HelpWindowPage()
{
    return g_window ? g_window->Page() : QString();
}

QString HelpWindowText()
{
    return g_window ? g_window->Text() : QString();
}

}  // namespace platform
