#include "gui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

BoxAnswerer& answerer()
{
    static BoxAnswerer instance;
    return instance;
}

QString captionOf(BoxKind kind)
{
    switch (kind) {
    case BoxKind::Warning: return QStringLiteral("警告");
    case BoxKind::Error: return QStringLiteral("ｴﾗｰ");
    case BoxKind::Information: return QStringLiteral("情報");
    case BoxKind::Confirmation: return QStringLiteral("確認");
    }
    return {};
}

QMessageBox::Icon iconOf(const BoxRequest& request)
{
    if (request.failure)
        return QMessageBox::Critical;
    switch (request.kind) {
    case BoxKind::Warning: return QMessageBox::Warning;
    case BoxKind::Error: return QMessageBox::Critical;
    case BoxKind::Information: return QMessageBox::Information;
    case BoxKind::Confirmation: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

BoxAnswer run(const BoxRequest& request)
{
    if (answerer()) {
        const BoxAnswer answer = answerer()(request);
        const bool threeWay = request.buttons == BoxButtons::YesNoCancel || request.buttons == BoxButtons::SaveAllNoneCancel;
        if (threeWay && answer == BoxAnswer::Ok)
            return BoxAnswer::Yes;
        if (request.buttons == BoxButtons::PrepareAsIsCancel && answer == BoxAnswer::Ok)
            return BoxAnswer::No;
        return answer;
    }
    QMessageBox box(iconOf(request), request.caption, request.text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MessageBox"));
    auto add = [&box](const QString& text, QMessageBox::ButtonRole role, const char* name) {
        QPushButton* button = box.addButton(text, role);
        button->setObjectName(QLatin1String(name));
        return button;
    };
    if (request.buttons == BoxButtons::YesNoCancel || request.buttons == BoxButtons::SaveAllNoneCancel) {
        const bool all = request.buttons == BoxButtons::SaveAllNoneCancel;
        QPushButton* yes = add(all ? QStringLiteral("すべて保存(&A)") : QStringLiteral("はい(&Y)"), QMessageBox::YesRole, "YesButton");
        QPushButton* no = add(all ? QStringLiteral("保存しない(&N)") : QStringLiteral("いいえ(&N)"), QMessageBox::NoRole, "NoButton");
        QPushButton* cancel = add(QStringLiteral("ｷｬﾝｾﾙ"), QMessageBox::RejectRole, "CancelButton");
        box.setDefaultButton(yes);
        box.setEscapeButton(cancel);  // Escape and the close box keep the memo
        box.exec();
        if (box.clickedButton() == yes)
            return BoxAnswer::Yes;
        return box.clickedButton() == no ? BoxAnswer::No : BoxAnswer::Cancel;
    }
    if (request.buttons == BoxButtons::PrepareAsIsCancel) {
        QPushButton* prepare = add(QStringLiteral("送信用に変換(&D)"), QMessageBox::YesRole, "PrepareButton");
        QPushButton* asIs = add(QStringLiteral("そのまま(&N)"), QMessageBox::NoRole, "AsIsButton");
        QPushButton* cancel = add(QStringLiteral("ｷｬﾝｾﾙ"), QMessageBox::RejectRole, "CancelButton");
        box.setDefaultButton(prepare);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == prepare)
            return BoxAnswer::Yes;
        return box.clickedButton() == asIs ? BoxAnswer::No : BoxAnswer::Cancel;
    }
    QPushButton* ok = add(QStringLiteral("OK"), QMessageBox::AcceptRole, "OKButton");
    if (request.buttons == BoxButtons::OkPrepare) {
        QPushButton* prepare = add(QStringLiteral("送信用に変換(&D)"), QMessageBox::YesRole, "PrepareButton");
        box.setEscapeButton(ok);
        box.setDefaultButton(ok);
        box.exec();
        return box.clickedButton() == prepare ? BoxAnswer::Yes : BoxAnswer::Ok;
    }
    QPushButton* cancel = nullptr;
    if (request.buttons == BoxButtons::OkCancel) {
        cancel = add(QStringLiteral("ｷｬﾝｾﾙ"), QMessageBox::RejectRole, "CancelButton");
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok || !cancel ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

}  // namespace

BoxAnswer ShowBox(BoxKind kind, const QString& text, BoxButtons buttons)
{
    BoxRequest request;
    request.kind = kind;
    request.caption = captionOf(kind);
    request.text = text;
    request.buttons = buttons;
    return run(request);
}

void ShowFailureBox(const QString& text)
{
    BoxRequest request;
    request.kind = BoxKind::Error;
    request.caption = QStringLiteral("VEXLO");
    request.text = text;
    request.failure = true;
    run(request);
}

CommandFailure::CommandFailure(const QString& text)
    : std::runtime_error(text.toStdString()), text_(text)
{
}

void RunGuarded(const std::function<void()>& command)
{
    try {
        command();
    } catch (const CommandFailure& failure) {
        ShowFailureBox(failure.text());
    } catch (const std::bad_alloc&) {
        ShowFailureBox(QStringLiteral("メモリが不足しています"));
    } catch (const std::exception& failure) {
        ShowFailureBox(QString::fromUtf8(failure.what()));
    }
}

void SetBoxAnswerer(BoxAnswerer a)
{
    answerer() = std::move(a);
}
