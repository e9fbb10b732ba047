// Mandates written before tax ids were stored in Windows-1252 (database format
// 2, ids in UTF-8) on both engines: converted when opened for writing, read as
// they are while read-only or in use, refused when an id has no place in the
// new form. The records come from tests/pendra/data/format2-mandate.sql, a
// database that library wrote.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>

#include "tests/pendra/EngineTestSupport.h"
#include "tests/support/FileBytes.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/MandateLockFile.h"
#include "pendra/PgSchema.h"
#include "pendra/StorageEngine.h"

using namespace testsupport;

namespace {

std::string FixtureSql() {
    return FileBytes(std::string(MWST_SOURCE_DIR) + "/tests/pendra/data/format2-mandate.sql");
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 0xF];
    }
    return hex;
}

// A key record as format 2 wrote it: id bytes as given, rate 7.7 %.
std::string OldKeyRecord(const std::string& id) {
    std::string rec(Tax::kSize, '\0');
    rec.replace(0, id.size(), id);
    const float rate = 0.077f, quote = 1.077f;
    std::memcpy(rec.data() + Tax::kRateOffset, &rate, sizeof rate);
    std::memcpy(rec.data() + Tax::kQuoteOffset, &quote, sizeof quote);
    return rec;
}

class PgConnection {
public:
    explicit PgConnection(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
        EXPECT_EQ(PQstatus(conn_), CONNECTION_OK) << PQerrorMessage(conn_);
    }
    ~PgConnection() { PQfinish(conn_); }
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Runs `sql` with parameters sent in binary form (bytea) or as text.
    std::string Run(const std::string& sql, const std::vector<std::pair<std::string, bool>>& params = {}) {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (const auto& [value, binary] : params) {
            values.push_back(value.data());
            lengths.push_back(static_cast<int>(value.size()));
            formats.push_back(binary ? 1 : 0);
        }
        PGresult* result = PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr,
                                        values.data(), lengths.data(), formats.data(), 0);
        const ExecStatusType status = PQresultStatus(result);
        EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            << sql << ": " << PQresultErrorMessage(result);
        std::string first;
        if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) first = PQgetvalue(result, 0, 0);
        PQclear(result);
        return first;
    }

private:
    PGconn* conn_;
};

class FormatUpgrade : public BothEnginesTest {
protected:
    void Prepare() override { dir_ = temp_.Sub("Alt Format AG"); }

