#pragma once
// One preview: the picture its player draws into, the slider, the two step buttons and the time
// box under it. The window has two of them, for the start and for the end position.
//
// The time box always shows the time of the frame on screen, read back from the player after
// every seek or step; a time typed into it (Enter, or leaving the box) moves the picture there.
// The picture area is black whenever no player draws in it; the player scales the picture to it
// with the aspect ratio kept.
#include "preview/preview_player.h"

#include <QWidget>

#include <functional>
#include <string>

class QLineEdit;
class QSlider;
class QToolButton;

namespace trimora {

class PreviewPanel : public QWidget {
  public:
    struct Host {
        std::function<void()> TimeChanged;                // the box shows a new time
        std::function<void(const std::string&)> Message; // a refused entry, for the status line
    };

    // endSide: the end preview, which opens a clip on its last frame.
    PreviewPanel(PreviewPlayer& player, bool endSide, QWidget* parent);

    Host host;
    PreviewPlayer& Player;
    QWidget* Picture = nullptr; // a native window: the player draws into it
    QSlider* Slider = nullptr;
    QToolButton *Back = nullptr, *Fwd = nullptr;
    QLineEdit* TimeBox = nullptr;

    // The clip the next Load opens: its extension (a WMV clip seeks in percent) and its length.
    void SetClip(const std::string& ext, double lengthSeconds);
    // Opens path in a new player (the old one is stopped). The end side shows the last frame.
    void Load(const std::string& path);
    void Hold(); // holds the picture (pause)
    void Stop();
    void SeekToSlider();
    void Step(int step);           // one slider step (a second, or a percent) back or forth
    void FrameStep(int direction); // exactly one frame, where the player can
    void SeekToSeconds(double seconds);
    // On the player's PositionChanged: the box (and the slider, unless held) follow the picture.
    void ShowPlayerTime();
    // The box's text was typed: moves the picture there, or refuses it.
    void TimeBoxEdited();
    double Seconds() const { return seconds_; }
    double LengthSeconds() const;
    bool PercentSeek() const { return percent_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SetSliderQuietly(double seconds);
    const bool endSide_;
    bool percent_ = false;
    double length_ = 0, seconds_ = 0;
    std::string shownText_ = "0:00:00.000";
};

} // namespace trimora
