#include "forms/FormPassJournal.h"

#include <cstdio>

#include "base/CException.h"
#include "base/Format.h"
#include "base/JournalFile.h"
#include "core/CommandContext.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "workbook/FileIo.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "res/Resource.h"

namespace formpass {
namespace {

constexpr const char* kHeader = "mwst-formpass 1";
constexpr unsigned kFirstForm2024 = 2024;

struct KindName {
    FormPass::Kind kind;
    const char* name;
};
constexpr KindName kKinds[] = {
    {FormPass::Kind::kExtend, "extend"},
    {FormPass::Kind::kUndoExtend, "undo-extend"},
    {FormPass::Kind::kRemoveKeys, "remove-keys"},
};

struct ListField {
    const char* name;
    std::vector<std::string> FormPass::*list;
};
constexpr ListField kLists[] = {
    {"first", &FormPass::first},       {"second", &FormPass::second},
    {"pair", &FormPass::pairs},        {"inserted", &FormPass::inserted},
    {"deleted", &FormPass::deleted},   {"logged", &FormPass::logged},
};

}  // namespace

std::string JournalPath(const std::string& folder) { return folder + "/" + kJournalName; }

std::string ToText(const FormPass& pass) {
    std::string text = std::string(kHeader) + "\n";
    for (const KindName& kind : kKinds)
        if (kind.kind == pass.kind) text += std::string("kind ") + kind.name + "\n";
    for (const ListField& field : kLists)
        for (const std::string& value : pass.*field.list) text += std::string(field.name) + " " + value + "\n";
    return text;
}

std::optional<FormPass> FromText(const std::string& text) {
    const journalfile::Journal journal = journalfile::Journal::Parse(text, kHeader, kJournalName);
    if (!journal) return std::nullopt;
    FormPass pass;
    bool kindSeen = false;
    for (const journalfile::Entry& entry : journal.Entries()) {
        if (!entry.HasValue()) return std::nullopt;
        const std::string_view field = entry.Field();
        const std::string value(entry.Value());
        bool known = false;
        if (field == "kind") {
            for (const KindName& kind : kKinds)
                if (value == kind.name) pass.kind = kind.kind, known = kindSeen = true;
        }
        for (const ListField& list : kLists)
            if (field == list.name) (pass.*list.list).push_back(value), known = true;
        if (!known) return std::nullopt;
    }
    if (!kindSeen) return std::nullopt;
    return pass;
}

bool Save(const std::string& folder, const FormPass& pass, std::string& reason) {
    try {
        fileio::ReplaceFile(JournalPath(folder), ToText(pass));
        return true;
    } catch (const CException& e) {
        reason = e.what();
        return false;
    }
}

std::optional<FormPass> Load(const std::string& folder) {
    try {
        return FromText(fileio::ReadWholeFile(JournalPath(folder)));
    } catch (const CException&) {
        return std::nullopt;
    }
}

void Remove(const std::string& folder) { std::remove(JournalPath(folder).c_str()); }

bool Apply(CommandContext& ctx, const FormPass& pass) {
    bool saved = false, ran = true;
    switch (pass.kind) {
    case FormPass::Kind::kExtend:
        ran = MwstExtendTaxid(ctx, pass.first, pass.second, &pass.pairs, &saved);
        break;
    case FormPass::Kind::kUndoExtend:
        ran = MwstDeleteTaxid(ctx, pass.first, pass.deleted, &saved);
        break;
    case FormPass::Kind::kRemoveKeys:
        ran = MwstDeleteOldTaxid(ctx, pass.first, &saved);
        break;
    }
    // Only a saved workbook holds what these lines tell; a mandate without a
    // usable one has had its line from the pass.
    if (ran && saved) {
        const int line =
            pass.kind == FormPass::Kind::kExtend ? IDS_LOG_FORMULAS_EXTENDED : IDS_LOG_REMOVED_FROM_FORMULAS;
        for (const std::string& key : pass.logged) ctx.log.Line(Format(LoadString(line), key));
    }
    return ran;
}

namespace {

// kOk when every id of `present` is a key and none of `absent` is; otherwise
// the status that speaks against it (kKeyNotFound or kDuplicateKey when the
// records disagree, a read error as it came).
int RecordsMatch(Mandate& mandate, const std::vector<std::string>& present, const std::vector<std::string>& absent) {
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetTaxName(), BFile::kModeReadOnly); status != pendra::kOk)
        return status;
    Tax key(&mandate);
    key.UseFile(&file);
    for (const std::string& id : present)
        if (const int status = key.Read(id); status != pendra::kOk) return status;
    for (const std::string& id : absent) {
        const int status = key.Read(id);
        if (status == pendra::kOk) return pendra::kDuplicateKey;
        if (status != pendra::kKeyNotFound) return status;
    }
    return pendra::kOk;
}

}  // namespace

void RunJournalled(CommandContext& ctx, const FormPass& pass) {
    // A pass that failed stays in the journal and is tried again by the next command.
    if (Apply(ctx, pass)) Remove(FilesFolder(ctx));
}

namespace {

// The extend pass and its undo sum the new keys into the old keys' rows of a
// form before 2024. The 2024 form sums its own keys: a pass left over from
// before that form replaced the workbook would count them twice. A workbook
// that cannot be read leaves the pass to fail and say so.
bool MeantForActiveForm(CommandContext& ctx, const FormPass& pass) {
    if (pass.kind == FormPass::Kind::kRemoveKeys) return true;
    const std::string workbook = MwstSheetName(MwstSheetFolder(ctx), MwstMandateUsesFlatRate(&ctx.mandate));
    std::string failure;
    return MwstGetVersion(workbook, &failure) < kFirstForm2024 || !failure.empty();
}

}  // namespace

void FinishPending(CommandContext& ctx) {
    Mandate& mandate = ctx.mandate;
    if (mandate.IsReadOnly()) return;
    const std::string dir = FilesFolder(ctx);
    const std::optional<FormPass> pass = Load(dir);
    if (!pass) return;
    const int status = RecordsMatch(mandate, pass->inserted, pass->deleted);
    if (status == pendra::kKeyNotFound || status == pendra::kDuplicateKey) {
        Remove(dir);  // its command never committed
        return;
    }
    if (status != pendra::kOk) return;  // cannot tell now; the journal stays
    if (!MeantForActiveForm(ctx, *pass)) {
        Remove(dir);
        ctx.log.Line(Format(LoadString(IDS_LOG_PENDING_DROPPED), JournalPath(dir)));
        return;
    }
    // Said once it is true; a pass that fails again stays pending, and the log says how out.
    if (Apply(ctx, *pass)) {
        Remove(dir);
        ctx.log.Line(Format(LoadString(IDS_LOG_PENDING_FORMULAS), JournalPath(dir)));
    } else {
        ctx.log.Line(Format(LoadString(IDS_LOG_PENDING_FAILED), JournalPath(dir)));
    }
}

}  // namespace formpass