    // The mandate of the fixture in format 2, with `extraKeys` (ids as format 2
    // stored them) added.
    void WriteOldMandate(const std::vector<std::string>& extraKeys = {}) {
        sqlite3* fixture = nullptr;
        const std::string file = dir_ + "/pendra.db";
        if (!sql_) {
            std::filesystem::create_directories(dir_);
            ASSERT_EQ(MandateLockFile::Create(dir_), pendra::kOk);
            ASSERT_EQ(sqlite3_open(file.c_str(), &fixture), SQLITE_OK);
        } else {
            ASSERT_EQ(sqlite3_open(":memory:", &fixture), SQLITE_OK);
        }
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(fixture, sqlite3_close);
        ASSERT_EQ(sqlite3_exec(fixture, FixtureSql().c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(fixture);
        for (const std::string& id : extraKeys) {
            const std::string insert = "INSERT INTO tax VALUES(X'" + Hex(id) + "', X'" +
                                       Hex(OldKeyRecord(id)) + "')";
            ASSERT_EQ(sqlite3_exec(fixture, insert.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        if (sql_) CopyToServer(fixture);
    }

    // A new SQL mandate whose database is then made what format 2 left behind.
    void CopyToServer(sqlite3* fixture) {
        ASSERT_EQ(Create("Alt Format AG"), dir_);
        PgConnection pg(*SqlMandateConfiguration::Read(dir_)->MandateConnInfo());
        pg.Run("UPDATE meta SET value = '2' WHERE name = 'format_version'");
        const std::pair<const char*, const char*> tables[] = {
            {"SELECT id, rec FROM tax", "INSERT INTO tax(id, rec) VALUES($1, $2)"},
            {"SELECT number, taxid, rec FROM konto",
             "INSERT INTO konto(number, taxid, rec) VALUES($1, $2, $3)"},
            {"SELECT CAST(number AS TEXT), taxid, rec FROM buch",
             "INSERT INTO buch(number, taxid, rec) VALUES($1::int4, $2, $3)"}};
        for (const auto& [select, insert] : tables) {
            sqlite3_stmt* rows = nullptr;
            ASSERT_EQ(sqlite3_prepare_v2(fixture, select, -1, &rows, nullptr), SQLITE_OK);
            while (sqlite3_step(rows) == SQLITE_ROW) {
                std::vector<std::pair<std::string, bool>> params;
                for (int column = 0; column < sqlite3_column_count(rows); ++column) {
                    const bool text = sqlite3_column_type(rows, column) == SQLITE_TEXT;
                    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(rows, column));
                    params.emplace_back(
                        std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(rows, column))),
                        !text);
                }
                pg.Run(insert, params);
            }
            sqlite3_finalize(rows);
        }
    }

    // The mandate in use by another program, as a shared mandate lock of another session.
    class OtherUser {
    public:
        OtherUser(Engine engine, const std::string& dir) {
            if (engine == Engine::kFile) {
                int status = pendra::kOk;
                lock_ = MandateLockFile::Open(dir, status);
                EXPECT_TRUE(lock_ && lock_->TryLockShared());
            } else {
                pg_ = std::make_unique<PgConnection>(*SqlMandateConfiguration::Read(dir)->MandateConnInfo());
                EXPECT_EQ(pg_->Run("SELECT pg_try_advisory_lock_shared($1::int4, 0)::text",
                                   {{std::to_string(pendra::pg::kMandateLockClass), false}}),
                          "true");
            }
        }

        ~OtherUser() {
            // Given back before the session ends: the server ends a session after PQfinish returns.
            if (pg_) {
                pg_->Run("SELECT pg_advisory_unlock_shared($1::int4, 0)::text",
                         {{std::to_string(pendra::pg::kMandateLockClass), false}});
            }
        }
        OtherUser(const OtherUser&) = delete;
        OtherUser& operator=(const OtherUser&) = delete;

    private:
        std::unique_ptr<MandateLockFile> lock_;
        std::unique_ptr<PgConnection> pg_;
    };

    int FormatOnDisk() {
        Mandate probe;
        EXPECT_EQ(SetMandateReadOnly(dir_, true), pendra::kOk);
        EXPECT_EQ(probe.OpenMandateFiles(dir_), pendra::kOk);
        const int format = probe.Engine() ? probe.Engine()->Meta().formatVersion : 0;
        probe.CloseMandateFiles();
        EXPECT_EQ(SetMandateReadOnly(dir_, false), pendra::kOk);
        return format;
    }

    std::vector<std::string> KontenWith(Mandate& mandate, const std::string& taxId) {
        RecordFile<Konto> konto(mandate, BFile::kModeReadOnly);
        std::vector<std::string> numbers;
        for (int s = konto.ReadFirstByTaxId(taxId); s == pendra::kOk; s = konto.ReadNextByTaxId(taxId)) {
            EXPECT_EQ(konto.GetTaxId(), taxId);
            numbers.push_back(konto.GetNumber());
        }
        return numbers;
    }

    // Every id field of the fixture, read the way the commands read them.
    void ExpectFixtureRead(Mandate& mandate) {
        RecordFile<Tax> tax(mandate, BFile::kModeReadOnly);
        for (const char* id : {"VSN77", "ÄB77", "ÜST25", "ÄÖÜ", "Œuvre", "ABÄ77", "ABÃ81"}) {
            ASSERT_EQ(tax.Read(id), pendra::kOk) << id;
            EXPECT_EQ(tax.GetId(), id);
        }
        ASSERT_EQ(tax.Read("ÄB77"), pendra::kOk);
        EXPECT_EQ(tax.GetText(), "Umsatz Ä") << "other text fields stay UTF-8";
        EXPECT_FLOAT_EQ(tax.GetPercent(), 0.077f);
        ASSERT_EQ(tax.Read("ÄÖÜ"), pendra::kOk);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(tax.GetBuffer()), 3), "\xC4\xD6\xDC")
            << "the record holds the id in Windows-1252";
        EXPECT_EQ(tax.Read("ÖÖÖ"), pendra::kKeyNotFound);

        EXPECT_EQ(KontenWith(mandate, "ÄB77"), std::vector<std::string>{"2200"});
        EXPECT_EQ(KontenWith(mandate, "ÄÖÜ"), std::vector<std::string>{"3400"});
        EXPECT_EQ(KontenWith(mandate, "ABÄ77"), std::vector<std::string>{"2210"});
        EXPECT_EQ(KontenWith(mandate, "ABÃ81"), std::vector<std::string>{"2211"})
            << "the id cut inside Ä is kept byte for byte";
        EXPECT_EQ(KontenWith(mandate, "VSN77"), std::vector<std::string>{"1170"});

        RecordFile<Buch> buch(mandate, BFile::kModeReadOnly);
        EXPECT_EQ(buch.ExistsWithTaxId("ÜST25"), pendra::kOk);
        EXPECT_EQ(buch.ExistsWithTaxId("ÄB77"), pendra::kOk);
        EXPECT_EQ(buch.ExistsWithTaxId("Œuvre"), pendra::kKeyNotFound);
        ASSERT_EQ(buch.ReadFirstByTaxId("ÄÖÜ"), pendra::kOk);
        EXPECT_EQ(buch.GetNumber(), 3);
        EXPECT_EQ(buch.GetData().GetTaxId(), "ÄÖÜ");
        EXPECT_EQ(buch.GetData().GetText(), "Drei");
        EXPECT_EQ(buch.ReadNextByTaxId("ÄÖÜ"), pendra::kEndOfFile);
    }

