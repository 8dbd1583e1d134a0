#pragma once
// The few places where the window talks to the user or the desktop outside itself: modal
// messages, the folder chooser, and opening a file or folder with the desktop's default
// application. Each goes through a replaceable handler so tests can answer or record them.
// With TRIMORA_MESSAGES=stderr in the environment, messages are printed to standard error
// instead of being shown (for runs without anyone at the screen).

#include <QString>
#include <functional>

class QWidget;

namespace trimora {

// Modal information box with one OK button.
void ShowMessage(QWidget* parent, const QString& text);
// Error box with OK and Cancel; true for OK.
bool AskOkCancel(QWidget* parent, const QString& text);
// Question box with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);
// Folder chooser starting at startFolder; empty when cancelled.
QString ChooseFolder(QWidget* parent, const QString& caption, const QString& startFolder);
// Opens a file or folder with the desktop's default application; false when that failed.
bool OpenWithDesktop(const QString& path);

using MessageHandler = std::function<void(const QString& text)>;
using QuestionHandler = std::function<bool(const QString& text)>;
using FolderHandler = std::function<QString(const QString& caption, const QString& startFolder)>;
using OpenHandler = std::function<bool(const QString& path)>;

// Empty handlers restore the real dialogs.
void SetMessageHandler(MessageHandler handler);
void SetQuestionHandler(QuestionHandler handler);
void SetFolderHandler(FolderHandler handler);
void SetOpenHandler(OpenHandler handler);

} // namespace trimora
