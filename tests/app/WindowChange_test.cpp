// The window converts for the rate change the settings name: its title names
// a change other than 2024 and "Neue Steuerschlüssel einfügen" gives a demo
// mandate's keys at 8.1 % their new ids of the example change (81 -> 88); a
// definition with a fault is refused in a box at start and converts nothing.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "mandate/tools/DemoBuilder.h"
#include "tests/commands/KeyCommandsFixture.h"

namespace {

struct ChangeSetting {
    const char* setting;  // [Konvertierung] satzaenderung; "BROKEN": a definition with a fault
    const char* title;
    bool refused;
    bool keysAt88;  // after insert-keys, where the mandate had keys ending 81
};

class WindowChange : public KeyCommandsFixture, public ::testing::WithParamInterface<ChangeSetting> {
protected:
    void SetUp() override {
        std::ofstream(Broken()) << "[Change]\nName=broken\n";
        KeyCommandsFixture::SetUp();
    }
    CTheList& List() { return *app->GetListView(); }
    std::string Broken() const { return TempPath("broken.ini"); }
    std::string MoreSettings() const override {
        const std::string setting = GetParam().setting;
        return "[Konvertierung]\nsatzaenderung=" + (setting == "BROKEN" ? Broken() : setting) + "\n";
    }
    // The first demo mandate that opens without a password, built here.
    std::string DemoMandate() {
        for (const mandant::DemoMandate& demo : mandant::DemoMandates()) {
            if (demo.dataVersion != 2300 || !demo.password.empty()) continue;
            std::ostringstream summary;
            std::string error;
            EXPECT_TRUE(mandant::BuildOne(TempPath("demo"), demo, std::nullopt, summary, error, {})) << error;
            return TempPath("demo") + "/" + demo.path;
        }
        ADD_FAILURE() << "no demo mandate without a password";
        return {};
    }
    bool KeyEndingIn(const std::vector<std::string>& keys, const std::string& suffix) {
        return std::any_of(keys.begin(), keys.end(), [&suffix](const std::string& line) {
            std::istringstream fields(line);
            std::string kind, id;
            fields >> kind >> id;
            return id.size() > suffix.size() && id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0;
        });
    }
};

TEST_P(WindowChange, TheTitleNamesTheChangeAndNewKeysFollowIt) {
    const ChangeSetting& row = GetParam();
    EXPECT_EQ(Frame().windowTitle().toStdString(), row.title);
    const bool boxAtStart = !seam.boxes.empty() && seam.boxes[0].text.find(Broken()) == 0;
    EXPECT_EQ(boxAtStart, row.refused) << (seam.boxes.empty() ? "" : seam.boxes[0].text);

    const std::string dir = DemoMandate();
    ASSERT_TRUE(app->AddMandate(dir));
    EXPECT_EQ(List().GetItemText(0, 2).empty(), row.refused) << "no stage for a refused change";
    Open(dir);
    EXPECT_EQ(Frame().windowTitle().toStdString(), std::string(row.title) + " - " + app->GetMandate()->GetName());
    const std::vector<std::string> before = Records("key");
    ASSERT_TRUE(KeyEndingIn(before, "81")) << "the demo mandate has keys at 8.1 %";
    const std::size_t boxes = seam.boxes.size();
    if (!row.refused) seam.QueueAnswer(IDYES);
    Command(ID_NEW_KEYS);
    const std::vector<std::string> after = Records("key");
    EXPECT_EQ(KeyEndingIn(after, "88"), row.keysAt88);
    if (row.refused) {
        EXPECT_EQ(after, before) << "a refused change converts nothing";
        ASSERT_EQ(seam.boxes.size(), boxes + 1);
        EXPECT_EQ(seam.boxes.back().text.find(Broken()), 0u) << seam.boxes.back().text;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, WindowChange,
                         ::testing::Values(ChangeSetting{"", "MWST Konvertierung 2024", false, false},
                                           ChangeSetting{"example-8.8",
                                                         "MWST Konvertierung 2024 – Satzänderung 8.8 (Beispiel)",
                                                         false, true},
                                           ChangeSetting{"BROKEN", "MWST Konvertierung 2024", true, false}));

}  // namespace