    std::vector<std::string> WalkIds(Mandate& mandate) {
        RecordFile<Tax> tax(mandate, BFile::kModeReadOnly);
        return WalkTaxIds(tax);
    }

    int InsertKey(Mandate& mandate, const std::string& id) {
        RecordFile<Tax> tax(mandate);
        FillTax(tax, id, 0.081f);
        return tax.Insert();
    }

    std::string dir_;
};

TEST_P(FormatUpgrade, OpenedForWritingEveryIdFieldIsConverted) {
    WriteOldMandate();
    {
        Mandate mandate;
        ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
        EXPECT_EQ(mandate.IsReadOnly(), 0);
        EXPECT_EQ(mandate.Engine()->Meta().formatVersion, 3);
        ExpectFixtureRead(mandate);
        // Bytewise order of Windows-1252: Ã (C3) < Ä (C4), Œ (8C) < Ä < Ü (DC).
        EXPECT_EQ(WalkIds(mandate), (std::vector<std::string>{"ABÃ81", "ABÄ77", "VSN77", "VSN81",
                                                              "Œuvre", "ÄB77", "ÄÖÜ", "ÜST25"}));
        EXPECT_EQ(InsertKey(mandate, "NEUÄÄ1"), pendra::kOk) << "six umlaut characters fit now";
        EXPECT_EQ(InsertKey(mandate, "äb77"), pendra::kOk);
    }
    EXPECT_EQ(FormatOnDisk(), 3);
    Mandate again;
    ASSERT_EQ(again.OpenMandateFiles(dir_), pendra::kOk);
    ExpectFixtureRead(again);
    EXPECT_EQ(WalkIds(again).size(), 10u);
}

