#pragma once
// A started program and mandates made with mwst-mandant's library: created,
// loaded from its text format, opened in the frame, dumped back as text.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/Tax.h"
#include "mandate/tools/MandantTool.h"
#include "tests/mandate/ToolProcess.h"
#include "mandate/tools/MandateText.h"
#include "res/Resource.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/AppFixture.h"

class KeyCommandsFixture : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        WriteSettings("[Culture]\nUICulture=" + Culture() + "\n" + MoreSettings());
        Start();
    }
    virtual std::string Culture() const { return "de-CH"; }
    // Further sections of the settings file the program starts with.
    virtual std::string MoreSettings() const { return ""; }
    void TearDown() override {
        if (app) Frame().CloseMandate();
        AppFixture::TearDown();
    }

    // `mwst-mandant create DIR --name NAME [extra...]`, then `load` of `records`.
    std::string MakeMandate(const std::string& name, const std::string& records,
                            const std::vector<std::string>& extra = {}) {
        const std::string dir = TempPath(name);
        std::vector<std::string> create{"create", dir, "--name", name};
        create.insert(create.end(), extra.begin(), extra.end());
        EXPECT_EQ(Tool(create), 0);
        EXPECT_EQ(Tool({"load", dir}, records), 0);
        return dir;
    }

    int Tool(const std::vector<std::string>& args, const std::string& input = "") {
        const testsupport::ToolResult ran = testsupport::RunToolInProcess(args, input);
        EXPECT_EQ(ran.exitCode, 0) << ran.err;
        return ran.exitCode;
    }

    // Another handle of the open mandate holding key `id`'s record lock until
    // Release: a delete of that key is refused at once meanwhile.
    class KeyLock {
    public:
        explicit KeyLock(Mandate* mandate) : file_(mandate), key_(mandate) {
            file_.Open(mandate->GetTaxName(), BFile::kModeUpdate);
        }
        bool Hold(const std::string& id) {
            key_.UseFile(&file_);
            key_.SetLockFlag(BRecord::kWaitLock);
            return key_.Read(id) == 0;
        }
        void Release() { key_.UnlockSingle(); }

    private:
        BFile file_;
        Tax key_;
    };
    std::unique_ptr<KeyLock> HoldKeyLock(const std::string& id) {
        auto lock = std::make_unique<KeyLock>(app->GetMandate());
        EXPECT_TRUE(lock->Hold(id)) << id;
        return lock;
    }

    void Open(const std::string& dir) {
        Frame().OpenMandate(dir);
        ASSERT_TRUE(app->GetMandate()->IsMandantOpen()) << dir;
    }
    // MakeMandate, then Open.
    std::string OpenNew(const std::string& name, const std::string& records) {
        const std::string dir = MakeMandate(name, records);
        Open(dir);
        return dir;
    }

    // The log of the command named `title` on `dir`: its begin line, `body`,
    // and its end line (Ran) or the refusal (Refused).
    static std::string Begin(const std::string& title, const std::string& dir) {
        return ">Beginn \"" + title + "\" für Mandant " + dir + "\n";
    }
    static std::string End(const std::string& title, const std::string& dir) {
        return ">Ende \"" + title + "\" für Mandant " + dir + "\n\n";
    }
    static std::string Ran(const std::string& title, const std::string& dir, const std::string& body = "") {
        return Begin(title, dir) + body + End(title, dir);
    }
    static std::string Refused(const std::string& title, const std::string& dir, const std::string& body = "") {
        return Begin(title, dir) + body + ">Ende \"" + title + "\" -> gesperrt\n\n";
    }

    // The open mandate's records of one kind ("key", "account", "booking") in load format.
    std::vector<std::string> Records(const std::string& kind) const {
        std::ostringstream out;
        mandant::DumpMandate(*app->GetMandate(), out);
        std::istringstream lines(out.str());
        std::vector<std::string> found;
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(kind + " ", 0) == 0) found.push_back(line);
        return found;
    }
    // A mandate's records, the mandate closed (opened and closed here).
    std::vector<std::string> RecordsOf(const std::string& dir, const std::string& kind) {
        Open(dir);
        std::vector<std::string> found = Records(kind);
        Frame().CloseMandate();
        return found;
    }

    // The form workbook of the effective method in `dir`, "VERSION" as given.
    static std::string WriteForm(const std::string& dir, const std::string& version,
                                 const std::vector<formstest::Row>& rows = {{"Z1", "A", ""}}) {
        const std::string path = dir + "/MWSTFORM.VTS";
        formstest::WriteForm(path, rows, version);
        return path;
    }

    // Registers the mandates in the list, selects them all and shows the list.
    void ListAndSelect(const std::vector<std::string>& dirs) {
        for (const std::string& dir : dirs) ASSERT_TRUE(app->AddMandate(dir)) << dir;
        app->SwitchView(1);
        app->GetListView()->OnMarkall();
    }

    // The line of a command that did not complete on the mandate in `dir`.
    static std::string NotCompleted(const std::string& dir) {
        return "Der Befehl wurde für Mandant " + dir + " nicht abgeschlossen, der Mandant ist unverändert.\n";
    }

    // The log's text with "\r\n" as "\n", for readable expectations.
    std::string LogText() const {
        std::string text = Log();
        std::string plain;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) plain += text[i];
        return plain;
    }
};
