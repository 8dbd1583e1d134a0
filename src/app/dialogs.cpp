#include "app/dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
#include <cstdio>

namespace trimora {

namespace {
MessageHandler gMessage;
QuestionHandler gQuestion;
FolderHandler gFolder;
OpenHandler gOpen;

bool MessagesToStderr() {
    return qgetenv("TRIMORA_MESSAGES") == "stderr";
}
} // namespace

void SetMessageHandler(MessageHandler handler) {
    gMessage = std::move(handler);
}
void SetQuestionHandler(QuestionHandler handler) {
    gQuestion = std::move(handler);
}
void SetFolderHandler(FolderHandler handler) {
    gFolder = std::move(handler);
}
void SetOpenHandler(OpenHandler handler) {
    gOpen = std::move(handler);
}

void ShowMessage(QWidget* parent, const QString& text) {
    if (gMessage) {
        gMessage(text);
        return;
    }
    if (MessagesToStderr()) {
        std::fprintf(stderr, "MESSAGE: %s\n", text.toUtf8().constData());
        std::fflush(stderr);
        return;
    }
    QMessageBox::information(parent, QStringLiteral("Trimora"), text, QMessageBox::Ok);
}

bool AskOkCancel(QWidget* parent, const QString& text) {
    if (gQuestion) return gQuestion(text);
    if (MessagesToStderr()) {
        std::fprintf(stderr, "QUESTION: %s\n", text.toUtf8().constData());
        return false;
    }
    return QMessageBox::critical(parent, QStringLiteral("Trimora"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool AskYesNo(QWidget* parent, const QString& text) {
    if (gQuestion) return gQuestion(text);
    if (MessagesToStderr()) {
        std::fprintf(stderr, "QUESTION: %s\n", text.toUtf8().constData());
        return true;
    }
    return QMessageBox::question(parent, QStringLiteral("Trimora"), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString ChooseFolder(QWidget* parent, const QString& caption, const QString& startFolder) {
    if (gFolder) return gFolder(caption, startFolder);
    return QFileDialog::getExistingDirectory(parent, caption, startFolder);
}

bool OpenWithDesktop(const QString& path) {
    if (gOpen) return gOpen(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace trimora
