#include "UpdateChooser.h"

#include "shell/AppContext.h"
#include "shell/Settings.h"
#include "widgets/MyMessageBox.h"

#include <QFileDialog>
#include <QFileInfo>

namespace tovrin::windows {

namespace {

namespace msg {
constexpr int Update = 5, Cancel = 13, File = 20, SureToUpdate = 21, Reelection = 40, UpdateButton = 108;
} // namespace msg

std::function<QString(QWidget*)>& dialogOverride()
{
    static std::function<QString(QWidget*)> dialog;
    return dialog;
}

QString openDialog(QWidget* parent)
{
    if (dialogOverride())
        return dialogOverride()(parent);
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open Files "), QStringLiteral("./"),
                                        QStringLiteral("bin Files(*.bin);;ALL FILE(*.*)"));
}

} // namespace

void setPackageFileDialog(std::function<QString(QWidget*)> dialog)
{
    dialogOverride() = std::move(dialog);
}

QString choosePackage(QWidget* parent)
{
    using widgets::MyMessageBox;
    const shell::AppContext& ctx = shell::context();
    QString path = shell::readText(QStringLiteral("ImagePath/imagePath"), QStringLiteral("0"));
    bool offer = QFileInfo(path).isFile();
    for (;;) {
        if (!offer) {
            path = openDialog(parent);
            if (path.isEmpty())
                return {};
        }
        MyMessageBox::setAnswer(MyMessageBox::AnswerCancel);
        // The file's name: a whole path does not fit the box.
        const QString name = QFileInfo(path).fileName();
        MyMessageBox box(parent, ctx.text(msg::Update), ctx.text(msg::File) + name + ctx.text(msg::SureToUpdate), 1, 3,
                         ctx.text(msg::Reelection), ctx.text(msg::UpdateButton), ctx.text(msg::Cancel));
        switch (MyMessageBox::answer()) {
        case MyMessageBox::AnswerOk:
            return path;
        case MyMessageBox::AnswerChoose:
            offer = false;
            break;
        default:
            return {};
        }
    }
}

} // namespace tovrin::windows
