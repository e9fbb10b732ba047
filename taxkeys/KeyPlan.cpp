#include "taxkeys/KeyPlan.h"

#include <algorithm>
#include <cstring>

#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/Tax.h"
#include "mandate/pendra/TaxIdText.h"
#include "taxkeys/ConvertTable.h"

int KeyPlan::Read(Tax& walk) {
    keys_.clear();
    taken_.clear();
    int status = walk.ReadFirst();
    for (; status == pendra::kOk; status = walk.ReadNext()) {
        const std::string id = walk.GetId();
        taken_.insert(IdCaseKey(id));
        PlannedKey planned;
        if (!SetSatz(RateText(walk.GetPercent()), planned.satz, planned.newRate)) continue;
        planned.record.assign(walk.GetBuffer(), walk.GetBuffer() + walk.Size());
        planned.oldId = id;
        planned.newId = ConvertId(id, planned.satz, table_);
        std::string stored;
        planned.newIdFits = pendra::EncodeTaxId(planned.newId, Tax::kIdWidth, stored) == pendra::kOk;
        planned.leftAlone = MWSTSchluesselIgnorieren(id) == 1;
        keys_.push_back(std::move(planned));
    }
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}

bool KeyPlan::Taken(const std::string& id) const { return taken_.count(IdCaseKey(id)) > 0; }

bool KeyPlan::Take(const std::string& id) { return taken_.insert(IdCaseKey(id)).second; }

void KeyPlan::Load(const PlannedKey& planned, Tax& key) {
    std::memcpy(key.GetBuffer(), planned.record.data(), std::min<std::size_t>(planned.record.size(), key.Size()));
}
