#pragma once
// The window started, with mandates registered in its list.
#include <string>
#include <vector>

#include "app/CTheList.h"
#include "pendra/Mandate.h"
#include "tests/mandate/AppMandates.h"
#include "tests/support/AppFixture.h"

class ListFixture : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Start();
    }
    CTheList& List() { return *app->GetListView(); }
    // Registers `count` mandates m0, m1, ... (names "Mandant 0", ...).
    std::vector<std::string> Register(int count) {
        std::vector<std::string> dirs;
        for (int i = 0; i < count; ++i) {
            const std::string dir = apptest::MakeMandate(TempPath("m" + std::to_string(i)),
                                                         apptest::Named("Mandant " + std::to_string(i)));
            EXPECT_TRUE(app->AddMandate(dir));
            dirs.push_back(dir);
        }
        return dirs;
    }
    bool IsOpen() { return app->GetMandate()->IsMandantOpen() != 0; }
};
