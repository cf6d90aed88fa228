// Texts of the status codes: an optional message file per language in the current folder
// ("orvmsg0412.msg": section STATUS, key = code in decimal, value = short text "||" long
// text) and the built-in table in English and Korean (UTF-8).
#pragma once
#include <atomic>
#include <cstddef>
#include <span>
#include <string>

inline constexpr int KD_LANG_ENGLISH = 0x0409;
inline constexpr int KD_LANG_KOREAN = 0x0412;

// Message types of Get_StatusMessage.
enum KD_MessageType : int {
    KD_MSG_SHORT = 0,           // short text in the message language
    KD_MSG_LONG = 1,            // long text in the message language
    KD_MSG_LONG_CHANGER = 2,    // long text; code 33 names the missing changer option
    KD_MSG_ENGLISH_SHORT = 3,   // English short text (unless a message file gives one)
    KD_MSG_ENGLISH_CHANGER = 4, // as 3; code 33 names the missing changer option
};

// Longest message-file value read (short text, "||", long text), in bytes.
inline constexpr size_t KD_MESSAGE_FILE_VALUE_MAX = 307;

struct KD_MessageText {
    int code;
    const char* englishShort;
    const char* englishLong;  // nullptr: the short text
    const char* koreanShort;
    const char* koreanLong;   // nullptr: the short text
};

// The built-in table, ordered by code; codes 13872 and 14128 are looked up as 69 and 70.
std::span<const KD_MessageText> KD_BuiltInMessages();
// The entry for codes missing from the table ("Unknown Error").
const KD_MessageText& KD_UnknownMessage();

// "orvmsg0412.msg": the message file of a language, relative to the current folder.
std::string KD_MessageFileName(int languageId);

// Splits a message-file value at the first "||": short and long text. A value without
// "||" is both.
struct KD_MessageParts {
    std::string shortText;
    std::string longText;
};
KD_MessageParts KD_SplitMessageValue(const std::string& value);

// The longest prefix of `text` of at most maxBytes bytes that does not end inside a UTF-8
// character.
size_t KD_Utf8Prefix(const std::string& text, size_t maxBytes);

// The message language and the text lookup (one per process).
class CKDMessage {
public:
    CKDMessage();
    void SetLanguage(int languageId) { m_LanguageId = languageId & 0xFFFF; }
    int Language() const { return m_LanguageId; }

    // The text of a status for a message type: the message file of the current language,
    // then that of 0409h, then the built-in table.
    std::string Text(int status, int type) const;

private:
    std::atomic<int> m_LanguageId;
};
CKDMessage& KDMessage();
