#include "core/Strings.h"

#include <cerrno>
#include <cstring>
#include <map>

#include "res/Resource.h"

#include "pendra/PendraMessages.h"

// The language is kept once, by the data library, whose messages speak it too.
void SetProcessPreferredUILanguages(const std::string& cultureName) {
    const bool french = cultureName.size() >= 2 && (cultureName.compare(0, 2, "fr") == 0 ||
                                                    cultureName.compare(0, 2, "FR") == 0);
    SetPendraLanguage(french ? "fr" : "de");
}

Language CurrentLanguage() { return PendraLanguage() == "fr" ? Language::French : Language::German; }

std::string LoadString(int id) {
    const auto& strings = Resources(CurrentLanguage()).strings;
    const auto it = strings.find(id);
    return it == strings.end() ? std::string() : it->second;
}

std::string SystemText(int error) {
    static const std::map<int, int> kTexts = {
        {ENOSPC, IDS_ERRNO_NOSPC},   {EDQUOT, IDS_ERRNO_DQUOT},   {EACCES, IDS_ERRNO_ACCES},
        {EPERM, IDS_ERRNO_ACCES},    {ENOENT, IDS_ERRNO_NOENT},   {EROFS, IDS_ERRNO_ROFS},
        {EIO, IDS_ERRNO_IO},         {ENOTDIR, IDS_ERRNO_NOTDIR}, {EISDIR, IDS_ERRNO_ISDIR},
        {EEXIST, IDS_ERRNO_EXIST},   {EINVAL, IDS_ERRNO_INVAL},   {ENAMETOOLONG, IDS_ERRNO_NAMETOOLONG},
        {EMFILE, IDS_ERRNO_MFILE},   {EBUSY, IDS_ERRNO_BUSY},     {ELOOP, IDS_ERRNO_LOOP},
    };
    const auto it = kTexts.find(error);
    if (it != kTexts.end()) return LoadString(it->second);
    return std::string(std::strerror(error)) + " (errno " + std::to_string(error) + ")";
}

std::string PromptOf(unsigned commandId) {
    const std::string text = LoadString(static_cast<int>(commandId));
    return text.substr(0, text.find('\n'));
}

std::string TooltipOf(unsigned commandId) {
    const std::string text = LoadString(static_cast<int>(commandId));
    const auto nl = text.find('\n');
    return nl == std::string::npos ? std::string() : text.substr(nl + 1);
}
