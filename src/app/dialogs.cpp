#include "app/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
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

namespace {
void OpenFailed(const QString& path) {
    ShowMessage(nullptr, QStringLiteral("Cannot open \"%1\": no program to open it was found.\n"
                                        "Install xdg-utils and a program for this kind of file.")
                             .arg(path));
}
} // namespace

bool OpenWithDesktop(const QString& path) {
    if (gOpen) return gOpen(path);
    // xdg-open finds the desktop's program for the file; its exit status says whether it did.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        OpenFailed(path);
        return false;
    }
    // No parent: the program it opens may outlive this window and is not ended with it.
    auto* process = new QProcess();
    process->setProgram(opener);
    process->setArguments({path});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, path](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0) OpenFailed(path);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, path](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         OpenFailed(path);
                         process->deleteLater();
                     });
    process->start();
    return true;
}

} // namespace trimora
