// Which key an old key's accounts go to: only its new key, at the new rate of
// its rate and with its entry method, never a key that differs in either or
// in letter case only; and a conversion table that cannot be read stops the
// commands before they change anything.
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pendra/PendraStatus.h"
#include "rules/ConvertTable.h"
#include "commands/KeyOverview.h"
#include "tests/support/Fifo.h"
#include "tests/commands/EngineFixture.h"

namespace {

using enginetest::Engine;
using testsupport::Dump;
using Lines = std::vector<std::string>;

class KeyTargets : public Engine {
protected:
    // The records of one kind ("key", "account") of the mandate in `dir`.
    Lines Records(const std::string& dir, const std::string& kind) {
        std::istringstream dump(Dump(dir));
        Lines found;
        for (std::string line; std::getline(dump, line);)
            if (line.rfind(kind + " ", 0) == 0) found.push_back(line);
        return found;
    }
    Lines KeysAndAccounts(const std::string& dir) {
        Lines records = Records(dir, "key");
        for (std::string& account : Records(dir, "account")) records.push_back(std::move(account));
        return records;
    }
    // What "show-keys" lists on the right for the mandate in `dir`.
    Lines OverviewRightRows(const std::string& dir) {
        KeyOverview overview;
        const auto show = [&](CommandContext& ctx, const std::string&) {
            bool opened = false;
            const int status = ReadKeyOverview(ctx.mandate, ctx.table, ctx.seam, overview, opened);
            return status == pendra::kOk ? Outcome::kDone : Outcome::kFailed;
        };
        EXPECT_EQ(RunBatch(session, {dir}, show, log, seam, changeFlag).outcomes.at(0).kind,
                  MandateOutcome::Kind::kDone);
        return overview.rightRows;
    }
    MandateOutcome::Kind Run(const std::string& dir, std::vector<Command> commands) {
        return Walk({dir}, std::move(commands)).outcomes.at(0).kind;
    }
    bool Logged(const std::string& line) const {
        return log.Text().find(line + "\r\n") != std::string::npos;
    }
};

// ---- The new key an old key's accounts go to ---------------------------------------

struct TargetCase {
    const char* name;
    const char* records;
    const char* table;             // quorvex.txt, "" for none
    std::vector<Command> forward;  // run on the mandate as it was made
    Lines accounts;                // the accounts after them
    const char* notConverted;      // the line the commands log for the key that stays
    Lines overview;                // the right rows of the overview before
};

class NewKeyTargets : public KeyTargets, public ::testing::WithParamInterface<TargetCase> {};

// The accounts of the key that is not converted stay where they are, the
// commands and the overview say why, the steps that leave it so are not done,
// and the reverse steps give back the mandate as it was.
TEST_P(NewKeyTargets, AccountsOnlyGoToTheNewKeyOfTheirOldKey) {
    const TargetCase& c = GetParam();
    const std::string dir = MakeMandate("ziel", c.records);
    if (*c.table) std::ofstream(dir + "/" + ConvertTable::kFileName) << c.table;
    const Lines before = KeysAndAccounts(dir);

    EXPECT_EQ(OverviewRightRows(dir), c.overview);
    // Each step on its own: one that is not done does not keep the next from its work.
    for (const Command command : c.forward)
        EXPECT_FALSE(Walk({dir}, {command}).outcomes.at(0).Completed()) << log.Text();
    EXPECT_EQ(Records(dir, "account"), c.accounts) << log.Text();
    EXPECT_TRUE(Logged(c.notConverted)) << log.Text();
    EXPECT_EQ(log.Failures(), static_cast<int>(c.forward.size())) << log.Text();

    EXPECT_TRUE(Walk({dir}, {Command::kResetAccounts, Command::kRemoveNewKeys}).outcomes.at(0).Completed())
        << log.Text();
    EXPECT_EQ(KeysAndAccounts(dir), before) << log.Text();
}

const std::vector<Command> kInsertAndAdapt{Command::kInsertKeys, Command::kAdaptAccounts};

INSTANTIATE_TEST_SUITE_P(
    Cases, NewKeyTargets,
    ::testing::Values(
        // K81 is an old key itself (2.5 %): 7003 must not end at K26 by way of K81.
        TargetCase{"KeyAtAnotherRate",
                   "key K77 7.7 107.7 netto 1000\nkey K81 2.5 102.5 netto 1000\n"
                   "account 1000 0 -\naccount 7003 0 K77\naccount 7004 0 K81\n",
                   "", kInsertAndAdapt,
                   {"account 1000 0 -", "account 7003 0 K77", "account 7004 0 K26"},
                   "K77 nicht konvertiert: K81 hat den Satz 2.5% (netto), nicht 8.1% (netto)",
                   {"K81\t2.5%\t   nicht konvertiert: K81 hat den Satz 2.5% (netto), nicht "
                    "8.1% (netto)",
                    "K26\t2.6%\t   Nein"}},
        TargetCase{"KeyWithTheOtherEntryMethod",
                   "key K77 7.7 107.7 netto 1000\nkey K81 8.1 108.1 brutto 1000\n"
                   "account 1000 0 -\naccount 7003 0 K77\n",
                   "", kInsertAndAdapt,
                   {"account 1000 0 -", "account 7003 0 K77"},
                   "K77 nicht konvertiert: K81 hat den Satz 8.1% (brutto), nicht 8.1% (netto)",
                   {"K81\t8.1%\t   nicht konvertiert: K81 hat den Satz 8.1% (brutto), nicht "
                    "8.1% (netto)"}},
        // usn77 derives usn81, which only exists as USN81 (the new key of USN77).
        TargetCase{"IdInAnotherLetterCase",
                   "key USN77 7.7 107.7 netto 1000\nkey usn77 7.7 107.7 netto 1000\n"
                   "account 1000 0 -\naccount 3000 0 USN77\naccount 3001 0 usn77\n",
                   "", kInsertAndAdapt,
                   {"account 1000 0 -", "account 3000 0 USN81", "account 3001 0 usn77"},
                   "usn77 nicht konvertiert: usn81 besteht nur als USN81 (andere "
                   "Gross-/Kleinschreibung)",
                   {"USN81\t8.1%\t   Nein",
                    "usn81\t8.1%\t   nicht konvertiert: usn81 besteht nur als USN81 (andere "
                    "Gross-/Kleinschreibung)"}},
        // The table gives two rates one new id: the key the insertion makes is A77's.
        TargetCase{"TableEntriesOfTwoRatesForOneId",
                   "key A77 7.7 107.7 netto 1000\nkey B25 2.5 102.5 netto 1000\n"
                   "account 1000 0 -\naccount 2000 0 A77\naccount 2001 0 B25\n",
                   "A77==>NEU\nB25==>NEU\n", kInsertAndAdapt,
                   {"account 1000 0 -", "account 2000 0 NEU", "account 2001 0 B25"},
                   "B25 nicht konvertiert: NEU hat den Satz 8.1% (netto), nicht 2.6% (netto)",
                   {"NEU\t8.1%\t   Nein",
                    "NEU\t8.1%\t   nicht konvertiert: NEU hat den Satz 8.1% (netto), nicht "
                    "2.6% (netto)"}},
        TargetCase{"NewKeyNotInsertedYet",
                   "key K77 7.7 107.7 netto 1000\naccount 1000 0 -\naccount 7003 0 K77\n",
                   "", {Command::kAdaptAccounts},
                   {"account 1000 0 -", "account 7003 0 K77"},
                   "Konto 7003 bleibt auf K77: K81 ist nicht vorhanden – zuerst \"Neue Steuerschlüssel "
                   "einfügen\"",
                   {"K81\t8.1%\t   Nein"}}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- A conversion table that cannot be read ---------------------------------------

struct UnreadableCase {
    const char* name;
    std::function<void(const std::string& path)> make;
    const char* why;
};

class UnreadableTables : public KeyTargets, public ::testing::WithParamInterface<UnreadableCase> {};

// The commands stop before they change anything, naming the file and why;
// the overview tells it too and shows no new id. A FIFO is not waited on.
TEST_P(UnreadableTables, StopTheCommandsAndAreToldByTheOverview) {
    const std::string dir = MakeMandate("tabelle");
    const std::string table = dir + "/" + ConvertTable::kFileName;
    GetParam().make(table);
    const std::string before = Dump(dir);
    const std::string message =
        "Die Konvertierungstabelle " + table + " kann nicht gelesen werden: " + GetParam().why;

    std::optional<MandateOutcome::Kind> outcome;
    ASSERT_TRUE(
        testsupport::FinishesWithoutWaitingOn(table, [&] { outcome = Run(dir, kInsertAndAdapt); }));
    EXPECT_EQ(outcome, MandateOutcome::Kind::kFailed);
    EXPECT_TRUE(Logged(message)) << log.Text();
    EXPECT_TRUE(Logged("Der Befehl wurde für Mandant " + dir +
                       " nicht abgeschlossen, der Mandant ist unverändert."))
        << log.Text();
    EXPECT_EQ(log.Text().find("eingefügt"), std::string::npos) << log.Text();
    EXPECT_EQ(Dump(dir), before);
    // The form activation exchanges the table's keys in the formulas: it stops the same way.
    log.Clear();
    ASSERT_TRUE(
        testsupport::FinishesWithoutWaitingOn(table, [&] { outcome = Run(dir, {Command::kForm2024}); }));
    EXPECT_EQ(outcome, MandateOutcome::Kind::kFailed);
    EXPECT_TRUE(Logged(message)) << log.Text();

    Lines rows;
    ASSERT_TRUE(
        testsupport::FinishesWithoutWaitingOn(table, [&] { rows = OverviewRightRows(dir); }));
    ASSERT_FALSE(seam.boxes.empty());
    EXPECT_EQ(seam.boxes.back().text, message);
    EXPECT_EQ(rows,
              Lines{"\t\t   nicht konvertiert: die Konvertierungstabelle kann nicht gelesen werden"});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// ASCII text as Windows Notepad saves "Unicode" without a byte order mark.
std::string AsUtf16WithoutMark(const std::string& ascii) {
    std::string bytes;
    for (const char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnreadableTables,
    ::testing::Values(
        UnreadableCase{
            "Utf16WithoutByteOrderMark",
            [](const std::string& p) { WriteBytes(p, AsUtf16WithoutMark("A77==>NEU\n")); },
            "sie ist als UTF-16 ohne Byte-Order-Mark gespeichert; speichern Sie sie als UTF-8 "
            "oder ANSI"},
        UnreadableCase{
            "Binary",
            [](const std::string& p) { WriteBytes(p, std::string("\x7F" "ELF\x02\x01\x01\0", 8)); },
            "sie ist keine Textdatei (Null-Bytes, Steuerzeichen oder ungültiges UTF-16)"},
        UnreadableCase{"Folder",
                       [](const std::string& p) { std::filesystem::create_directory(p); },
                       "sie ist ein Ordner, keine Datei"},
        UnreadableCase{
            "Fifo", [](const std::string& p) { ASSERT_TRUE(testsupport::MakeFifo(p)); },
            "sie ist keine gewöhnliche Datei (sondern z. B. eine FIFO oder ein Gerät)"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