TEST_P(FormatUpgrade, ReadOnlyMandateIsReadAsItIsAndLeftInItsFormat) {
    WriteOldMandate();
    ASSERT_EQ(SetMandateReadOnly(dir_, true), pendra::kOk);
    {
        Mandate mandate;
        ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
        EXPECT_EQ(mandate.IsReadOnly(), 1);
        EXPECT_EQ(mandate.Engine()->Meta().formatVersion, 2);
        ExpectFixtureRead(mandate);
        // The walk follows the stored UTF-8 bytes: 41 42 C3 38 < 41 42 C3 84, Ä (C3 84) < Œ (C5 92).
        EXPECT_EQ(WalkIds(mandate), (std::vector<std::string>{"ABÃ81", "ABÄ77", "VSN77", "VSN81",
                                                              "ÄB77", "ÄÖÜ", "ÜST25", "Œuvre"}));
        EXPECT_EQ(InsertKey(mandate, "NEU1"), pendra::kAccessDenied);
        MIniSetHelper exclusive(&mandate, false);
        ASSERT_EQ(exclusive.OpenExclusive(), pendra::kOk);
        EXPECT_EQ(mandate.Engine()->Meta().formatVersion, 2) << "read-only: never converted";
    }
    Mandate again;
    ASSERT_EQ(again.OpenMandateFiles(dir_), pendra::kOk);
    EXPECT_EQ(again.Engine()->Meta().formatVersion, 2);
    again.CloseMandateFiles();

    ASSERT_EQ(SetMandateReadOnly(dir_, false), pendra::kOk);
    ASSERT_EQ(again.OpenMandateFiles(dir_), pendra::kOk);
    EXPECT_EQ(again.Engine()->Meta().formatVersion, 3);
    ExpectFixtureRead(again);
}

TEST_P(FormatUpgrade, InUseByAnotherProgramItIsReadOnlyUntilHeldExclusively) {
    WriteOldMandate();
    Mandate mandate;
    {
        OtherUser other(GetParam(), dir_);
        ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
        EXPECT_EQ(mandate.IsReadOnly(), 1) << "an older program may still read the old form";
        EXPECT_EQ(mandate.Engine()->Meta().formatVersion, 2);
        ExpectFixtureRead(mandate);
        MIniSetHelper refused(&mandate, false);
        EXPECT_EQ(refused.OpenExclusive(), pendra::kMandateHeldExclusively);
    }
    MIniSetHelper exclusive(&mandate, false);
    ASSERT_EQ(exclusive.OpenExclusive(), pendra::kOk);
    EXPECT_EQ(mandate.IsReadOnly(), 0);
    EXPECT_EQ(mandate.Engine()->Meta().formatVersion, 3);
    ExpectFixtureRead(mandate);
    EXPECT_EQ(InsertKey(mandate, "NEUÄÄ1"), pendra::kOk);
}

TEST_P(FormatUpgrade, AnIdWithoutWindows1252FormRefusesTheOpenAndChangesNothing) {
    WriteOldMandate({"\xCE\xA9X77"});  // ΩX77
    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir_), pendra::kNotWindows1252);
    EXPECT_EQ(mandate.IsMandantOpen(), 0);

    ASSERT_EQ(SetMandateReadOnly(dir_, true), pendra::kOk);
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    EXPECT_EQ(mandate.Engine()->Meta().formatVersion, 2);
    ExpectFixtureRead(mandate);
    EXPECT_EQ(WalkIds(mandate).size(), 9u) << "the odd key is still there, byte for byte";
}

TEST_P(FormatUpgrade, TwoIdsThatWouldBecomeOneRefuseTheOpen) {
    WriteOldMandate({"AB\xC3\x83" "81"});  // ABÃ81 in UTF-8 beside AB + C3 + 81
    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir_), pendra::kDuplicateKey);
    ASSERT_EQ(SetMandateReadOnly(dir_, true), pendra::kOk);
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    EXPECT_EQ(mandate.Engine()->Meta().formatVersion, 2);
    EXPECT_EQ(WalkIds(mandate).size(), 9u);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, FormatUpgrade, BothEngines(), EngineName);

}  // namespace
