// The window's conversion commands only delegate: the frame's batch over two
// mandates gives the same log and the same records as the engine's walk over
// copies of them.
#include <filesystem>

#include "core/LogSink.h"
#include "mandate/BatchWalk.h"
#include "mandate/MandateSession.h"
#include "tests/commands/KeyCommandsFixture.h"

namespace fs = std::filesystem;

namespace {

class FrameDelegates : public KeyCommandsFixture {};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST_F(FrameDelegates, TheFramesBatchIsTheEnginesWalk) {
    fs::create_directories(TempPath("original"));
    const char* const records = "key A77 7.7 107.7 netto 1000\nkey B25 2.5 102.5 brutto 1000\naccount 1000 0 A77\n";
    const std::vector<std::string> window{MakeMandate("original/a", records), MakeMandate("original/b", records)};
    fs::copy(TempPath("original"), TempPath("kopie"), fs::copy_options::recursive);
    const std::vector<std::string> engine{TempPath("kopie/a"), TempPath("kopie/b")};

    for (const std::string& dir : window) ASSERT_TRUE(app->AddMandate(dir));
    for (unsigned command : {ID_NEW_KEYS, ID_UPDATE_ACCOUNTS}) {
        Command(ID_LIST_VIEW);
        Command(ID_MARKALL);
        Command(command);
    }

    StringLogSink log;
    short changeFlag = 0;
    const BatchResult result = RunBatch(Frame().Session(), engine,
                                        CommandWork(Command::kInsertKeys), log, seam, changeFlag);
    RunBatch(Frame().Session(), engine, CommandWork(Command::kAdaptAccounts), log, seam, changeFlag);
    ASSERT_EQ(result.outcomes.size(), 2u);

    // The window ends each run with its result line (and begins it with its
    // date and time, which Log() leaves out); the engine's walk has neither.
    const std::string resultLine = ">Ergebnis für 2 Mandanten: 2 konvertiert, 0 unverändert, 0 übersprungen, 0 fehlgeschlagen\r\n\r\n";
    std::string windowLog = Replaced(Log(), TempPath("original"), TempPath("kopie"));
    for (int run = 0; run < 2; ++run) {
        const std::size_t at = windowLog.find(resultLine);
        ASSERT_NE(at, std::string::npos) << "run " << run;
        windowLog.erase(at, resultLine.size());
    }
    EXPECT_EQ(windowLog, log.Text());
    for (std::size_t i = 0; i < window.size(); ++i)
        for (const char* kind : {"key", "account"}) EXPECT_EQ(RecordsOf(window[i], kind), RecordsOf(engine[i], kind));
    EXPECT_NE(log.Text().find("A81 wurde eingefügt"), std::string::npos);
}

}  // namespace
