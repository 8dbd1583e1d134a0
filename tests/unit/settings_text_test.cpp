// The window's remembered folders as the command line reads them, without the toolkit.
#include "common/safe_output.h"
#include "support/test_env.h"
#include <QSettings>
#include <gtest/gtest.h>
TEST(SettingsText, ReadsWhatTheWindowWrote) {
    trimora_test::IsolatedHome home;
    const QString file = QString::fromStdString(home.Root() + "t.conf");
    QSettings(file, QSettings::IniFormat).setValue("Sub/K", "not this one");
    for (const char* v : {" a b ", "/x,y/", "/q\"u\\o;t=e#/", "@at/", "/Grüße/\t\x01/", ""}) {
        QSettings(file, QSettings::IniFormat).setValue("K", QString::fromUtf8(v));
        EXPECT_EQ(trimora::ReadSettingsText(file.toStdString(), "K"), v);
    }
}
