// Pictures of the window at its default size in each mode, for the documentation. Runs only
// when TRIMORA_SHOTS_DIR names a folder, on a real X display (xvfb-run, QT_QPA_PLATFORM=xcb).
#include "app/main_form.h"
#include "gui_support.h"

#include "ui/radio_group.h"
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace trimora;
using namespace trimora_test;

TEST(MainFormScreenshots, EachModeAtTheDefaultSize) {
    const QByteArray dir = qgetenv("TRIMORA_SHOTS_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "set TRIMORA_SHOTS_DIR to take the pictures";
    GuiHome home;
    const std::string folder = home.Root() + "Holiday Videos/";
    QDir().mkpath(QString::fromStdString(folder));
    const std::string clip =
        SampleClip("window_clip420.mp4", "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -f "
                                         "lavfi -i sine=duration=4 -c:v libx264 -pix_fmt yuv420p "
                                         "-g 5 -c:a aac -shortest");
    for (const char* name : {"beach.mp4", "harbour walk.mp4", "old town.mp4"})
        WriteFileBytes(folder + name, ReadFileBytes(clip));
    MainForm form;
    form.show();
    home.NextFolder = QString::fromStdString(home.Root() + "Holiday Videos");
    form.btnInputFolder->click();
    form.rgJoinSelection->SetItemIndex(5); // "mp4,m4v,mov"
    form.btnSelectJoinFolder->click();
    ASSERT_TRUE(WaitUntil([&] { return form.State.StartupDone; }, 3000));
    ClickRow(form.LvInput, 0);
    Pump(1500);

    auto shoot = [&](const char* name) {
        Pump(800);
        const QRect g = form.frameGeometry();
        const std::string geometry = std::to_string(g.width()) + "x" + std::to_string(g.height()) +
                                     "+" + std::to_string(g.x()) + "+" + std::to_string(g.y());
        int code = -1;
        RunProgram({"import", "-window", "root", "-crop", geometry, dir.toStdString() + "/" + name},
                   &code);
        EXPECT_EQ(code, 0);
    };
    EXPECT_EQ(form.size(), QSize(1085, 810));
    shoot("window-cut.png");
    form.rdJoin->click();
    form.chkboxJoinAllCheck->click();
    shoot("window-join.png");
    form.rdConvert->click();
    ClickRow(form.LvInput, 1);
    shoot("window-convert.png");
}
