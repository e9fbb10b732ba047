// Opening SQL mandates in the program: no data version test, the exclusive
// lock in the database, the other users in the conflict box, refused access.
#include <gtest/gtest.h>

#include "app/CTheApp.h"
#include "app/CTheView.h"

#include "base/Format.h"
#include "core/Strings.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "tests/pendra/MandateTestSupport.h"
#include "tests/pendra/SqlTestSupport.h"
#include "tests/mandate/ToolProcess.h"
#include "tests/support/AppFixture.h"

namespace {

class SqlMandateOpen : public AppFixture {
protected:
    void SetUp() override {
        REQUIRE_TEST_SERVER(server_);
        AppFixture::SetUp();
        Start();
    }
    // An SQL mandate holding the keys `ids` (7.7 % each).
    std::string Create(const std::string& name, long version = 2300, const std::vector<std::string>& ids = {}) {
        const std::string dir = TempPath(name);
        MandateCreateOptions options;
        options.name = name;
        options.dataVersion = version;
        options.sqlConnection = server_;
        cleanup_.Add(dir);
        EXPECT_EQ(CreateMandate(dir, options), pendra::kOk);
        if (Mandate loader; !ids.empty()) {
            const int opened = loader.OpenMandateFiles(dir);
            EXPECT_EQ(opened, pendra::kOk);
            if (opened == pendra::kOk) testsupport::InsertTaxes(loader, ids);
        }
        return dir;
    }
    Mandate& Global() { return *app->GetMandate(); }
    // The key ids of the mandate in `dir`, opened afresh.
    static std::vector<std::string> TaxIdsOf(const std::string& dir) {
        Mandate check;
        if (check.OpenMandateFiles(dir) != pendra::kOk) return {};
        BFile file(&check);
        if (file.Open(check.GetTaxName(), BFile::kModeReadOnly, true) != pendra::kOk) return {};
        Tax tax(&check);
        tax.UseFile(&file);
        return testsupport::WalkTaxIds(tax);
    }
    bool IsOpen() { return Global().IsMandantOpen() != 0; }

    testsupport::SqlMandateCleanup cleanup_;
    std::string server_;
};

TEST_F(SqlMandateOpen, OpensWithoutADataVersionTest) {
    const std::string dir = Create("Sql Alt AG", 2100);  // a file mandate of 2100 is refused
    seam.QueueMandate(dir);
    Command(ID_MAN_OPEN);
    EXPECT_TRUE(IsOpen());
    EXPECT_EQ(Global().IsSQLMandate(), 1);
    EXPECT_TRUE(seam.boxes.empty());
    EXPECT_EQ(Frame().GetWindowText(), "MWST Konvertierung 2024 - Sql Alt AG");
}

TEST_F(SqlMandateOpen, HeldByAnotherProcessTheBoxNamesItsSession) {
    const std::string dir = Create("Sql Halt AG");
    testsupport::ToolProcess holder({"hold", dir});
    ASSERT_EQ(holder.ReadLine(), "holding " + dir);
    seam.QueueAnswer(IDIGNORE);
    Frame().OpenMandate(dir);
    EXPECT_FALSE(IsOpen());
    ASSERT_EQ(seam.boxes.size(), 1u);
    const std::string& text = seam.boxes.back().text;
    const std::string conflict = Format(LoadString(IDS_NOT_EXCLUSIVE), dir);
    EXPECT_TRUE(text.starts_with(conflict)) << text;
    EXPECT_NE(text.find(", mwst-mandant [", conflict.size()), std::string::npos) << text;
    EXPECT_NE(text.find("], 20", conflict.size()), std::string::npos) << text;  // connected since
    EXPECT_EQ(Log(), text + "\r\n\r\n");
}

TEST_F(SqlMandateOpen, RetryOpensExclusivelyOnceTheOtherProcessLetsGo) {
    const std::string dir = Create("Sql Warte AG");
    auto holder = std::make_unique<testsupport::ToolProcess>(std::vector<std::string>{"hold", dir});
    ASSERT_EQ(holder->ReadLine(), "holding " + dir);
    // The server ends the holder's session a moment after it exits: retry until then.
    int asked = 0;
    seam.boxPolicy = [&](const MessageBoxRequest&) {
        holder.reset();
        return ++asked < 100 ? IDRETRY : IDABORT;
    };
    Frame().OpenMandate(dir);
    EXPECT_TRUE(IsOpen());
    EXPECT_GE(asked, 1);
    // Now this program holds it: another one is refused.
    Mandate other;
    EXPECT_EQ(other.OpenMandateFiles(dir), pendra::kMandateHeldExclusively);
}

TEST_F(SqlMandateOpen, RefusedCredentialsShowTheOpenFailureWithItsReason) {
    const std::string dir = Create("Sql Zugang AG");
    const SqlMandateConfiguration good = *SqlMandateConfiguration::Read(dir);
    ASSERT_EQ(SqlMandateConfiguration(server_ + " user=nobody_at_all", good.GetDatabaseId()).Write(dir),
              pendra::kOk);
    Frame().OpenMandate(dir);
    EXPECT_FALSE(IsOpen());
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes.back().text,
              Format(LoadString(IDS_OPEN_FAILED), dir) + "\r\n\r\n" +
                  Format(LoadString(IDS_LOG_FORM_REASON),
                         "Der Datenbankserver des Mandanten ist nicht erreichbar oder hat die Anmeldung abgelehnt."));
    ASSERT_EQ(good.Write(dir), pendra::kOk);  // so the cleanup finds the database
}

