// A large folder shows its names at once; the sizes follow and end as a full listing shows them.
#include "gui_support.h"

#include "app/qt_text.h"
#include "common/file_list.h"

#include <algorithm>
#include <fstream>

using namespace trimora;

TEST(ListSizes, NamesFirstThenSizesInTheOrderTheUserSortedBy) {
    trimora_test::GuiHome home;
    const std::string dir = home.Root();
    for (int i = 0; i < 400; ++i)
        std::ofstream(dir + "c" + std::to_string(i) + ".mp4") << std::string(i % 7 * 300, 'x');
    MainForm form;
    QTreeWidget* list = form.LvInput;
    form.ListHeaderClicked(list, col::InSize);
    form.FillFileList(dir, MainForm::kSourcePattern, list, false);
    ASSERT_EQ(list->topLevelItemCount(), 400);
    EXPECT_TRUE(list->topLevelItem(0)->text(1).isEmpty()); // names shown before any size
    std::vector<FileListRow> rows = ListFolderFiles(dir, MainForm::kSourcePattern);
    std::stable_sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.Bytes < b.Bytes; });
    auto shown = [&] {
        for (int i = 0; i < 400; ++i)
            if (S(list->topLevelItem(i)->text(0) + "|" + list->topLevelItem(i)->text(1)) !=
                rows[i].Name + "|" + rows[i].SizeText)
                return false;
        return true;
    };
    EXPECT_TRUE(trimora_test::WaitUntil(shown, 5000));
    // A file gone before its size was found leaves the list; an older listing's sizes do not count.
    for (int generation : {form.InputListGeneration - 1, form.InputListGeneration}) {
        EXPECT_EQ(list->topLevelItemCount(), 400);
        form.ApplyListSizes(list, generation, false, {{"c5.mp4", "", -1, 1}});
    }
    EXPECT_EQ(list->topLevelItemCount(), 399);
    EXPECT_TRUE(list->findItems("c5.mp4", Qt::MatchExactly).isEmpty());
}
