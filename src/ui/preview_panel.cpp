#include "ui/preview_panel.h"

#include "common/helpers.h"
#include "preview/positions.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace trimora {

PreviewPanel::PreviewPanel(PreviewPlayer& player, bool endSide, QWidget* parent)
    : QWidget(parent), Player(player), endSide_(endSide) {
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(3);

    // Black, repainted by the window system and by Qt whenever no player covers it.
    Picture = new QWidget(this);
    Picture->setAttribute(Qt::WA_NativeWindow);
    Picture->setAttribute(Qt::WA_DontCreateNativeAncestors);
    Picture->setAutoFillBackground(true);
    QPalette vp = Picture->palette();
    vp.setColor(QPalette::Window, Qt::black);
    Picture->setPalette(vp);
    Picture->setMinimumSize(160, 110);
    Picture->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    Picture->setContextMenuPolicy(Qt::CustomContextMenu);
    box->addWidget(Picture, 1);

    auto* controls = new QHBoxLayout();
    controls->setSpacing(4);
    Back = new QToolButton(this);
    Back->setArrowType(Qt::LeftArrow);
    Back->setToolTip(QStringLiteral("Previous Frame"));
    Back->setAutoRaise(true);
    Fwd = new QToolButton(this);
    Fwd->setArrowType(Qt::RightArrow);
    Fwd->setToolTip(QStringLiteral("Next Frame"));
    Fwd->setAutoRaise(true);
    Slider = new QSlider(Qt::Horizontal, this);
    Slider->setRange(0, 0);
    Slider->setSingleStep(1);
    Slider->setPageStep(1);
    Slider->setToolTip(QStringLiteral("Left/Right keys: one frame back/forward"));
    TimeBox = new QLineEdit(QStringLiteral("0:00:00.000"), this);
    TimeBox->setFixedWidth(
        TimeBox->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.0000")) + 14);
    TimeBox->setAlignment(Qt::AlignCenter);
    controls->addWidget(Back);
    controls->addWidget(Slider, 1);
    controls->addWidget(Fwd);
    controls->addWidget(TimeBox);
    box->addLayout(controls);

    Slider->installEventFilter(this);
    connect(TimeBox, &QLineEdit::editingFinished, this, [this] { TimeBoxEdited(); });
}

void PreviewPanel::SetClip(const std::string& ext, double lengthSeconds) {
    percent_ = SeekTypeFor(ext) == " 1";
    length_ = lengthSeconds;
}

double PreviewPanel::LengthSeconds() const {
    return Player.LengthSeconds > 0 ? Player.LengthSeconds : length_;
}

void PreviewPanel::Load(const std::string& path) {
    Player.Stop();
    Player.MediaFile = path;
    Player.Start(static_cast<uint64_t>(Picture->winId()));
    // Commands wait in the player's input until the clip is open.
    if (endSide_) Player.SendCommand("seek 100 1");
}

void PreviewPanel::Hold() {
    Player.Pause();
}

void PreviewPanel::Stop() {
    Player.Stop();
    Picture->update();
}

void PreviewPanel::SeekToSlider() {
    Player.SendCommand(SeekCommand(Slider->value(), percent_ ? " 1" : " 2"));
    Player.Pause();
}

// The command is not clamped; the slider is.
void PreviewPanel::Step(int step) {
    Player.SendCommand(SeekCommand(int64_t(Slider->value()) + step, percent_ ? " 1" : " 2"));
    Slider->setValue(Slider->value() + step);
    Player.RequestPercentPosition();
    Player.Pause();
}

void PreviewPanel::FrameStep(int direction) {
    Player.SendCommand(direction < 0 ? "frame_back_step" : "frame_step");
    Player.Pause();
}

void PreviewPanel::SeekToSeconds(double seconds) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "seek %.3f 2", seconds);
    Player.SendCommand(buf);
    Player.Pause();
    SetSliderQuietly(seconds);
}

void PreviewPanel::SetSliderQuietly(double seconds) {
    if (Slider->isSliderDown()) return;
    const double length = LengthSeconds();
    const double value = percent_ ? (length > 0 ? seconds * 100.0 / length : 0) : seconds;
    const QSignalBlocker block(Slider);
    // The end box reads the clip's end on the last frame: so does the slider.
    const double fps = Player.StreamInfo.VideoFps > 0 ? Player.StreamInfo.VideoFps : 25;
    const bool atEnd = endSide_ && length > 0 && seconds >= length - 1.5 / fps;
    Slider->setValue(atEnd ? Slider->maximum() : static_cast<int>(std::floor(value + 1e-6)));
}

void PreviewPanel::ShowPlayerTime() {
    if (Player.Status() != TPlayerStatus::Status_Playing &&
        Player.Status() != TPlayerStatus::Status_Paused)
        return;
    PositionInput in;
    in.lastStatusLine = Player.LastStatusLine;
    in.clipLength = LengthSeconds();
    in.fps = Player.StreamInfo.VideoFps;
    const std::string text =
        endSide_ ? EndPositionText(in, seconds_) : StartPositionText(in, seconds_);
    shownText_ = text;
    // What the user has typed and not yet applied is left alone, focused or not: the box
    // follows once the typing is done (Enter, leaving the box, or Start, which reads it).
    if (!TimeBox->isModified()) {
        TimeBox->setText(QString::fromStdString(text));
        TimeBox->setModified(false);
    }
    SetSliderQuietly(seconds_);
    if (host.TimeChanged) host.TimeChanged();
}

void PreviewPanel::TimeBoxEdited() {
    if (!TimeBox->isModified()) return;
    TimeBox->setModified(false);
    const std::string typed = Trim(TimeBox->text().toStdString());
    double seconds = 0;
    if (!ReadTypedTime(typed, seconds)) {
        if (host.Message)
            host.Message("\"" + typed + "\" is not a time (H:MM:SS.mmm): the box shows the " +
                         "picture's time again");
        TimeBox->setText(QString::fromStdString(shownText_));
        return;
    }
    const double length = LengthSeconds();
    if (length > 0 && seconds > length) {
        if (host.Message)
            host.Message(typed + " is past the clip's end (" + FormatSecondsMs(length) +
                         "): the end is used");
        seconds = length;
    }
    if (!Player.IsRunning()) {
        // No picture to move: the box keeps the time, written out in full.
        TimeBox->setText(QString::fromStdString(FormatSecondsMs(seconds)));
        if (host.TimeChanged) host.TimeChanged();
        return;
    }
    SeekToSeconds(seconds);
}

bool PreviewPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Slider && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right) {
            FrameStep(key == Qt::Key_Left ? -1 : 1);
            return true;
        }
        if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            Step(key == Qt::Key_PageUp ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace trimora
