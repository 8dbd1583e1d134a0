// A large folder shows its names at once; the sizes follow and end as a full listing shows them.
#include "app/qt_text.h"
#include "gui_support.h"
#include <fstream>
using namespace trimora;

TEST(ListSizes, NamesFirstThenSizesInTheOrderTheUserSortedBy) {
    trimora_test::GuiHome home;
    for (int i = 0; i < 400; ++i)
        std::ofstream(home.Root() + "c" + std::to_string(i) + ".mp4") << std::string(i % 7, 'x');
    MainForm form;
    QTreeWidget* list = form.LvInput;
    form.ListHeaderClicked(list, col::InSize);
    form.FillFileList(home.Root(), MainForm::kSourcePattern, list, false);
    // All the names, before any size.
    ASSERT_TRUE(list->topLevelItemCount() == 400 && list->topLevelItem(0)->text(1).isEmpty());
    auto rows = ListFolderFiles(home.Root(), MainForm::kSourcePattern);
    std::stable_sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.Bytes < b.Bytes; });
    ASSERT_TRUE(
        trimora_test::WaitUntil([&] { return !list->topLevelItem(399)->text(1).isEmpty(); }, 5000));
    for (int i = 0; i < 400; ++i) // the order and sizes of a full listing sorted by size
        EXPECT_EQ(S(list->topLevelItem(i)->text(0) + list->topLevelItem(i)->text(1)),
                  rows[i].Name + rows[i].SizeText);
    form.ApplyListSizes(list, form.InputListGeneration, false, {{"c5.mp4", "", -1, 1}}); // gone
    EXPECT_TRUE(list->findItems("c5.mp4", Qt::MatchExactly).isEmpty());
}
