#pragma once
#include <string>

// The data library's own message table (German and French) and helpers.
// The language follows SetPendraLanguage ("de" or "fr"; German by default).
class PendraUi;

void SetPendraLanguage(const std::string& lang);

// Message `id` of the library's table, formatted printf-style with the arguments
// (strings and ints), shown as the library's error box through `ui`. Message 5000:
// a file cannot be opened (file name, status); 5064: the system could not be initialised.
void ShowError(PendraUi& ui, int id);
void ShowError(PendraUi& ui, int id, const std::string& arg, int status);
// The text ShowError would show (for logs and tests).
std::string PendraMessageText(int id);

// Message ids of the table beyond 5000/5064.
constexpr int kMsgErrorCaption = 5099;
constexpr int kMsgPasswordCaption = 5100;
constexpr int kMsgPasswordPrompt = 5101;       // %s: mandate name
constexpr int kMsgPasswordRetry = 5102;        // %s: mandate name
constexpr int kMsgPasswordRefused = 5103;      // %s: mandate name
// The message id explaining a status (6000 + status; 60010 is its own id).
int PendraStatusMessageId(int status);
// Message `id` with %s replaced by `arg` and %d by `status`, in order of
// appearance; "%%" gives "%". Other conversions are left as they are, so a
// table line can never make the formatter read arguments that are not there.
std::string PendraMessageText(int id, const std::string& arg, int status);
// The current language: "de" or "fr".
std::string PendraLanguage();

// printf-style number text: FloatToAscii(7.7, "%g") == "7.7", with a point
// whatever the process's locale (formatted under the "C" locale).
std::string FloatToAscii(double value, const char* format);