TEST_F(SqlMandateOpen, ConnectionLostBeforeACommandEndsItWithTheRefusedLineAndAStatus) {
    const std::string dir = Create("Sql Netz AG", 2300, {"USN77", "VSN77"});
    Frame().OpenMandate(dir);
    ASSERT_TRUE(IsOpen());
    testsupport::CutSessionsOfThisProcess(server_, Global().GetMandateConfiguration()->GetDatabaseId());
    Command(ID_NEW_KEYS);
    EXPECT_NE(Log().find(LoadString(IDS_INSERT_REFUSED)), std::string::npos) << Log();
    ASSERT_FALSE(seam.boxes.empty());
    // The library's own message naming the file and status 2 (the connection is gone).
    EXPECT_EQ(seam.boxes.back().text,
              PendraMessageText(5000, dir + "/pendra.db#tax", pendra::kIoError));
    Frame().CloseMandate();

    EXPECT_EQ(TaxIdsOf(dir), (std::vector<std::string>{"USN77", "VSN77"}));
}

TEST_F(SqlMandateOpen, ConnectionLostInTheMiddleOfACommandChangesNothing) {
    std::vector<std::string> ids;
    for (int i = 100; i < 250; ++i) ids.push_back("K" + std::to_string(i) + "77");
    const std::string dir = Create("Sql Mitte AG", 2300, ids);
    Frame().OpenMandate(dir);
    ASSERT_TRUE(IsOpen());
    const std::string database = Global().GetMandateConfiguration()->GetDatabaseId();
    // The server goes away once the fifth key was inserted.
    int inserted = 0;
    app->GetLogView()->AddLineListener([&](const std::string& line) {
        if (line.find("wurde eingefügt") != std::string::npos && ++inserted == 5)
            testsupport::CutSessionsOfThisProcess(server_, database);
    });
    Command(ID_NEW_KEYS);
    EXPECT_NE(Log().find("nicht abgeschlossen, der Mandant ist unverändert"), std::string::npos) << Log();
    EXPECT_NE(Log().find(LoadString(IDS_INSERT_REFUSED)), std::string::npos) << Log();
    EXPECT_NE(Log().find(LoadString(IDS_LOG_CONNECTION_LOST)), std::string::npos) << Log();
    EXPECT_GT(app->Failures(), 0);
    Frame().CloseMandate();

    EXPECT_EQ(TaxIdsOf(dir), ids);
}

}  // namespace
