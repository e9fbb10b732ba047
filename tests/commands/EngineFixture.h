#pragma once
// The conversion engine without a window: mandates made with mwst-mandant's
// library, the batch walk and the commands with a plain log sink and a
// scripted seam, no QApplication anywhere.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/ScriptedUiSeam.h"
#include "core/Strings.h"
#include "mandate/BatchWalk.h"
#include "mandate/MandateSession.h"
#include "pendra/Mandate.h"
#include "pendra/PendraUi.h"
#include "mandate/tools/MandantTool.h"
#include "tests/mandate/ToolProcess.h"
#include "res/Resource.h"
#include "commands/ConversionCommands.h"

namespace enginetest {

namespace fs = std::filesystem;
using testsupport::Dump;
using testsupport::Tool;

inline const char* const kRecords = "key A77 7.7 107.7 netto 1000\naccount 1000 0 A77\n";
inline const char* const kKeyOnly = "key A77 7.7 107.7 netto -\n";

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        // Parameterised tests are named "Name/0": one folder all the same.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        root = fs::temp_directory_path() /
               ("mwst-engine-" + std::to_string(::getpid()) + "-" + name);
        fs::create_directories(root);
        SetProcessPreferredUILanguages("de-CH");
    }
    void TearDown() override {
        session.Close();
        fs::remove_all(root);
    }

    std::string MakeMandate(const std::string& name, const std::string& records = kRecords) {
        const std::string dir = (root / name).string();
        EXPECT_EQ(Tool({"create", dir, "--name", name}), 0);
        EXPECT_EQ(Tool({"load", dir}, records), 0);
        return dir;
    }
    BatchResult Walk(const std::vector<std::string>& dirs, std::vector<Command> commands,
                     const BatchObserver& observer = {}, const RunOptions& options = {}) {
        std::vector<MandateWork> steps(commands.size());
        std::transform(commands.begin(), commands.end(), steps.begin(), CommandWork);
        return RunBatch(session, dirs, StepsWork(std::move(steps)), log, seam, changeFlag, observer, options);
    }
    static std::string Line(int id, const std::string& text) {
        return Format(LoadString(id), text);
    }

    fs::path root;
    ScriptedUiSeam seam;
    Mandate mandate{0};
    MandateSession session{mandate};
    StringLogSink log;
    short changeFlag = 0;
};

}  // namespace enginetest
